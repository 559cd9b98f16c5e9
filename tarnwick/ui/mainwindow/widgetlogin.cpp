#include "tarnwick/ui/mainwindow/widgetlogin.h"

#include "tarnwick/core/globalconfig.h"
#include "tarnwick/core/screentool.h"
#include "tarnwick/ui/mainwindow/mainwindowconstants.h"
#include "tarnwick/widgets/checklineview.h"
#include "tarnwick/widgets/kitresources.h"
#include "tarnwick/widgets/pixmaplineedit.h"
#include "tarnwick/widgets/radiobutton.h"
#include "tarnwick/widgets/selectlineview.h"

#include <QButtonGroup>
#include <QDebug>
#include <QHBoxLayout>
#include <QLabel>
#include <QNetworkInterface>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QSpacerItem>
#include <QStackedWidget>
#include <QVBoxLayout>

#include <cmath>

namespace C = Tarnwick::MainWindow;

namespace {

WidgetLogin::InterfaceLister& lister()
{
    static WidgetLogin::InterfaceLister current;
    return current;
}

// The banner's picture. Where the window has less height than the form asks
// for (a high DPI on a small screen) it gives up height first, down to half
// its own, and is drawn whole and in its shape in the height it has.
class BannerLabel : public QLabel {
public:
    using QLabel::QLabel;

    void setPicture(const QPixmap& picture)
    {
        m_picture = picture;
        setPixmap(picture);
    }

    QSize minimumSizeHint() const override
    {
        const QSize own = QLabel::minimumSizeHint();
        return m_picture.isNull() ? own : QSize(own.width(), own.height() - m_picture.height() / 2);
    }

protected:
    void paintEvent(QPaintEvent* event) override
    {
        const QRect room = contentsRect();
        if (m_picture.isNull() || room.height() >= m_picture.height()) {
            QLabel::paintEvent(event);
            return;
        }
        QRect target(QPoint(0, 0), m_picture.size().scaled(room.size(), Qt::KeepAspectRatio));
        target.moveCenter(room.center());
        QPainter painter(this);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawPixmap(target, m_picture);
    }

private:
    QPixmap m_picture;
};

} // namespace

WidgetLogin::WidgetLogin(QWidget* parent)
    : QFrame(parent)
{
    KitResources::init();
    buildForm();
}

void WidgetLogin::buildForm()
{
    // Tabs.
    auto* group = new QButtonGroup(this);
    group->setExclusive(true);
    remoteRadio = new RadioButton(this);
    remoteRadio->setText(C::remoteTabText());
    remoteRadio->addToGroup(group, C::CloudMode);
    remoteRadio->setChecked(true);
    localRadio = new RadioButton(this);
    localRadio->setText(C::localTabText());
    localRadio->addToGroup(group, C::LocalMode);
    auto* tabRow = new QHBoxLayout;
    tabRow->setAlignment(Qt::AlignCenter);
    tabRow->addWidget(remoteRadio, 0, Qt::AlignCenter);
    tabRow->addItem(new QSpacerItem(ScreenTool::scale(20), 0, QSizePolicy::Minimum, QSizePolicy::Minimum));
    tabRow->addWidget(localRadio, 0, Qt::AlignCenter);

    // Remote page.
    auto* remotePage = new QWidget(this);
    auto* remoteLayout = new QVBoxLayout(remotePage);
    userEdit = new PixmapLineEdit(remotePage);
    userEdit->setPlaceholderText(C::userPlaceholder());
    userEdit->setIcon(QStringLiteral(":/pics/icon/my.png"));
    pswdEdit = new PixmapLineEdit(remotePage);
    pswdEdit->setPlaceholderText(C::pswdPlaceholder());
    pswdEdit->setEchoMode(QLineEdit::Password);
    pswdEdit->setPswdIconVisible(true);
    pswdEdit->setIcon(QStringLiteral(":/pics/icon/lock.png"));
    loginButton = new QPushButton(C::loginText(), remotePage);
    loginButton->setMinimumHeight(ScreenTool::scale(loginButton->height()));
    loginButton->setStyleSheet(C::buttonStyle());
    keepPswdCheck = new CheckLineView(C::keepPswdText(), true, remotePage);
    remoteLayout->addWidget(userEdit);
    remoteLayout->addWidget(pswdEdit);
    remoteLayout->addWidget(loginButton);
    remoteLayout->addWidget(keepPswdCheck);
    remoteLayout->addWidget(new QWidget(remotePage), 1);

    // Local page.
    auto* localPage = new QWidget(this);
    auto* localLayout = new QVBoxLayout(localPage);
    netIntfSelect = new SelectLineView(QString(), localPage);
    netIntfSelect->setLabelIcon(QStringLiteral(":/pics/icon/networkinterface.png"));
    refreshInterfaces();
    searchButton = new QPushButton(C::searchText(), localPage);
    searchButton->setStyleSheet(C::buttonStyle());
    searchButton->setFixedHeight(ScreenTool::scale(30));
    statusLabel = new QLabel(localPage);
    statusLabel->setStyleSheet(
        QStringLiteral("QLabel{color:rgb(22, 155, 213); font.size: %1}").arg(ScreenTool::scale(9)));
    statusLabel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    localLayout->addWidget(netIntfSelect);
    localLayout->addWidget(searchButton);
    localLayout->addWidget(statusLabel);
    localLayout->addWidget(new QWidget(localPage), 1);

    pageStack = new QStackedWidget(this);
    pageStack->addWidget(remotePage);
    pageStack->addWidget(localPage);

    // Banner.
    auto* banner = new QFrame(this);
    auto* bannerLayout = new QHBoxLayout(banner);
    bannerLayout->setContentsMargins(0, 0, 0, 0);
    bannerLayout->setSpacing(0);
    // The spacers' widths are fixed; their heights do not bound the row's,
    // so that the row asks for the picture's whole height while it may give
    // up some of it.
    bannerLayout->addItem(new QSpacerItem(ScreenTool::scale(33), 10, QSizePolicy::Fixed, QSizePolicy::Minimum));
    auto* bannerLabel = new BannerLabel(banner);
    bannerLabel->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    bannerLabel->setAlignment(Qt::AlignCenter);
    QPixmap picture(QStringLiteral(":/pics/vexa_img/banner.png"));
    const QSize size = ScreenTool::scaleSize(
        QSize(int(std::lround(picture.width() * 0.85)), int(std::lround(picture.height() * 0.85))));
    if (!picture.isNull())
        bannerLabel->setPicture(picture.scaled(size, Qt::KeepAspectRatio, Qt::SmoothTransformation));
    bannerLayout->addWidget(bannerLabel);
    bannerLayout->addItem(new QSpacerItem(ScreenTool::scale(37), 10, QSizePolicy::Fixed, QSizePolicy::Minimum));
    bannerWidth = ScreenTool::scale(37) + ScreenTool::scale(33) + size.width();

    auto* container = new QWidget(this);
    auto* containerLayout = new QVBoxLayout(container);
    containerLayout->addWidget(banner);
    containerLayout->addLayout(tabRow);
    containerLayout->addWidget(pageStack);
    container->setFixedWidth(int(bannerWidth * 1.2));

    auto* layout = new QVBoxLayout(this);
    layout->setAlignment(Qt::AlignCenter);
    layout->addStretch(1);
    layout->addWidget(container);
    layout->addStretch(1);

    connect(loginButton, &QPushButton::clicked, this, &WidgetLogin::onRemoteDebugLogin);
    connect(searchButton, &QPushButton::clicked, this, &WidgetLogin::onLocalDebugLogin);
    connect(group, &QButtonGroup::idClicked, pageStack, &QStackedWidget::setCurrentIndex);
    connect(group, &QButtonGroup::idClicked, this, [this](int id) {
        if (id == C::LocalMode)
            refreshInterfaces();
    });
}

void WidgetLogin::loadSettings()
{
    GlobalConfig* config = GlobalConfig::instance();
    userEdit->setText(config->userName());
    pswdEdit->setText(config->password());
    keepPswdCheck->setChecked(config->keepPswd());
}

void WidgetLogin::saveSettings()
{
    GlobalConfig* config = GlobalConfig::instance();
    config->setKeepPswd(keepPswdCheck->isChecked());
    config->setUserName(userEdit->text());
    config->setPassword(pswdEdit->text());
    config->save();
}

void WidgetLogin::setTabsEnabled(bool enabled)
{
    remoteRadio->setRadioEnabled(enabled);
    localRadio->setRadioEnabled(enabled);
}

void WidgetLogin::onRemoteDebugLogin()
{
    if (!ready) {
        qDebug().noquote() << "onRemoteDebugLogin in progress";
        return;
    }
    ready = false;
    setTabsEnabled(false);
    emit loginAction(userEdit->text(), pswdEdit->text(), C::CloudMode);
}

void WidgetLogin::onLocalDebugLogin()
{
    if (!ready) {
        qDebug().noquote() << "onLocalDebugLogin in progress";
        emit localDebugActionCancel();
        return;
    }
    const QString name = netIntfSelect->currentText();
    if (name.isEmpty())
        return;
    ready = false;
    setTabsEnabled(false);
    statusLabel->setText(C::searchingText());
    searchButton->setText(C::cancelSearchText());
    emit localDebugAction(name, QString());
}

void WidgetLogin::slotLoginFinished()
{
    ready = true;
    setTabsEnabled(true);
    statusLabel->clear();
    searchButton->setText(C::searchText());
}

void WidgetLogin::changeMode(int mode)
{
    qDebug().noquote() << "changeMode" << mode;
}

void WidgetLogin::resizeEvent(QResizeEvent* event)
{
    QFrame::resizeEvent(event);
    emit resizeFrm();
}

QStringList WidgetLogin::usableInterfaces()
{
    if (lister())
        return lister()();
    QStringList names;
    for (const QNetworkInterface& iface : QNetworkInterface::allInterfaces()) {
        const auto flags = iface.flags();
        if (flags.testFlag(QNetworkInterface::IsLoopBack))
            continue;
        if (!flags.testFlag(QNetworkInterface::CanBroadcast) && !flags.testFlag(QNetworkInterface::CanMulticast))
            continue;
        names << iface.humanReadableName();
    }
    return names;
}

int WidgetLogin::pickInterface(const QStringList& names, const QString& remembered)
{
    if (names.isEmpty())
        return -1;
    if (!remembered.isEmpty()) {
        const int at = names.indexOf(remembered);
        if (at >= 0)
            return at;
    } else {
        const int at = names.indexOf(C::ethernetName());
        if (at >= 0)
            return at;
    }
    return 0;
}

void WidgetLogin::setInterfaceLister(InterfaceLister newLister)
{
    lister() = std::move(newLister);
}

void WidgetLogin::refreshInterfaces()
{
    const QString remembered = netIntfSelect->currentText();
    const QStringList names = usableInterfaces();
    netIntfSelect->clear();
    for (const QString& name : names)
        netIntfSelect->addItem(name, QString());
    const int at = pickInterface(names, remembered);
    if (at >= 0)
        netIntfSelect->setCurrentIndex(at);
}
