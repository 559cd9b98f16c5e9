#include "tarnwick/vnc/vncpassworddialog.h"

#include "tarnwick/core/screentool.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

VncPasswordDialog::VncPasswordDialog(QWidget* parent)
    : QDialog(parent)
{
    setWindowTitle(QStringLiteral("登录校验"));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::CustomizeWindowHint | Qt::WindowCloseButtonHint);
    resize(ScreenTool::scale(240), ScreenTool::scale(100));

    auto* label = new QLabel(QStringLiteral("请输入VNC连接密码"), this);
    m_passwordEdit = new QLineEdit(this);
    m_passwordEdit->setObjectName(QStringLiteral("passwdLineEdit"));
    m_passwordEdit->setEchoMode(QLineEdit::Password);
    m_passwordEdit->setMinimumHeight(ScreenTool::scale(26));

    m_okButton = new QPushButton(QStringLiteral("确定"), this);
    m_okButton->setObjectName(QStringLiteral("OKBtn"));
    m_okButton->setMinimumHeight(ScreenTool::scale(26));
    connect(m_okButton, &QPushButton::clicked, this, &VncPasswordDialog::okBtnClicked);

    m_cancelButton = new QPushButton(QStringLiteral("取消"), this);
    m_cancelButton->setObjectName(QStringLiteral("CancelBtn"));
    m_cancelButton->setMinimumHeight(ScreenTool::scale(26));
    connect(m_cancelButton, &QPushButton::clicked, this, &VncPasswordDialog::cancelBtnClicked);

    auto* buttons = new QHBoxLayout;
    buttons->setContentsMargins(0, 0, 0, 0);
    buttons->setSpacing(ScreenTool::scale(10));
    buttons->addWidget(m_okButton);
    buttons->addWidget(m_cancelButton);

    auto* layout = new QVBoxLayout(this);
    const int margin = ScreenTool::scale(10);
    layout->setContentsMargins(margin, margin, margin, margin);
    layout->setSpacing(ScreenTool::scale(10));
    layout->addStretch(1);
    layout->addWidget(label);
    layout->addWidget(m_passwordEdit);
    layout->addLayout(buttons);
    layout->addStretch(1);
}

QString VncPasswordDialog::password() const
{
    return m_passwordEdit->text();
}

void VncPasswordDialog::okBtnClicked()
{
    accept();
}

void VncPasswordDialog::cancelBtnClicked()
{
    reject();
}

void VncPasswordDialog::_screenChanged(QRect rc)
{
    move((rc.width() - width()) / 2, (rc.height() - height()) / 2);
}
