#pragma once
// Scratch folders and whole-file reads and writes for the unit tests.

#include <string>

namespace testsupport
{

// A private scratch folder in the system's temporary folder, removed with
// everything in it (even after a test made it read-only).
class TempDir
{
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir &) = delete;
    TempDir &operator=(const TempDir &) = delete;

    std::string File(const std::string &name) const { return path + "/" + name; }
    // Entries in the folder, "." and ".." aside.
    int Entries() const;

    std::string path;
};

// Writes bytes to path as they are and returns path; throws when it cannot.
std::string WriteFile(const std::string &path, const std::string &bytes);
// The bytes of a file, or "" when it cannot be read.
std::string ReadFile(const std::string &path);

} // namespace testsupport
