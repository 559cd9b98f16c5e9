#include "tarnwick/widgets/tests/gallery.h"

#include "tarnwick/core/constants.h"
#include "tarnwick/widgets/appfont.h"
#include "tarnwick/widgets/checklineview.h"
#include "tarnwick/widgets/clicklabel.h"
#include "tarnwick/widgets/customlineview.h"
#include "tarnwick/widgets/editlineview.h"
#include "tarnwick/widgets/menubar.h"
#include "tarnwick/widgets/menuitem.h"
#include "tarnwick/widgets/menuitemgroup.h"
#include "tarnwick/widgets/menunavgation.h"
#include "tarnwick/widgets/messagebox.h"
#include "tarnwick/widgets/pannel.h"
#include "tarnwick/widgets/pixmaplabel.h"
#include "tarnwick/widgets/pixmaplineedit.h"
#include "tarnwick/widgets/pushbutton.h"
#include "tarnwick/widgets/radiobutton.h"
#include "tarnwick/widgets/selectlineview.h"
#include "tarnwick/widgets/tableview.h"
#include "tarnwick/widgets/widgettitle.h"

#include <QApplication>
#include <QDirIterator>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QVBoxLayout>

#include <memory>
#include <vector>

namespace {

QString u(const char* text)
{
    return QString::fromUtf8(text);
}

QLabel* caption(const QString& text, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    label->setStyleSheet("color: rgb(90, 90, 90);");
    return label;
}

struct Page {
    std::unique_ptr<QWidget> widget = std::make_unique<QWidget>();
    WidgetTitle* title = nullptr;
    MenuItemGroup* toolbar = nullptr;
    PushButton* disabledButton = nullptr;
    TableView* table = nullptr;
    MenuItem* settings = nullptr;
};

Page buildPage()
{
    Page page;
    QWidget* root = page.widget.get();
    root->setObjectName("galleryPage");
    root->setAttribute(Qt::WA_StyledBackground);
    root->setStyleSheet("QWidget#galleryPage{ background-color: rgb(240, 240, 240); }");
    root->setFixedWidth(820);
    auto* layout = new QVBoxLayout(root);
    layout->setContentsMargins(0, 0, 0, 10);
    layout->setSpacing(8);

    page.title = new WidgetTitle(root);
    layout->addWidget(page.title);
    page.settings = page.title->findChild<MenuItem*>();

    // The local device page's toolbar, with the pass-through item greyed out
    // and the connect item showing its stop picture.
    page.toolbar = new MenuItemGroup("toolbar", root);
    page.toolbar->addItems({
        {1, u("联机"), ":/pics/pic/vpn.png", ":/pics/pic/vpn_disable.png"},
        {3, "VNC", ":/pics/pic/vnc.png", ":/pics/pic/vnc_disable.png"},
        {4, u("穿透"), ":/pics/pic/pass.png", ":/pics/pic/pass_disable.png"},
        {14, "FTP", ":/pics/pic/ftp.png", ":/pics/pic/ftp_disable.png"},
        {8, u("保存"), ":/pics/pic/save.png", ":/pics/pic/save_disable.png"},
        {9, u("刷新"), ":/pics/pic/refresh.png", QString()},
        {13, u("调试"), ":/pics/pic/help.png", QString()},
        {0, u("注销"), ":/pics/pic/quit.png", QString()},
    });
    page.toolbar->changeItem(1, 2, ":/pics/pic/stop.png", u("停止"));
    page.toolbar->setItemDisabled(4, true);
    page.toolbar->setItemDisabled(14, true);
    auto* toolbarRow = new QHBoxLayout();
    toolbarRow->addWidget(page.toolbar);
    toolbarRow->addStretch(1);
    layout->addLayout(toolbarRow);

    // Buttons and labels.
    auto* buttons = new QHBoxLayout();
    buttons->setContentsMargins(10, 0, 10, 0);
    buttons->addWidget(new PushButton(u("确认"), root));
    page.disabledButton = new PushButton(u("取消"), root);
    page.disabledButton->setButtonDisabled(true);
    buttons->addWidget(page.disabledButton);
    auto* clickLabel = new ClickLabel(root);
    clickLabel->setText(u("可点击的文字"));
    buttons->addWidget(clickLabel);
    auto* importLabel = new PixmapLabel(":/pics/icon/import.png", ":/pics/icon/import_down.png", u("导入"), false,
                                        root);
    importLabel->setIconSize(QSize(24, 24));
    buttons->addWidget(importLabel);
    buttons->addWidget(new PixmapLabel(":/pics/img/filebrowser.png", u("打开"), true, root));
    auto* remote = new RadioButton(root);
    remote->setText(u("远程调试"));
    remote->setChecked(true);
    buttons->addWidget(remote);
    auto* local = new RadioButton(root);
    local->setText(u("本地调试"));
    buttons->addWidget(local);
    auto* off = new RadioButton(root);
    off->setText(u("不可选"));
    off->setRadioEnabled(false);
    buttons->addWidget(off);
    layout->addLayout(buttons);

    // Menu bar and navigation bar.
    auto* menus = new QHBoxLayout();
    menus->setContentsMargins(10, 0, 10, 0);
    auto* bar = new MenuBar(root);
    bar->addMenu(
        {"file", u("文件"), MenuItem::BelowLeft, true, QString(), {{6, u("导入"), "", ""}, {5, u("导出"), "", ""}}});
    bar->addMenu(
        {"view", u("视图"), MenuItem::BelowLeft, false, ":/pics/icon/networkinterface.png", {{1, u("刷新"), "", ""}}});
    menus->addWidget(caption(u("菜单栏:"), root));
    menus->addWidget(bar);
    menus->addWidget(caption(u("导航栏:"), root));
    menus->addWidget(new MenuNavgation(root));
    menus->addStretch(1);
    layout->addLayout(menus);

    // Form rows inside a panel.
    auto* panel = new Pannel(u("服务器"), root);
    auto* form = new QVBoxLayout(panel);
    form->setContentsMargins(30, 30, 30, 20);
    auto* server = new EditLineView(u("服务器地址:  "), "cloud.example.test", panel);
    server->setRequired(true);
    form->addWidget(server);
    auto* password = new EditLineView(u("密码:  "), "secret", panel);
    password->setPswdIconVisible(true);
    form->addWidget(password);
    auto* shown = new EditLineView(u("明文密码:  "), "secret", panel);
    shown->setPswdIconVisible(true);
    shown->lineEdit()->onPswdEyeClicked();
    form->addWidget(shown);
    auto* readOnly = new EditLineView(u("设备文件:  "), "data/LocalDeviceList.csv", panel);
    readOnly->setReadOnly(true);
    form->addWidget(readOnly);
    auto* select = new SelectLineView(u("网络接口:"), panel);
    select->setItems({{"eth0 192.168.10.2", 0}, {"wlan0", 1}});
    select->setRequired(true);
    form->addWidget(select);
    auto* selectIcon = new SelectLineView(QString(), panel);
    selectIcon->setLabelIcon(":/pics/icon/networkinterface.png");
    selectIcon->setItems({{u("以太网"), 0}});
    form->addWidget(selectIcon);
    form->addWidget(new CheckLineView(u("记住密码:"), u("保存到本机"), true, panel));
    form->addWidget(new CheckLineView(u("自动登录"), false, panel));
    form->addWidget(new CustomLineView(u("导入时间:  "), new QLabel(u("无")), panel));
    auto* search = new PixmapLineEdit(panel);
    search->setIcon(":/pics/icon/search2.png");
    search->setPlaceholderText(u("设备编号/设备名称/ICCID"));
    search->setBackground("white");
    form->addWidget(search);
    auto* user = new PixmapLineEdit(panel);
    user->setIcon(":/pics/icon/my.png");
    user->setText("engineer");
    user->setWhiteFrame();
    form->addWidget(user);
    layout->addWidget(panel);

    // The table: text with state colours, check boxes, icon labels.
    page.table = new TableView(root);
    page.table->setColumns({
        {u("设备名称"), TableColumn::Text, QHeaderView::Interactive, 200, Qt::AlignLeft},
        {u("状态"), TableColumn::Text, QHeaderView::Interactive, 90, Qt::AlignCenter},
        {u("选择"), TableColumn::Check, QHeaderView::Interactive, 60, Qt::AlignCenter},
        {u("文件"), TableColumn::Icon, QHeaderView::Interactive, 200, Qt::AlignLeft},
    });
    QVariantList rows;
    for (int state = 0; state < Tarnwick::Constants::kDeviceStatusCount; ++state) {
        const QString text = Tarnwick::Constants::kDeviceStatusTexts[state];
        const QString colour = Tarnwick::Constants::kDeviceStatusColors[state].name();
        rows << QVariant(QVariantList{
            u("面板 %1").arg(state + 1), QVariantMap{{"text", text}, {"color", colour}}, state % 2 == 0,
            QVariantMap{{"icon", state % 2 ? ":/pics/icon/file.png" : ":/pics/img/filebrowser.png"},
                        {"text", state % 2 ? QString("list%1.csv").arg(state) : QString("folder%1").arg(state)},
                        {"value", QString("/storage/%1").arg(state)},
                        {"size", 16}}});
    }
    page.table->updateRows(rows);
    page.table->selectRow(2);
    page.table->setFixedHeight(page.table->horizontalHeader()->minimumHeight() + 6 * 36 + 4);
    layout->addWidget(page.table);
    return page;
}

QImage grabWindow(QWidget* w)
{
    w->adjustSize();
    w->show();
    QApplication::processEvents();
    return w->grab().toImage();
}

} // namespace

GalleryShot renderGallery()
{
    AppFont::apply();
    GalleryShot shot;

    Page page = buildPage();
    const QImage pageImage = grabWindow(page.widget.get());
    const auto inPage = [&](QWidget* w) { return QRect(w->mapTo(page.widget.get(), QPoint(0, 0)), w->size()); };

    QWidget* reference = page.widget.get();
    std::vector<std::pair<QString, QImage>> boxes;
    {
        MessageBox box(MessageBox::Information, u("提示"), u("设备列表已保存"), u("确认"), QString(), reference);
        boxes.emplace_back("informationBox", grabWindow(&box));
    }
    {
        MessageBox box(MessageBox::Warning, u("错误"), u("启动失败，不能启动多个实例"), u("确认"), QString(),
                       reference);
        boxes.emplace_back("warningBox", grabWindow(&box));
    }
    {
        MessageBox box(MessageBox::Question, u("提示"), u("确定要断开与设备的连接吗？"), u("确认"), u("取消"),
                       reference);
        boxes.emplace_back("questionBox", grabWindow(&box));
    }
    {
        MessageBox box(reference, u("帮助"), u("确认"), QString());
        auto* help = new QLabel(u("内容模式: 调用者提供的控件\n例如帮助页的文字。"));
        help->setMinimumHeight(60);
        box.setContentWidget(help);
        boxes.emplace_back("contentBox", grabWindow(&box));
    }
    // The title bar's settings menu, opened.
    page.settings->showMenu();
    QApplication::processEvents();
    const QImage menuImage = page.settings->menu()->grab().toImage();
    page.settings->menu()->hide();

    // Compose: the page on the left, the boxes and the menu on the right.
    const int margin = 16;
    const int gap = 14;
    const int headline = 22;
    int rightWidth = menuImage.width();
    int rightHeight = headline + menuImage.height();
    for (const auto& b : boxes) {
        rightWidth = std::max(rightWidth, b.second.width());
        rightHeight += gap + headline + b.second.height();
    }
    // Every picture of the resource tree, with its name.
    QStringList pictures;
    QDirIterator it(":/pics", QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        if (path.endsWith(".png"))
            pictures << path;
    }
    pictures.sort();
    const int cell = 96;
    const int perRow = (pageImage.width() + margin + rightWidth) / cell;
    const int pictureRows = (pictures.size() + perRow - 1) / perRow;
    const int picturesHeight = headline + pictureRows * (cell - 20);

    const int width = margin + pageImage.width() + margin + rightWidth + margin;
    const int top = margin + headline + std::max(pageImage.height(), rightHeight) + margin;
    const int height = top + picturesHeight + margin;
    shot.image = QImage(width, height, QImage::Format_RGB32);
    shot.image.fill(Qt::white);
    QPainter painter(&shot.image);
    QFont font = QApplication::font();
    painter.setFont(font);
    painter.setPen(QColor(60, 60, 60));

    const QPoint pageAt(margin, margin + headline);
    painter.drawText(QPoint(margin, margin + 15), u("控件一览 (页面)"));
    painter.drawImage(pageAt, pageImage);
    shot.regions["page"] = QRect(pageAt, pageImage.size());
    shot.regions["title"] = inPage(page.title).translated(pageAt);
    shot.regions["toolbar"] = inPage(page.toolbar).translated(pageAt);
    shot.regions["disabledButton"] = inPage(page.disabledButton).translated(pageAt);
    shot.regions["table"] = inPage(page.table).translated(pageAt);
    const QRect selectedCell = page.table->visualRect(page.table->model()->index(2, 0));
    shot.regions["selectedRow"] = QRect(page.table->viewport()->mapTo(page.widget.get(), selectedCell.topLeft()),
                                        selectedCell.size())
                                      .translated(pageAt);

    int x = margin + pageImage.width() + margin;
    int y = margin;
    const auto place = [&](const QString& name, const QString& headlineText, const QImage& image) {
        painter.drawText(QPoint(x, y + 15), headlineText);
        y += headline;
        painter.drawImage(QPoint(x, y), image);
        shot.regions[name] = QRect(QPoint(x, y), image.size());
        y += image.height() + gap;
    };
    place("menu", u("设置菜单 (标题栏)"), menuImage);
    const char* headlines[] = {"MessageBox::information", "MessageBox::warning", "MessageBox::question",
                               "MessageBox (content mode)"};
    for (size_t i = 0; i < boxes.size(); ++i)
        place(boxes[i].first, headlines[i], boxes[i].second);

    painter.drawText(QPoint(margin, top + 15), u("资源图片 (:/pics/...)"));
    QFont small = font;
    small.setPointSizeF(font.pointSizeF() * 0.7);
    painter.setFont(small);
    for (int i = 0; i < pictures.size(); ++i) {
        const QRect box(margin + (i % perRow) * cell, top + headline + (i / perRow) * (cell - 20), cell, cell - 20);
        const QPixmap picture =
            QPixmap(pictures.at(i)).scaled(QSize(40, 40), Qt::KeepAspectRatio, Qt::SmoothTransformation);
        const QRect iconRect(box.x() + (cell - 48) / 2, box.y(), 48, 48);
        // Dark ground behind the white title-bar pictures.
        const bool white = pictures.at(i).contains("/img/m") || pictures.at(i).contains("closehover")
                           || pictures.at(i).contains("normal") || pictures.at(i).contains("setting")
                           || pictures.at(i).contains("close1");
        painter.fillRect(iconRect, white ? QColor(22, 155, 213) : QColor(245, 245, 245));
        painter.drawPixmap(iconRect.x() + (48 - picture.width()) / 2, iconRect.y() + (48 - picture.height()) / 2,
                           picture);
        painter.drawText(QRect(box.x(), box.y() + 50, cell, 20), Qt::AlignHCenter | Qt::AlignTop,
                         QFileInfo(pictures.at(i)).completeBaseName());
    }
    shot.regions["pictures"] = QRect(margin, top, width - 2 * margin, picturesHeight);
    painter.end();
    return shot;
}
