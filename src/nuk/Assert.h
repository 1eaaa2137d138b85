#pragma once
// Precondition checks of the geometry, mesh and reader code. They guard
// programming errors only: nothing read from a file or typed by the user may
// reach one. The file name is the library path of the header or source
// ("nuk/Point3"), not whatever path the compiler happened to see.

#include <cstdio>
#include <cstdlib>

namespace nuk
{

[[noreturn]] inline void assertionFailed(const char *expr, const char *file, int line)
{
    std::fprintf(stderr, "Assertion failed: %s, file %s, line %d\n", expr, file, line);
    std::fflush(stderr);
    std::abort();
}

} // namespace nuk

#define NUK_ASSERT(expr, file) ((expr) ? static_cast<void>(0) : ::nuk::assertionFailed(#expr, file, __LINE__))
