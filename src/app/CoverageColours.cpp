#include "app/CoverageColours.h"

QColor NotSeenColour() { return QColor(150, 150, 150); }

QColor BandColour(coverage::Band band)
{
    switch (band) {
    case coverage::kBandNone:
        return QColor(110, 0, 0); // dark red
    case coverage::kBandFew:
        return QColor(230, 40, 30); // red: too few for a PTM
    case coverage::kBandPtm:
        return QColor(250, 180, 0); // amber: a PTM, not order-3 harmonics
    case coverage::kBandHsh:
        return QColor(40, 170, 60); // green: enough for both
    default:
        return NotSeenColour();
    }
}

QColor LightCountColour(std::int32_t lights)
{
    return lights == coverage::kNotSeen ? NotSeenColour() : BandColour(coverage::BandOf(lights));
}

bool BuildCoverageColours(const coverage::ModelGeometry &geometry, const std::vector<std::int32_t> &lights,
                          std::vector<std::uint8_t> &out)
{
    out.clear();
    if (lights.size() != geometry.positions.size()) return false;
    // Five colours, looked up by band rather than made per corner.
    std::uint8_t table[coverage::kBandCount + 1][3];
    for (int b = 0; b <= coverage::kBandCount; ++b) {
        const QColor c = b < coverage::kBandCount ? BandColour(coverage::Band(b)) : NotSeenColour();
        table[b][0] = std::uint8_t(c.red());
        table[b][1] = std::uint8_t(c.green());
        table[b][2] = std::uint8_t(c.blue());
    }
    out.resize(3 * geometry.triangles.size());
    std::uint8_t *o = out.data();
    for (std::uint32_t v : geometry.triangles) {
        const std::int32_t n = lights[v];
        const std::uint8_t *c = table[n == coverage::kNotSeen ? coverage::kBandCount : coverage::BandOf(n)];
        *o++ = c[0];
        *o++ = c[1];
        *o++ = c[2];
    }
    return true;
}
