#pragma once

// Compressed answers for the fake cloud service, made without holding what
// they inflate to.

#include <QByteArray>

namespace FakeCloudGzip {

// A valid gzip stream that inflates to `size` zero bytes, about 160 times
// smaller than that.
QByteArray ofZeros(qint64 size);

} // namespace FakeCloudGzip
