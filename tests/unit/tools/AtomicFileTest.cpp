// Writing a file whole or not at all: what is refused, and what a
// replaced or new file looks like afterwards.

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <sys/stat.h>

#include "nuk/tools/AtomicFile.h"
#include "support/Files.h"

using nuk::WriteFileAtomically;
using nuk::WriteResult;
using testsupport::ReadFile;
using testsupport::TempDir;
using testsupport::WriteFile;

namespace
{

mode_t ModeOf(const std::string &path)
{
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
}

} // namespace

TEST(AtomicFile, RefusesToReplaceADevice)
{
    const WriteResult r = WriteFileAtomically("/dev/null", "data");
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.reason, "Not a regular file");
}

// Each refusal with the system's reason, the folder as it was.
TEST(AtomicFile, RefusalsLeaveEverythingAsItWas)
{
    struct Refusal {
        const char *what;
        const char *name;
        int err;
    };
    const Refusal refusals[] = {
        {"a folder in the way", "folder", EISDIR},
        {"a name ending in a slash", "folder/", EISDIR},
        {"a write-protected file", "kept.txt", EACCES},
        {"a missing folder", "missing/file.txt", ENOENT},
    };
    for (const Refusal &c : refusals) {
        TempDir dir;
        ASSERT_EQ(::mkdir(dir.File("folder").c_str(), 0755), 0);
        WriteFile(dir.File("kept.txt"), "kept\n");
        ASSERT_EQ(::chmod(dir.File("kept.txt").c_str(), 0444), 0);
        const WriteResult r = WriteFileAtomically(dir.File(c.name), "new\n");
        EXPECT_FALSE(r.ok) << c.what;
        EXPECT_EQ(r.reason, std::strerror(c.err)) << c.what;
        EXPECT_EQ(r.message(), "cannot write " + dir.File(c.name) + ": " + std::strerror(c.err)) << c.what;
        EXPECT_EQ(ReadFile(dir.File("kept.txt")), "kept\n") << c.what;
        EXPECT_EQ(dir.Entries(), 2) << c.what;
    }
}

// A replaced file keeps its mode, a new one takes the umask's, and no
// temporary is left beside either.
TEST(AtomicFile, ModesAndNoTemporary)
{
    TempDir dir;
    const std::string old = WriteFile(dir.File("old.txt"), std::string(5000, 'x'));
    ASSERT_EQ(::chmod(old.c_str(), 0604), 0);
    ASSERT_TRUE(WriteFileAtomically(old, "shorter\n").ok);
    EXPECT_EQ(ReadFile(old), "shorter\n");
    EXPECT_EQ(ModeOf(old), 0604u);

    const mode_t mask = ::umask(027);
    const WriteResult fresh = WriteFileAtomically(dir.File("new.txt"), "");
    ::umask(mask);
    ASSERT_TRUE(fresh.ok) << fresh.message();
    EXPECT_EQ(fresh.message(), "");
    EXPECT_EQ(ModeOf(dir.File("new.txt")), 0640u);
    EXPECT_EQ(ReadFile(dir.File("new.txt")), "");
    EXPECT_EQ(dir.Entries(), 2);
}
