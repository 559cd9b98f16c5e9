#include "tarnwick/widgets/messagebox.h"

#include "platform/windowfit/windowfit.h"
#include "tarnwick/core/screentool.h"
#include "tarnwick/widgets/kitresources.h"
#include "tarnwick/widgets/widgetsconstants.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QEventLoop>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

using namespace Tarnwick::Widgets;

namespace {

QString iconForType(MessageBox::Type type)
{
    switch (type) {
    case MessageBox::Warning: return QString::fromLatin1(kIconWarn);
    case MessageBox::Question: return QString::fromLatin1(kIconAsk);
    default: return QString::fromLatin1(kIconInfo);
    }
}

} // namespace

MessageBox::MessageBox(Type type, const QString& title, const QString& text, const QString& button1,
                       const QString& button2, QWidget* parent)
    : MovableWidget(nullptr)
    , m_boxType(type)
    , m_referenceWidget(parent)
{
    build(title, text, button1, button2);
}

MessageBox::MessageBox(QWidget* parent, const QString& title, const QString& button1, const QString& button2)
    : MovableWidget(nullptr)
    , m_boxType(Content)
    , m_referenceWidget(parent)
    , m_button1Check([] { return true; })
{
    build(title, QString(), button1, button2);
}

MessageBox::~MessageBox() = default;

void MessageBox::build(const QString& title, const QString& text, const QString& button1, const QString& button2)
{
    KitResources::init();
    setWindowModality(Qt::ApplicationModal);
    setAttribute(Qt::WA_StyledBackground);
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
    setObjectName(kMessageBoxName);
    setStyleSheet(kMessageBoxStyle);

    if (!m_referenceWidget)
        m_referenceWidget = window();
    const int baseWidth = qRound(0.4 * m_referenceWidget->width());
    setMinimumWidth(baseWidth);
    setMinimumHeight(ScreenTool::scale(180));

    auto* mainLayout = new QVBoxLayout(this);
    mainLayout->setContentsMargins(0, 0, 0, 0);
    mainLayout->setAlignment(Qt::AlignCenter);

    auto* titleBar = new QWidget(this);
    titleBar->setObjectName(kMessageTitleName);
    auto* titleLayout = new QHBoxLayout(titleBar);
    titleLayout->setContentsMargins(0, 0, 0, 0);
    titleLayout->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    auto* titleLabel = new QLabel(title, titleBar);
    titleBar->setMinimumWidth(baseWidth);
    titleBar->setFixedHeight(ScreenTool::scale(30));
    titleBar->setStyleSheet(kMessageTitleStyle);

    auto* closeButton = new QPushButton(titleBar);
    closeButton->setFixedSize(ScreenTool::scaleSize(QSize(16, 16)));
    closeButton->setStyleSheet(kMessageCloseStyle);
    connect(closeButton, &QPushButton::clicked, this, &MessageBox::onQuitClicked);

    titleLayout->addSpacing(ScreenTool::scale(8));
    if (m_boxType != Content) {
        auto* iconButton = new QPushButton(titleBar);
        iconButton->setFixedSize(ScreenTool::scaleSize(QSize(18, 18)));
        iconButton->setStyleSheet(QString::fromLatin1(kMessageIconStyle).arg(iconForType(m_boxType)));
        titleLayout->addWidget(iconButton);
    }
    titleLayout->addWidget(titleLabel, 50);
    titleLayout->addWidget(closeButton);
    titleLayout->addSpacing(ScreenTool::scale(8));

    m_contentLayout = new QHBoxLayout();
    m_contentLayout->setAlignment(Qt::AlignCenter);
    if (m_boxType != Content) {
        const int boxWidth = std::max(ScreenTool::scale(300), baseWidth);
        setMinimumWidth(boxWidth);
        m_contentLayout->setContentsMargins(ScreenTool::scale(15), 0, ScreenTool::scale(15), 0);
        m_contentLayout->setSpacing(0);
        auto* textLabel = new QLabel(text, this);
        textLabel->setAlignment(Qt::AlignHCenter);
        textLabel->setMinimumWidth(static_cast<int>(0.9 * boxWidth));
        m_contentLayout->addWidget(textLabel);
        textLabel->adjustSize();
        textLabel->setWordWrap(true);
        if (m_boxType == Warning)
            textLabel->setStyleSheet(kRedText);
    }

    auto* buttonLayout = new QHBoxLayout();
    buttonLayout->setObjectName(kButtonLayoutName);
    buttonLayout->setAlignment(Qt::AlignCenter);
    buttonLayout->setContentsMargins(ScreenTool::scale(15), 0, ScreenTool::scale(15), 0);
    buttonLayout->addSpacing(ScreenTool::scale(15));
    const auto makeButton = [this](const QString& text) {
        auto* button = new QPushButton(text, this);
        button->setStyleSheet(kBlueButtonStyle);
        button->setMinimumWidth(ScreenTool::scale(60));
        button->setMinimumHeight(ScreenTool::scale(button->height()));
        return button;
    };
    QPushButton* firstButton = makeButton(button1);
    connect(firstButton, &QPushButton::clicked, this, &MessageBox::onButton1Clicked);
    buttonLayout->addWidget(firstButton);
    if (button1.isEmpty())
        firstButton->hide();
    if (!button2.isEmpty()) {
        QPushButton* secondButton = makeButton(button2);
        connect(secondButton, &QPushButton::clicked, this, &MessageBox::onButton2Clicked);
        buttonLayout->addWidget(secondButton);
    }
    buttonLayout->addSpacing(ScreenTool::scale(15));

    mainLayout->addWidget(titleBar, 1);
    mainLayout->addLayout(m_contentLayout, 8);
    mainLayout->addLayout(buttonLayout, 0);
    mainLayout->addSpacing(ScreenTool::scale(10));

    setTitleDraggable(true);
}

MessageBox::Result MessageBox::exec()
{
    m_result = Closed;
    const bool sized = sizeToContent();
    show();
    if (sized)
        followContent();
    placeOverReference();
    m_eventLoop = std::make_unique<QEventLoop>();
    m_eventLoop->exec();
    return m_result;
}

QRect MessageBox::availableArea() const
{
    return Platform::WindowFit::availableArea(m_referenceWidget ? m_referenceWidget.data() : this);
}

bool MessageBox::sizeToContent()
{
    const QRect area = availableArea();
    // Without a screen to fit (the offscreen platform), or sized by its
    // caller, the box takes the size show() gives it.
    if (area.isEmpty() || testAttribute(Qt::WA_Resized))
        return false;
    // As show() would size it, but within the whole available area rather
    // than two thirds of the screen: a box of much content shows all of it
    // where the screen has room for it.
    if (layout())
        layout()->activate();
    QSize size = sizeHint();
    const Qt::Orientations grows = layout() ? layout()->expandingDirections() : sizePolicy().expandingDirections();
    if (layout() && layout()->hasHeightForWidth())
        size.setHeight(layout()->totalHeightForWidth(size.width()));
    if (grows & Qt::Horizontal)
        size.setWidth(std::max(size.width(), 200));
    if (grows & Qt::Vertical)
        size.setHeight(std::max(size.height(), 100));
    resize(size.boundedTo(area.size()).expandedTo(minimumSize()));
    return true;
}

void MessageBox::followContent()
{
    // Content that asks for more room once it has its size (a scroll area
    // that turns out to need its scroll bar) widens the box, as far as the
    // screen lets it: the box's own minimum width, set when it was built,
    // keeps its layout from doing so.
    const QSize room = availableArea().size();
    for (int round = 0; round < kSettleRounds; ++round) {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
        QSize wanted = size();
        if (layout())
            wanted = wanted.expandedTo(layout()->totalMinimumSize());
        wanted = wanted.boundedTo(room);
        if (wanted == size())
            break;
        resize(wanted);
    }
}

void MessageBox::placeOverReference()
{
    if (!m_referenceWidget || m_referenceWidget == this)
        return;
    const QRect over(m_referenceWidget->mapToGlobal(QPoint(0, 0)), m_referenceWidget->size());
    const QRect area = Platform::WindowFit::availableArea(m_referenceWidget);
    // Centred over the reference widget, and within the screen where it is
    // larger than that widget.
    if (area.isEmpty())
        move(over.topLeft() + QPoint((over.width() - width()) / 2, (over.height() - height()) / 2));
    else
        move(Platform::WindowFit::placeFrame(size(), area, over).topLeft());
}

void MessageBox::done(Result r)
{
    m_result = r;
    close();
}

void MessageBox::setContentWidget(QWidget* w)
{
    if (w == m_contentWidget)
        return;
    if (m_contentWidget) {
        m_contentLayout->removeWidget(m_contentWidget);
        delete m_contentWidget;
    }
    m_contentWidget = w;
    if (w)
        m_contentLayout->addWidget(w);
}

void MessageBox::setButton1Handler(std::function<bool()> check)
{
    m_button1Check = std::move(check);
}

void MessageBox::setTitleDraggable(bool draggable)
{
    setDragWidget(draggable ? findChild<QWidget*>(kMessageTitleName) : nullptr);
}

void MessageBox::setButtonAlignment(Qt::Alignment alignment)
{
    if (auto* layout = findChild<QHBoxLayout*>(kButtonLayoutName))
        layout->setAlignment(alignment);
}

void MessageBox::closeEvent(QCloseEvent* event)
{
    if (m_eventLoop)
        m_eventLoop->exit(0);
    event->accept();
}

void MessageBox::onButton1Clicked()
{
    if (m_boxType == Content && m_button1Check && !m_button1Check())
        return;
    m_result = Button1;
    close();
}

void MessageBox::onButton2Clicked()
{
    m_result = Button2;
    close();
}

void MessageBox::onQuitClicked()
{
    m_result = TitleClose;
    close();
}

void MessageBox::centerInParent()
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen)
        return;
    QRect box = geometry();
    box.moveCenter(screen->availableGeometry().center());
    move(box.topLeft());
}

MessageBox::Result MessageBox::question(QWidget* parent, const QString& title, const QString& text,
                                        const QString& button1, const QString& button2, Qt::Alignment buttonAlign)
{
    MessageBox box(Question, title, text, button1, button2, parent);
    box.setButtonAlignment(buttonAlign);
    return box.exec();
}

MessageBox::Result MessageBox::information(QWidget* parent, const QString& title, const QString& text,
                                           const QString& button, Qt::Alignment buttonAlign)
{
    MessageBox box(Information, title, text, button, QString(), parent);
    box.setButtonAlignment(buttonAlign);
    return box.exec();
}

MessageBox::Result MessageBox::warning(QWidget* parent, const QString& title, const QString& text,
                                       const QString& button, Qt::Alignment buttonAlign)
{
    MessageBox box(Warning, title, text, button, QString(), parent);
    box.setButtonAlignment(buttonAlign);
    return box.exec();
}
