#include "quillet/dialogs/virtualporteditor.h"

#include "quillet/dialogs/dialogstyle.h"
#include "ui_virtualporteditor.h"

#include <cstdio>

VirtualPortEditor::VirtualPortEditor(QWidget* parent)
    : QuilletDialog(parent)
    , ui(std::make_unique<Ui_VirtualPortEditor>())
{
    ui->setupUi(this);
    finishSetup(QuilletStyle::dialogStyleSheet(QuilletStyle::Dialog::PortEditor), ui->titleWidget,
                {ui->okBtn, ui->cancelBtn}, true);
}

VirtualPortEditor::~VirtualPortEditor() = default;

void VirtualPortEditor::setPorts(std::unordered_set<std::string> used, const std::string& current)
{
    m_used = std::move(used);
    ui->comboBox->clear();
    for (int n = 1; n <= kLastPort; ++n) {
        const QString name = QStringLiteral("COM%1").arg(n);
        const std::string bytes = name.toUtf8().toStdString();
        if (m_used.count(bytes) && bytes == current) {
            ui->comboBox->addItem(QStringLiteral("COM%1  (当前使用)").arg(n));
        } else if (m_used.count(bytes)) {
            ui->comboBox->addItem(QStringLiteral("COM%1  (已被占用)").arg(n));
            // Qt::UserRole - 1 is the flags role of the combo's item model: 0 disables the item.
            ui->comboBox->setItemData(n - 1, 0, Qt::UserRole - 1);
        } else {
            ui->comboBox->addItem(name);
        }
    }
    ui->comboBox->setCurrentIndex(0);
    int number = 0;
    if (std::sscanf(current.c_str(), "COM%d", &number) == 1 && number >= 1 && number <= kLastPort)
        ui->comboBox->setCurrentIndex(number - 1);
}

QString VirtualPortEditor::port() const
{
    return QStringLiteral("COM%1").arg(ui->comboBox->currentIndex() + 1);
}
