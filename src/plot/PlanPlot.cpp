#include "plot/PlanPlot.h"

#include <algorithm>
#include <cctype>
#include <clocale>
#include <cmath>
#include <vector>

#include <QBuffer>
#include <QByteArray>
#include <QFont>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <QSvgGenerator>

#include "nuk/Pi.h"

namespace plot
{

namespace
{

using nuk::kPi;
constexpr double kDeg = kPi / 180.0;

using nuk::Point3d;

using Shape = planner::MarkShape;

Shape MarkShape(unsigned flags)
{
    const planner::FlagInfo *f = planner::MarkFlag(flags);
    return f ? f->shape : Shape::Circle;
}

void DrawMark(QPainter &p, QPointF at, double s, Shape shape, const QColor &colour)
{
    p.setPen(QPen(colour.darker(140), 0.8));
    p.setBrush(colour);
    switch (shape) {
    case Shape::Circle:
        p.drawEllipse(at, s, s);
        break;
    case Shape::Square:
        p.drawRect(QRectF(at.x() - s, at.y() - s, 2 * s, 2 * s));
        break;
    case Shape::Diamond:
        p.drawPolygon(QPolygonF({at + QPointF(0, -1.3 * s), at + QPointF(1.3 * s, 0), at + QPointF(0, 1.3 * s),
                                 at + QPointF(-1.3 * s, 0)}));
        break;
    case Shape::TriangleUp:
        p.drawPolygon(QPolygonF({at + QPointF(0, -1.3 * s), at + QPointF(1.2 * s, s), at + QPointF(-1.2 * s, s)}));
        break;
    case Shape::TriangleDown:
        p.drawPolygon(QPolygonF({at + QPointF(0, 1.3 * s), at + QPointF(1.2 * s, -s), at + QPointF(-1.2 * s, -s)}));
        break;
    }
}

Point3d FromPolar(double theta, double psi)
{
    // theta from the camera's axis, psi round it from the right.
    return Point3d(std::sin(theta) * std::cos(psi), std::sin(theta) * std::sin(psi), std::cos(theta));
}

double RadiusOfElevation(const Layout &l, double elevationDeg)
{
    return l.radius * std::sqrt(2.0) * std::sin((90.0 - elevationDeg) * kDeg / 2.0);
}

// Where a light at the plan's distance would stand in the frame: strips of
// azimuth, each holding the runs of angles from the axis that are inside.
QPainterPath FieldOfViewPath(const Layout &l, double distance, double camera, const planner::Framing &f)
{
    QPainterPath path;
    path.setFillRule(Qt::WindingFill);
    constexpr int kSectors = 180, kSteps = 180;
    const double dPsi = 2.0 * kPi / kSectors, dTheta = 0.5 * kPi / kSteps;
    for (int s = 0; s < kSectors; ++s) {
        const double psi0 = s * dPsi, psi1 = psi0 + dPsi, psiMid = psi0 + dPsi / 2;
        int runStart = -1;
        for (int k = 0; k <= kSteps; ++k) {
            const bool in =
                k < kSteps && planner::InPicture(FromPolar((k + 0.5) * dTheta, psiMid) * distance, camera, f);
            if (in && runStart < 0) runStart = k;
            if (!in && runStart >= 0) {
                const double t0 = runStart * dTheta, t1 = k * dTheta;
                path.addPolygon(QPolygonF({Project(l, FromPolar(t0, psi0)), Project(l, FromPolar(t0, psi1)),
                                           Project(l, FromPolar(t1, psi1)), Project(l, FromPolar(t1, psi0)),
                                           Project(l, FromPolar(t0, psi0))}));
                runStart = -1;
            }
        }
    }
    return path;
}

// The near face of the camera's cube as seen from the object's centre.
QPolygonF CameraOutline(const Layout &l, double camera)
{
    const double h = planner::kCameraHalfSize, z = camera - h;
    const QPointF corners[4] = {{-h, -h}, {h, -h}, {h, h}, {-h, h}};
    QPolygonF poly;
    for (int e = 0; e < 4; ++e) {
        const QPointF a = corners[e], b = corners[(e + 1) % 4];
        for (int k = 0; k < 8; ++k) {
            const QPointF q = a + (b - a) * (k / 8.0);
            poly << Project(l, nuk::Normalized(Point3d(q.x(), q.y(), z)));
        }
    }
    return poly;
}

// Directions of lights at this distance level with the floor.
QPolygonF FloorLine(const Layout &l, double distance, double height)
{
    const double k = -height / distance;
    const double s = std::sqrt(1.0 - k * k);
    QPolygonF line;
    for (int i = 0; i <= 90; ++i) {
        const double t = kPi * i / 90.0;
        line << Project(l, Point3d(s * std::cos(t), k, s * std::sin(t)));
    }
    return line;
}

QString Degrees(double v) { return QString::number(v, 'f', v == std::floor(v) ? 0 : 1) + QChar(0x00B0); }

} // namespace

QColor FlagColour(planner::PositionFlag flag)
{
    for (const planner::FlagInfo &f : planner::kPositionFlags)
        if (f.flag == flag) return QColor(f.colour.r, f.colour.g, f.colour.b);
    return kUsable;
}

Layout LayoutFor(const QSizeF &size)
{
    const double legendWidth = std::min(260.0, 0.3 * size.width());
    const QRectF disc(0, 0, size.width() - legendWidth, size.height());
    Layout l;
    l.centre = disc.center();
    l.radius = std::max(10.0, std::min(disc.width(), disc.height()) / 2.0 - 34.0);
    l.legend = QRectF(disc.right(), 0, legendWidth, size.height());
    return l;
}

QPointF Project(const Layout &l, const Point3d &d)
{
    const double z = std::max(-1.0, std::min(1.0, d.z));
    const double theta = std::acos(std::max(0.0, z));
    const double r = l.radius * std::sqrt(2.0) * std::sin(theta / 2.0);
    const double across = std::hypot(d.x, d.y);
    if (across == 0.0) return l.centre;
    return l.centre + QPointF(r * d.x / across, -r * d.y / across);
}

QColor MarkColour(unsigned flags)
{
    const planner::FlagInfo *f = planner::MarkFlag(flags);
    return f ? FlagColour(f->flag) : kUsable;
}

void Draw(QPainter &p, const QSizeF &size, const planner::PlanReport &r)
{
    const Layout l = LayoutFor(size);
    const planner::PatternInput &in = r.input;
    p.save();
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setRenderHint(QPainter::TextAntialiasing, true);
    p.fillRect(QRectF(QPointF(0, 0), size), kBackground);

    QFont font = p.font();
    font.setFamily(QStringLiteral("DejaVu Sans"));
    const double textPx = std::clamp(l.radius / 28.0, 8.0, 13.0);
    font.setPixelSize(int(textPx));
    p.setFont(font);

    // Field of view and camera first: the marks go over them.
    if (r.options.framing) {
        p.setPen(Qt::NoPen);
        p.setBrush(kFieldOfView);
        p.drawPath(FieldOfViewPath(l, in.viewDistance, in.cameraDistance, *r.options.framing));
    }
    if (in.cameraDistance > planner::kCameraHalfSize) {
        p.setPen(QPen(kCameraBody.darker(150), 1.0));
        p.setBrush(kCameraBody);
        p.drawPolygon(CameraOutline(l, in.cameraDistance));
    }

    // Elevation circles every 15 degrees, the base plane darker.
    p.setBrush(Qt::NoBrush);
    for (int e = 75; e >= 0; e -= 15) {
        p.setPen(QPen(e == 0 ? kCircle.darker(160) : kCircle, 2.0));
        const double rr = RadiusOfElevation(l, e);
        p.drawEllipse(l.centre, rr, rr);
    }
    p.setPen(QPen(kCircle.lighter(125), 1.0, Qt::DotLine));
    p.drawLine(l.centre - QPointF(l.radius, 0), l.centre + QPointF(l.radius, 0));
    p.drawLine(l.centre - QPointF(0, l.radius), l.centre + QPointF(0, l.radius));
    const QFontMetricsF fm(font);
    // Elevation labels on the lower right diagonal, on a light patch so
    // that marks under them do not hide them.
    for (int e = 0; e <= 75; e += 15) {
        const double rr = RadiusOfElevation(l, e);
        const QPointF at = l.centre + QPointF(rr * 0.7071 + 3, rr * 0.7071 + textPx);
        const QRectF back(at.x() - 1, at.y() - fm.ascent(), fm.horizontalAdvance(Degrees(e)) + 2, fm.height());
        p.fillRect(back, QColor(255, 255, 255, 200));
        p.setPen(kCircle.darker(180));
        p.drawText(at, Degrees(e));
    }
    const auto centred = [&](QPointF at, const QString &s) {
        p.drawText(at - QPointF(fm.horizontalAdvance(s) / 2, -fm.ascent() / 2), s);
    };
    centred(l.centre + QPointF(0, -l.radius - 14), QStringLiteral("up"));
    centred(l.centre + QPointF(0, l.radius + 16), QStringLiteral("down"));
    centred(l.centre + QPointF(-l.radius - 20, 0), QStringLiteral("left"));
    centred(l.centre + QPointF(l.radius + 20, 0), QStringLiteral("right"));

    if (in.objectHeight < in.viewDistance) {
        p.setPen(QPen(kFloor, 1.5, Qt::DashLine));
        const QPolygonF floor = FloorLine(l, in.viewDistance, in.objectHeight);
        p.drawPolyline(floor);
        p.setPen(kFloor);
        p.drawText(floor.at(45) + QPointF(4, -4), QStringLiteral("floor"));
    }

    // Marks, the flagged ones first so that usable ones stay visible.
    const int n = int(r.positions.size());
    const double s = n > kMaxNumbered ? 2.0 : std::clamp(l.radius / 70.0, 3.0, 6.0);
    for (int pass = 0; pass < 2; ++pass)
        for (const planner::PositionReport &pos : r.positions)
            if (pos.usable() == (pass == 1))
                DrawMark(p, Project(l, pos.direction), s, MarkShape(pos.flags), MarkColour(pos.flags));
    if (n <= kMaxNumbered) {
        QFont small = font;
        small.setPixelSize(std::max(7, int(textPx) - 2));
        p.setFont(small);
        p.setPen(QColor(60, 60, 60));
        for (const planner::PositionReport &pos : r.positions)
            p.drawText(Project(l, pos.direction) + QPointF(s + 1, -s - 1), QString::number(pos.number));
        p.setFont(font);
    }

    // Legend.
    const QRectF box = l.legend.adjusted(8, 16, -8, -16);
    double y = box.top() + textPx;
    const double step = textPx * 1.9;
    QFont bold = font;
    bold.setBold(true);
    p.setFont(bold);
    p.setPen(Qt::black);
    p.drawText(QPointF(box.left(), y), QStringLiteral("Plan seen from the camera"));
    p.setFont(font);
    y += step * 0.8;
    p.setPen(QColor(70, 70, 70));
    p.drawText(QPointF(box.left(), y), QStringLiteral("equal-area, circles every 15%1").arg(QChar(0x00B0)));
    y += step * 0.7;
    p.drawText(QPointF(box.left(), y), QStringLiteral("of elevation; lengths in mm"));
    y += step;
    const auto entry = [&](Shape shape, const QColor &c, const QString &text) {
        DrawMark(p, QPointF(box.left() + 8, y - textPx / 3), 5, shape, c);
        p.setPen(Qt::black);
        p.drawText(QPointF(box.left() + 22, y), text);
        y += step;
    };
    entry(Shape::Circle, kUsable, QStringLiteral("usable (%1)").arg(r.usable));
    for (const planner::FlagInfo &f : planner::kPositionFlags) {
        if (f.needsFraming && !r.options.framing) continue;
        QString label = QString::fromUtf8(f.label);
        if (f.flag == planner::kGrazing) label += QStringLiteral(", below %1").arg(Degrees(r.options.grazingBelow));
        entry(f.shape, FlagColour(f.flag), QStringLiteral("%1 (%2)").arg(label).arg(r.count(f.flag)));
    }
    y += step * 0.3;
    const auto area = [&](const QColor &fill, const QString &text) {
        p.setPen(QPen(fill.darker(150), 1.0));
        p.setBrush(fill);
        p.drawRect(QRectF(box.left() + 2, y - textPx + 1, 12, 10));
        p.setPen(Qt::black);
        p.drawText(QPointF(box.left() + 22, y), text);
        y += step;
    };
    area(kCameraBody, QStringLiteral("camera body at %1 mm").arg(in.cameraDistance));
    if (r.options.framing) area(kFieldOfView, QStringLiteral("field of view at %1 mm").arg(in.viewDistance));
    if (in.objectHeight < in.viewDistance) {
        p.setPen(QPen(kFloor, 1.5, Qt::DashLine));
        p.drawLine(QPointF(box.left() + 1, y - textPx / 3), QPointF(box.left() + 16, y - textPx / 3));
        p.setPen(Qt::black);
        p.drawText(QPointF(box.left() + 22, y), QStringLiteral("floor, lights at %1 mm").arg(in.viewDistance));
        y += step;
    }
    y += step * 0.3;
    p.setPen(QColor(70, 70, 70));
    p.drawText(QPointF(box.left(), y), QStringLiteral("%1 positions, numbered").arg(n));
    y += step * 0.7;
    p.drawText(QPointF(box.left(), y), n <= kMaxNumbered
                                           ? QStringLiteral("in shooting order")
                                           : QStringLiteral("(numbers left out above %1)").arg(kMaxNumbered));
    p.restore();
}

std::optional<Format> FormatOf(const std::string &path)
{
    const auto endsWith = [&path](const char *ext) {
        const std::size_t n = std::char_traits<char>::length(ext);
        if (path.size() < n) return false;
        for (std::size_t i = 0; i < n; ++i)
            if (std::tolower(static_cast<unsigned char>(path[path.size() - n + i])) != ext[i]) return false;
        return true;
    };
    if (endsWith(".png")) return Format::Png;
    if (endsWith(".svg")) return Format::Svg;
    return std::nullopt;
}

planner::WriteResult Save(const std::string &path, const planner::PlanReport &report, QSize size)
{
    const std::optional<Format> format = FormatOf(path);
    if (!format) return {false, path, "the name must end in .png or .svg"};
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (*format == Format::Png) {
        QImage image(size, QImage::Format_RGB32);
        image.fill(kBackground);
        QPainter p(&image);
        Draw(p, QSizeF(size), report);
        p.end();
        image.save(&buffer, "PNG");
    } else {
        QSvgGenerator svg;
        svg.setOutputDevice(&buffer);
        svg.setSize(size);
        svg.setViewBox(QRect(QPoint(0, 0), size));
        svg.setTitle(QStringLiteral("Quorvel plan report"));
        svg.setDescription(QStringLiteral("Light directions seen from the camera, equal-area projection"));
        QPainter p(&svg);
        Draw(p, QSizeF(size), report);
        p.end();
    }
    buffer.close();
    return planner::WriteFileAtomically(path, std::string(bytes.constData(), std::size_t(bytes.size())));
}

OffscreenGui::OffscreenGui()
{
    if (QCoreApplication::instance()) return;
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "quorvel-cli";
    static char *argv[] = {name, nullptr};
    app_ = std::make_unique<QGuiApplication>(argc, argv);
    // The application takes the user's locale; numbers meant for other
    // programs keep the C one.
    std::setlocale(LC_NUMERIC, "C");
}

OffscreenGui::~OffscreenGui() = default;

} // namespace plot
