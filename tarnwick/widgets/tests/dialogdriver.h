#pragma once

// Test support of the pages: answers the program's modal boxes and Qt's own
// file dialogs from inside their nested event loops. Answers are queued; each
// one is used by the next box (or file dialog) that becomes visible, and what
// the box showed is recorded.
//
//   DialogDriver driver;
//   driver.answerBox(DialogDriver::kButton1);          // "确认"
//   driver.answerFileDialog("/tmp/list.csv");
//   page.onImportDevice();
//   EXPECT_EQ(driver.boxes().at(0).text, "设备导入成功。");

#include "tarnwick/widgets/messagebox.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <QVector>

#include <deque>

class QFileDialog;

class DialogDriver : public QObject {
    Q_OBJECT
public:
    static constexpr MessageBox::Result kButton1 = MessageBox::Button1;
    static constexpr MessageBox::Result kButton2 = MessageBox::Button2;
    static constexpr MessageBox::Result kTitleClose = MessageBox::TitleClose;

    struct SeenBox {
        MessageBox::Type type = MessageBox::Content;
        QString title;
        QString text;
        QStringList buttons;
        MessageBox::Result answer = MessageBox::Closed;
    };

    struct SeenFileDialog {
        QString windowTitle;
        int fileMode = 0; // QFileDialog::FileMode
        QStringList nameFilters;
        bool accepted = false;
        QStringList selectedFiles; // what the accepted dialog answers its caller
    };

    explicit DialogDriver(QObject* parent = nullptr);
    ~DialogDriver() override;

    // The next box gets this answer: kButton1 or kButton2 clicks that button,
    // kTitleClose the title bar's close button.
    void answerBox(MessageBox::Result answer);
    // The next file dialog selects path and is accepted; an empty path
    // rejects it.
    void answerFileDialog(const QString& path);

    const QVector<SeenBox>& boxes() const { return m_boxes; }
    const QVector<SeenFileDialog>& fileDialogs() const { return m_fileDialogs; }
    int pendingAnswers() const { return int(m_boxAnswers.size() + m_fileAnswers.size()); }
    // Boxes that opened while no answer was queued (each was closed with kTitleClose).
    int unexpectedBoxes() const { return m_unexpected; }

    // The title, text and button texts of a box.
    static SeenBox describe(MessageBox* box);

private:
    void poll();
    void handleBox(MessageBox* box);
    void handleFileDialog(QFileDialog* dialog);
    static void enterPath(QFileDialog* dialog, const QString& path);

    QTimer m_timer;
    std::deque<MessageBox::Result> m_boxAnswers;
    std::deque<QString> m_fileAnswers;
    QVector<SeenBox> m_boxes;
    QVector<SeenFileDialog> m_fileDialogs;
    QVector<QObject*> m_handled;
    int m_unexpected = 0;
};
