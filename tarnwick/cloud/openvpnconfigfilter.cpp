#include "tarnwick/cloud/openvpnconfigfilter.h"

#include <QSet>

namespace {

// What the client configurations of the service hold. Everything else is
// refused, first of all what loads code, runs scripts, reads further
// configuration, or writes files and opens listeners where the text says.
const QSet<QByteArray>& allowedDirectives()
{
    static const QSet<QByteArray> names{
        "client",
        "dev",
        "proto",
        "remote",
        "resolv-retry",
        "nobind",
        "persist-key",
        "persist-tun",
        "remote-cert-tls",
        "cipher",
        "data-ciphers",
        "auth",
        "comp-lzo",
        "verb",
        "auth-user-pass",
        "key-direction",
        "connect-retry",
        // Lines of the Windows build, which openvpn here is told to ignore.
        "block-outside-dns",
        "register-dns",
    };
    return names;
}

// The keys and certificates, taken only as inline blocks: the text carries
// them, it does not name files on the PC.
const QSet<QByteArray>& inlineBlocks()
{
    static const QSet<QByteArray> names{"ca", "cert", "key", "tls-auth", "tls-crypt"};
    return names;
}

const QByteArray kByteOrderMark("\xEF\xBB\xBF");

// isspace() of the C locale, and the end of the line, as OpenVPN tests them.
bool isBlank(char c)
{
    return c == '\0' || c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

QByteArray withoutLeadingBlanks(const QByteArray& line)
{
    int at = 0;
    while (at < line.size() && isBlank(line[at]))
        ++at;
    return line.mid(at);
}

QByteArray firstWord(const QByteArray& text)
{
    const QByteArray rest = withoutLeadingBlanks(text);
    int end = 0;
    while (end < rest.size() && !isBlank(rest[end]))
        ++end;
    return rest.left(end);
}

OpenVpnConfigFilter::Verdict refuse(int line, const QByteArray& text, const QByteArray& directive,
                                    const QString& reason)
{
    OpenVpnConfigFilter::Verdict verdict;
    verdict.line = line;
    verdict.text = text;
    verdict.directive = directive;
    verdict.reason = reason;
    return verdict;
}

QString quoted(const QByteArray& name)
{
    return QLatin1Char('"') + OpenVpnConfigFilter::printable(name) + QLatin1Char('"');
}

} // namespace

bool OpenVpnConfigFilter::splitLine(const QByteArray& line, QList<QByteArray>* words)
{
    enum class State { Between, Plain, Quoted, SingleQuoted };
    State state = State::Between;
    bool backslash = false;
    QByteArray word;
    words->clear();
    // The end of the line counts as one more blank, which ends a plain word.
    for (int i = 0; i <= line.size(); ++i) {
        const char in = i < line.size() ? line[i] : '\0';
        if (!backslash && in == '\\' && state != State::SingleQuoted) {
            backslash = true;
            continue;
        }
        char out = 0;
        bool wordDone = false;
        switch (state) {
        case State::Between:
            if (isBlank(in))
                break;
            // A comment starts only where a word would, escaped or not.
            if (in == ';' || in == '#')
                return true;
            if (!backslash && in == '"') {
                state = State::Quoted;
            } else if (!backslash && in == '\'') {
                state = State::SingleQuoted;
            } else {
                out = in;
                state = State::Plain;
            }
            break;
        case State::Plain:
            if (!backslash && isBlank(in))
                wordDone = true;
            else
                out = in;
            break;
        case State::Quoted:
            if (!backslash && in == '"')
                wordDone = true;
            else
                out = in;
            break;
        case State::SingleQuoted:
            if (in == '\'')
                wordDone = true;
            else
                out = in;
            break;
        }
        if (wordDone) {
            words->append(word);
            word.clear();
            state = State::Between;
        }
        // Only a backslash, a double quote or a blank may be escaped.
        if (backslash && out != 0 && !(out == '\\' || out == '"' || isBlank(out)))
            return false;
        backslash = false;
        if (out != 0)
            word.append(out);
    }
    return state == State::Between;
}

OpenVpnConfigFilter::Verdict OpenVpnConfigFilter::check(const QByteArray& text)
{
    QByteArray block; // the inline block being read
    int blockLine = 0;
    QByteArray blockText;
    int number = 0;
    int start = 0;
    while (start < text.size()) {
        int end = text.indexOf('\n', start);
        if (end < 0)
            end = text.size();
        QByteArray line = text.mid(start, end - start);
        start = end + 1;
        ++number;
        // OpenVPN stops reading a line at a zero byte and splits a long line
        // in two: either could hide a line from this check.
        if (line.contains('\0'))
            return refuse(number, line, QByteArray(), QStringLiteral("the line holds a zero byte"));
        if (line.size() > kMaxLineBytes)
            return refuse(number, line, firstWord(line),
                          QStringLiteral("the line is longer than %1 bytes").arg(kMaxLineBytes));

        if (!block.isEmpty()) {
            // The block ends at the first line that begins, after blanks,
            // with its closing tag; OpenVPN drops the rest of that line.
            const QByteArray closing = "</" + block + '>';
            const QByteArray rest = withoutLeadingBlanks(line);
            if (!rest.startsWith(closing))
                continue;
            const QByteArray after = firstWord(rest.mid(closing.size()));
            if (!after.isEmpty())
                return refuse(number, line, after,
                              quoted(after) + QStringLiteral(" follows the end of the inline block ") + quoted(block));
            block.clear();
            continue;
        }

        if (number == 1 && line.startsWith(kByteOrderMark))
            line.remove(0, kByteOrderMark.size());
        QList<QByteArray> words;
        if (!splitLine(line, &words))
            return refuse(number, line, firstWord(line),
                          QStringLiteral("openvpn cannot read the line (a bad backslash or an open quote)"));
        if (words.isEmpty())
            continue;
        QByteArray name = words.first();
        if (name.size() >= 3 && name.startsWith("--"))
            name.remove(0, 2);
        if (words.size() == 1 && name.size() >= 2 && name.startsWith('<') && name.endsWith('>')) {
            block = name.mid(1, name.size() - 2);
            blockLine = number;
            blockText = line;
            if (!inlineBlocks().contains(block))
                return refuse(number, line, block,
                              QStringLiteral("inline block ") + quoted(block)
                                  + QStringLiteral(" is not one the service's configurations hold"));
            continue;
        }
        if (inlineBlocks().contains(name))
            return refuse(number, line, name,
                          QStringLiteral("directive ") + quoted(name)
                              + QStringLiteral(" is taken only as an inline block"));
        if (!allowedDirectives().contains(name))
            return refuse(number, line, name,
                          QStringLiteral("directive ") + quoted(name)
                              + QStringLiteral(" is not one the service's configurations hold"));
    }
    if (!block.isEmpty())
        return refuse(blockLine, blockText, block,
                      QStringLiteral("inline block ") + quoted(block) + QStringLiteral(" has no closing tag"));
    Verdict verdict;
    verdict.allowed = true;
    return verdict;
}

QString OpenVpnConfigFilter::printable(const QByteArray& text)
{
    constexpr int kMaxBytes = 120;
    QString result;
    for (int i = 0; i < text.size() && i < kMaxBytes; ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c >= 0x20 && c < 0x7f)
            result += QLatin1Char(static_cast<char>(c));
        else
            result += QStringLiteral("\\x%1").arg(c, 2, 16, QLatin1Char('0'));
    }
    if (text.size() > kMaxBytes)
        result += QStringLiteral("...");
    return result;
}
