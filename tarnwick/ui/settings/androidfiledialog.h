#pragma once

// An in-application chooser of a CSV file or of a folder under the storage
// roots that an Android-style environment announces (ANDROID_DATA,
// ANDROID_STORAGE, EXTERNAL_STORAGE; "/" when none), shown full-screen in a
// content-mode MessageBox: one folder at a time, folders first, then the CSV
// files.

#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <memory>

class MessageBox;

class AndroidFileDialog : public QObject {
    Q_OBJECT
public:
    AndroidFileDialog(const QString& title, QObject* parent = nullptr);
    ~AndroidFileDialog() override;

    // 1 chooses folders; any other value chooses CSV files and enters folders.
    void setSelectMode(int mode);
    // Shows the box modally from the root selected in "主目录"; when it
    // returns, selectedPath() holds the choice (empty when none was made).
    void exec();
    QString selectedPath() const { return currentPath; }

    // Lists a folder; a path that is not a folder changes nothing.
    void refreshDir(const QString& path);

    QStringList storageRoots() const { return roots; }
    int startRootIndex() const { return rootIndex; }
    QStringList shownEntries() const { return entries; }
    QString shownFolder() const { return currentPath; }
    MessageBox* dialogBox() const { return box.get(); }

public slots:
    void onSelectedRow(int row);
    void onToUpDir();
    void onOpenDir();
    void onSelected();
    void onSelectChanged(QVariant value);
    void onDoubleClicked(int row);

private:
    void initUi(const QString& title);
    int currentRow() const;
    // The user cannot go up from a root.
    bool isRoot(const QString& path) const;

    QString currentPath;
    QStringList roots;
    QStringList entries;
    int rootIndex = 0;
    int selectMode = 0;
    std::unique_ptr<MessageBox> box;
};
