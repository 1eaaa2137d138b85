// The acquisition file: the worked example to the byte, and writing it
// safely.

#include <cerrno>
#include <cstdio>
#include <string>

#include <csignal>
#include <cstring>

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "planner/Pattern.h"
#include "support/Files.h"

using namespace planner;

using testsupport::ReadFile;
using testsupport::TempDir;
using testsupport::WriteFile;

// The beginning and the end of the default file, line by line as the rig
// documentation shows them.
TEST(PatternFile, WorkedExampleBeginningAndEnd)
{
    PatternLists l;
    const std::string text = BuildPattern(PatternInput{}, l);
    const std::string sep = "---------------------------------------------------\n";
    const std::string head = "PTM ACQUISITION PATTERN\n"
                             "\n" +
                             sep +
                             "object size            250\n"
                             "object height         1000\n"
                             "camera distance       1000\n"
                             "horizontal angle     15.00\n"
                             "vertical angle       15.00\n"
                             "parallels               13\n"
                             "meridiens               13\n"
                             "\n" +
                             sep +
                             "\n"
                             "rows from bottom to top. points from left to right\n"
                             "\n"
                             "\n" +
                             sep +
                             "row #      0\n"
                             "\n"
                             "height       2500\n"
                             "distance        0\n"
                             "\n"
                             "  0]       0    1500       0\n"
                             "\n"
                             "\n" +
                             sep + sep +
                             "row #      1\n"
                             "\n"
                             "height       2448\n"
                             "distance      388\n"
                             "\n"
                             "  0]    -388    1448       0\n"
                             "  1]    -374    1448     100\n"
                             "  2]    -336    1448     194\n"
                             "  3]    -274    1448     274\n"
                             "  4]    -194    1448     336\n"
                             "  5]    -100    1448     374\n"
                             "  6]       0    1448     388\n"
                             "  7]     100    1448     374\n"
                             "  8]     194    1448     336\n"
                             "  9]     274    1448     274\n"
                             " 10]     336    1448     194\n"
                             " 11]     374    1448     100\n"
                             " 12]     388    1448       0\n"
                             "\n"
                             "\n" +
                             sep;
    const std::string tail = sep +
                             "row #     12\n"
                             "\n"
                             "height       -500\n"
                             "distance        0\n"
                             "\n"
                             "  0]       0   -1500       0\n"
                             "\n"
                             "\n" +
                             sep + "Total points    145\n";
    ASSERT_GE(text.size(), head.size() + tail.size());
    EXPECT_EQ(text.substr(0, head.size()), head);
    EXPECT_EQ(text.substr(text.size() - tail.size()), tail);
}

// The whole default file against a fixture made by the independent reference
// in tests/tools/reference_pattern.py.
TEST(PatternFile, WorkedExampleMatchesFixture)
{
    const std::string fixture = ReadFile(std::string(QUORVEL_TEST_DATA) + "/acquisition-default.txt");
    ASSERT_FALSE(fixture.empty());
    TempDir dir;
    const std::string path = dir.path + "/acquisition.txt";
    PatternLists l;
    const WriteResult r = Generate(PatternInput{}, l, path);
    ASSERT_TRUE(r.ok) << r.message();
    EXPECT_EQ(ReadFile(path), fixture);
}

TEST(PatternFile, ReplacesAnExistingFileAndKeepsItsMode)
{
    TempDir dir;
    const std::string path = dir.path + "/acquisition.txt";
    WriteFile(path, std::string(100000, 'x'));
    ::chmod(path.c_str(), 0640);
    PatternLists l;
    ASSERT_TRUE(Generate(PatternInput{}, l, path).ok);
    EXPECT_EQ(ReadFile(path), BuildPattern(PatternInput{}, l));
    struct stat st;
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    EXPECT_EQ(dir.Entries(), 1); // no temporary left behind
}

TEST(PatternFile, DirectoryInTheWayFailsWithReasonAndListsAreStillFilled)
{
    TempDir dir;
    const std::string path = dir.path + "/acquisition.txt";
    ASSERT_EQ(::mkdir(path.c_str(), 0755), 0);
    PatternLists l;
    const WriteResult r = Generate(PatternInput{}, l, path);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.path, path);
    EXPECT_EQ(r.reason, std::strerror(EISDIR));
    EXPECT_EQ(r.message(), "cannot write " + path + ": " + std::strerror(EISDIR));
    EXPECT_EQ(l.positions.size(), 145u);
    EXPECT_EQ(dir.Entries(), 1);
}

TEST(PatternFile, MissingFolderFails)
{
    PatternLists l;
    const WriteResult r = Generate(PatternInput{}, l, "/nonexistent-quorvel-dir/acquisition.txt");
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.reason, std::strerror(ENOENT));
}

TEST(PatternFile, ReadOnlyFolderLeavesExistingFileUntouched)
{
    TempDir dir;
    const std::string path = dir.path + "/acquisition.txt";
    WriteFile(path, "previous pattern\n");
    ASSERT_EQ(::chmod(dir.path.c_str(), 0555), 0);
    PatternLists l;
    const WriteResult r = Generate(PatternInput{}, l, path);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.reason, std::strerror(EACCES));
    EXPECT_EQ(ReadFile(path), "previous pattern\n");
    EXPECT_EQ(dir.Entries(), 1);
    EXPECT_EQ(l.positions.size(), 145u);
}

TEST(PatternFile, WriteProtectedFileIsNotReplaced)
{
    TempDir dir;
    const std::string path = dir.path + "/acquisition.txt";
    WriteFile(path, "kept\n");
    ASSERT_EQ(::chmod(path.c_str(), 0444), 0);
    PatternLists l;
    EXPECT_FALSE(Generate(PatternInput{}, l, path).ok);
    EXPECT_EQ(ReadFile(path), "kept\n");
}

TEST(PatternFile, FailedWriteMidwayLeavesNoPartialFile)
{
    // A file size limit makes the write fail part of the way through, as a
    // full disk would.
    TempDir dir;
    const std::string path = dir.path + "/acquisition.txt";
    WriteFile(path, "previous pattern\n");
    struct rlimit old;
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
    struct rlimit small = old;
    small.rlim_cur = 1000;
    void (*oldHandler)(int) = std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    PatternLists l;
    const WriteResult r = Generate(PatternInput{}, l, path);
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.reason, std::strerror(EFBIG));
    EXPECT_EQ(ReadFile(path), "previous pattern\n");
    EXPECT_EQ(dir.Entries(), 1);
}
