#include "tarnwick/cloud/cloudlogmask.h"

#include "tarnwick/cloud/cloudconstants.h"
#include "tarnwick/cloud/cloudjson.h"
#include "tarnwick/core/constants.h"

#include <QRegularExpression>
#include <QStringList>

namespace CloudLogMask {

namespace {

namespace C = Tarnwick::Constants;

bool isSecretQueryKey(const QString& key)
{
    return key == C::kReqToken || key == C::kReqAdminPassword || key == C::kReqDevicePassword;
}

bool isSecretMember(const std::string& key)
{
    return key == C::kReplyToken || key == C::kReplyCaText || key == C::kReplyOpenvpnPassword;
}

// Masks the query part of `text` (after the first '?', up to a '#').
QString maskQueryIn(const QString& text)
{
    const int question = text.indexOf(QLatin1Char('?'));
    if (question < 0)
        return text;
    int hash = text.indexOf(QLatin1Char('#'), question);
    if (hash < 0)
        hash = text.size();
    QStringList items = text.mid(question + 1, hash - question - 1).split(QLatin1Char('&'));
    for (QString& item : items) {
        const int equals = item.indexOf(QLatin1Char('='));
        const QString key = equals < 0 ? item : item.left(equals);
        if (equals >= 0 && isSecretQueryKey(QUrl::fromPercentEncoding(key.toUtf8())))
            item = key + QLatin1Char('=') + Tarnwick::Cloud::maskText();
    }
    return text.left(question + 1) + items.join(QLatin1Char('&')) + text.mid(hash);
}

bool maskMembers(CloudJson::Json& value)
{
    bool masked = false;
    if (value.is_object()) {
        for (auto it = value.begin(); it != value.end(); ++it) {
            if (isSecretMember(it.key())) {
                it.value() = Tarnwick::Cloud::maskText().toStdString();
                masked = true;
            } else {
                masked = maskMembers(it.value()) || masked;
            }
        }
    } else if (value.is_array()) {
        for (auto& element : value)
            masked = maskMembers(element) || masked;
    }
    return masked;
}

} // namespace

QString url(const QUrl& url)
{
    return maskQueryIn(url.toString(QUrl::FullyEncoded));
}

QString pathWithQuery(const QString& pathWithQuery)
{
    return maskQueryIn(pathWithQuery);
}

QString body(const QByteArray& body)
{
    if (CloudJson::nestingDepth(body, CloudJson::kNestingLimit) <= CloudJson::kNestingLimit) {
        CloudJson::Json document = CloudJson::Json::parse(body.constData(), body.constData() + body.size(), nullptr,
                                                          false);
        if (!document.is_discarded()) {
            if (!maskMembers(document))
                return QString::fromUtf8(body);
            return QString::fromStdString(document.dump(-1, ' ', false, nlohmann::detail::error_handler_t::replace));
        }
    }
    // Not a document we can walk (cut off, or too deep): mask by pattern,
    // a value that is cut off included.
    static const QRegularExpression secret(QStringLiteral(
        "(\"(?:token|ca-text|openvpn-password)\"\\s*:\\s*)(?:\"(?:[^\"\\\\]++|\\\\.)*+\"?|[^,}\\]\\s]++)"));
    QString text = QString::fromUtf8(body);
    text.replace(secret, QStringLiteral("\\1\"***\""));
    return text;
}

} // namespace CloudLogMask
