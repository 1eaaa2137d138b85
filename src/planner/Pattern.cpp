#include "planner/Pattern.h"

#include <cmath>

#include "nuk/Matrix44.h"
#include "nuk/Pi.h"
#include "planner/AcquisitionFile.h"

namespace planner
{

void PatternLists::clear()
{
    positions.clear();
    row_heights.clear();
    row_distances.clear();
    point_vangles.clear();
    point_hangles.clear();
    point_rows.clear();
    point_numbers.clear();
    layout.clear();
}

std::string BuildPattern(const PatternInput &in, PatternLists &out)
{
    const float h = static_cast<float>(in.horizontalStep);
    const float v = static_cast<float>(in.verticalStep);
    out.clear();

    // Counts in extended precision, truncated: step 7 gives 26 (180/7 + 1 = 26.71).
    const int meridians = static_cast<int>(180.0L / h + 1);
    const int parallels = static_cast<int>(180.0L / v + 1);

    AcquisitionWriter file;
    file.header(in, in.horizontalStep, in.verticalStep, parallels, meridians);

    const nuk::Point3f yAxis(0, 1, 0);
    for (int i = 0; i < parallels; ++i) {
        const float a = static_cast<float>(i) * v;
        const bool pole = (a == 0.0f || a == 180.0f);
        if (in.excludeBasePlane && pole) continue;

        const int d = in.viewDistance;
        // Row angles use pi to four decimals in extended precision, handed
        // to cos/sin as a double; the products are rounded to float.
        const double rad = static_cast<double>(static_cast<long double>(a) * (1.0L / 180) * nuk::kPiFourDecimals);
        const float yr = static_cast<float>(static_cast<long double>(d) * std::cos(rad));
        const float rr = static_cast<float>(static_cast<long double>(d) * std::sin(rad));
        out.row_heights.push_back(yr);
        out.row_distances.push_back(rr);
        file.beginRow(i, static_cast<double>(in.objectHeight) + yr, rr);

        const nuk::Point3f base(-rr, 0, 0);
        auto emit = [&](int number, const nuk::Point3f &p, float hangle) {
            out.positions.push_back(p);
            out.point_vangles.push_back(a);
            out.point_hangles.push_back(hangle);
            file.point(number, p);
        };

        if (pole) {
            emit(0, nuk::Point3f(-rr, yr, 0), 90.0f);
        } else {
            for (int j = 0; j < meridians; ++j) {
                const float b = static_cast<float>(j) * h;
                if (in.excludeBasePlane && (b == 0.0f || b == 180.0f)) continue;
                if (in.excludeCentralPoint && b == 90.0f && a == 90.0f) continue;
                nuk::Matrix44f rot;
                rot.SetZero();
                rot.SetRotate(b, yAxis); // float pi (nuk::kPiFloat) inside
                nuk::Point3f p = base * rot;
                p.y = yr;
                emit(j, p, b);
            }
        }
        file.endRow();
    }

    file.total(out.positions.size());
    return file.take();
}

WriteResult Generate(const PatternInput &in, PatternLists &out, const std::string &path)
{
    const std::string text = BuildPattern(in, out);
    return WriteFileAtomically(path, text);
}

} // namespace planner
