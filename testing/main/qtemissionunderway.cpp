// Emissions under way told to deliveries: see qtemissionunderway.h.

#include "testing/main/qtemissionunderway.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <thread>

namespace TsanAnnotations {

namespace {

constexpr int kSlots = 256;
constexpr int kWaitBoundMicroseconds = 200000;
constexpr int kWaitStepMicroseconds = 50;

std::atomic<int> g_underWay[kSlots];
thread_local int t_ownUnderWay[kSlots];

int slotOf(const void* sender)
{
    return static_cast<int>((reinterpret_cast<std::uintptr_t>(sender) >> 4) % kSlots);
}

} // namespace

EmissionUnderWay::EmissionUnderWay(const void* sender)
    : m_slot(slotOf(sender))
{
    ++t_ownUnderWay[m_slot];
    g_underWay[m_slot].fetch_add(1, std::memory_order_relaxed);
}

EmissionUnderWay::~EmissionUnderWay()
{
    g_underWay[m_slot].fetch_sub(1, std::memory_order_relaxed);
    --t_ownUnderWay[m_slot];
}

void EmissionUnderWay::waitForOthers(const void* sender)
{
    const int slot = slotOf(sender);
    for (int waited = 0; waited < kWaitBoundMicroseconds; waited += kWaitStepMicroseconds) {
        if (g_underWay[slot].load(std::memory_order_relaxed) <= t_ownUnderWay[slot])
            return;
        std::this_thread::sleep_for(std::chrono::microseconds(kWaitStepMicroseconds));
    }
}

} // namespace TsanAnnotations
