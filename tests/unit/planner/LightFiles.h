#pragma once
// Small readers of the light files, written from the formats' rules and not
// from the writer, and the pattern's geometry in closed form: where the
// rows and points of a pattern are, with the true value of pi.

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <locale>
#include <optional>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "planner/Layout.h"
#include "planner/LightExport.h"
#include "planner/Pattern.h"

namespace lighttest
{

constexpr double kPi = 3.14159265358979323846;

// A number with a decimal point and no exponent, read in the C locale.
inline std::optional<double> CNumber(const std::string &s)
{
    static const std::regex plain("-?[0-9]+(\\.[0-9]+)?");
    if (!std::regex_match(s, plain)) return std::nullopt;
    std::istringstream in(s);
    in.imbue(std::locale::classic());
    double v = 0;
    in >> v;
    return v;
}

inline std::vector<std::string> SplitLines(const std::string &text)
{
    std::vector<std::string> lines;
    std::size_t pos = 0;
    while (pos < text.size()) {
        const std::size_t nl = text.find('\n', pos);
        if (nl == std::string::npos) {
            lines.push_back(text.substr(pos));
            break;
        }
        lines.push_back(text.substr(pos, nl - pos));
        pos = nl + 1;
    }
    return lines;
}

struct LpLight {
    std::string name;
    double x, y, z;
};

// As RTI fitting software reads an .lp file: the count, then one line per
// light of exactly four fields. Stricter than they are on the layout:
// single spaces, "\n" line ends, plain decimal numbers, unit vectors.
inline std::optional<std::vector<LpLight>> ReadLp(const std::string &text, std::string &why)
{
    auto no = [&why](const std::string &reason) -> std::optional<std::vector<LpLight>> {
        why = reason;
        return std::nullopt;
    };
    if (text.empty() || text.back() != '\n') return no("no final line end");
    if (text.find('\r') != std::string::npos) return no("a carriage return");
    const std::vector<std::string> lines = SplitLines(text);
    static const std::regex count("[0-9]+");
    if (!std::regex_match(lines[0], count)) return no("first line is not a count");
    const std::size_t n = std::stoul(lines[0]);
    if (lines.size() != n + 1) return no("count and lines differ");
    std::vector<LpLight> out;
    for (std::size_t k = 1; k < lines.size(); ++k) {
        std::vector<std::string> f;
        std::size_t pos = 0;
        for (;;) {
            const std::size_t sp = lines[k].find(' ', pos);
            f.push_back(lines[k].substr(pos, sp == std::string::npos ? std::string::npos : sp - pos));
            if (sp == std::string::npos) break;
            pos = sp + 1;
        }
        if (f.size() != 4) return no("line " + std::to_string(k + 1) + " has not four fields");
        LpLight l{f[0], 0, 0, 0};
        double *v[] = {&l.x, &l.y, &l.z};
        for (int c = 0; c < 3; ++c) {
            const std::optional<double> d = CNumber(f[1 + c]);
            if (!d) return no("line " + std::to_string(k + 1) + ": '" + f[1 + c] + "' is no number");
            *v[c] = *d;
        }
        if (l.name.empty()) return no("an empty name");
        if (std::sqrt(l.x * l.x + l.y * l.y + l.z * l.z) < 0.0001) return no("a short vector");
        out.push_back(l);
    }
    return out;
}

// What a fitter's dome panel makes of a .dome after loading it. It keeps
// the directions, and for a dome that places its lights it computes the
// positions again itself: direction x domeDiameter / 2 + (0, 0,
// verticalOffset), the offset positive when the dome's centre is above the
// surface. It needs the image width for that, and with a width of 0 it
// clears the lights. "directional" asks for directions alone.
struct FitterDome {
    std::string configuration;
    std::vector<std::array<double, 3>> directions; // as read
    std::vector<std::array<double, 3>> recomputed; // the panel's own positions
    std::vector<std::array<double, 3>> fileSphere; // positionsSphere as written
    std::vector<std::array<double, 3>> file3d;     // positions3d as written
    std::size_t lights = 0;                        // what reaches the fit
};

inline std::vector<std::array<double, 3>> XyzList(const nlohmann::json &j, const char *key)
{
    std::vector<std::array<double, 3>> out;
    if (!j.contains(key)) return out;
    for (const nlohmann::json &e : j.at(key))
        out.push_back({e.at("x").get<double>(), e.at("y").get<double>(), e.at("z").get<double>()});
    return out;
}

inline FitterDome ReadDomeAsFitter(const std::string &text)
{
    const nlohmann::json j = nlohmann::json::parse(text);
    FitterDome d;
    d.configuration = j.at("lightConfiguration").get<std::string>();
    d.directions = XyzList(j, "directions");
    d.fileSphere = XyzList(j, "positionsSphere");
    d.file3d = XyzList(j, "positions3d");
    if (d.configuration == "directional") {
        d.lights = d.directions.size();
        return d;
    }
    const double width = j.at("imageWidth").get<double>();
    const double radius = j.at("domeDiameter").get<double>() / 2;
    const double offset = j.at("verticalOffset").get<double>();
    if (!(width > 0)) return d; // cleared: no light reaches the fit
    for (const auto &v : d.directions)
        d.recomputed.push_back({v[0] * radius, v[1] * radius, v[2] * radius + offset});
    d.lights = d.recomputed.size();
    return d;
}

// The images of a capture as a fitter takes them: the file names sorted as
// strings, byte by byte, the i-th paired with the i-th light.
inline std::vector<std::string> SortedAsStrings(std::vector<std::string> names)
{
    std::sort(names.begin(), names.end());
    return names;
}

// Comma-separated fields; a field in double quotes may hold commas and
// doubled quotes.
inline std::vector<std::string> CsvFields(const std::string &line)
{
    std::vector<std::string> f(1);
    bool quoted = false;
    for (std::size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (quoted) {
            if (c == '"' && i + 1 < line.size() && line[i + 1] == '"') {
                f.back() += '"';
                ++i;
            } else if (c == '"') {
                quoted = false;
            } else {
                f.back() += c;
            }
        } else if (c == '"') {
            quoted = true;
        } else if (c == ',') {
            f.emplace_back();
        } else {
            f.back() += c;
        }
    }
    return f;
}

// One position of a pattern as its rules place it: rows from the top pole
// (vertical angle a = i * v) down, points from -X (b = j * h) through +Z
// to +X, the poles as single points.
struct Expected {
    int row, point;
    double a, b; // degrees
    double dx, dy, dz;
};

inline std::vector<Expected> ExpectedLights(int h, int v, bool excludeCentral, bool excludeBase)
{
    std::vector<Expected> out;
    for (int i = 0; i * v <= 180; ++i) {
        const int a = i * v;
        const bool pole = a == 0 || a == 180;
        if (pole && excludeBase) continue;
        const double ar = a * kPi / 180;
        if (pole) {
            out.push_back({i, 0, double(a), 90, 0, std::cos(ar), 0});
            continue;
        }
        for (int j = 0; j * h <= 180; ++j) {
            const int b = j * h;
            if (excludeBase && (b == 0 || b == 180)) continue;
            if (excludeCentral && a == 90 && b == 90) continue;
            const double br = b * kPi / 180;
            out.push_back(
                {i, j, double(a), double(b), -std::sin(ar) * std::cos(br), std::cos(ar), std::sin(ar) * std::sin(br)});
        }
    }
    return out;
}

// The row angles of the generator use pi = 3.1415; directions differ from
// the true ones by at most that error, 1e-4 at the bottom.
constexpr double kDirectionTolerance = 2e-4;

// A pattern input with the given steps, view distance and exclusions; the
// object and camera at their defaults.
inline planner::PatternInput Input(int h, int v, int d, bool central, bool base)
{
    planner::PatternInput in;
    in.horizontalStep = h;
    in.verticalStep = v;
    in.viewDistance = d;
    in.excludeCentralPoint = central;
    in.excludeBasePlane = base;
    return in;
}

// A plan's light file as the export writes it; a refusal fails the test.
inline std::string ExportedText(planner::LightFormat f, const planner::PatternInput &in,
                                const planner::LayoutInput &layout = {}, const planner::ExportOptions &opt = {})
{
    planner::PatternLists lists;
    planner::BuildLayout(in, layout, lists);
    std::string error;
    const std::optional<planner::LightTable> t = planner::MakeLightTable(in, lists, opt, error);
    EXPECT_TRUE(t) << error;
    if (!t) return {};
    const planner::ExportText text = planner::FormatLights(f, *t, opt);
    EXPECT_TRUE(text.ok) << text.error;
    return text.text;
}

} // namespace lighttest
