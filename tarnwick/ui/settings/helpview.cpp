#include "tarnwick/ui/settings/helpview.h"

#include "tarnwick/core/filetool.h"
#include "tarnwick/ui/settings/settingsconstants.h"

#include <QFile>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QTextEdit>
#include <QTextStream>

HelpView::HelpView(const QString& path, QWidget* parent, bool plainText)
    : QWidget(parent)
    , m_plainText(plainText)
{
    auto* layout = new QHBoxLayout(this);
    auto* edit = new QTextEdit(this);
    edit->setReadOnly(true);
    edit->setStyleSheet(QString::fromLatin1(Tarnwick::Settings::kHelpTextStyle));
    layout->addWidget(edit);
    loadFile(path);
}

void HelpView::loadFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return;
    QTextStream stream(&file);
    stream.setCodec("UTF-8");
    const QString text = stream.readAll();
    auto* edit = findChild<QTextEdit*>();
    if (edit == nullptr)
        return;
    if (m_plainText)
        edit->setPlainText(text);
    else
        edit->setHtml(text);
}

bool HelpView::provideHelpFile(const QString& shipped, const QString& target)
{
    if (QFileInfo::exists(target))
        return true;
    if (!QFileInfo(shipped).isFile())
        return false;
    return FileTool::copyFile(shipped, target);
}
