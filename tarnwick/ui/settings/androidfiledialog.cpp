#include "tarnwick/ui/settings/androidfiledialog.h"

#include "tarnwick/core/screentool.h"
#include "tarnwick/ui/settings/settingsconstants.h"
#include "tarnwick/widgets/messagebox.h"
#include "tarnwick/widgets/pixmaplabel.h"
#include "tarnwick/widgets/selectlineview.h"
#include "tarnwick/widgets/tableview.h"

#include <QDebug>
#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QProcess>
#include <QVBoxLayout>
#include <QVariantMap>

using namespace Tarnwick::Settings;

AndroidFileDialog::AndroidFileDialog(const QString& title, QObject* parent)
    : QObject(parent)
{
    const QStringList environment = QProcess::systemEnvironment();
    for (const QString& entry : environment) {
        const QStringList parts = entry.split(QLatin1Char('='), Qt::KeepEmptyParts, Qt::CaseSensitive);
        if (parts.size() < 2)
            continue;
        const QString& name = parts.at(0);
        if (name == QLatin1String(kEnvAndroidData) || name == QLatin1String(kEnvAndroidStorage)
            || name == QLatin1String(kEnvExternalStorage)) {
            roots.append(parts.at(1));
            if (name == QLatin1String(kEnvExternalStorage))
                rootIndex = roots.size() - 1;
        }
    }
    if (roots.isEmpty())
        roots.append(QStringLiteral("/"));
    initUi(title);
}

AndroidFileDialog::~AndroidFileDialog() = default;

void AndroidFileDialog::initUi(const QString& title)
{
    box = std::make_unique<MessageBox>(nullptr, title, QString(), QString());
    box->setFixedSize(ScreenTool::screenSize());
    box->setTitleDraggable(false);

    auto* content = new QWidget(box.get());
    auto* layout = new QVBoxLayout(content);
    auto* row = new QHBoxLayout;
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(ScreenTool::scale(5));
    auto* dirSelect = new SelectLineView(QString::fromUtf8(kDirSelectCaption), content);
    dirSelect->setObjectName(QString::fromLatin1(kDirSelectName));
    const QSize iconSize = ScreenTool::scaleSize(QSize(24, 24));
    auto* openDir = new PixmapLabel(QString::fromLatin1(kIconFolder), QString::fromUtf8(kOpenText), false, content);
    openDir->setObjectName(QString::fromLatin1(kOpenDirName));
    openDir->setIconSize(iconSize);
    auto* toUp = new PixmapLabel(QString::fromLatin1(kIconToUp), QString::fromUtf8(kToUpText), false, content);
    toUp->setIconSize(iconSize);
    auto* select = new PixmapLabel(QString::fromLatin1(kIconSelected), QString::fromUtf8(kSelectText), false, content);
    select->setObjectName(QString::fromLatin1(kSelectName));
    select->setIconSize(iconSize);
    row->addWidget(dirSelect, 3);
    row->addWidget(openDir, 1);
    row->addWidget(toUp, 1);
    row->addWidget(select, 1);
    layout->addLayout(row, 0);

    auto* table = new TableView(content);
    table->setObjectName(QString::fromLatin1(kFilesTableName));
    table->horizontalHeader()->setVisible(false);
    table->verticalHeader()->setVisible(false);
    table->setColumns({
        {QStringLiteral("Icon"), TableColumn::Icon, QHeaderView::ResizeToContents, 0, Qt::AlignCenter},
        {QStringLiteral("File"), TableColumn::Text, QHeaderView::Stretch, 0, Qt::AlignCenter},
    });
    layout->addWidget(table, 99);
    box->setContentWidget(content);

    for (const QString& root : qAsConst(roots)) {
        const QFileInfo info(root);
        dirSelect->addItem(info.fileName(), info.absoluteFilePath());
    }
    dirSelect->setCurrentIndex(rootIndex);

    connect(dirSelect, &SelectLineView::selectChanged, this, &AndroidFileDialog::onSelectChanged);
    connect(toUp, &PixmapLabel::clicked, this, &AndroidFileDialog::onToUpDir);
    connect(openDir, &PixmapLabel::clicked, this, &AndroidFileDialog::onOpenDir);
    connect(select, &PixmapLabel::clicked, this, &AndroidFileDialog::onSelected);
    connect(table, &TableView::selectedRow, this, &AndroidFileDialog::onSelectedRow);
    connect(table, &TableView::doubleClick, this, &AndroidFileDialog::onDoubleClicked);
}

void AndroidFileDialog::setSelectMode(int mode)
{
    selectMode = mode;
}

void AndroidFileDialog::refreshDir(const QString& path)
{
    qDebug().noquote() << "refreshDir: " + path;
    if (!QFileInfo(path).isDir()) {
        qDebug().noquote() << "path: " + path + " isnot dir!";
        return;
    }
    entries.clear();
    currentPath = path;

    const QDir dir(QFileInfo(path).absoluteFilePath());
    const QDir::Filters filters = selectMode == kFolderSelectMode ? QDir::Dirs | QDir::Drives | QDir::NoDotAndDotDot
                                                                  : QDir::AllEntries | QDir::NoDotAndDotDot;
    const QFileInfoList found = dir.entryInfoList(filters, QDir::Name | QDir::DirsFirst | QDir::IgnoreCase);
    QVariantList rows;
    for (const QFileInfo& info : found) {
        const bool folder = info.isDir();
        if (!folder && info.suffix().toLower() != QLatin1String(kCsvSuffix))
            continue;
        QVariantMap icon;
        icon.insert(QStringLiteral("icon"), QString::fromLatin1(folder ? kIconFolder : kIconFile));
        icon.insert(QStringLiteral("value"), info.absoluteFilePath());
        icon.insert(QStringLiteral("size"), ScreenTool::scale(24));
        rows.append(QVariant(QVariantList{icon, info.fileName()}));
        entries.append(info.absoluteFilePath());
    }
    auto* table = box->findChild<TableView*>(QString::fromLatin1(kFilesTableName));
    table->clearRows();
    table->addRows(rows);
    onSelectedRow(table->currentRow());
}

void AndroidFileDialog::exec()
{
    currentPath.clear();
    refreshDir(box->findChild<SelectLineView*>(QString::fromLatin1(kDirSelectName))->currentData().toString());
    if (box->exec() != MessageBox::Button1)
        currentPath.clear();
}

bool AndroidFileDialog::isRoot(const QString& path) const
{
    // "主目录" shows the roots by their absolute paths, so a root announced
    // with a trailing slash or a relative path is still a root there.
    const QString absolute = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
    for (const QString& root : roots) {
        if (root == path || QDir::cleanPath(QFileInfo(root).absoluteFilePath()) == absolute)
            return true;
    }
    return false;
}

int AndroidFileDialog::currentRow() const
{
    return box->findChild<TableView*>(QString::fromLatin1(kFilesTableName))->currentRow();
}

void AndroidFileDialog::onSelectChanged(QVariant value)
{
    refreshDir(value.toString());
}

void AndroidFileDialog::onToUpDir()
{
    if (isRoot(currentPath))
        return;
    QDir dir(currentPath);
    dir.cdUp();
    refreshDir(dir.absolutePath());
}

void AndroidFileDialog::onOpenDir()
{
    const int row = currentRow();
    if (row >= 0 && row < entries.size() && QFileInfo(entries.at(row)).isDir())
        refreshDir(entries.at(row));
}

void AndroidFileDialog::onDoubleClicked(int)
{
    onOpenDir();
}

void AndroidFileDialog::onSelectedRow(int row)
{
    if (row < 0 || row >= entries.size())
        return;
    box->findChild<PixmapLabel*>(QString::fromLatin1(kOpenDirName))->setVisible(QFileInfo(entries.at(row)).isDir());
}

void AndroidFileDialog::onSelected()
{
    const int row = currentRow();
    const QString candidate = row >= 0 && row < entries.size() ? entries.at(row) : currentPath;
    const QFileInfo info(candidate);
    if (selectMode != kFolderSelectMode) {
        if (info.isDir()) {
            refreshDir(candidate);
            return;
        }
        if (!info.isFile())
            return;
    }
    currentPath = candidate;
    box->done(MessageBox::Button1);
}
