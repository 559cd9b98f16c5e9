#pragma once

// The check of an OpenVPN configuration that the cloud hands out before
// openvpn runs it. The text comes over plain HTTP, so it is read the way
// OpenVPN 2.6 reads a configuration file (a byte-order mark at the start,
// blanks, comments, double and single quotes, backslash escapes, a "--"
// before the name, inline <tag> blocks up to the line that begins with their
// closing tag) and only the directives that a client configuration of the
// service needs pass; anything else refuses the whole text.

#include <QByteArray>
#include <QList>
#include <QString>

class OpenVpnConfigFilter {
public:
    // OpenVPN reads a line in pieces of at most 255 bytes with its newline
    // (inline blocks) and goes on with the rest as a line of its own; lines
    // longer than this would be read differently here and there.
    static constexpr int kMaxLineBytes = 254;

    struct Verdict {
        bool allowed = false;
        int line = 0;         // 1-based line of the refusal
        QByteArray text;      // that line as written
        QByteArray directive; // the refused directive as openvpn would read it (may be empty)
        QString reason;       // why, for the log
    };

    static Verdict check(const QByteArray& text);

    // The words OpenVPN makes of one line (without its newline); false when
    // OpenVPN would not read the line (a bad backslash, an open quote).
    static bool splitLine(const QByteArray& line, QList<QByteArray>* words);

    // A line for the log: printable ASCII as it is, other bytes as \xNN,
    // cut after 120 bytes.
    static QString printable(const QByteArray& text);
};
