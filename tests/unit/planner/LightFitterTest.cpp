// The light files as RTI fitters use them, through the small readers of
// LightFiles.h: a .dome's positions recomputed as a fitter's dome panel
// does, the images paired with the lights in the order of their names, and
// the number of lights a fitter in use takes.

#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>


#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "planner/Layout.h"
#include "planner/LightExport.h"
#include "planner/Plan.h"
#include "support/Files.h"
#include "unit/planner/LightFiles.h"

using namespace planner;
using lighttest::Input;

namespace
{

LayoutInput Layout(LayoutKind kind)
{
    LayoutInput l;
    l.kind = kind;
    return l;
}

} // namespace

// --- the dome panel ----------------------------------------------------------

// The fault itself: a spherical dome of width 0 reaches the fit with no light.
TEST(FitterDome, WidthZeroClearsTheLights)
{
    const lighttest::FitterDome d = lighttest::ReadDomeAsFitter(R"({"imageWidth": 0, "domeDiameter": 3000,
        "verticalOffset": 0, "lightConfiguration": "spherical",
        "directions": [{"x": 0, "y": 1, "z": 0}, {"x": 0, "y": 0, "z": 1}]})");
    EXPECT_EQ(d.directions.size(), 2u);
    EXPECT_EQ(d.lights, 0u);
}

struct DomeCase {
    const char *name;
    int h, v, d;
    LayoutKind layout;
    double imageWidth, verticalOffset;
    const char *configuration;
    std::size_t lights; // reaching the fit, counted from the layout's rules
};

class FitterDomes : public ::testing::TestWithParam<DomeCase>
{
};

TEST_P(FitterDomes, FileAndRecomputationAgree)
{
    const DomeCase &c = GetParam();
    ExportOptions opt;
    opt.imageWidth = c.imageWidth;
    opt.verticalOffset = c.verticalOffset;
    const std::string text = lighttest::ExportedText(LightFormat::Dome, Input(c.h, c.v, c.d, false, false), Layout(c.layout), opt);
    const lighttest::FitterDome dome = lighttest::ReadDomeAsFitter(text);
    EXPECT_EQ(dome.configuration, c.configuration);
    EXPECT_EQ(dome.lights, c.lights);
    EXPECT_EQ(dome.directions.size(), c.lights);
    if (dome.configuration == "directional") {
        EXPECT_TRUE(dome.fileSphere.empty());
        EXPECT_TRUE(dome.file3d.empty());
        return;
    }
    ASSERT_EQ(dome.fileSphere.size(), dome.recomputed.size());
    ASSERT_EQ(dome.file3d.size(), dome.recomputed.size());
    for (std::size_t k = 0; k < dome.recomputed.size(); ++k) {
        SCOPED_TRACE("light " + std::to_string(k + 1));
        for (int a = 0; a < 3; ++a) {
            // The file's numbers are floats: a few ten-thousandths of a mm
            // at 3.5 m. The lamps stand on the sphere to the generator's pi.
            EXPECT_NEAR(dome.fileSphere[k][a], dome.recomputed[k][a], 1e-3 * c.d / 1000 + 1e-4);
            EXPECT_NEAR(dome.file3d[k][a], dome.recomputed[k][a], 2e-4 * c.d);
        }
    }
}

// The grid of steps h and v: 180 / v - 1 rows of 180 / h + 1 points and the
// two poles. The geodesic dome of frequency 4 above 15 degrees and the rings
// are counted in the layout tests; here their counts are the fitter's.
INSTANTIATE_TEST_SUITE_P(
    LightExport, FitterDomes,
    ::testing::Values(DomeCase{"grid_no_width", 15, 15, 1500, LayoutKind::Grid, 0, 0, "directional", 11 * 13 + 2},
                      DomeCase{"grid_no_width_offset", 15, 15, 1500, LayoutKind::Grid, 0, 40, "directional",
                               11 * 13 + 2},
                      DomeCase{"grid", 15, 15, 1500, LayoutKind::Grid, 85.5, 0, "spherical", 11 * 13 + 2},
                      DomeCase{"grid_above", 15, 15, 1500, LayoutKind::Grid, 674.2857, 40, "spherical", 11 * 13 + 2},
                      DomeCase{"grid_below", 30, 45, 900, LayoutKind::Grid, 720, -250.5, "spherical", 3 * 7 + 2},
                      DomeCase{"grid_far", 10, 20, 3500, LayoutKind::Grid, 1, 1000, "spherical", 8 * 19 + 2},
                      DomeCase{"spiral", 15, 15, 1000, LayoutKind::Spiral, 300, 12.5, "spherical", 145},
                      DomeCase{"spiral_no_width", 15, 15, 1000, LayoutKind::Spiral, 0, 12.5, "directional", 145}),
    [](const ::testing::TestParamInfo<DomeCase> &i) { return std::string(i.param.name); });

// The width of a .dome is the camera's field at the object when the plan's
// framing is known: a pinhole at the camera distance C sees C x w / f across
// a sensor w wide behind a lens of focal length f.
TEST(FitterDome, WidthFromTheFraming)
{
    struct Case {
        double sensorWidth, sensorHeight, focal;
        int cameraDistance;
        double width;
    };
    for (const Case c : {Case{36, 24, 50, 1000, 720}, Case{23.6, 15.6, 35, 1000, 674.285714},
                         Case{36, 24, 100, 2500, 900}, Case{6.17, 4.55, 4.4, 300, 420.681818}}) {
        SCOPED_TRACE(std::to_string(c.focal) + " mm at " + std::to_string(c.cameraDistance));
        Plan plan;
        plan.input.cameraDistance = c.cameraDistance;
        EXPECT_EQ(plan.exportOptions().imageWidth, 0.0); // no framing: unknown
        plan.framing = Framing{c.sensorWidth, c.sensorHeight, c.focal};
        const ExportOptions opt = plan.exportOptions();
        EXPECT_NEAR(opt.imageWidth, c.width, 1e-6);

        PatternLists lists;
        BuildPlan(plan, lists);
        std::string error;
        const std::optional<LightTable> t = MakeLightTable(plan.input, lists, opt, error);
        ASSERT_TRUE(t) << error;
        const std::string text = FormatLights(LightFormat::Dome, *t, opt).text;
        EXPECT_NEAR(nlohmann::json::parse(text)["imageWidth"].get<double>(), c.width, 1e-6);
        EXPECT_EQ(lighttest::ReadDomeAsFitter(text).lights, 145u);
    }
}

// --- images in name order ----------------------------------------------------

struct OrderCase {
    const char *pattern;
    long long first;
    std::size_t count;
    const char *better; // nullptr: the names sort; else the pattern offered
    const char *pair;   // the first two names out of order, as the message gives them
};

class ImageOrder : public ::testing::TestWithParam<OrderCase>
{
};

TEST_P(ImageOrder, SortedOrRefused)
{
    const OrderCase &c = GetParam();
    const ImageNames names = NameImages(c.pattern, c.first, c.count);
    if (!c.better) {
        ASSERT_TRUE(names.ok()) << names.error;
        ASSERT_EQ(names.names.size(), c.count);
        EXPECT_EQ(lighttest::SortedAsStrings(names.names), names.names);
        for (std::size_t k = 1; k < names.names.size(); ++k)
            ASSERT_NE(names.names[k - 1], names.names[k]);
        return;
    }
    EXPECT_FALSE(names.ok());
    EXPECT_TRUE(names.names.empty());
    EXPECT_NE(names.error.find("does not keep the shooting order"), std::string::npos) << names.error;
    EXPECT_NE(names.error.find(c.pair), std::string::npos) << names.error;
    EXPECT_NE(names.error.find(std::string("; use ") + c.better + " ("), std::string::npos) << names.error;
    // What it offers works for the same photographs.
    const ImageNames offered = NameImages(c.better, c.first, c.count);
    ASSERT_TRUE(offered.ok()) << offered.error;
    EXPECT_EQ(lighttest::SortedAsStrings(offered.names), offered.names);
}

// Plan sizes: 145 the default grid, 1297 the grid of 5 degrees, 10000 the
// largest spiral, 32401 the grid of 1 degree.
INSTANTIATE_TEST_SUITE_P(
    LightExport, ImageOrder,
    ::testing::Values(
        OrderCase{"IMG_%d.JPG", 1, 9, nullptr, ""}, OrderCase{"IMG_%d.JPG", 0, 10, nullptr, ""},
        OrderCase{"IMG_%d.JPG", 1, 10, "IMG_%02d.JPG", "'IMG_10.JPG' would sort before 'IMG_9.JPG'"},
        OrderCase{"IMG_%d.JPG", 0, 11, "IMG_%02d.JPG", "'IMG_10.JPG' would sort before 'IMG_9.JPG'"},
        OrderCase{"IMG_%d.JPG", 1, 145, "IMG_%03d.JPG", "'IMG_10.JPG' would sort before 'IMG_9.JPG'"},
        OrderCase{"IMG_%d.JPG", 100, 145, nullptr, ""}, OrderCase{"DSC_%04d.JPG", 1, 9999, nullptr, ""},
        OrderCase{"DSC_%04d.JPG", 0, 10000, nullptr, ""},
        OrderCase{"DSC_%04d.JPG", 2, 9999, "DSC_%05d.JPG", "'DSC_10000.JPG' would sort before 'DSC_9999.JPG'"},
        OrderCase{"DSC_%04d.JPG", 9990, 20, "DSC_%05d.JPG", "'DSC_10000.JPG' would sort before 'DSC_9999.JPG'"},
        OrderCase{"DSC_%04d.JPG", 1, 32401, "DSC_%05d.JPG", "'DSC_10000.JPG'"},
        OrderCase{"DSC_%03d.JPG", 0, 1000, nullptr, ""}, OrderCase{"DSC_%03d.JPG", 1, 145, nullptr, ""},
        OrderCase{"DSC_%03d.JPG", 900, 145, "DSC_%04d.JPG", "'DSC_1000.JPG' would sort before 'DSC_999.JPG'"},
        OrderCase{"DSC_%03d.JPG", 995, 10, "DSC_%04d.JPG", "'DSC_1000.JPG'"},
        OrderCase{"DSC_%05d.NEF", 0, 1297, nullptr, ""},
        // Blanks sort before digits: right-aligned numbers keep their order.
        OrderCase{"%5d.tif", 1, 10000, nullptr, ""},
        OrderCase{"%-4d.tif", 1, 10, "%02d.tif", "'10  .tif' would sort before '9   .tif'"},
        OrderCase{"%+d", 1, 10, "%02d", "'+10' would sort before '+9'"},
        OrderCase{"%.2d.png", 1, 100, "%03d.png", "'100.png' would sort before '99.png'"},
        OrderCase{"scan%%%d.tif", 1, 145, "scan%%%03d.tif", "'scan%10.tif' would sort before 'scan%9.tif'"},
        OrderCase{"IMG_%d5.JPG", 1, 10, "IMG_%02d5.JPG", "'IMG_105.JPG' would sort before 'IMG_95.JPG'"},
        OrderCase{"%d", 123, 1, nullptr, ""},
        // The default takes the digits the plan needs.
        OrderCase{"IMG_%04d.JPG", 1, 145, nullptr, ""}, OrderCase{"IMG_%04d.JPG", 1, 10000, nullptr, ""},
        OrderCase{"IMG_%04d.JPG", 9990, 32401, nullptr, ""},
        OrderCase{"IMG_%04d.JPG", 999999999 - 144, 145, nullptr, ""}));

TEST(ImageOrder, TheDefaultWidensOnlyWhenItMust)
{
    struct Case {
        long long first;
        std::size_t count;
        const char *pattern, *firstName, *lastName;
    };
    for (const Case c : {Case{1, 145, "IMG_%04d.JPG", "IMG_0001.JPG", "IMG_0145.JPG"},
                         Case{0, 10000, "IMG_%04d.JPG", "IMG_0000.JPG", "IMG_9999.JPG"},
                         Case{1, 10000, "IMG_%05d.JPG", "IMG_00001.JPG", "IMG_10000.JPG"},
                         Case{99990, 32401, "IMG_%06d.JPG", "IMG_099990.JPG", "IMG_132390.JPG"}}) {
        const ImageNames names = NameImages(kDefaultImagePattern, c.first, c.count);
        ASSERT_TRUE(names.ok()) << names.error;
        EXPECT_EQ(names.pattern, c.pattern);
        EXPECT_EQ(names.names.front(), c.firstName);
        EXPECT_EQ(names.names.back(), c.lastName);
    }
    // Only the default: the same digits chosen by hand are the user's.
    EXPECT_FALSE(NameImages("img_%04d.jpg", 1, 10000).ok());
}

// Whole plans: the .lp file's lines in the order of their images' names are
// the file's own order, the shooting order.
TEST(ImageOrder, LpLinesPairWithTheImagesSorted)
{
    struct Case {
        int h, v;
        LayoutKind layout;
        int count;
        std::size_t lights;
    };
    for (const Case c : {Case{15, 15, LayoutKind::Grid, 145, 145}, Case{5, 5, LayoutKind::Grid, 145, 1297},
                         Case{15, 15, LayoutKind::Spiral, 10000, 10000}, Case{1, 1, LayoutKind::Grid, 145, 32401}}) {
        SCOPED_TRACE(std::to_string(c.lights) + " lights");
        LayoutInput layout = Layout(c.layout);
        layout.count = c.count;
        const std::string text = lighttest::ExportedText(LightFormat::Lp, Input(c.h, c.v, 1500, false, false), layout);
        std::string why;
        const auto lights = lighttest::ReadLp(text, why);
        ASSERT_TRUE(lights) << why;
        ASSERT_EQ(lights->size(), c.lights);
        std::vector<std::string> names;
        for (const lighttest::LpLight &l : *lights)
            names.push_back(l.name);
        EXPECT_EQ(lighttest::SortedAsStrings(names), names);
        EXPECT_EQ(names.front().substr(0, 4), "IMG_");
    }
}

// --- the number of lights ----------------------------------------------------

TEST(LightLimit, WarnedAboveAThousandAndWritten)
{
    for (std::size_t n : {std::size_t{0}, std::size_t{145}, std::size_t{1000}})
        EXPECT_EQ(LightCountWarning(n), "") << n;
    for (std::size_t n : {std::size_t{1001}, std::size_t{1297}, std::size_t{32401}}) {
        const std::string w = LightCountWarning(n);
        EXPECT_EQ(w.rfind(std::to_string(n) + " lights: ", 0), 0u) << w;
        EXPECT_NE(w.find("more than 1000 lights"), std::string::npos) << w;
    }

    // 1297 lights, more than some fitters take: written all the same.
    PatternLists lists;
    BuildPattern(Input(5, 5, 1500, false, false), lists);
    const testsupport::TempDir tmp;
    const ExportResult r =
        ExportLights(LightFormat::Lp, Input(5, 5, 1500, false, false), lists, ExportOptions{}, tmp.File("many.lp"));
    EXPECT_TRUE(r.ok) << r.message;
    EXPECT_EQ(r.count, 1297u);
}
