#pragma once
// Maps of a per-pixel figure in the camera's view, for the predicted
// result: a value colour-mapped against a scale (an angle, a share) or a
// pixel's band (how many lights reach it), off-object pixels grey, with a
// legend beside the picture. QPainter onto a QImage, saved as PNG.

#include <cstdint>
#include <string>
#include <vector>

#include <QColor>
#include <QImage>
#include <QString>
#include <QStringList>

#include "planner/Pattern.h"

namespace plot
{

inline const QColor kOffObject{200, 200, 200}; // not the model
inline const QColor kNoValue{0, 0, 0};         // on the model, but no value there

// The colour of a share t of the scale, 0..1 (clipped): dark blue through
// cyan, green and yellow to red.
QColor ScaleColour(double t);

struct ColourScale {
    double top = 1;            // the value at the top of the bar; above it: the top's colour
    double labelFactor = 1;    // labels show value * labelFactor
    QString unit;              // after each label: "°", " %"
    std::vector<double> ticks; // values
};

// values: width x height, row by row from the top; NaN where mask says the
// pixel is off the model (mask NaN) or where it has no value (mask a number).
// lines: the legend's text under the title.
QImage DrawValueMap(int width, int height, const float *values, const float *mask, const ColourScale &scale,
                    const QString &title, const QStringList &lines);

struct Band {
    QColor colour;
    QString label;
};
// band: per pixel the index into bands, -1 off the model.
QImage DrawBandMap(int width, int height, const std::vector<int> &band, const std::vector<Band> &bands,
                   const QString &title, const QStringList &lines);

// PNG, written completely or not at all.
planner::WriteResult SaveMap(const std::string &path, const QImage &image);

} // namespace plot
