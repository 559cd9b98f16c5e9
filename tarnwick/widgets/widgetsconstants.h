#pragma once

// The widget kit's pictures, colours, style sheets and click timings, in one
// place. Pixel values inside style sheets are not scaled; every other size is
// passed through ScreenTool where it is used.

#include <QtGlobal>

namespace Tarnwick {
namespace Widgets {

// Click timing of a frameless window's drag handle (milliseconds, inclusive).
constexpr qint64 kDoubleClickLimitMs = 999;
constexpr qint64 kClickLimitMs = 499;

// The application font: the family the program is designed for, and the CJK
// family that Debian ships (fonts-wqy-microhei) where the first is missing.
constexpr char kPreferredFontFamily[] = "微软雅黑";
constexpr char kFallbackFontFamily[] = "WenQuanYi Micro Hei";
constexpr int kApplicationFontBase = 11;

// Pictures of the compiled-in resource tree.
constexpr char kIconInfo[] = ":/pics/icon/info.png";
constexpr char kIconWarn[] = ":/pics/icon/warn.png";
constexpr char kIconAsk[] = ":/pics/icon/ask2.png";
constexpr char kIconSetting[] = ":/pics/icon/setting.png";
constexpr char kIconEyeOpen[] = ":/pics/icon/eye_open.png";
constexpr char kIconEyeClose[] = ":/pics/icon/eye_close.png";
constexpr char kImgMin[] = ":/pics/img/min.png";
constexpr char kImgMax[] = ":/pics/img/max.png";
constexpr char kImgNormal[] = ":/pics/img/normal.png";
constexpr char kImgClose[] = ":/pics/img/closehover.png";

// Palette.
constexpr char kTitleButtonHover[] = "rgb(90, 100, 150)";
constexpr char kGroupItemHover[] = "rgb(150, 150, 200)";
constexpr char kDisabledText[] = "#AAAAAA";
constexpr char kNormalText[] = "black";
constexpr char kReadOnlyBackground[] = "rgb(245, 245, 245)";
constexpr char kWhite[] = "white";
constexpr char kTransparent[] = "transparent";

// The kit's blue button, shared by PushButton and the message box.
constexpr char kBlueButtonStyle[] =
    "QPushButton{  background-color: rgb(22, 155, 213); color: white; height: 24px;  border: 1px solid rgb(22, 155, "
    "213); border-radius: 4px;}QPushButton:hover {  background-color: rgb(24, 165, 226); color: rgb(240, 240, "
    "240);}QPushButton:pressed {  background-color: rgb(22, 140, 190); color: white;}";
constexpr char kButtonStyleTemplate[] =
    "QPushButton{  background-color: %1; color: white; height: 24px;  border: 1px solid %1; border-radius: "
    "4px;}QPushButton:hover {  background-color: %2; color: rgb(240, 240, 240);}QPushButton:pressed {  "
    "background-color: %3; color: white;}";
constexpr char kButtonDisabledColour[] = "rgb(180, 180, 180)";
constexpr char kButtonColour[] = "rgb(22, 155, 213)";
constexpr char kButtonHoverColour[] = "rgb(24, 165, 226)";
constexpr char kButtonPressedColour[] = "rgb(22, 140, 190)";

// Message box.
constexpr char kMessageBoxName[] = "messagebox";
constexpr char kMessageTitleName[] = "messageTitle";
constexpr char kButtonLayoutName[] = "buttonLayout";
constexpr char kMessageBoxStyle[] = "QWidget#messagebox{border: 1px solid grey; background-color: rgb(240, 240, 240);}";
constexpr char kMessageTitleStyle[] = "background-color: rgb(22, 155, 213);color: white;";
constexpr char kMessageCloseStyle[] =
    "QPushButton{  padding: 0px; margin: 0px;  background-color: transparent; background-repeat:no-repeat;  "
    "background-position: center center;  border-image: url(\":/pics/icon/close1.png\");}QPushButton:hover{   "
    "border-image: url(\":/pics/icon/close.png\"); }";
constexpr char kMessageIconStyle[] =
    "QPushButton{  padding: 0px; margin: 0px;  background-color: transparent; background-repeat:no-repeat;  "
    "background-position: center center;  border-image: url(\"%1\");}";
constexpr char kRedText[] = "color: red;";

// Title bar.
constexpr char kTitleBarName[] = "TitleBar";
constexpr char kTitleBarStyle[] =
    "QWidget#TitleBar{  background-color: rgb(22, 155, 213);  height: 92px;  color: white;  margin: 0px;  padding: "
    "0px;}";
constexpr char kTitleLabelStyle[] = "background-color: transparent; color: white;";
constexpr char kTitleButtonStyle[] =
    "QPushButton{padding: 0px; margin: 0px; border: 0px solid transparent;background-color: transparent; "
    "background-repeat:no-repeat; background-position: center center;background-image: url(\"%1\"); "
    "}QPushButton:hover{ background-color: rgb(90, 100, 150); }";
constexpr char kSettingItemName[] = "setting";
constexpr char kMaxButtonName[] = "maxButton";

// Title bar settings menu and the navigation bar: action ids.
constexpr int kActionSettings = 10;
constexpr int kActionHelp = 11;
constexpr int kActionAbout = 12;
constexpr char kTextSettings[] = "设置";
constexpr char kTextHelp[] = "帮助";
constexpr char kTextAbout[] = "关于";

// Menus.
constexpr char kMenuActionName[] = "menuAction";
constexpr char kMenuActionStyle[] =
    "QWidget#menuAction{  border-bottom: %1px solid rgb(220, 220, 220);  background-color: transparent;} %2 ";
constexpr char kMenuActionHoverStyle[] = "QWidget#menuAction:hover{ background-color: rgb(150, 200, 220); }";
constexpr char kMenuItemName[] = "MenuItem";
constexpr char kMenuItemLabelName[] = "iconlabel";
constexpr char kMenuStyle[] = "QMenu{  border: 1px solid grey; background-color: white;}";
constexpr char kMenuItemHoverStyle[] = "QWidget#MenuItem:hover{  background-color: %1; }";
constexpr char kNavigationGroupName[] = "menuSetting";
constexpr char kNavigationGroupStyle[] = "color: blue;";

// Labels.
constexpr char kPixmapLabelName[] = "pixmapLabel";
constexpr char kIconChildName[] = "icon";
constexpr char kTextChildName[] = "text";
constexpr char kTextColourStyle[] = "color: %1;";

// Input rows.
constexpr char kStarName[] = "labstar";
constexpr char kCaptionName[] = "labtext";
constexpr char kCaptionLayoutName[] = "labLayout";
constexpr char kWidgetLayoutName[] = "widgetLayout";
constexpr char kEyeName[] = "pswdIcon";
constexpr char kCheckBoxStyle[] =
    "QCheckBox::indicator{  width: %1px; height: %2px;}QCheckBox::indicator:!checked{  border-image: "
    "url(:/pics/img/unchecked.png);}QCheckBox::indicator:checked{  border-image: url(:/pics/img/checked.png);}";
constexpr char kLineEditFrameStyle[] =
    "QFrame{border: 1px solid rgb(180, 185, 213); background-color: %1;border-radius: %2px; padding: "
    "0px;}QLineEdit{border-width:0; border-style:outset; background-color: transparent;}QLabel{border-width: 0px; "
    "border-style:outset; background-color: transparent;}";
constexpr char kLineEditWhiteFrameStyle[] =
    "QFrame{border: 1px solid rgb(255, 255, 255); background-color: transparent;border-radius: %1px; padding: "
    "0px;}QLineEdit{border-width:0; border-style:outset; background-color: transparent;}QLabel{border-width: 0px; "
    "border-style:outset; background-color: transparent;}";
constexpr char kComboStyle[] =
    "QComboBox{ border-radius: 0px; border: 0px solid rgb(180, 185, 213); height: %1px; font-size: "
    "%3px;}QComboBox::drop-down { width: %1px; height: %1px; background-color: "
    "transparent;}QComboBox::down-arrow{ image: url(:/pics/icon/down.png); width: %2px; height: %2px;}";
constexpr char kSelectFrameStyle[] =
    "QFrame{ border-radius: 4px; border: 1px solid rgb(180, 185, 213); height: %1}QLabel{border-width: 0px;}";
constexpr char kPannelName[] = "Pannel";
constexpr char kPannelStyle[] = "QWidget#Pannel{  border: 1px solid grey;  border-radius: 10px;  margin: %1px;}";
constexpr char kPannelCaptionStyle[] = "background-color: rgb(240, 240, 240);";

// Table view.
constexpr char kHeaderStyle[] =
    "QHeaderView{  margin-bottom: 1.5px;}QHeaderView::down-arrow{   subcontrol-position: center right;   image: "
    "url(:/pics/icon/arrow-down.png);   padding-right: %1px;   width: %2px; height: "
    "%2px;}QHeaderView::up-arrow{   subcontrol-position: center right;   image: url(:/pics/icon/arrow-up.png);   "
    "padding-right: %1px;   width: %2px; height: %2px;}";
constexpr char kTableStyle[] = "QTableWidget::item:selected { background-color: rgb(150, 180, 250); color: white; }";
constexpr char kIconValueName[] = "iconValue";
constexpr int kDefaultCellIconSize = 32;

} // namespace Widgets
} // namespace Tarnwick
