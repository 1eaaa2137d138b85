// Reading acquisition files back: every file the generator writes, grid or
// layout, gives its parameters, its layout and exact positions again;
// damaged files give an error naming the damaged line.

#include <cctype>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <ostream>
#include <random>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "planner/AcquisitionFile.h"
#include "planner/Layout.h"
#include "planner/Pattern.h"
#include "support/Files.h"
#include "unit/mesh/LargestAllocation.h"
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

// --- layouts -------------------------------------------------------------------

namespace
{

LayoutInput Layout(LayoutKind kind, int size, int minElevation, bool topLight = true, bool skip = false)
{
    LayoutInput l;
    l.kind = kind;
    if (kind == LayoutKind::Rings) l.rings = size;
    if (kind == LayoutKind::Spiral) l.count = size;
    if (kind == LayoutKind::Geodesic) l.frequency = size;
    l.minElevation = minElevation;
    l.topLight = topLight;
    l.skipFlagged = skip;
    return l;
}

PatternInput Plan(int viewDistance, int objectHeight = 1000, int cameraDistance = 1000, int objectSize = 250)
{
    PatternInput in;
    in.viewDistance = viewDistance;
    in.objectHeight = objectHeight;
    in.cameraDistance = cameraDistance;
    in.objectSize = objectSize;
    return in;
}

bool SameLayout(const LayoutInput &a, const LayoutInput &b)
{
    return a.kind == b.kind && a.rings == b.rings && a.topLight == b.topLight && a.count == b.count &&
           a.frequency == b.frequency && a.minElevation == b.minElevation && a.skipFlagged == b.skipFlagged;
}

struct RoundTrip {
    const char *name;
    PatternInput in;
    LayoutInput layout;
    LayoutInput reads; // the layout itself, unless another writes the same file first
};

void PrintTo(const RoundTrip &c, std::ostream *os) { *os << c.name; }

RoundTrip Case(const char *name, PatternInput in, LayoutInput layout) { return {name, in, layout, layout}; }

const LayoutInput kGrid;

// The icosahedron's upper ring lies at asin(1 / sqrt 5) = 26.57 degrees:
// minimum elevations 0 to 26 keep the same vertices, and 27 to 80 only the
// top one. The reader takes the lowest.
const RoundTrip kRoundTrips[] = {
    Case("grid", Input(15, 15, 1500, false, false), kGrid),
    Case("grid 7 x 11, base plane out", Input(7, 11, 2718, false, true), kGrid),
    Case("grid 90, base plane out, near", Input(90, 90, 700, false, true), kGrid),
    Case("grid 45 x 30, central point out, far", Input(45, 30, 3500, true, false), kGrid),
    Case("7 rings", Plan(1500), Layout(LayoutKind::Rings, 7, 15)),
    Case("1 ring at 80", Plan(900, 2500, 10), Layout(LayoutKind::Rings, 1, 80)),
    Case("12 rings, no top light", Plan(2500, 10, 2500, 2000), Layout(LayoutKind::Rings, 12, 0, false)),
    Case("30 rings", Plan(3500), Layout(LayoutKind::Rings, 30, 5)),
    Case("7 rings, flagged out", Plan(1500, 300), Layout(LayoutKind::Rings, 7, 15, true, true)),
    Case("4 rings, no top light, flagged out", Plan(2000, 500, 900), Layout(LayoutKind::Rings, 4, 40, false, true)),
    Case("spiral of 1", Plan(1500), Layout(LayoutKind::Spiral, 1, 15)),
    Case("spiral of 2", Plan(333), Layout(LayoutKind::Spiral, 2, 0)),
    Case("spiral of 145", Plan(1500), Layout(LayoutKind::Spiral, 145, 15)),
    Case("spiral of 777 at 45", Plan(1234, 2000, 300), Layout(LayoutKind::Spiral, 777, 45)),
    Case("spiral of 10000", Plan(3500), Layout(LayoutKind::Spiral, 10000, 0)),
    Case("spiral of 40 at 60, flagged out", Plan(1800, 300, 1500), Layout(LayoutKind::Spiral, 40, 60, true, true)),
    Case("spiral of 10000, flagged out", Plan(2600, 700), Layout(LayoutKind::Spiral, 10000, 30, true, true)),
    Case("geodesic 1", Plan(1500), Layout(LayoutKind::Geodesic, 1, 0)),
    {"geodesic 1 at 15", Plan(1500), Layout(LayoutKind::Geodesic, 1, 15), Layout(LayoutKind::Geodesic, 1, 0)},
    {"geodesic 1 at 30", Plan(1500), Layout(LayoutKind::Geodesic, 1, 30), Layout(LayoutKind::Geodesic, 1, 27)},
    Case("geodesic 2", Plan(10), Layout(LayoutKind::Geodesic, 2, 0)),
    Case("geodesic 3, flagged out", Plan(2100, 300), Layout(LayoutKind::Geodesic, 3, 0, true, true)),
    Case("geodesic 4", Plan(1777, 1234, 2345, 321), Layout(LayoutKind::Geodesic, 4, 0)),
    Case("geodesic 16", Plan(3000), Layout(LayoutKind::Geodesic, 16, 0)),
};

} // namespace

class AcquisitionRoundTrip : public ::testing::TestWithParam<RoundTrip>
{
};

TEST_P(AcquisitionRoundTrip, ReadsBackAsWritten)
{
    const RoundTrip &c = GetParam();
    PatternLists lists;
    const std::string text = BuildLayout(c.in, c.layout, lists);
    if (c.layout.skipFlagged) {
        // Something is left out, or the file would be the same without.
        LayoutInput all = c.layout;
        all.skipFlagged = false;
        PatternLists unskipped;
        BuildLayout(c.in, all, unskipped);
        ASSERT_LT(lists.positions.size(), unskipped.positions.size());
    }

    const AcquisitionRead r = ReadAcquisition(text);
    ASSERT_TRUE(r.ok) << r.error.text();
    EXPECT_TRUE(SameLayout(r.layout, c.reads)) << LayoutDescription(r.layout);
    EXPECT_EQ(r.input.objectSize, c.in.objectSize);
    EXPECT_EQ(r.input.objectHeight, c.in.objectHeight);
    EXPECT_EQ(r.input.cameraDistance, c.in.cameraDistance);
    EXPECT_EQ(r.input.viewDistance, c.in.viewDistance);
    if (c.layout.kind == LayoutKind::Grid) {
        EXPECT_EQ(r.input.horizontalStep, c.in.horizontalStep);
        EXPECT_EQ(r.input.verticalStep, c.in.verticalStep);
        EXPECT_EQ(r.input.excludeBasePlane, c.in.excludeBasePlane);
        EXPECT_EQ(r.input.excludeCentralPoint, c.in.excludeCentralPoint && CentralShows(c.in));
    }
    EXPECT_EQ(r.lists.positions, lists.positions);
    EXPECT_EQ(r.lists.point_rows, lists.point_rows);
    EXPECT_EQ(r.lists.point_numbers, lists.point_numbers);
    PatternLists again;
    EXPECT_EQ(BuildLayout(r.input, r.layout, again), text);
}

INSTANTIATE_TEST_SUITE_P(AcquisitionLayouts, AcquisitionRoundTrip, ::testing::ValuesIn(kRoundTrips),
                         [](const ::testing::TestParamInfo<RoundTrip> &info) {
                             std::string name;
                             for (const char *p = info.param.name; *p; ++p)
                                 name += std::isalnum(static_cast<unsigned char>(*p)) ? *p : '_';
                             return name;
                         });

// The fixtures that the command-line cases read: the layouts' bytes as the
// generator wrote them before the file had one writer, kept.
TEST(AcquisitionLayouts, FixturesAreWhatTheLayoutsWrite)
{
    struct Fixture {
        const char *file;
        PatternInput in;
        LayoutInput layout;
    };
    const Fixture fixtures[] = {
        {"acquisition-rings.txt", Plan(1300), Layout(LayoutKind::Rings, 4, 15)},
        {"acquisition-spiral.txt", Plan(1500), Layout(LayoutKind::Spiral, 60, 0, true, true)},
        {"acquisition-geodesic.txt", Plan(2100, 800), Layout(LayoutKind::Geodesic, 3, 0)},
    };
    for (const Fixture &f : fixtures) {
        const std::string fixture = testsupport::ReadFile(std::string(QUORVEL_TEST_DATA) + "/" + f.file);
        ASSERT_FALSE(fixture.empty()) << f.file;
        PatternLists lists;
        EXPECT_EQ(BuildLayout(f.in, f.layout, lists), fixture) << f.file;
    }
}

// --- damaged layout files --------------------------------------------------------

namespace
{

enum class Damage {
    PointDigit,   // the last digit of the nth point line moved by one
    RowRemoved,   // the nth row, from its separator to the one that ends it
    AngleLine,    // the horizontal angle replaced
    Parallels,    // the parallels one more
    ObjectHeight, // the object height one more
    CutAfter,     // the file ends after line nth
    JunkRows,     // a megabyte of bytes where the rows are
};

struct DamageCase {
    const char *name;
    PatternInput in;
    LayoutInput layout;
    Damage damage;
    int nth;
    const char *says;
};

void PrintTo(const DamageCase &c, std::ostream *os) { *os << c.name; }

void Bump(std::string &line)
{
    const std::size_t p = line.find_last_of("0123456789");
    line[p] = line[p] == '9' ? '8' : static_cast<char>(line[p] + 1);
}

// The 1-based number of the nth line that holds what (1 for the first).
int NthLine(const std::vector<std::string> &lines, const char *what, int nth)
{
    for (std::size_t k = 0; k < lines.size(); ++k)
        if (lines[k].find(what) != std::string::npos && --nth == 0) return static_cast<int>(k) + 1;
    return 0;
}

const DamageCase kDamages[] = {
    {"rings point", Plan(1500), Layout(LayoutKind::Rings, 4, 15), Damage::PointDigit, 9, "expected ' "},
    {"spiral point", Plan(1300), Layout(LayoutKind::Spiral, 30, 15), Damage::PointDigit, 17, "found '  0]"},
    {"geodesic first point", Plan(2000), Layout(LayoutKind::Geodesic, 2, 0), Damage::PointDigit, 1, "found '  0]"},
    {"flagged-out spiral, last point", Plan(2200, 500, 900), Layout(LayoutKind::Spiral, 20, 0, true, true),
     Damage::PointDigit, 0, "does not match"},
    {"rings, a ring removed", Plan(1500), Layout(LayoutKind::Rings, 5, 20), Damage::RowRemoved, 3, "row #"},
    {"spiral, a row removed", Plan(1500), Layout(LayoutKind::Spiral, 30, 15), Damage::RowRemoved, 12, "row #"},
    {"rings, wrong angle", Plan(1500), Layout(LayoutKind::Rings, 4, 15), Damage::AngleLine, 0,
     "horizontal angle 99.99 does not fit the rest of the file, which gives 18.30"},
    {"geodesic, wrong angle", Plan(1500), Layout(LayoutKind::Geodesic, 2, 15), Damage::AngleLine, 0,
     "which gives 31.72"},
    {"spiral, parallels", Plan(1500), Layout(LayoutKind::Spiral, 30, 15), Damage::Parallels, 0,
     "parallels 31 does not fit the rest of the file, which gives 30"},
    {"rings, object height", Plan(1500), Layout(LayoutKind::Rings, 4, 15), Damage::ObjectHeight, 0,
     "object height 1001 does not fit the heights of the rows, which give 1000"},
    {"spiral, object height", Plan(1500), Layout(LayoutKind::Spiral, 30, 15), Damage::ObjectHeight, 0,
     "which give 1000"},
    {"rings cut short", Plan(1500), Layout(LayoutKind::Rings, 4, 15), Damage::CutAfter, 40, "the file ends here"},
    {"spiral cut in its header", Plan(1500), Layout(LayoutKind::Spiral, 30, 15), Damage::CutAfter, 8,
     "the file ends here"},
    {"geodesic cut short", Plan(1500), Layout(LayoutKind::Geodesic, 3, 0), Damage::CutAfter, 100, "the file ends here"},
    {"spiral, junk rows", Plan(1500), Layout(LayoutKind::Spiral, 10000, 0), Damage::JunkRows, 0,
     "expected the separator line of the first row or the total line"},
};

} // namespace

class AcquisitionLayoutDamage : public ::testing::TestWithParam<DamageCase>
{
};

TEST_P(AcquisitionLayoutDamage, NamesTheLine)
{
    const DamageCase &c = GetParam();
    PatternLists lists;
    std::vector<std::string> lines = SplitLines(BuildLayout(c.in, c.layout, lists));
    int expected = 0;
    switch (c.damage) {
    case Damage::PointDigit:
        expected =
            c.nth > 0 ? NthLine(lines, "]", c.nth) : NthLine(lines, "]", static_cast<int>(lists.positions.size()));
        Bump(lines[expected - 1]);
        break;
    case Damage::RowRemoved: {
        // From the separator above "row #" to the one below its points; the
        // next row's number then stands where this one's did.
        expected = NthLine(lines, "row #", c.nth + 1);
        const int end = NthLine(lines, "-----", 4 + 2 * c.nth);
        ASSERT_LT(expected, end);
        lines.erase(lines.begin() + (expected - 2), lines.begin() + end);
        break;
    }
    case Damage::AngleLine:
        expected = 7;
        lines[6] = "horizontal angle     99.99";
        break;
    case Damage::Parallels:
        expected = 9;
        Bump(lines[8]);
        break;
    case Damage::ObjectHeight:
        expected = 5;
        Bump(lines[4]);
        break;
    case Damage::CutAfter:
        expected = c.nth + 1;
        lines.resize(static_cast<std::size_t>(c.nth));
        break;
    case Damage::JunkRows: {
        expected = 17;
        lines.resize(16);
        std::mt19937 rng(4711);
        std::string junk(1u << 20, '\0');
        for (char &ch : junk)
            ch = static_cast<char>(rng());
        lines.push_back(junk);
        break;
    }
    }
    const AcquisitionRead r = ReadAcquisition(Join(lines));
    ASSERT_FALSE(r.ok);
    EXPECT_EQ(r.error.line, expected) << r.error.text();
    EXPECT_NE(r.error.message.find(c.says), std::string::npos) << r.error.text();
    EXPECT_TRUE(r.lists.positions.empty());
}

INSTANTIATE_TEST_SUITE_P(AcquisitionLayouts, AcquisitionLayoutDamage, ::testing::ValuesIn(kDamages),
                         [](const ::testing::TestParamInfo<DamageCase> &info) {
                             std::string name;
                             for (const char *p = info.param.name; *p; ++p)
                                 name += std::isalnum(static_cast<unsigned char>(*p)) ? *p : '_';
                             return name;
                         });

// Counts in a file size nothing: a header that claims a billion rows, a
// row numbered at the end of int and a bare total, under the spacing of the
// largest spiral, allocate no more than a megabyte; and random bytes, twice
// what any acquisition file holds, are refused at their first line.
TEST(AcquisitionLayouts, CountsInTheFileSizeNothing)
{
    PatternLists lists;
    std::vector<std::string> lines = SplitLines(BuildLayout(Plan(1500), Layout(LayoutKind::Spiral, 10000, 0), lists));
    lines.resize(16);
    lines[8] = "parallels        999999999";
    lines[9] = "meridiens        999999999";
    for (const char *l : {"---------------------------------------------------", "row # 2147483647", "",
                          "height       1000", "distance        0", "", "  0]       0       0    1500", "", "",
                          "---------------------------------------------------", "Total points 999999999"})
        lines.push_back(l);
    g_largestAllocation = 0;
    const AcquisitionRead r = ReadAcquisition(Join(lines));
    EXPECT_FALSE(r.ok);
    EXPECT_LE(g_largestAllocation.load(), std::size_t(1) << 20);

    std::mt19937 rng(1234);
    std::string junk(2 * kMaxAcquisitionFileSize, '\0');
    for (char &ch : junk)
        ch = static_cast<char>(rng() % 96 + 32);
    g_largestAllocation = 0;
    const AcquisitionRead big = ReadAcquisition(junk);
    EXPECT_FALSE(big.ok);
    EXPECT_EQ(big.error.line, 1);
    EXPECT_LE(g_largestAllocation.load(), std::size_t(1) << 20);
}

// Layout files read from disk as the grid's are.
TEST(AcquisitionLayouts, FilesOfEveryLayout)
{
    testsupport::TempDir dir;
    for (const LayoutInput &l :
         {Layout(LayoutKind::Rings, 3, 10), Layout(LayoutKind::Spiral, 99, 20), Layout(LayoutKind::Geodesic, 5, 0)}) {
        PatternLists lists;
        const std::string path = dir.File(std::string(LayoutName(l.kind)) + ".txt");
        ASSERT_TRUE(GenerateLayout(Plan(1600), l, lists, path).ok);
        const AcquisitionRead r = ReadAcquisitionFile(path);
        ASSERT_TRUE(r.ok) << r.error.text(path);
        EXPECT_TRUE(SameLayout(r.layout, l)) << LayoutDescription(r.layout);
        EXPECT_EQ(r.lists.positions, lists.positions);
    }
}
