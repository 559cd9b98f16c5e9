#include "quillet/dialogs/dialogstyle.h"

#include "quillet/widgets/screentool.h"

namespace QuilletStyle {

namespace {

// Title bar, buttons, group boxes and input fields: the rules the dialogs and
// the main window share. %1 font size, %2 button height, %3 field height.
const char* const kSharedRules =
    "QFrame#mainFrame{border: 1px solid gray;}\n"
    "QLabel#titleLabel,QLabel#logoLabel{background-color: transparent;color: white;}\n"
    "%PROMPT%"
    "QPushButton{height: %2px;border: 0px solid transparent;border-radius: 4px;"
    "background-color: rgb(22, 155, 213);padding: 0px;margin: 0px;color: white;}\n"
    "QPushButton:hover{background-color: rgb(232, 17, 35);color: rgb(224, 200, 200);}\n"
    "QPushButton:disabled{background-color: rgb(180, 200, 240);color: rgb(160, 160, 160);}\n"
    "QPushButton#closeBtn{border-radius: 0px;background-image: url(\":/img/closehover.png\");"
    "background-repeat:no-repeat;background-position: center center;}\n"
    "QPushButton#minBtn{border-radius: 0px;background-image: url(\":/img/min.png\");"
    "background-repeat:no-repeat;background-position: center center;}\n"
    "QGroupBox{border-style: solid;border-width: 1px;border-radius: 6px;border-color: rgb(203, 203, 203);"
    "margin: 6px 0px 0px 0px;}\n"
    "QGroupBox::title{subcontrol-origin: margin;subcontrol-position: left top;left: %LEFT%px;top: 0px;"
    "height: prefered;width: preffered;}\n"
    "QComboBox::down-arrow{border-image: url(:/img/downarrow.png);}\n"
    "QComboBox::drop-down{border-width: 1px;border-style: solid;border-left-color: gray;"
    "border-top-right-radius: 2px;border-bottom-right-radius: 2px;}\n"
    "QLineEdit, QComboBox{height: %3px;border-width: 1px;border-style: solid;border-radius: 2px;"
    "border-color: rgb(180, 180, 200);}\n"
    "QComboBox{padding-left: 6px;}\n"
    "QLineEdit::read-only{border-width: 1px;border-style: solid;border-radius: 2px;border-color: light;"
    "background-color:rgb(240, 240, 240);}\n";

const char* const kPromptRule = "QLabel#promptLabel{background-color: transparent;color: red;}\n";

QString sharedRules(bool prompt, const QString& groupTitleLeft)
{
    QString rules = QString::fromLatin1(kSharedRules);
    rules.replace("%PROMPT%", prompt ? QString::fromLatin1(kPromptRule) : QString());
    rules.replace("%LEFT%", groupTitleLeft);
    return rules;
}

} // namespace

QString dialogStyleSheet(Dialog dialog)
{
    QString sheet = QStringLiteral(
        ".QFrame,QLabel,QPushButton,QGroupBox,QComboBox,QLineEdit{font: %1px \"Microsoft YaHei\";"
        "background-color: white;border-color: rgb(150, 150, 150);}\n");
    // The port editor's title bar is as high as a button.
    sheet += QStringLiteral("QWidget#titleWidget{background-color: rgb(22, 155, 213);height: ")
             + (dialog == Dialog::PortEditor ? "%2" : "%1")
             + QStringLiteral("px;color: white;margin: 0px;padding: 0px;}\n");
    sheet += sharedRules(dialog == Dialog::ProjectStart, "%1");
    return sheet.arg(ScreenTool::scale(12)).arg(ScreenTool::scale(24)).arg(ScreenTool::scale(20));
}

QString mainWindowStyleSheet()
{
    QString sheet = QStringLiteral(
        "*{font: %1px;}\n"
        ".QFrame,QLabel,QPushButton,QGroupBox,QComboBox,QLineEdit,QTabWidget{background-color: white;"
        "border-color: rgb(150, 150, 150);}\n"
        "QWidget#titleWidget{background-color: rgb(22, 155, 213);height: %1px;color: white;}\n");
    sheet += sharedRules(false, "10");
    sheet += QStringLiteral("QTabBar::tab{height: %3px;width: %4px;}\n"
                            "QTabBar::tab:!selected{background-color: rgb(220, 220, 220);}\n");
    return sheet.arg(ScreenTool::scale(12))
        .arg(ScreenTool::scale(24))
        .arg(ScreenTool::scale(20))
        .arg(ScreenTool::scale(80));
}

} // namespace QuilletStyle
