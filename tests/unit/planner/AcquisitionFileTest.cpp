// Reading acquisition files back: every file the generator writes gives its
// parameters and exact positions again; damaged files give an error naming
// the damaged line.

#include <cstdio>
#include <cstring>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "planner/AcquisitionFile.h"
#include "planner/Pattern.h"
#include "unit/planner/LightFiles.h"

using namespace planner;
using lighttest::Input;
using lighttest::SplitLines;

namespace
{

std::string Join(const std::vector<std::string> &lines)
{
    std::string s;
    for (const std::string &l : lines)
        s += l + "\n";
    return s;
}

// The central point exists only when both steps divide 90; elsewhere the
// flag leaves no trace in the file.
bool CentralShows(const PatternInput &in) { return 90 % in.horizontalStep == 0 && 90 % in.verticalStep == 0; }

void ExpectReadsBack(const PatternInput &in)
{
    PatternLists lists;
    const std::string text = BuildPattern(in, lists);
    const AcquisitionRead r = ReadAcquisition(text);
    ASSERT_TRUE(r.ok) << r.error.text();
    EXPECT_EQ(r.input.objectSize, in.objectSize);
    EXPECT_EQ(r.input.objectHeight, in.objectHeight);
    EXPECT_EQ(r.input.cameraDistance, in.cameraDistance);
    EXPECT_EQ(r.input.horizontalStep, in.horizontalStep);
    EXPECT_EQ(r.input.verticalStep, in.verticalStep);
    EXPECT_EQ(r.input.viewDistance, in.viewDistance);
    EXPECT_EQ(r.input.excludeBasePlane, in.excludeBasePlane);
    EXPECT_EQ(r.input.excludeCentralPoint, in.excludeCentralPoint && CentralShows(in));
    ASSERT_EQ(r.lists.positions.size(), lists.positions.size());
    for (std::size_t k = 0; k < lists.positions.size(); ++k)
        ASSERT_EQ(r.lists.positions[k], lists.positions[k]) << "position " << k;
    EXPECT_EQ(r.lists.row_heights, lists.row_heights);
    EXPECT_EQ(r.lists.point_hangles, lists.point_hangles);
}

} // namespace

// Steps across their whole range (the densest, 1 degree, included), view
// distances from end to end, all four flag settings, and the object and
// camera at their limits.
TEST(AcquisitionReader, EveryGeneratedFileReadsBack)
{
    const int steps[] = {1, 2, 3, 7, 11, 15, 20, 29, 45, 60, 89, 90};
    const int distances[] = {10, 11, 99, 1234, 1500, 3499, 3500};
    int k = 0;
    for (int h : steps)
        for (int v : steps)
            for (int flags = 0; flags < 4; ++flags) {
                // The densest patterns take long: every distance only for the sparser.
                for (int d : distances) {
                    if ((h < 3 || v < 3) && d != 10 && d != 3500) continue;
                    PatternInput in = Input(h, v, d, flags & 1, flags & 2);
                    const int sizes[] = {10, 2000, 250};
                    in.objectSize = sizes[k % 3];
                    in.objectHeight = k % 2 ? 10 : 2500;
                    in.cameraDistance = k % 5 ? 2500 : 10;
                    ++k;
                    SCOPED_TRACE(::testing::Message() << "h " << h << " v " << v << " d " << d << " flags " << flags);
                    ExpectReadsBack(in);
                    if (::testing::Test::HasFatalFailure()) return;
                }
            }
}

// The view distance is not in the file: every whole distance must come back
// as itself, for the fewest rows (both steps 90, base plane excluded: one
// row at 90 degrees) and for the default steps.
TEST(AcquisitionReader, ViewDistanceRecoveredForEveryDistance)
{
    for (const PatternInput &base :
         {Input(90, 90, 0, true, true), Input(15, 15, 0, false, false), Input(60, 89, 0, false, true)}) {
        for (int d = 10; d <= 3500; ++d) {
            PatternInput in = base;
            in.viewDistance = d;
            PatternLists lists;
            const AcquisitionRead r = ReadAcquisition(BuildPattern(in, lists));
            ASSERT_TRUE(r.ok) << d << ": " << r.error.text();
            ASSERT_EQ(r.input.viewDistance, d);
        }
    }
}

TEST(AcquisitionReader, OtherLineEnds)
{
    PatternLists lists;
    const std::string text = BuildPattern(PatternInput{}, lists);
    std::string crlf;
    for (char c : text)
        crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    EXPECT_TRUE(ReadAcquisition(crlf).ok);
    EXPECT_TRUE(ReadAcquisition(text.substr(0, text.size() - 1)).ok); // no final line end
    EXPECT_FALSE(ReadAcquisition(text + "\n").ok);                    // an empty line after the total
}

// --- damaged files -----------------------------------------------------------

namespace
{

// The last line of the run of equal lines that holds line L (1-based):
// removing any of them gives the same file, so the reader can only name
// where the run ends short.
int RunEnd(const std::vector<std::string> &lines, int L)
{
    int e = L;
    while (e < static_cast<int>(lines.size()) && lines[e] == lines[L - 1])
        ++e;
    return e;
}

// Line of the central point (row at 90 degrees, point at 90) when written.
int CentralLine(const std::vector<std::string> &lines, const PatternInput &in)
{
    if (in.excludeCentralPoint || !CentralShows(in)) return 0;
    int row = -1;
    for (std::size_t k = 0; k < lines.size(); ++k) {
        int n = 0;
        if (std::sscanf(lines[k].c_str(), "row # %d", &n) == 1) row = n;
        if (row * in.verticalStep == 90 && std::sscanf(lines[k].c_str(), "%d]", &n) == 1 && n * in.horizontalStep == 90)
            return static_cast<int>(k) + 1;
    }
    return 0;
}

const PatternInput kDamageBases[] = {Input(15, 15, 1500, false, false), Input(15, 15, 1500, true, true),
                                     Input(90, 90, 700, false, false),  Input(90, 90, 2500, true, true),
                                     Input(7, 20, 123, false, true),    Input(45, 30, 3500, true, false)};

} // namespace

class AcquisitionDamage : public ::testing::TestWithParam<PatternInput>
{
};

// Each line removed in turn.
TEST_P(AcquisitionDamage, LineRemoved)
{
    const PatternInput in = GetParam();
    PatternLists lists;
    const std::vector<std::string> lines = SplitLines(BuildPattern(in, lists));
    const int n = static_cast<int>(lines.size());
    const int central = CentralLine(lines, in);
    for (int L = 1; L <= n; ++L) {
        std::vector<std::string> damaged = lines;
        damaged.erase(damaged.begin() + (L - 1));
        const AcquisitionRead r = ReadAcquisition(Join(damaged));
        ASSERT_FALSE(r.ok) << "line " << L << " removed";
        EXPECT_FALSE(r.error.message.empty());
        if (L == central) {
            // Without its central point the file is one that left it out,
            // but for its total: the last line.
            EXPECT_EQ(r.error.line, n - 1) << r.error.text();
        } else {
            EXPECT_GE(r.error.line, L) << "line " << L << " removed: " << r.error.text();
            EXPECT_LE(r.error.line, RunEnd(lines, L)) << "line " << L << " removed: " << r.error.text();
        }
        EXPECT_TRUE(r.lists.positions.empty());
    }
}

// Each line changed in turn: its last digit moved by one, or a letter
// added where there is no digit. The object size and the camera distance
// appear nowhere else, so another valid value there is another valid file.
TEST_P(AcquisitionDamage, LineChanged)
{
    const PatternInput in = GetParam();
    PatternLists lists;
    const std::vector<std::string> lines = SplitLines(BuildPattern(in, lists));
    const std::size_t rows = lists.row_heights.size();
    for (int L = 1; L <= static_cast<int>(lines.size()); ++L) {
        std::vector<std::string> damaged = lines;
        std::string &s = damaged[L - 1];
        const std::size_t p = s.find_last_of("0123456789");
        if (p == std::string::npos)
            s += 'x';
        else
            s[p] = s[p] == '9' ? '8' : static_cast<char>(s[p] + 1);
        const AcquisitionRead r = ReadAcquisition(Join(damaged));
        if (L == 4 || L == 6) {
            ASSERT_TRUE(r.ok) << r.error.text();
            EXPECT_EQ(L == 4 ? r.input.objectSize : r.input.cameraDistance,
                      (L == 4 ? in.objectSize : in.cameraDistance) + 1);
            continue;
        }
        if (r.ok) {
            // Only a file that the generator writes itself may pass.
            PatternLists again;
            EXPECT_EQ(BuildPattern(r.input, again), Join(damaged)) << "line " << L;
            // With a single row, a distance one larger can be another
            // valid file; never anything in a header or in a point.
            EXPECT_EQ(s.rfind("distance", 0), 0u) << "line " << L << " changed and read: " << s;
            continue;
        }
        // A single row is the one witness of the object height: its height
        // line and the header's are equally likely to have changed.
        if (L == 5 && rows == 1) {
            EXPECT_TRUE(r.error.line == 5 || lines[r.error.line - 1].rfind("height", 0) == 0) << r.error.text();
            continue;
        }
        EXPECT_EQ(r.error.line, L) << "line " << L << " changed to '" << s << "': " << r.error.text();
    }
}

// The file cut short after each line, and in the middle of some.
TEST_P(AcquisitionDamage, CutShort)
{
    const PatternInput in = GetParam();
    PatternLists lists;
    const std::string text = BuildPattern(in, lists);
    const std::vector<std::string> lines = SplitLines(text);
    std::size_t end = 0;
    for (int L = 1; L < static_cast<int>(lines.size()); ++L) {
        end += lines[L - 1].size() + 1;
        const AcquisitionRead r = ReadAcquisition(text.substr(0, end));
        ASSERT_FALSE(r.ok);
        EXPECT_EQ(r.error.line, L + 1) << "cut after line " << L << ": " << r.error.text();
        EXPECT_NE(r.error.message.find("ends"), std::string::npos) << r.error.text();
        // Half of the next line: that line is broken, or the file ends after it.
        if (lines[L].size() > 1) {
            const AcquisitionRead half = ReadAcquisition(text.substr(0, end + lines[L].size() / 2));
            ASSERT_FALSE(half.ok);
            EXPECT_GE(half.error.line, L + 1) << half.error.text();
            EXPECT_LE(half.error.line, L + 2) << half.error.text();
        }
    }
    EXPECT_FALSE(ReadAcquisition("").ok);
}

INSTANTIATE_TEST_SUITE_P(AcquisitionReader, AcquisitionDamage, ::testing::ValuesIn(kDamageBases));

struct HeaderCase {
    int line;
    const char *replacement;
    int errorLine;
    const char *says;
};

class AcquisitionHeader : public ::testing::TestWithParam<HeaderCase>
{
};

// Header lines changed to values that the rest of the file contradicts, or
// that no generator writes.
TEST_P(AcquisitionHeader, NamesTheLine)
{
    const HeaderCase &c = GetParam();
    PatternLists lists;
    std::vector<std::string> lines = SplitLines(BuildPattern(PatternInput{}, lists));
    lines[c.line - 1] = c.replacement;
    const AcquisitionRead r = ReadAcquisition(Join(lines));
    ASSERT_FALSE(r.ok);
    EXPECT_EQ(r.error.line, c.errorLine) << r.error.text();
    EXPECT_NE(r.error.message.find(c.says), std::string::npos) << r.error.text();
    EXPECT_EQ(r.error.text().rfind("line " + std::to_string(c.errorLine) + ": ", 0), 0u);
}

INSTANTIATE_TEST_SUITE_P(
    AcquisitionReader, AcquisitionHeader,
    ::testing::Values(HeaderCase{1, "PTM ACQUISITION PATTERN 2", 1, "not an acquisition file"},
                      HeaderCase{2, " ", 2, "empty line"}, HeaderCase{3, "--------", 3, "separator"},
                      HeaderCase{4, "object size              9", 4, "outside 10..2000 mm"},
                      HeaderCase{4, "object size            abc", 4, "whole number"},
                      HeaderCase{4, "object siz             250", 4, "'object size'"},
                      HeaderCase{5, "object height         1001", 5, "object height 1001 does not fit"},
                      HeaderCase{5, "object height         2501", 5, "outside 10..2500 mm"},
                      HeaderCase{6, "camera distance   99999999999999999999", 6, "outside 10..2500 mm"},
                      HeaderCase{7, "horizontal angle     14.00", 7, "made with 15.00"},
                      HeaderCase{7, "horizontal angle     16.00", 7, "made with 15.00"},
                      HeaderCase{7, "horizontal angle     15.50", 7, "whole number of degrees"},
                      HeaderCase{7, "horizontal angle     91.00", 7, "from 1 to 90"},
                      HeaderCase{8, "vertical angle       14.00", 8, "made with 15.00"},
                      HeaderCase{8, "vertical angle       90.00", 8, "made with 15.00"},
                      HeaderCase{8, "vertical angle          15", 8, "such as 15.00"},
                      HeaderCase{9, "parallels               12", 9, "vertical angle 15 on line 8"},
                      HeaderCase{10, "meridiens               14", 10, "horizontal angle 15 on line 7"},
                      HeaderCase{14, "rows from top to bottom", 14, "rows from bottom to top"},
                      HeaderCase{18, "row #      3", 18, "expected row # 0"},
                      HeaderCase{279, "Total points    146", 279, "146"}));

TEST(AcquisitionReader, JunkNamesALine)
{
    std::mt19937 rng(20061);
    for (int k = 0; k < 200; ++k) {
        std::string junk(static_cast<std::size_t>(rng() % 3000), '\0');
        for (char &c : junk)
            c = static_cast<char>(rng());
        const AcquisitionRead r = ReadAcquisition(junk);
        ASSERT_FALSE(r.ok);
        EXPECT_EQ(r.error.line, 1) << r.error.text();
    }
    // A good header, then bytes.
    PatternLists lists;
    const std::string text = BuildPattern(PatternInput{}, lists);
    const std::size_t header = text.find("row #");
    std::string bad = text.substr(0, header) + std::string("\0\x01\xff\xfe", 4) + "\n";
    const AcquisitionRead r = ReadAcquisition(bad);
    ASSERT_FALSE(r.ok);
    EXPECT_EQ(r.error.line, 18) << r.error.text();
    EXPECT_EQ(r.error.text().find('\0'), std::string::npos);
}

TEST(AcquisitionReader, Files)
{
    char tmpl[] = "/tmp/quorvel-read-XXXXXX";
    const std::string dir = ::mkdtemp(tmpl);
    PatternLists lists;
    const PatternInput in = Input(20, 30, 999, true, false);
    ASSERT_TRUE(Generate(in, lists, dir + "/acquisition.txt").ok);
    const AcquisitionRead r = ReadAcquisitionFile(dir + "/acquisition.txt");
    ASSERT_TRUE(r.ok) << r.error.text();
    EXPECT_EQ(r.input.viewDistance, 999);

    const AcquisitionRead missing = ReadAcquisitionFile(dir + "/none.txt");
    EXPECT_FALSE(missing.ok);
    EXPECT_EQ(missing.error.line, 0);
    EXPECT_EQ(missing.error.text(dir + "/none.txt"), "cannot read " + dir + "/none.txt: No such file or directory");
    EXPECT_FALSE(ReadAcquisitionFile(dir).ok);

    // Far larger than any acquisition file: refused before it is read.
    const std::string big = dir + "/big.txt";
    ASSERT_EQ(::truncate(big.c_str(), 0), -1); // not there yet
    {
        std::ofstream(big) << "PTM ACQUISITION PATTERN\n";
    }
    ASSERT_EQ(::truncate(big.c_str(), static_cast<off_t>(kMaxAcquisitionFileSize) + 1), 0);
    const AcquisitionRead large = ReadAcquisitionFile(big);
    EXPECT_FALSE(large.ok);
    EXPECT_NE(large.error.message.find("larger than any acquisition file"), std::string::npos);

    // The error names the file and the line.
    std::ofstream(dir + "/damaged.txt") << "PTM ACQUISITION PATTERN\n\nxx\n";
    EXPECT_EQ(ReadAcquisitionFile(dir + "/damaged.txt").error.text("damaged.txt").rfind("damaged.txt, line 3: ", 0),
              0u);
    EXPECT_EQ(std::system(("rm -rf '" + dir + "'").c_str()), 0);
}
