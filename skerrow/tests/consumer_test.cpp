// A consumer of the shared library that relies on nothing but its binary
// surface: the exported names (looked up by their exact spelling), the order
// of the virtual functions (called by slot), and the exception's exported type
// information (caught by type across the library boundary).

#include "skerrow/exception.h"
#include "skerrow/lock.h"
#include "skerrow/lockcondition.h"
#include "skerrow/locker.h"
#include "skerrow/skerrow.h"

#include <gtest/gtest.h>

#include <dlfcn.h>

#include <string>
#include <typeinfo>
#include <vector>

namespace {

void* library()
{
    static void* handle = dlopen("libSkerrow.so", RTLD_NOW | RTLD_NOLOAD);
    return handle;
}

template <typename F>
F symbol(const char* name)
{
    return reinterpret_cast<F>(dlsym(library(), name));
}

const char* const kFlatNames[] = {
    "Vexa_GetTickCount",     "Vexa_Sleep",
    "Vexa_GetTime",          "Vexa_Beep",
    "Vexa_IsEqual",          "Vexa_GetPlatform_Arch",
    "Vexa_IsDataDiskEnough", "Vexa_GetFreeDiskSize",
    "Vexa_Check_Mount_Path", "Vexa_udisk_rename",
    "Vexa_udisk_mkpath",     "Vexa_udisk_open",
    "Vexa_HandleFilePath",   "Vexa_GetFilePath",
    "SplitCsvStr",           "CreateDelayTimeObj",
    "DeleteDelayTimeObj",    "Vexa_GetDirectory",
    "Vexa_CreateDirectory",  "Vexa_DeleteDirectory",
    "Vexa_ConvertToAbsPath", "Vexa_DelSaveData",
};

// Every member of the threading classes, with both the complete-object (C1,
// D1) and the base-object (C2, D2) constructor and destructor forms.
const char* const kClassNames[] = {
    "_ZN2FF6COMMON4LockC1Ev",
    "_ZN2FF6COMMON4LockC2Ev",
    "_ZN2FF6COMMON4LockD1Ev",
    "_ZN2FF6COMMON4LockD2Ev",
    "_ZN2FF6COMMON4Lock4lockEv",
    "_ZN2FF6COMMON4Lock6unlockEv",
    "_ZN2FF6COMMON4Lock7tryLockEv",
    "_ZN2FF6COMMON4Lock6handleEv",
    "_ZN2FF6COMMON6LockerC1EPNS0_4LockEb",
    "_ZN2FF6COMMON6LockerC2EPNS0_4LockEb",
    "_ZN2FF6COMMON6LockerC1ERNS0_4LockEb",
    "_ZN2FF6COMMON6LockerC2ERNS0_4LockEb",
    "_ZN2FF6COMMON6LockerD1Ev",
    "_ZN2FF6COMMON6LockerD2Ev",
    "_ZN2FF6COMMON6Locker4lockEv",
    "_ZN2FF6COMMON6Locker6unlockEv",
    "_ZNK2FF6COMMON6Locker8isLockedEv",
    "_ZN2FF6COMMON6Locker7getLockEv",
    "_ZN2FF6COMMON13LockConditionC1EPNS0_4LockE",
    "_ZN2FF6COMMON13LockConditionC2EPNS0_4LockE",
    "_ZN2FF6COMMON13LockConditionC1ERNS0_4LockE",
    "_ZN2FF6COMMON13LockConditionC2ERNS0_4LockE",
    "_ZN2FF6COMMON13LockConditionD1Ev",
    "_ZN2FF6COMMON13LockConditionD2Ev",
    "_ZN2FF6COMMON13LockCondition4waitERNS0_6LockerE",
    "_ZN2FF6COMMON13LockCondition7tryWaitERNS0_6LockerEj",
    "_ZN2FF6COMMON13LockCondition6notifyERNS0_6LockerE",
    "_ZN2FF6COMMON13LockCondition9notifyAllERNS0_6LockerE",
    "_ZN2FF6COMMON9ExceptionC1EPKcS3_",
    "_ZN2FF6COMMON9ExceptionC2EPKcS3_",
    "_ZN2FF6COMMON9ExceptionD0Ev",
    "_ZN2FF6COMMON9ExceptionD1Ev",
    "_ZN2FF6COMMON9ExceptionD2Ev",
    "_ZNK2FF6COMMON9Exception4whatEv",
    "_ZTIN2FF6COMMON9ExceptionE",
    "_ZTVN2FF6COMMON9ExceptionE",
};

// The library's internals stay inside it.
const char* const kHiddenNames[] = {
    "_ZN9DelayTimeC1Ev",
    "_ZN9DelayTime4waitEm",
    "_ZTV9DelayTime",
    "_ZN8Platform11consoleBeepEii",
    "_ZN7Skerrow4trimERNSt7__cxx1112basic_stringIcSt11char_traitsIcESaIcEEE",
};

// Slots of a virtual table on this ABI: a virtual destructor takes two
// (complete and deleting), in the place where it is declared.
namespace DelaySlot {
constexpr int kDestructor = 0;
constexpr int kDeletingDestructor = 1;
constexpr int kStart = 2;
constexpr int kStop = 3;
constexpr int kWait = 4;
constexpr int kWake = 5;
} // namespace DelaySlot

void* const* vtableOf(const void* object)
{
    return *static_cast<void* const* const*>(object);
}

// A path checker whose virtual table is laid out by hand in the order the
// library calls it: checkPath, checkName, release, error, the destructor pair.
// Its type information is that of a real checker, so that type checks on the
// call accept it.
struct Calls {
    std::string log;
    int releases = 0;
};

struct RealChecker : FF::COMMON::IPathChecker {
    bool checkPath(const std::string&) override { return true; }
    bool checkName(const std::string&) override { return true; }
    void release() override {}
    int error() override { return 0; }
};

struct HandMadeChecker {
    void* const* vptr;
    Calls* calls;
};

bool handCheckPath(HandMadeChecker* self, const std::string& path)
{
    self->calls->log += "path[" + path + "]";
    return true;
}

bool handCheckName(HandMadeChecker* self, const std::string& name)
{
    self->calls->log += "name[" + name + "]";
    return name != "refused";
}

void handRelease(HandMadeChecker* self)
{
    ++self->calls->releases;
}

int handError(HandMadeChecker*)
{
    return 0;
}

void handDestructor(HandMadeChecker* self)
{
    self->calls->log += "destructor";
}

} // namespace

TEST(SkerrowConsumer, ExportsEveryPlainName)
{
    ASSERT_NE(nullptr, library()) << dlerror();
    for (const char* name : kFlatNames)
        EXPECT_NE(nullptr, dlsym(library(), name)) << name;
}

TEST(SkerrowConsumer, ExportsEveryClassMemberUnderItsDecoratedName)
{
    ASSERT_NE(nullptr, library());
    for (const char* name : kClassNames)
        EXPECT_NE(nullptr, dlsym(library(), name)) << name;
    for (const char* name : kHiddenNames)
        EXPECT_EQ(nullptr, dlsym(library(), name)) << name;
}

TEST(SkerrowConsumer, PlainFunctionsAnswerThroughTheirNames)
{
    ASSERT_NE(nullptr, library());
    auto tick = symbol<unsigned long long (*)()>("Vexa_GetTickCount");
    auto sleep = symbol<int (*)(long long)>("Vexa_Sleep");
    ASSERT_TRUE(tick && sleep);
    const unsigned long long before = tick();
    EXPECT_EQ(0, sleep(20));
    EXPECT_GE(tick() - before, 19u);
    EXPECT_EQ(-1, sleep(0));

    EXPECT_EQ(0, symbol<int (*)()>("Vexa_GetPlatform_Arch")());
    EXPECT_EQ(1, symbol<int (*)()>("Vexa_IsDataDiskEnough")());
    EXPECT_EQ(-1, symbol<long long (*)()>("Vexa_GetFreeDiskSize")());
    EXPECT_EQ(1, symbol<int (*)(const char*)>("Vexa_Check_Mount_Path")("/media/usb"));
    EXPECT_EQ(-1, symbol<int (*)(const char*, const char*)>("Vexa_udisk_rename")("a", "b"));
    EXPECT_EQ(-1, symbol<int (*)(const char*)>("Vexa_udisk_mkpath")("a"));
    EXPECT_EQ(-1, symbol<int (*)(const char*, int)>("Vexa_udisk_open")("a", 0));
    EXPECT_TRUE(symbol<bool (*)(long double, long double, long double)>("Vexa_IsEqual")(1.0L, 1.25L, 0.5L));
    EXPECT_STREQ("./config", symbol<const char* (*)(unsigned)>("Vexa_GetDirectory")(1));

    auto split = symbol<int (*)(const std::string*, std::vector<std::string>*, char)>("SplitCsvStr");
    const std::string line = "\"a,b\", c";
    std::vector<std::string> fields;
    EXPECT_EQ(0, split(&line, &fields, ','));
    EXPECT_EQ((std::vector<std::string>{"a,b", "c"}), fields);

    auto getPath = symbol<int (*)(std::string*)>("Vexa_GetFilePath");
    std::string path = "a\\\\b//";
    EXPECT_EQ(0, getPath(&path));
    EXPECT_EQ("a/b/", path);
}

TEST(SkerrowConsumer, DelayObjectAnswersThroughItsSlots)
{
    auto create = symbol<void* (*)()>("CreateDelayTimeObj");
    auto destroy = symbol<void (*)(void*)>("DeleteDelayTimeObj");
    ASSERT_TRUE(create && destroy);
    void* object = create();
    ASSERT_NE(nullptr, object);
    void* const* slots = vtableOf(object);
    auto start = reinterpret_cast<bool (*)(void*)>(slots[DelaySlot::kStart]);
    auto stop = reinterpret_cast<void (*)(void*)>(slots[DelaySlot::kStop]);
    auto wait = reinterpret_cast<bool (*)(void*, unsigned long)>(slots[DelaySlot::kWait]);
    auto wake = reinterpret_cast<void (*)(void*)>(slots[DelaySlot::kWake]);

    EXPECT_TRUE(wait(object, 1000)); // not armed: at once
    EXPECT_TRUE(start(object));
    EXPECT_FALSE(wait(object, 10)); // armed: runs out
    wake(object);
    EXPECT_TRUE(wait(object, 1000));
    EXPECT_TRUE(start(object));
    stop(object);
    EXPECT_TRUE(wait(object, 1000));
    destroy(object);

    // The deleting destructor sits in its slot as well.
    void* second = create();
    auto deletingDestructor = reinterpret_cast<void (*)(void*)>(vtableOf(second)[DelaySlot::kDeletingDestructor]);
    deletingDestructor(second);
}

TEST(SkerrowConsumer, PathCheckerIsCalledThroughItsSlots)
{
    RealChecker real;
    static void* const table[] = {
        nullptr, // offset to top
        const_cast<std::type_info*>(&typeid(RealChecker)),
        reinterpret_cast<void*>(&handCheckPath),
        reinterpret_cast<void*>(&handCheckName),
        reinterpret_cast<void*>(&handRelease),
        reinterpret_cast<void*>(&handError),
        reinterpret_cast<void*>(&handDestructor),
        reinterpret_cast<void*>(&handDestructor),
    };
    Calls calls;
    HandMadeChecker checker{table + 2, &calls};
    auto handle = symbol<void (*)(std::string*, void*)>("Vexa_HandleFilePath");
    ASSERT_NE(nullptr, handle);

    std::string path = "x\\y";
    handle(&path, &checker);
    EXPECT_EQ("x/y", path);
    EXPECT_EQ("path[x\\y]name[x]name[y]", calls.log);
    EXPECT_EQ(1, calls.releases);

    std::string refused = "a/refused/b";
    handle(&refused, &checker);
    EXPECT_EQ("a/refused/b", refused);
    EXPECT_EQ(2, calls.releases);
}

TEST(SkerrowConsumer, ExceptionIsCaughtByItsExportedType)
{
    ASSERT_NE(nullptr, library());
    EXPECT_EQ(dlsym(library(), "_ZTIN2FF6COMMON9ExceptionE"), static_cast<const void*>(&typeid(FF::COMMON::Exception)));

    bool caught = false;
    try {
        FF::COMMON::Locker locker(static_cast<FF::COMMON::Lock*>(nullptr));
    } catch (const FF::COMMON::Exception& e) {
        caught = true;
        EXPECT_STREQ("vexa.foundation.threading.Locker:lock is nullptr", e.what());
    }
    EXPECT_TRUE(caught);

    FF::COMMON::Lock own;
    FF::COMMON::Lock other;
    FF::COMMON::LockCondition condition(own);
    FF::COMMON::Locker foreign(other);
    try {
        condition.tryWait(foreign, 1000);
        ADD_FAILURE() << "nothing thrown";
    } catch (const std::exception& e) {
        EXPECT_NE(nullptr, dynamic_cast<const FF::COMMON::Exception*>(&e));
        EXPECT_STREQ("vexa.foundation.threading.LockCondition.tryWait:lock is incorrect", e.what());
    }
}

TEST(SkerrowConsumer, ThreadingClassesWorkAcrossTheBoundary)
{
    FF::COMMON::Lock lock;
    FF::COMMON::LockCondition condition(&lock);
    FF::COMMON::Locker locker(&lock, false);
    EXPECT_TRUE(locker.isLocked());
    EXPECT_FALSE(condition.tryWait(locker, 0));
    condition.notifyAll(locker);
    locker.unlock();
    EXPECT_TRUE(lock.tryLock());
    lock.unlock();
}
