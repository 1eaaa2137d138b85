#pragma once
// The plan as the camera sees it: every light direction projected onto the
// base plane with the azimuthal equal-area projection (equal areas of the
// hemisphere get equal areas of the disc, so gaps look as big as they are),
// elevation circles every 15 degrees, each position a mark numbered in
// shooting order, flagged ones in their own colour and shape, the camera's
// body, its field of view and the floor line. Drawn with QPainter: the
// window paints it on screen, quorvel-cli saves it as PNG or SVG.

#include <memory>
#include <optional>
#include <string>

#include <QColor>
#include <QPointF>
#include <QRectF>
#include <QSize>

#include "nuk/Point3.h"
#include "planner/Pattern.h"
#include "planner/PlanReport.h"

class QGuiApplication;
class QPainter;

namespace plot
{

// Colours of the plot, named for the legend and for tests.
inline const QColor kBackground{255, 255, 255};
inline const QColor kCircle{144, 144, 144}; // elevation circles
// A flag's mark, in the colour of the report's table.
QColor FlagColour(planner::PositionFlag flag);
inline const QColor kUsable{planner::kUsableColour.r, planner::kUsableColour.g, planner::kUsableColour.b};
inline const QColor kGrazing = FlagColour(planner::kGrazing);
inline const QColor kBelowFloor = FlagColour(planner::kBelowFloor);
inline const QColor kBlocked = FlagColour(planner::kBlockedByCamera);
inline const QColor kInPicture = FlagColour(planner::kInPicture);
inline const QColor kCameraBody{150, 150, 150};
inline const QColor kFieldOfView{120, 200, 240, 110};
inline const QColor kFloor{139, 90, 43};

// Plans with more positions than this get no numbers: they would only blot.
inline constexpr int kMaxNumbered = 400;

inline constexpr QSize kDefaultSize{960, 720};

struct Layout {
    QPointF centre; // the direction toward the camera
    double radius;  // the base plane, elevation 0
    QRectF legend;
};

// Where the disc and the legend go in a picture of this size.
Layout LayoutFor(const QSizeF &size);

// Where a unit direction lands: at sqrt(2) sin(theta / 2) of the radius from
// the centre, theta its angle from the camera's axis; right and up as the
// camera sees them. Directions behind the base plane land on the rim.
QPointF Project(const Layout &layout, const nuk::Point3d &direction);

// The mark colour of a position: its most serious flag's.
QColor MarkColour(unsigned flags);

void Draw(QPainter &painter, const QSizeF &size, const planner::PlanReport &report);

enum class Format { Png, Svg };

// By the path's extension, .png or .svg in any case; nothing otherwise.
std::optional<Format> FormatOf(const std::string &path);

// Draws the plot and writes it to path, completely or not at all. Needs a
// QGuiApplication (see OffscreenGui).
planner::WriteResult Save(const std::string &path, const planner::PlanReport &report, QSize size = kDefaultSize);

// What drawing text needs when no application exists yet: a QGuiApplication
// on the offscreen platform (or the one QT_QPA_PLATFORM names), so that a
// command-line program draws without a display.
class OffscreenGui
{
public:
    OffscreenGui();
    ~OffscreenGui();
    OffscreenGui(const OffscreenGui &) = delete;
    OffscreenGui &operator=(const OffscreenGui &) = delete;

private:
    std::unique_ptr<QGuiApplication> app_;
};

} // namespace plot
