#pragma once
// One pool of threads for a piece of work: work(t) runs on `threads`
// threads at once, t = 0 on the calling thread (the one that may report
// progress), t = 1.. on threads of their own; returns when all are done.
// Threads already started are joined even when starting another fails.

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <exception>
#include <mutex>
#include <new>
#include <string>
#include <thread>
#include <vector>

namespace nuk
{

// The processors to use when none are asked for: at least one.
inline unsigned ThreadsOr(unsigned asked)
{
    if (asked > 0) return asked;
    const unsigned n = std::thread::hardware_concurrency();
    return n == 0 ? 1 : n;
}

template <class Work> void RunOnThreads(unsigned threads, Work &&work)
{
    struct Pool {
        std::vector<std::thread> threads;
        ~Pool()
        {
            for (std::thread &t : threads)
                if (t.joinable()) t.join();
        }
    } pool;
    pool.threads.reserve(threads > 1 ? threads - 1 : 0);
    for (unsigned t = 1; t < threads; ++t)
        pool.threads.emplace_back([&work, t] { work(t); });
    work(0u);
}

// Runs work(item, thread) for items 0..count-1 on up to `threads` threads;
// stops handing out items once a call returns false or throws (error then
// says why: outOfMemory for std::bad_alloc, else the exception's text).
// False when stopped.
template <class Work>
bool RunItems(std::size_t count, unsigned threads, std::string &error, const char *outOfMemory, Work work)
{
    std::atomic<std::size_t> next{0};
    std::atomic<bool> stop{false};
    std::mutex errorLock;
    auto run = [&](unsigned t) {
        try {
            for (;;) {
                if (stop.load()) return;
                const std::size_t i = next.fetch_add(1);
                if (i >= count) return;
                if (!work(i, static_cast<int>(t))) stop = true;
            }
        } catch (const std::bad_alloc &) {
            std::lock_guard<std::mutex> g(errorLock);
            error = outOfMemory;
            stop = true;
        } catch (const std::exception &e) {
            std::lock_guard<std::mutex> g(errorLock);
            error = e.what();
            stop = true;
        }
    };
    RunOnThreads(static_cast<unsigned>(std::min<std::size_t>(threads, std::max<std::size_t>(count, 1))), run);
    return !stop.load();
}

} // namespace nuk
