#pragma once

// How a frame handed to a connection ended.

namespace FF {
namespace Net {

enum class SendResult {
    Sent,    // the whole frame left
    Failed,  // the connection failed or is no longer running
    TimedOut // the deadline passed (or, on a receive thread, the stream was busy)
             // before the frame left; a frame cut short closed the connection
};

} // namespace Net
} // namespace FF
