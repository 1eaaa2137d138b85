#pragma once
// One pool of threads for a piece of work: work(t) runs on `threads`
// threads at once, t = 0 on the calling thread (the one that may report
// progress), t = 1.. on threads of their own; returns when all are done.
// Threads already started are joined even when starting another fails.

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

} // namespace nuk
