#include <gtest/gtest.h>

#include <cstring>
#include <ctime>
#include <filesystem>
#include <iterator>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "nuk/tools/bboxcache.h"
#include "support/Files.h"

using namespace nuk;
using testsupport::ReadFile;
using testsupport::TempDir;
using testsupport::WriteFile;

namespace
{

struct Box {
    double min[3];
    double max[3];
};
static_assert(sizeof(Box) == BBOX_CACHE_BOXSIZE, "the entry holds a box of doubles");

void SetMTime(const std::string &path, time_t sec, long nsec = 0)
{
    struct timespec t[2];
    t[0].tv_sec = t[1].tv_sec = sec;
    t[0].tv_nsec = t[1].tv_nsec = nsec;
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), t, 0), 0) << path;
}

const Box kBox = {{-1.5, 2.25, 0}, {3, 4.125, 1e10}};

} // namespace

TEST(BBoxCache, EntryLayoutAndRoundTrip)
{
    TempDir dir;
    const std::string ply = WriteFile(dir.File("statue.ply"), "ply\n");
    SetMTime(ply, 1000000);
    ASSERT_TRUE(WriteBBoxCache(ply.c_str(), &kBox));
    const std::string entry = dir.File("nuk_cache/statue.ply.bbox_cache");
    const std::string bytes = ReadFile(entry);
    ASSERT_EQ(bytes.size(), 56u);
    EXPECT_EQ(bytes.substr(0, 8), "BBOXCACH");
    EXPECT_EQ(std::memcmp(bytes.data() + 8, &kBox, 48), 0);

    Box b{};
    ASSERT_TRUE(ReadBBoxCache(ply.c_str(), &b, nullptr));
    EXPECT_EQ(std::memcmp(&b, &kBox, sizeof b), 0);

    std::string path;
    ASSERT_TRUE(CachePath(ply.c_str(), ".x", path));
    EXPECT_EQ(path, dir.path + "/nuk_cache/statue.ply.x");
}

TEST(BBoxCache, Freshness)
{
    TempDir dir;
    const std::string ply = WriteFile(dir.File("m.ply"), "ply\n");
    const std::string other = WriteFile(dir.File("m.png"), "png");
    ASSERT_TRUE(WriteBBoxCache(ply.c_str(), &kBox));
    const std::string entry = dir.File("nuk_cache/m.ply.bbox_cache");
    SetMTime(entry, 2000000);
    SetMTime(ply, 1000000);
    SetMTime(other, 1000000);
    Box b{};
    EXPECT_TRUE(ReadBBoxCache(ply.c_str(), &b, other.c_str()));

    SetMTime(ply, 2000000); // equal times count as fresh
    EXPECT_TRUE(IsNewer(ply.c_str(), entry.c_str()));
    EXPECT_TRUE(ReadBBoxCache(ply.c_str(), &b, nullptr));

    SetMTime(ply, 2000000, 500000000); // half a second after the entry
    EXPECT_FALSE(IsNewer(ply.c_str(), entry.c_str()));
    EXPECT_FALSE(ReadBBoxCache(ply.c_str(), &b, nullptr));
    SetMTime(ply, 2000001);
    EXPECT_FALSE(ReadBBoxCache(ply.c_str(), &b, nullptr));
    ASSERT_TRUE(WriteBBoxCache(ply.c_str(), &kBox)); // written now: fresh again
    EXPECT_TRUE(ReadBBoxCache(ply.c_str(), &b, nullptr));

    // The other file newer than the entry, the PLY file older.
    SetMTime(ply, 1000000);
    SetMTime(entry, 2000000);
    SetMTime(other, 3000000);
    EXPECT_FALSE(ReadBBoxCache(ply.c_str(), &b, other.c_str()));
    EXPECT_TRUE(ReadBBoxCache(ply.c_str(), &b, nullptr));

    EXPECT_FALSE(IsNewer(dir.File("missing").c_str(), entry.c_str()));
    EXPECT_FALSE(IsNewer(ply.c_str(), dir.File("missing").c_str()));
    EXPECT_FALSE(ReadBBoxCache(dir.File("missing.ply").c_str(), &b, nullptr));
}

TEST(BBoxCache, DamagedEntriesAreRejected)
{
    TempDir dir;
    const std::string ply = WriteFile(dir.File("d.ply"), "ply\n");
    SetMTime(ply, 1000000);
    ASSERT_TRUE(WriteBBoxCache(ply.c_str(), &kBox));
    const std::string entry = dir.File("nuk_cache/d.ply.bbox_cache");
    const std::string good = ReadFile(entry);
    Box b{};

    WriteFile(entry, "BBOXCACX" + good.substr(8));
    EXPECT_FALSE(ReadBBoxCache(ply.c_str(), &b, nullptr));
    WriteFile(entry, good.substr(0, 55));
    EXPECT_FALSE(ReadBBoxCache(ply.c_str(), &b, nullptr));
    WriteFile(entry, "");
    EXPECT_FALSE(ReadBBoxCache(ply.c_str(), &b, nullptr));
    WriteFile(entry, good + "trailing bytes are ignored");
    ASSERT_TRUE(ReadBBoxCache(ply.c_str(), &b, nullptr));
    EXPECT_EQ(std::memcmp(&b, &kBox, sizeof b), 0);
}

// The entry is written through the atomic file writer: a rewrite keeps the
// entry's mode and leaves nothing else in the cache folder.
TEST(BBoxCache, RewriteKeepsTheModeAndLeavesNoTemporary)
{
    TempDir dir;
    const std::string ply = WriteFile(dir.File("r.ply"), "ply\n");
    ASSERT_TRUE(WriteBBoxCache(ply.c_str(), &kBox));
    const std::string entry = dir.File("nuk_cache/r.ply.bbox_cache");
    ASSERT_EQ(::chmod(entry.c_str(), 0600), 0);
    const Box other = {{1, 2, 3}, {4, 5, 6}};
    ASSERT_TRUE(WriteBBoxCache(ply.c_str(), &other));
    struct stat st;
    ASSERT_EQ(::stat(entry.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_EQ(std::memcmp(ReadFile(entry).data() + 8, &other, sizeof other), 0);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.File("nuk_cache")),
                            std::filesystem::directory_iterator()),
              1);
}

TEST(BBoxCache, PathsAreSplitAtTheLastSlash)
{
    TempDir dir;
    // A name without a directory: the cache lies in the current directory.
    char old[4096];
    ASSERT_NE(::getcwd(old, sizeof old), nullptr);
    ASSERT_EQ(::chdir(dir.path.c_str()), 0);
    WriteFile("plain.ply", "ply\n");
    const bool wrote = WriteBBoxCache("plain.ply", &kBox);
    std::string path;
    const bool composed = CachePath("plain.ply", ".bbox_cache", path);
    ASSERT_EQ(::chdir(old), 0);
    EXPECT_TRUE(wrote);
    EXPECT_TRUE(composed);
    EXPECT_EQ(path, "nuk_cache/plain.ply.bbox_cache");
    EXPECT_EQ(ReadFile(dir.File("nuk_cache/plain.ply.bbox_cache")).size(), 56u);

    // A backslash is part of a name here, not a separator.
    ASSERT_EQ(::mkdir(dir.File("a\\b").c_str(), 0777), 0);
    const std::string odd = WriteFile(dir.File("a\\b/c.ply"), "ply\n");
    ASSERT_TRUE(CachePath(odd.c_str(), ".bbox_cache", path));
    EXPECT_EQ(path, dir.File("a\\b/nuk_cache/c.ply.bbox_cache"));
    EXPECT_TRUE(WriteBBoxCache(odd.c_str(), &kBox));
}

TEST(BBoxCache, FailuresWhenTheCacheCannotBeMade)
{
    TempDir dir;
    Box b{};
    // The directory of the PLY file does not exist: no intermediate directories.
    std::string path;
    EXPECT_FALSE(CachePath(dir.File("no/such/m.ply").c_str(), ".bbox_cache", path));
    EXPECT_FALSE(WriteBBoxCache(dir.File("no/such/m.ply").c_str(), &kBox));
    EXPECT_FALSE(ReadBBoxCache(dir.File("no/such/m.ply").c_str(), &b, nullptr));
    // A file named nuk_cache in the way.
    ASSERT_EQ(::mkdir(dir.File("sub").c_str(), 0777), 0);
    WriteFile(dir.File("sub/nuk_cache"), "not a directory");
    const std::string ply = WriteFile(dir.File("sub/m.ply"), "ply\n");
    EXPECT_FALSE(WriteBBoxCache(ply.c_str(), &kBox));
    EXPECT_FALSE(ReadBBoxCache(ply.c_str(), &b, nullptr));
    EXPECT_EQ(ReadFile(dir.File("sub/nuk_cache")), "not a directory");
}
