#include "plot/ErrorMap.h"

#include <algorithm>
#include <cmath>
#include <iterator>

#include <QBuffer>
#include <QByteArray>
#include <QFont>
#include <QLinearGradient>
#include <QPainter>

namespace plot
{
namespace
{

constexpr int kLegendWidth = 250;
constexpr int kMinMapSide = 360; // small images are enlarged by whole pixels to about this

struct Stop {
    double at;
    int r, g, b;
};
constexpr Stop kStops[] = {
    {0.00, 20, 30, 140}, {0.25, 0, 150, 210}, {0.50, 60, 185, 75}, {0.75, 245, 200, 30}, {1.00, 210, 30, 30}};

int Enlargement(int width, int height)
{
    const int side = std::max(1, std::max(width, height));
    return std::max(1, kMinMapSide / side);
}

// The picture: the map on the left, enlarged, the legend's panel on the right.
QImage Canvas(const QImage &map, int scale, QRectF &legend)
{
    const int w = map.width() * scale, h = map.height() * scale;
    const int height = std::max(h, kMinMapSide);
    QImage out(w + kLegendWidth, height, QImage::Format_RGB32);
    if (out.isNull()) return out;
    out.fill(Qt::white);
    QPainter p(&out);
    p.drawImage(QRect(0, (height - h) / 2, w, h), map);
    legend = QRectF(w + 12, 12, kLegendWidth - 20, height - 24);
    return out;
}

// The title and the lines; returns where the next item may start.
double Header(QPainter &p, const QRectF &box, const QString &title, const QStringList &lines)
{
    QFont font = p.font();
    font.setPixelSize(13);
    QFont bold = font;
    bold.setBold(true);
    p.setFont(bold);
    p.setPen(Qt::black);
    double y = box.top() + 14;
    p.drawText(QPointF(box.left(), y), title);
    p.setFont(font);
    p.setPen(QColor(50, 50, 50));
    y += 20;
    for (const QString &l : lines) {
        p.drawText(QPointF(box.left(), y), l);
        y += 17;
    }
    return y + 6;
}

void Swatch(QPainter &p, QPointF at, const QColor &c, const QString &text)
{
    p.setPen(QColor(90, 90, 90));
    p.setBrush(c);
    p.drawRect(QRectF(at.x(), at.y() - 11, 16, 12));
    p.setPen(Qt::black);
    p.drawText(at + QPointF(24, 0), text);
}

} // namespace

QColor ScaleColour(double t)
{
    if (!(t > 0)) t = 0;
    if (t > 1) t = 1;
    for (std::size_t i = 1; i < std::size(kStops); ++i) {
        const Stop &a = kStops[i - 1], &b = kStops[i];
        if (t <= b.at) {
            const double f = (t - a.at) / (b.at - a.at);
            return QColor(int(std::lround(a.r + f * (b.r - a.r))), int(std::lround(a.g + f * (b.g - a.g))),
                          int(std::lround(a.b + f * (b.b - a.b))));
        }
    }
    const Stop &e = kStops[std::size(kStops) - 1];
    return QColor(e.r, e.g, e.b);
}

QImage DrawValueMap(int width, int height, const float *values, const float *mask, const ColourScale &scale,
                    const QString &title, const QStringList &lines)
{
    QImage map(std::max(1, width), std::max(1, height), QImage::Format_RGB32);
    if (map.isNull()) return map;
    for (int y = 0; y < height; ++y) {
        auto *line = reinterpret_cast<QRgb *>(map.scanLine(y));
        for (int x = 0; x < width; ++x) {
            const std::size_t i = std::size_t(y) * std::size_t(width) + std::size_t(x);
            const float v = values[i];
            QColor c = kOffObject;
            if (!std::isnan(v))
                c = ScaleColour(double(v) / scale.top);
            else if (mask && !std::isnan(mask[i]))
                c = kNoValue;
            line[x] = c.rgb();
        }
    }
    QRectF box;
    QImage out = Canvas(map, Enlargement(width, height), box);
    if (out.isNull()) return out;
    QPainter p(&out);
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setRenderHint(QPainter::TextAntialiasing, true);
    const double top = Header(p, box, title, lines);
    // The colour bar, the top of the scale up.
    const double barTop = top + 8, barBottom = std::min(box.bottom() - 70, barTop + 200);
    const QRectF bar(box.left(), barTop, 22, std::max(40.0, barBottom - barTop));
    QLinearGradient g(bar.bottomLeft(), bar.topLeft());
    for (const Stop &s : kStops)
        g.setColorAt(s.at, QColor(s.r, s.g, s.b));
    p.setPen(QColor(90, 90, 90));
    p.setBrush(g);
    p.drawRect(bar);
    QFont font = p.font();
    font.setPixelSize(12);
    p.setFont(font);
    for (double t : scale.ticks) {
        const double y = bar.bottom() - bar.height() * std::clamp(t / scale.top, 0.0, 1.0);
        p.setPen(Qt::black);
        p.drawLine(QPointF(bar.right(), y), QPointF(bar.right() + 5, y));
        QString label = QString::number(t * scale.labelFactor, 'g', 4) + scale.unit;
        if (t >= scale.top) label += QStringLiteral(" or more");
        p.drawText(QPointF(bar.right() + 9, y + 4), label);
    }
    double y = bar.bottom() + 26;
    Swatch(p, QPointF(box.left(), y), kNoValue, QStringLiteral("on the model, no value"));
    y += 20;
    Swatch(p, QPointF(box.left(), y), kOffObject, QStringLiteral("not the model"));
    return out;
}

QImage DrawBandMap(int width, int height, const std::vector<int> &band, const std::vector<Band> &bands,
                   const QString &title, const QStringList &lines)
{
    QImage map(std::max(1, width), std::max(1, height), QImage::Format_RGB32);
    if (map.isNull()) return map;
    for (int y = 0; y < height; ++y) {
        auto *line = reinterpret_cast<QRgb *>(map.scanLine(y));
        for (int x = 0; x < width; ++x) {
            const int b = band[std::size_t(y) * std::size_t(width) + std::size_t(x)];
            line[x] = (b >= 0 && std::size_t(b) < bands.size() ? bands[std::size_t(b)].colour : kOffObject).rgb();
        }
    }
    QRectF box;
    QImage out = Canvas(map, Enlargement(width, height), box);
    if (out.isNull()) return out;
    QPainter p(&out);
    p.setRenderHint(QPainter::TextAntialiasing, true);
    double y = Header(p, box, title, lines) + 12;
    QFont font = p.font();
    font.setPixelSize(12);
    p.setFont(font);
    for (const Band &b : bands) {
        Swatch(p, QPointF(box.left(), y), b.colour, b.label);
        y += 20;
    }
    Swatch(p, QPointF(box.left(), y), kOffObject, QStringLiteral("not the model"));
    return out;
}

planner::WriteResult SaveMap(const std::string &path, const QImage &image)
{
    if (image.isNull()) return planner::WriteResult{false, path, "not enough memory for the picture"};
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (!image.save(&buffer, "PNG")) return planner::WriteResult{false, path, "the PNG writer failed"};
    return planner::WriteFileAtomically(path, std::string(bytes.constData(), std::size_t(bytes.size())));
}

} // namespace plot
