// The light files (.lp, .dome, CSV) read back through the small readers of
// LightFiles.h and checked against the pattern's geometry; image names;
// and what the export refuses.

#include <cmath>
#include <fstream>
#include <set>
#include <sstream>
#include <string>

#include <unistd.h>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "planner/LightExport.h"
#include "planner/Pattern.h"
#include "support/Files.h"
#include "unit/planner/LightFiles.h"

using namespace planner;
using lighttest::Expected;
using lighttest::ExpectedLights;
using lighttest::Input;
using lighttest::kDirectionTolerance;
using lighttest::kPi;

namespace
{

std::string Text(LightFormat f, const PatternInput &in, const ExportOptions &opt = {})
{
    return lighttest::ExportedText(f, in, {}, opt);
}

// "IMG_%04d.JPG" as the test spells it out.
std::string Img(long long n)
{
    std::string digits = std::to_string(n);
    while (digits.size() < 4)
        digits.insert(0, "0");
    return "IMG_" + digits + ".JPG";
}

} // namespace

// --- .lp ---------------------------------------------------------------------

TEST(LightExportLp, DefaultPatternReadsBack)
{
    std::string why;
    const auto lights = lighttest::ReadLp(Text(LightFormat::Lp, PatternInput{}), why);
    ASSERT_TRUE(lights) << why;
    ASSERT_EQ(lights->size(), 145u);
    const std::vector<Expected> want = ExpectedLights(15, 15, false, false);
    ASSERT_EQ(want.size(), 145u);
    for (std::size_t k = 0; k < lights->size(); ++k) {
        const lighttest::LpLight &l = (*lights)[k];
        SCOPED_TRACE("light " + std::to_string(k + 1));
        EXPECT_EQ(l.name, Img(static_cast<long long>(k) + 1));
        EXPECT_NEAR(std::sqrt(l.x * l.x + l.y * l.y + l.z * l.z), 1.0, 1e-6);
        EXPECT_NEAR(l.x, want[k].dx, kDirectionTolerance);
        EXPECT_NEAR(l.y, want[k].dy, kDirectionTolerance);
        EXPECT_NEAR(l.z, want[k].dz, kDirectionTolerance);
    }
    // The top pole first, straight up; the central point straight at the camera.
    EXPECT_EQ((*lights)[0].x, 0.0);
    EXPECT_EQ((*lights)[0].y, 1.0);
    EXPECT_EQ((*lights)[0].z, 0.0);
    const std::size_t central = 1 + 5 * 13 + 6; // row 6 (90 degrees), point 6
    EXPECT_NEAR((*lights)[central].x, 0.0, 1e-4);
    EXPECT_NEAR((*lights)[central].y, 0.0, 1e-4);
    EXPECT_NEAR((*lights)[central].z, 1.0, 1e-8);
}

struct LpCase {
    int h, v, d;
    bool central, base;
    const char *pattern;
    long long first;
};

class LightExportLpSweep : public ::testing::TestWithParam<LpCase>
{
};

TEST_P(LightExportLpSweep, DirectionsAndNamesFollowTheGeometry)
{
    const LpCase &c = GetParam();
    ExportOptions opt;
    opt.imagePattern = c.pattern;
    opt.firstNumber = c.first;
    std::string why;
    const auto lights = lighttest::ReadLp(Text(LightFormat::Lp, Input(c.h, c.v, c.d, c.central, c.base), opt), why);
    ASSERT_TRUE(lights) << why;
    const std::vector<Expected> want = ExpectedLights(c.h, c.v, c.central, c.base);
    ASSERT_EQ(lights->size(), want.size());
    std::set<std::string> names;
    for (std::size_t k = 0; k < want.size(); ++k) {
        const lighttest::LpLight &l = (*lights)[k];
        EXPECT_NEAR(std::sqrt(l.x * l.x + l.y * l.y + l.z * l.z), 1.0, 1e-6);
        EXPECT_NEAR(l.x, want[k].dx, kDirectionTolerance) << k;
        EXPECT_NEAR(l.y, want[k].dy, kDirectionTolerance) << k;
        EXPECT_NEAR(l.z, want[k].dz, kDirectionTolerance) << k;
        names.insert(l.name);
    }
    EXPECT_EQ(names.size(), want.size()); // one photograph each
}

INSTANTIATE_TEST_SUITE_P(LightExport, LightExportLpSweep,
                         ::testing::Values(LpCase{90, 90, 10, false, false, "a%d.tif", 0},
                                           LpCase{90, 90, 3500, true, false, "a%02d.tif", 7},
                                           LpCase{7, 7, 1234, true, true, "DSC%05u.NEF", 100},
                                           LpCase{20, 20, 1500, true, false, "x_%.2i", 1},
                                           LpCase{11, 13, 777, false, true, "cap/%03d.jpg", 999999000},
                                           LpCase{1, 1, 2000, false, false, "IMG_%04d.JPG", 1}));

TEST(LightExportLp, NamesWithSpacesAreRefusedNotChanged)
{
    PatternLists lists;
    BuildPattern(PatternInput{}, lists);
    ExportOptions opt;
    opt.imagePattern = "my shot %03d.jpg";
    std::string error;
    const auto table = MakeLightTable(PatternInput{}, lists, opt, error);
    ASSERT_TRUE(table) << error;
    const ExportText lp = FormatLights(LightFormat::Lp, *table, opt);
    EXPECT_FALSE(lp.ok);
    EXPECT_NE(lp.error.find("'my shot 001.jpg'"), std::string::npos) << lp.error;
    // The blank flag makes a blank too.
    opt.imagePattern = "% 04d.jpg";
    EXPECT_FALSE(FormatLights(LightFormat::Lp, *MakeLightTable(PatternInput{}, lists, opt, error), opt).ok);
    // Other formats keep such names as they are.
    opt.imagePattern = "my shot %03d.jpg";
    const ExportText csv = FormatLights(LightFormat::Csv, *table, opt);
    ASSERT_TRUE(csv.ok);
    EXPECT_EQ(lighttest::CsvFields(lighttest::SplitLines(csv.text)[1])[3], "my shot 001.jpg");
}

// --- .dome -------------------------------------------------------------------

TEST(LightExportDome, KeysLengthsAndPositions)
{
    const PatternInput in = Input(15, 15, 1500, false, false);
    ExportOptions opt;
    opt.imageWidth = 85.5;
    opt.verticalOffset = -12.25;
    opt.label = "Stele 12 \"recto\"";
    const nlohmann::json j = nlohmann::json::parse(Text(LightFormat::Dome, in, opt));
    std::set<std::string> keys;
    for (auto it = j.begin(); it != j.end(); ++it)
        keys.insert(it.key());
    EXPECT_EQ(keys, (std::set<std::string>{"label", "notes", "imageWidth", "domeDiameter", "verticalOffset",
                                           "lightConfiguration", "directions", "positionsSphere", "positions3d",
                                           "ledAdjust"}));
    EXPECT_EQ(j["label"], "Stele 12 \"recto\"");
    EXPECT_TRUE(j["notes"].is_string());
    EXPECT_EQ(j["imageWidth"].get<double>(), 85.5);
    EXPECT_EQ(j["verticalOffset"].get<double>(), -12.25);
    EXPECT_EQ(j["domeDiameter"].get<double>(), 3000.0);
    EXPECT_EQ(j["lightConfiguration"], "spherical");

    const std::vector<Expected> want = ExpectedLights(15, 15, false, false);
    for (const char *key : {"directions", "positionsSphere", "positions3d", "ledAdjust"}) {
        ASSERT_TRUE(j[key].is_array()) << key;
        EXPECT_EQ(j[key].size(), want.size()) << key;
    }
    for (std::size_t k = 0; k < want.size(); ++k) {
        SCOPED_TRACE("light " + std::to_string(k + 1));
        const nlohmann::json &dir = j["directions"][k], &sph = j["positionsSphere"][k], &pos = j["positions3d"][k];
        const double dx = dir["x"], dy = dir["y"], dz = dir["z"];
        EXPECT_NEAR(std::sqrt(dx * dx + dy * dy + dz * dz), 1.0, 1e-6);
        EXPECT_NEAR(dx, want[k].dx, kDirectionTolerance);
        EXPECT_NEAR(dy, want[k].dy, kDirectionTolerance);
        EXPECT_NEAR(dz, want[k].dz, kDirectionTolerance);
        // On the sphere of the dome's diameter, and where the rig puts the
        // lamp, both lowered with the dome's centre by the offset.
        EXPECT_NEAR(sph["x"].get<double>(), 1500 * dx, 1e-3);
        EXPECT_NEAR(sph["y"].get<double>(), 1500 * dy, 1e-3);
        EXPECT_NEAR(sph["z"].get<double>(), 1500 * dz - 12.25, 1e-3);
        EXPECT_NEAR(pos["x"].get<double>(), 1500 * want[k].dx, 0.3);
        EXPECT_NEAR(pos["y"].get<double>(), 1500 * want[k].dy, 0.3);
        EXPECT_NEAR(pos["z"].get<double>(), 1500 * want[k].dz - 12.25, 0.3);
        EXPECT_EQ(j["ledAdjust"][k], (nlohmann::json{{"r", 1}, {"g", 1}, {"b", 1}}));
    }
}

TEST(LightExportDome, DefaultsAndLabel)
{
    const nlohmann::json j = nlohmann::json::parse(Text(LightFormat::Dome, Input(30, 45, 900, false, true)));
    EXPECT_EQ(j["imageWidth"].get<double>(), 0.0);
    EXPECT_EQ(j["verticalOffset"].get<double>(), 0.0);
    EXPECT_EQ(j["domeDiameter"].get<double>(), 1800.0);
    // No image width: directions alone, nothing for a reader to place.
    EXPECT_EQ(j["lightConfiguration"], "directional");
    EXPECT_TRUE(j["directions"].is_array());
    EXPECT_FALSE(j.contains("positionsSphere"));
    EXPECT_FALSE(j.contains("positions3d"));
    EXPECT_NE(j["notes"].get<std::string>().find("directions only"), std::string::npos);
    EXPECT_NE(j["label"].get<std::string>().find("900 mm"), std::string::npos);
}

// Positions at different distances are no dome: free positions in space.
TEST(LightExportDome, DifferentDistancesAreLights3d)
{
    PatternInput in;
    PatternLists lists;
    lists.positions = {{0, 1000, 0}, {0, 0, 2000}, {-500, 0, 0}};
    lists.point_vangles = {0, 90, 90};
    lists.point_hangles = {90, 90, 0};
    std::string error;
    ExportOptions opt;
    opt.imageWidth = 300;
    const auto t = MakeLightTable(in, lists, opt, error);
    ASSERT_TRUE(t) << error;
    const nlohmann::json j = nlohmann::json::parse(FormatLights(LightFormat::Dome, *t, opt).text);
    EXPECT_EQ(j["lightConfiguration"], "lights3d");
    EXPECT_EQ(j["positions3d"][1], (nlohmann::json{{"x", 0.0}, {"y", 0.0}, {"z", 2000.0}}));
    EXPECT_EQ(j["directions"][2], (nlohmann::json{{"x", -1.0}, {"y", 0.0}, {"z", 0.0}}));
}

TEST(LightExportDome, RefusesLengthsThatAreNoLengths)
{
    PatternLists lists;
    BuildPattern(PatternInput{}, lists);
    std::string error;
    const auto t = MakeLightTable(PatternInput{}, lists, ExportOptions{}, error);
    ASSERT_TRUE(t);
    ExportOptions opt;
    opt.imageWidth = -1;
    EXPECT_FALSE(FormatLights(LightFormat::Dome, *t, opt).ok);
    opt.imageWidth = NAN;
    EXPECT_FALSE(FormatLights(LightFormat::Dome, *t, opt).ok);
    opt.imageWidth = 0;
    opt.verticalOffset = INFINITY;
    EXPECT_FALSE(FormatLights(LightFormat::Dome, *t, opt).ok);
}

// --- CSV ---------------------------------------------------------------------

TEST(LightExportCsv, ColumnsFollowTheGeometry)
{
    struct Case {
        int h, v, d;
        bool central, base;
    };
    for (const Case c : {Case{15, 15, 1500, false, false}, Case{20, 30, 800, true, true}, Case{90, 45, 10, false, true},
                         Case{7, 11, 3500, true, false}}) {
        SCOPED_TRACE(std::to_string(c.h) + "/" + std::to_string(c.v));
        PatternInput in = Input(c.h, c.v, c.d, c.central, c.base);
        in.objectHeight = 1200;
        ExportOptions opt;
        opt.imagePattern = "shot,\"%04d\".tif"; // a comma and quotes: quoted
        opt.firstNumber = 0;
        const std::vector<std::string> lines = lighttest::SplitLines(Text(LightFormat::Csv, in, opt));
        const std::vector<Expected> want = ExpectedLights(c.h, c.v, c.central, c.base);
        ASSERT_EQ(lines.size(), want.size() + 1);
        EXPECT_EQ(lighttest::CsvFields(lines[0]),
                  (std::vector<std::string>{"sequence", "row", "point", "image", "x_mm", "y_mm", "z_mm", "direction_x",
                                            "direction_y", "direction_z", "azimuth_deg", "elevation_deg",
                                            "height_above_floor_mm"}));
        const double d = c.d;
        for (std::size_t k = 0; k < want.size(); ++k) {
            SCOPED_TRACE("line " + std::to_string(k + 2));
            const std::vector<std::string> f = lighttest::CsvFields(lines[k + 1]);
            ASSERT_EQ(f.size(), 13u);
            std::vector<double> n(13);
            for (int col : {0, 1, 2, 4, 5, 6, 7, 8, 9, 10, 11, 12}) {
                const std::optional<double> v = lighttest::CNumber(f[col]);
                ASSERT_TRUE(v) << f[col];
                n[col] = *v;
            }
            const Expected &e = want[k];
            EXPECT_EQ(n[0], k + 1.0);
            EXPECT_EQ(n[1], e.row);
            EXPECT_EQ(n[2], e.point);
            std::string number = std::to_string(k);
            number.insert(0, 4 - number.size(), '0');
            EXPECT_EQ(f[3], "shot,\"" + number + "\".tif");
            EXPECT_NEAR(n[4], d * e.dx, 2e-4 * d);
            EXPECT_NEAR(n[5], d * e.dy, 2e-4 * d);
            EXPECT_NEAR(n[6], d * e.dz, 2e-4 * d);
            EXPECT_NEAR(n[7], e.dx, kDirectionTolerance);
            EXPECT_NEAR(n[8], e.dy, kDirectionTolerance);
            EXPECT_NEAR(n[9], e.dz, kDirectionTolerance);
            // Elevation above the base plane, azimuth in the image plane from +x toward +y.
            const double ar = e.a * kPi / 180, br = e.b * kPi / 180;
            EXPECT_NEAR(n[11], std::asin(std::sin(ar) * std::sin(br)) * 180 / kPi, 0.02);
            if (std::hypot(e.dx, e.dy) > 1e-2) {
                double az = std::atan2(std::cos(ar), -std::sin(ar) * std::cos(br)) * 180 / kPi;
                if (az < 0) az += 360;
                EXPECT_NEAR(n[10], az, 0.05);
            }
            EXPECT_GE(n[10], 0.0);
            EXPECT_LT(n[10], 360.0);
            EXPECT_NEAR(n[12], 1200 + d * std::cos(ar), 2e-4 * d);
            // The height has the float digits of the other columns: the
            // float next to 1200 + y, in no more than nine significant digits.
            EXPECT_EQ(std::strtof(f[12].c_str(), nullptr),
                      static_cast<float>(1200.0 + std::strtof(f[5].c_str(), nullptr)))
                << f[12];
            std::size_t significant = 0;
            const std::size_t lead = f[12].find_first_not_of("-0.");
            for (std::size_t i = lead; i < f[12].size(); ++i)
                significant += f[12][i] >= '0' && f[12][i] <= '9';
            EXPECT_LE(significant, 9u) << f[12];
        }
    }
}

// --- image names -------------------------------------------------------------

struct NameCase {
    const char *pattern;
    long long number;
    const char *name; // nullptr: refused
    const char *why;  // part of the message when refused
};

class ImageNamePatterns : public ::testing::TestWithParam<NameCase>
{
};

TEST_P(ImageNamePatterns, MadeOrRefused)
{
    const NameCase &c = GetParam();
    std::string error;
    const std::optional<ImageNamePattern> p = ImageNamePattern::Parse(c.pattern, error);
    if (c.name) {
        ASSERT_TRUE(p) << error;
        EXPECT_EQ(p->Name(c.number), c.name);
    } else {
        EXPECT_FALSE(p);
        EXPECT_NE(error.find(c.why), std::string::npos) << error;
    }
}

INSTANTIATE_TEST_SUITE_P(
    LightExport, ImageNamePatterns,
    ::testing::Values(NameCase{"IMG_%04d.JPG", 7, "IMG_0007.JPG", ""},
                      NameCase{"IMG_%04d.JPG", 12345, "IMG_12345.JPG", ""}, NameCase{"%d", 0, "0", ""},
                      NameCase{"shot%%%03i.tif", 5, "shot%005.tif", ""}, NameCase{"%-5d|", 42, "42   |", ""},
                      NameCase{"%+d", 3, "+3", ""}, NameCase{"% d", 3, " 3", ""}, NameCase{"%.3d", 7, "007", ""},
                      NameCase{"%5.3d", 7, "  007", ""}, NameCase{"%-05d", 7, "7    ", ""},
                      NameCase{"%u.raw", 999999999, "999999999.raw", ""}, NameCase{"Ä-%d.jpg", 1, "Ä-1.jpg", ""},
                      NameCase{"IMG.JPG", 1, nullptr, "exactly one"}, NameCase{"%d_%d.JPG", 1, nullptr, "exactly one"},
                      NameCase{"100%%.jpg", 1, nullptr, "exactly one"},
                      NameCase{"IMG_%s.JPG", 1, nullptr, "'%s' is not an integer conversion"},
                      NameCase{"IMG_%f.JPG", 1, nullptr, "'%f'"}, NameCase{"IMG_%ld.JPG", 1, nullptr, "'%l'"},
                      NameCase{"IMG_%n", 1, nullptr, "'%n'"}, NameCase{"IMG_%", 1, nullptr, "ends inside"},
                      NameCase{"IMG_%040d", 1, nullptr, "width"}, NameCase{"IMG_%.99d", 1, nullptr, "width"},
                      NameCase{"a\tb%d", 1, nullptr, "control character"},
                      NameCase{"a\nb%d", 1, nullptr, "control character"}));

// Shooting order: rows from the top pole down, points left to right,
// skipped points skipped; names numbered on from the first.
TEST(LightExport, TableFollowsShootingOrder)
{
    const PatternInput in = Input(30, 45, 1000, true, true);
    PatternLists lists;
    BuildPattern(in, lists);
    ExportOptions opt;
    opt.firstNumber = 41;
    std::string error;
    const auto t = MakeLightTable(in, lists, opt, error);
    ASSERT_TRUE(t) << error;
    const std::vector<Expected> want = ExpectedLights(30, 45, true, true);
    ASSERT_EQ(t->lights.size(), want.size());
    for (std::size_t k = 0; k < want.size(); ++k) {
        EXPECT_EQ(t->lights[k].sequence, static_cast<int>(k) + 1);
        EXPECT_EQ(t->lights[k].row, want[k].row);
        EXPECT_EQ(t->lights[k].point, want[k].point);
        EXPECT_EQ(t->lights[k].image, Img(41 + static_cast<long long>(k)));
    }
}

TEST(LightExport, FirstNumberWithinLimits)
{
    PatternLists lists;
    BuildPattern(PatternInput{}, lists); // 145 lights
    std::string error;
    ExportOptions opt;
    opt.firstNumber = -1;
    EXPECT_FALSE(MakeLightTable(PatternInput{}, lists, opt, error));
    opt.firstNumber = ImageNamePattern::kMaxNumber - 144;
    EXPECT_TRUE(MakeLightTable(PatternInput{}, lists, opt, error)) << error;
    opt.firstNumber = ImageNamePattern::kMaxNumber - 143; // the last would need ten digits
    EXPECT_FALSE(MakeLightTable(PatternInput{}, lists, opt, error));
    EXPECT_NE(error.find("first image number"), std::string::npos) << error;
}

TEST(LightExport, FormatNames)
{
    for (LightFormat f : kLightFormats) {
        EXPECT_EQ(ParseLightFormat(FormatName(f)), f);
        EXPECT_EQ(FormatFromPath(std::string("/a.b/lights") + FormatExtension(f)), f);
    }
    EXPECT_EQ(FormatFromPath("X.DOME"), LightFormat::Dome);
    EXPECT_FALSE(FormatFromPath("lights.txt"));
    EXPECT_FALSE(FormatFromPath("dir.lp/lights"));
    EXPECT_FALSE(ParseLightFormat("LP "));
}

// --- writing -----------------------------------------------------------------

TEST(LightExport, WritesTheFileOrNothing)
{
    const testsupport::TempDir tmp;
    const std::string &dir = tmp.path;
    PatternLists lists;
    BuildPattern(PatternInput{}, lists);
    const std::string path = dir + "/lights.lp";

    const ExportResult ok = ExportLights(LightFormat::Lp, PatternInput{}, lists, ExportOptions{}, path);
    ASSERT_TRUE(ok.ok) << ok.message;
    EXPECT_EQ(ok.count, 145u);
    EXPECT_EQ(testsupport::ReadFile(path), Text(LightFormat::Lp, PatternInput{}));

    // A bad pattern leaves the old file as it was.
    ExportOptions bad;
    bad.imagePattern = "IMG.JPG";
    const ExportResult refused = ExportLights(LightFormat::Csv, PatternInput{}, lists, bad, path);
    EXPECT_FALSE(refused.ok);
    EXPECT_EQ(testsupport::ReadFile(path), Text(LightFormat::Lp, PatternInput{}));

    const ExportResult missing =
        ExportLights(LightFormat::Lp, PatternInput{}, lists, ExportOptions{}, dir + "/no/such/lights.lp");
    EXPECT_FALSE(missing.ok);
    EXPECT_NE(missing.message.find("no/such/lights.lp"), std::string::npos) << missing.message;

    // Both steps 90 with both exclusions leave no position at all.
    PatternLists none;
    BuildPattern(Input(90, 90, 1500, true, true), none);
    ASSERT_TRUE(none.positions.empty());
    const ExportResult empty =
        ExportLights(LightFormat::Lp, Input(90, 90, 1500, true, true), none, ExportOptions{}, dir + "/empty.lp");
    EXPECT_FALSE(empty.ok);
    EXPECT_NE(empty.message.find("no positions"), std::string::npos);
    EXPECT_NE(::access((dir + "/empty.lp").c_str(), F_OK), 0);
}

TEST(LightExport, NumbersRoundTripAFloat)
{
    for (float v : {0.0f, -0.0f, 1.0f, -0.2588116f, 1448.8917f, 4.371139e-08f, 3500.0f, 1e-30f, 0.1f}) {
        const std::string s = FloatText(v);
        EXPECT_EQ(s.find_first_of("eE,"), std::string::npos) << s;
        EXPECT_NE(s, "-0");
        EXPECT_EQ(std::strtof(s.c_str(), nullptr), v) << s;
    }
    EXPECT_EQ(DoubleText(2448.8917236328125), "2448.8917236328125");
}
