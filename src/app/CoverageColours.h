#pragma once
// The colour scale of the light coverage: one colour per band of light
// counts, red below the 6 lights a PTM needs, and grey for what the camera
// does not see. The view's model colours and the legend use the same table.

#include <cstdint>
#include <vector>

#include <QColor>

#include "coverage/Coverage.h"
#include "coverage/CoverageScene.h"

QColor NotSeenColour();
QColor BandColour(coverage::Band band);
QColor LightCountColour(std::int32_t lights); // coverage::kNotSeen: grey

// Colours per corner of the view's arrays (red, green, blue each), from the
// light count of each corner's vertex. False, and out left empty, when the
// counts do not belong to this geometry.
bool BuildCoverageColours(const coverage::ModelGeometry &geometry, const std::vector<std::int32_t> &lights,
                          std::vector<std::uint8_t> &out);
