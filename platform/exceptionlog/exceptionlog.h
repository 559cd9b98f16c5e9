#pragma once

// Called inside a catch handler: logs where the exception was caught and what
// it said (its what() text, or that it was no std::exception). Throws nothing;
// the caller goes on as its catch says.

namespace platform {

void reportEscapedException(const char* where) noexcept;

} // namespace platform
