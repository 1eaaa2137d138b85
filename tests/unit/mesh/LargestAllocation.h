#pragma once
// The largest single allocation since it was last set to 0, kept by a
// replacement operator new (LargestAllocation.cpp, linked into the tests that
// use it): it shows that a count read from a file never sizes an allocation
// beyond what the file can hold.

#include <atomic>
#include <cstddef>

extern std::atomic<std::size_t> g_largestAllocation;
