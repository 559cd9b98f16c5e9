#pragma once
// What every bench that pins its sides needs: the processors it may use, the
// pinning itself and the machine's load to print beside its figures.

#include <sched.h>

#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace BenchCpus {

inline std::string listOf(const std::vector<int>& cpus)
{
    std::string text;
    for (int cpu : cpus)
        text += (text.empty() ? "" : ",") + std::to_string(cpu);
    return text;
}

// Pins the calling thread; the threads and processes it starts afterwards
// inherit the set.
inline void pinTo(const std::vector<int>& cpus)
{
    cpu_set_t set;
    CPU_ZERO(&set);
    for (int cpu : cpus)
        CPU_SET(cpu, &set);
    if (::sched_setaffinity(0, sizeof set, &set) != 0)
        throw std::runtime_error("cannot pin to processors " + listOf(cpus));
}

inline std::vector<int> allowedCpus()
{
    cpu_set_t set;
    CPU_ZERO(&set);
    std::vector<int> cpus;
    if (::sched_getaffinity(0, sizeof set, &set) == 0)
        for (int cpu = 0; cpu < CPU_SETSIZE; ++cpu)
            if (CPU_ISSET(cpu, &set))
                cpus.push_back(cpu);
    return cpus;
}

// "load average 1.00, 2.00, 3.00" as /proc/loadavg gives it.
inline std::string loadLine()
{
    std::ifstream file("/proc/loadavg");
    std::string one, five, fifteen;
    file >> one >> five >> fifteen;
    return "load average " + one + ", " + five + ", " + fifteen;
}

} // namespace BenchCpus
