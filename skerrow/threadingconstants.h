#pragma once

// The where- and what-texts the threading primitives throw with.

namespace FF {
namespace COMMON {
namespace Threading {

constexpr const char* kWhereLocker = "vexa.foundation.threading.Locker";
constexpr const char* kWhereCondition = "vexa.foundation.threading.LockCondition";
constexpr const char* kWhereWait = "vexa.foundation.threading.LockCondition.wait";
// The two where-texts of tryWait differ in the case of one letter; callers match them as they are.
constexpr const char* kWhereTryWaitUnlocked = "vexa.foundation.threading.LockCondition.trywait";
constexpr const char* kWhereTryWaitIncorrect = "vexa.foundation.threading.LockCondition.tryWait";
constexpr const char* kWhereNotify = "vexa.foundation.threading.LockCondition.notify";
constexpr const char* kWhereNotifyAll = "vexa.foundation.threading.LockCondition.notifyAll";

constexpr const char* kLockIsNull = "lock is nullptr";
constexpr const char* kHandleIsNull = "lock.handle is nullptr";
constexpr const char* kLockerIsUnlocked = "locker is unlocked";
constexpr const char* kLockIsIncorrect = "lock is incorrect";

} // namespace Threading
} // namespace COMMON
} // namespace FF
