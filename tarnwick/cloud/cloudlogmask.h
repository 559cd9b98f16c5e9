#pragma once

// Debug lines of the cloud client show URLs and reply bodies; these helpers
// replace the secrets in them (session token, password digests, the OpenVPN
// configuration text and password) with "***" and leave the rest as it is.

#include <QByteArray>
#include <QString>
#include <QUrl>

namespace CloudLogMask {

// The URL text with the values of "token", "adminPassword" and
// "devicePassword" in its query replaced.
QString url(const QUrl& url);

// A path with its query (as a request builder writes it), masked likewise.
QString pathWithQuery(const QString& pathWithQuery);

// The body with the values of "token", "ca-text" and "openvpn-password"
// replaced wherever they stand in a JSON document; a body without such a
// member, or not JSON at all, comes back unchanged.
QString body(const QByteArray& body);

} // namespace CloudLogMask
