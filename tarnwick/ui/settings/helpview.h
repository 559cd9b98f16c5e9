#pragma once

// A text file shown read-only: the help page (the file taken as HTML, so it
// may carry markup) or, in plain-text mode, the program's log line by line,
// where a "<...>" in a logged text stays text.

#include <QString>
#include <QWidget>

class HelpView : public QWidget {
    Q_OBJECT
public:
    HelpView(const QString& path, QWidget* parent = nullptr, bool plainText = false);

    // Replaces the shown text with the file's; a file that cannot be opened
    // changes nothing.
    void loadFile(const QString& path);
    bool isPlainText() const { return m_plainText; }

    // Copies the help text shipped beside the program into the user's data
    // folder when that holds none, so that the help page is not empty; an
    // existing file is kept. Whether target now exists.
    static bool provideHelpFile(const QString& shipped, const QString& target);

private:
    bool m_plainText = false;
};
