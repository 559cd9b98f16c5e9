#include "tarnwick/widgets/tests/dialogdriver.h"

#include "tarnwick/widgets/messagebox.h"
#include "tarnwick/widgets/widgetsconstants.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

DialogDriver::DialogDriver(QObject* parent)
    : QObject(parent)
{
    m_timer.setInterval(5);
    connect(&m_timer, &QTimer::timeout, this, &DialogDriver::poll);
    m_timer.start();
}

DialogDriver::~DialogDriver() = default;

void DialogDriver::answerBox(MessageBox::Result answer)
{
    m_boxAnswers.push_back(answer);
}

void DialogDriver::answerFileDialog(const QString& path)
{
    m_fileAnswers.push_back(path);
}

DialogDriver::SeenBox DialogDriver::describe(MessageBox* box)
{
    SeenBox seen;
    seen.type = box->boxType();
    if (QWidget* titleBar = box->findChild<QWidget*>(QString::fromLatin1(Tarnwick::Widgets::kMessageTitleName))) {
        if (auto* title = titleBar->findChild<QLabel*>(QString(), Qt::FindDirectChildrenOnly))
            seen.title = title->text();
    }
    if (auto* text = box->findChild<QLabel*>(QString(), Qt::FindDirectChildrenOnly))
        seen.text = text->text();
    for (QPushButton* button : box->findChildren<QPushButton*>(QString(), Qt::FindDirectChildrenOnly)) {
        if (!button->isHidden())
            seen.buttons << button->text();
    }
    return seen;
}

void DialogDriver::poll()
{
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (!w->isVisible() || m_handled.contains(w))
            continue;
        if (auto* box = qobject_cast<MessageBox*>(w)) {
            handleBox(box);
            return;
        }
        if (auto* dialog = qobject_cast<QFileDialog*>(w)) {
            handleFileDialog(dialog);
            return;
        }
    }
}

void DialogDriver::handleBox(MessageBox* box)
{
    m_handled.append(box);
    connect(box, &QObject::destroyed, this, [this, box] { m_handled.removeAll(box); });
    SeenBox seen = describe(box);
    MessageBox::Result answer = kTitleClose;
    if (m_boxAnswers.empty())
        ++m_unexpected;
    else {
        answer = m_boxAnswers.front();
        m_boxAnswers.pop_front();
    }
    seen.answer = answer;
    m_boxes.append(seen);
    const QList<QPushButton*> buttons = box->findChildren<QPushButton*>(QString(), Qt::FindDirectChildrenOnly);
    if (answer >= 0 && answer < buttons.size()) {
        buttons.at(answer)->click();
    } else {
        // The close button sits in the title bar.
        QWidget* titleBar = box->findChild<QWidget*>(QString::fromLatin1(Tarnwick::Widgets::kMessageTitleName));
        const QList<QPushButton*> titleButtons = titleBar ? titleBar->findChildren<QPushButton*>(
                                                     QString(), Qt::FindDirectChildrenOnly)
                                                          : QList<QPushButton*>();
        // The close button is the title bar's first button (the type icon follows it).
        if (!titleButtons.isEmpty())
            titleButtons.first()->click();
        else
            box->done(kTitleClose);
    }
}

void DialogDriver::enterPath(QFileDialog* dialog, const QString& path)
{
    // QFileDialog::selectFile leaves the name box alone while it has focus,
    // which depends on when the window became active, and a folder dialog
    // whose name box is empty answers the folder it shows: the answer's
    // parent, or wherever the dialog started. So the dialog is taken to the
    // answer's folder and the name goes into the box itself, with nothing
    // selected in the views; the dialog then answers exactly that path,
    // however far its file system model has loaded.
    const QString clean = QDir::cleanPath(path);
    const QFileInfo info(clean);
    QString name = clean;
    if (info.isAbsolute() && !info.fileName().isEmpty()) {
        dialog->setDirectory(info.absolutePath());
        name = info.fileName();
    }
    for (QAbstractItemView* view : dialog->findChildren<QAbstractItemView*>()) {
        if (view->selectionModel() != nullptr)
            view->selectionModel()->clear();
    }
    if (auto* edit = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit")))
        edit->setText(name);
    else
        dialog->selectFile(path);
}

void DialogDriver::handleFileDialog(QFileDialog* dialog)
{
    m_handled.append(dialog);
    connect(dialog, &QObject::destroyed, this, [this, dialog] { m_handled.removeAll(dialog); });
    SeenFileDialog seen;
    seen.windowTitle = dialog->windowTitle();
    seen.fileMode = dialog->fileMode();
    seen.nameFilters = dialog->nameFilters();
    QString path;
    if (!m_fileAnswers.empty()) {
        path = m_fileAnswers.front();
        m_fileAnswers.pop_front();
    }
    if (path.isEmpty()) {
        m_fileDialogs.append(seen);
        dialog->reject();
        return;
    }
    enterPath(dialog, path);
    static_cast<QDialog*>(dialog)->accept(); // QFileDialog::accept checks the selection
    seen.accepted = dialog->result() == QDialog::Accepted;
    seen.selectedFiles = dialog->selectedFiles();
    m_fileDialogs.append(seen);
}
