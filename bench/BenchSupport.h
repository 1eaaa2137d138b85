#pragma once
// What the benchmark programs share: the best of an item's iterations, the
// clocks they read, and the resident-memory figures of /proc/self.

#include <chrono>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <string>

namespace benchsupport
{

// The best of an item's iterations: on a shared machine the other programs
// only ever add time, so the fastest run is the one least disturbed.
struct Best {
    double best = 1e30;
    void add(double s) { best = s < best ? s : best; }
};

inline double WallSeconds()
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// Processor time, user and system, of this thread (CLOCK_THREAD_CPUTIME_ID)
// or of the whole process (CLOCK_PROCESS_CPUTIME_ID).
inline double CpuSeconds(clockid_t which)
{
    timespec ts{};
    clock_gettime(which, &ts);
    return double(ts.tv_sec) + 1e-9 * double(ts.tv_nsec);
}

// A field of /proc/self/status in KiB ("VmRSS:", "VmHWM:"); -1 when absent.
inline long StatusKiB(const char *field)
{
    std::ifstream f("/proc/self/status");
    std::string line;
    while (std::getline(f, line))
        if (line.compare(0, std::strlen(field), field) == 0) return std::atol(line.c_str() + std::strlen(field));
    return -1;
}

// Resets the resident-memory high-water mark (VmHWM), so the next reading
// is the peak of what follows.
inline void ResetPeak() { std::ofstream("/proc/self/clear_refs") << "5"; }

inline double MiB(std::size_t bytes) { return double(bytes) / (1024.0 * 1024.0); }

} // namespace benchsupport
