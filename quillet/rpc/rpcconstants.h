#pragma once

// Ports, method names, type names and time limits of the panel services that
// the pass-through tool calls.

namespace QuilletRpc {

constexpr unsigned kPassThroughPort = 9060;
constexpr const char* kProjectPortSuffix = ":127";

constexpr unsigned kPassThroughProbeMs = 5000;
constexpr unsigned kProjectProbeMs = 3000;

constexpr const char* kSetTransparentParam = "SetTransparentParam";
constexpr const char* kIsReady = "IsReady";
constexpr const char* kTerminate = "Terminate";
constexpr const char* kProjectHasPassword = "projectHasPassword";
constexpr const char* kProjectCheckPassword = "projectCheckPassword";
constexpr const char* kProjectStart = "projectStart";

constexpr unsigned kSetTransparentParamTimeoutMs = 12000;
constexpr unsigned kIsReadyTimeoutMs = 5000;
constexpr unsigned kTerminateTimeoutMs = 5000;
constexpr unsigned kProjectCallTimeoutMs = 3000;

constexpr const char* kTransparentParamTypeName = "TransparentParam";

} // namespace QuilletRpc
