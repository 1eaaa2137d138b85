#pragma once
// Writing a file whole or not at all, for everything that writes one: the
// acquisition file, the light and plot exports, the bounding-box cache.

#include <string>

namespace nuk
{

struct WriteResult {
    bool ok = false;
    std::string path;
    std::string reason;          // the system's explanation when !ok
    std::string message() const; // "cannot write PATH: REASON"
};

// Writes the bytes to a temporary file beside path, flushes them to the
// disk and renames the file over path, so a failed write never leaves a
// truncated file where a complete one was. An existing file keeps its mode;
// a folder, a device, a pipe or a write-protected file in the way is
// refused and left as it is.
WriteResult WriteFileAtomically(const std::string &path, const std::string &content);

} // namespace nuk
