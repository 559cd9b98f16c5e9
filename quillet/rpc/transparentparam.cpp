#include "quillet/rpc/transparentparam.h"

namespace FF {
namespace utils {

void Serialize(IBuffer* buffer, const TransparentParam& value)
{
    Serialize(buffer, static_cast<int>(value.tcpPort));
    Serialize(buffer, value.serialPort);
}

} // namespace utils
} // namespace FF
