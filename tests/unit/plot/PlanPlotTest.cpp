// The polar plot as files: colours of PNG pixels where the geometry puts
// them (equal-area radius worked out here, not taken from the plot code),
// and the SVG's marks and numbers counted per position.

#include <cmath>
#include <map>
#include <memory>
#include <vector>

#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <QXmlStreamReader>

#include <gtest/gtest.h>

#include "planner/PlanReport.h"
#include "plot/PlanPlot.h"

namespace
{

constexpr double kPi = 3.14159265358979323846;

class GuiEnvironment : public ::testing::Environment
{
public:
    void SetUp() override { gui_ = std::make_unique<plot::OffscreenGui>(); }
    void TearDown() override { gui_.reset(); }

private:
    std::unique_ptr<plot::OffscreenGui> gui_;
};

const auto *const kEnvironment = ::testing::AddGlobalTestEnvironment(new GuiEnvironment);

planner::PlanReport reportOf(int step)
{
    planner::PatternInput in;
    in.horizontalStep = in.verticalStep = step;
    planner::PatternLists l;
    planner::BuildPattern(in, l);
    return planner::ComputePlanReport(in, l.positions);
}

// Pixel where a unit direction (x right, y up, z toward the camera) lands:
// Lambert's equal-area radius 2 sin(theta / 2), scaled so the base plane
// (theta = 90) is the outer circle.
QPoint pixelOf(const plot::Layout &l, double x, double y, double z)
{
    const double theta = std::acos(z);
    const double r = l.radius * std::sin(theta / 2) / std::sin(kPi / 4);
    const double across = std::hypot(x, y);
    if (across == 0) return QPoint(int(std::lround(l.centre.x())), int(std::lround(l.centre.y())));
    return QPoint(int(std::lround(l.centre.x() + r * x / across)), int(std::lround(l.centre.y() - r * y / across)));
}

bool near(QColor got, QColor want, int tol = 8)
{
    return std::abs(got.red() - want.red()) <= tol && std::abs(got.green() - want.green()) <= tol &&
           std::abs(got.blue() - want.blue()) <= tol;
}

::testing::AssertionResult colourAt(const QImage &img, QPoint at, QColor want)
{
    const QColor got = img.pixelColor(at);
    if (near(got, want)) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "pixel (" << at.x() << ", " << at.y() << ") is " << got.name().toStdString()
                                         << ", expected " << want.name().toStdString();
}

QImage savedPng(const planner::PlanReport &r, const QTemporaryDir &dir)
{
    const std::string path = dir.filePath("plan.png").toStdString();
    const planner::WriteResult w = plot::Save(path, r);
    EXPECT_TRUE(w.ok) << w.message();
    return QImage(QString::fromStdString(path));
}

} // namespace

TEST(PlanPlotPng, CentreHoldsTheBlockedCentralLight)
{
    // Steps 90 at 1500 mm with the camera at 1000: the light on the axis is
    // behind the camera, a black square at the centre over the camera's body.
    QTemporaryDir dir;
    const QImage img = savedPng(reportOf(90), dir);
    ASSERT_EQ(img.size(), plot::kDefaultSize);
    const plot::Layout l = plot::LayoutFor(QSizeF(img.size()));
    EXPECT_TRUE(colourAt(img, pixelOf(l, 0, 0, 1), plot::kBlocked));
    // The four others lie on the base plane, grazing, on the outer circle:
    // left and right on the horizontal, the poles straight up and down.
    EXPECT_TRUE(colourAt(img, pixelOf(l, -1, 0, 1e-9), plot::kGrazing));
    EXPECT_TRUE(colourAt(img, pixelOf(l, 0, 1, 1e-9), plot::kGrazing));
    // The bottom pole stands 500 mm under the floor.
    EXPECT_TRUE(colourAt(img, pixelOf(l, 0, -1, 1e-9), plot::kBelowFloor));
}

TEST(PlanPlotPng, FortyFiveDegreeCircleAtItsEqualAreaRadius)
{
    QTemporaryDir dir;
    const QImage img = savedPng(reportOf(90), dir);
    const plot::Layout l = plot::LayoutFor(QSizeF(img.size()));
    // At azimuth 30 (clear of marks, spokes and labels): elevation 45 is the
    // circle (0.541 of the radius); 52.5 and 37.5, halfway to the next
    // circles, are background. An equidistant projection would draw the 45
    // circle at 0.5 of the radius, 13 pixels nearer the centre.
    const auto at = [&](double elevation) {
        const double e = elevation * kPi / 180, a = 30 * kPi / 180;
        return pixelOf(l, std::cos(e) * std::cos(a), std::cos(e) * std::sin(a), std::sin(e));
    };
    const QColor onCircle = img.pixelColor(at(45));
    EXPECT_LT(onCircle.lightness(), 215) << onCircle.name().toStdString();
    EXPECT_LE(std::abs(onCircle.red() - onCircle.blue()), 6); // grey, not a mark
    EXPECT_TRUE(colourAt(img, at(52.5), plot::kBackground));
    EXPECT_TRUE(colourAt(img, at(37.5), plot::kBackground));
}

TEST(PlanPlotPng, KnownDirectionsOfTheDefaultPlan)
{
    QTemporaryDir dir;
    const QImage img = savedPng(reportOf(15), dir);
    const plot::Layout l = plot::LayoutFor(QSizeF(img.size()));
    // Row a, point b of the dome: (-sin a cos b, cos a, sin a sin b).
    const auto pixel = [&](double a, double b) {
        a *= kPi / 180;
        b *= kPi / 180;
        return pixelOf(l, -std::sin(a) * std::cos(b), std::cos(a), std::sin(a) * std::sin(b));
    };
    EXPECT_TRUE(colourAt(img, pixel(60, 60), plot::kUsable));
    EXPECT_TRUE(colourAt(img, pixel(120, 135), plot::kUsable));
    EXPECT_TRUE(colourAt(img, pixel(150, 90), plot::kBelowFloor)); // 1299 mm down, floor at 1000
    EXPECT_TRUE(colourAt(img, pixel(15, 30), plot::kGrazing));     // asin(sin 15 sin 30) = 7.4
}

TEST(PlanPlotSvg, OneMarkAndOneNumberPerPosition)
{
    QTemporaryDir dir;
    const std::string path = dir.filePath("plan.svg").toStdString();
    ASSERT_TRUE(plot::Save(path, reportOf(15)).ok);
    QFile f(QString::fromStdString(path));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    QXmlStreamReader xml(&f);
    std::vector<QString> fills{QString()};
    std::map<QString, int> shapes; // by the fill they are drawn with
    std::map<int, int> numbers;
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement()) {
            const QString name = xml.name().toString();
            const QString fill = xml.attributes().value("fill").toString();
            fills.push_back(fill.isEmpty() ? fills.back() : fill);
            if (name == "circle" || name == "path" || name == "rect" || name == "polygon") ++shapes[fills.back()];
            if (name == "text") {
                bool isNumber = false;
                const int n = xml.readElementText().trimmed().toInt(&isNumber);
                fills.pop_back();
                if (isNumber) ++numbers[n];
            }
        } else if (xml.isEndElement()) {
            fills.pop_back();
        }
    }
    ASSERT_FALSE(xml.hasError()) << xml.errorString().toStdString();

    // Hand counts of the default plan (see the report's tests), one more of
    // each for its sample in the legend: 81 usable, 40 below the floor,
    // 36 - 13 = 23 grazing and nothing worse, the blocked central light.
    EXPECT_EQ(shapes[plot::kUsable.name()], 81 + 1);
    EXPECT_EQ(shapes[plot::kBelowFloor.name()], 40 + 1);
    EXPECT_EQ(shapes[plot::kGrazing.name()], 23 + 1);
    EXPECT_EQ(shapes[plot::kBlocked.name()], 1 + 1);
    EXPECT_EQ(shapes[plot::kInPicture.name()], 0); // no framing: no legend either
    ASSERT_EQ(numbers.size(), 145u);
    EXPECT_EQ(numbers.begin()->first, 1);
    EXPECT_EQ(numbers.rbegin()->first, 145);
    for (const auto &[n, count] : numbers)
        EXPECT_EQ(count, 1) << "number " << n;
}

TEST(PlanPlot, FormatByExtension)
{
    EXPECT_EQ(plot::FormatOf("a.png"), plot::Format::Png);
    EXPECT_EQ(plot::FormatOf("dir.x/A.PNG"), plot::Format::Png);
    EXPECT_EQ(plot::FormatOf("plan.Svg"), plot::Format::Svg);
    EXPECT_FALSE(plot::FormatOf("plan.jpg"));
    EXPECT_FALSE(plot::FormatOf("png"));
    EXPECT_FALSE(plot::FormatOf(""));
}

TEST(PlanPlot, UnwritablePathLeavesNothing)
{
    QTemporaryDir dir;
    const std::string path = dir.filePath("missing/plan.png").toStdString();
    const planner::WriteResult w = plot::Save(path, reportOf(90));
    EXPECT_FALSE(w.ok);
    EXPECT_EQ(w.message(), "cannot write " + path + ": No such file or directory");
    EXPECT_FALSE(QFile::exists(QString::fromStdString(path)));
}
