#include "planner/LightExport.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>

#include <nlohmann/json.hpp>

#include "nuk/Pi.h"
#include "planner/Direction.h"

namespace planner
{

const char *FormatName(LightFormat f)
{
    switch (f) {
    case LightFormat::Lp:
        return "lp";
    case LightFormat::Dome:
        return "dome";
    case LightFormat::Csv:
        return "csv";
    }
    return "";
}

const char *FormatExtension(LightFormat f)
{
    switch (f) {
    case LightFormat::Lp:
        return ".lp";
    case LightFormat::Dome:
        return ".dome";
    case LightFormat::Csv:
        return ".csv";
    }
    return "";
}

const char *FormatDescription(LightFormat f)
{
    switch (f) {
    case LightFormat::Lp:
        return "light directions for RTI fitting and viewing (.lp)";
    case LightFormat::Dome:
        return "dome description in JSON (.dome)";
    case LightFormat::Csv:
        return "table for spreadsheets and robot controllers (.csv)";
    }
    return "";
}

std::optional<LightFormat> ParseLightFormat(std::string_view name)
{
    for (LightFormat f : kLightFormats)
        if (name == FormatName(f)) return f;
    return std::nullopt;
}

std::optional<LightFormat> FormatFromPath(std::string_view path)
{
    const std::size_t dot = path.find_last_of('.');
    const std::size_t slash = path.find_last_of('/');
    if (dot == std::string_view::npos || (slash != std::string_view::npos && dot < slash)) return std::nullopt;
    std::string ext(path.substr(dot + 1));
    for (char &c : ext)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return ParseLightFormat(ext);
}

// --- image names -----------------------------------------------------------

std::optional<ImageNamePattern> ImageNamePattern::Parse(std::string_view pattern, std::string &error)
{
    const std::string quoted = "image name pattern '" + std::string(pattern) + "'";
    ImageNamePattern p;
    bool converted = false;
    int conversions = 0;
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        const char c = pattern[i];
        std::string &literal = converted ? p.suffix_ : p.prefix_;
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) {
            error = quoted + " contains a control character";
            return std::nullopt;
        }
        if (c != '%') {
            literal += c;
            continue;
        }
        if (i + 1 < pattern.size() && pattern[i + 1] == '%') {
            literal += '%';
            ++i;
            continue;
        }
        const std::size_t start = i++;
        for (; i < pattern.size(); ++i) {
            const char f = pattern[i];
            if (f == '-')
                p.left_ = true;
            else if (f == '0')
                p.zero_ = true;
            else if (f == '+')
                p.plus_ = true;
            else if (f == ' ')
                p.blank_ = true;
            else
                break;
        }
        auto number = [&](int &out) {
            long v = 0;
            const std::size_t from = i;
            while (i < pattern.size() && pattern[i] >= '0' && pattern[i] <= '9') {
                v = v * 10 + (pattern[i] - '0');
                if (v > kMaxWidth) v = kMaxWidth + 1; // stays over the limit without overflowing
                ++i;
            }
            out = static_cast<int>(v);
            return i > from;
        };
        number(p.width_);
        if (i < pattern.size() && pattern[i] == '.') {
            ++i;
            number(p.precision_);
        }
        if (i >= pattern.size()) {
            error = quoted + " ends inside a conversion; write %% for a percent sign";
            return std::nullopt;
        }
        const char conv = pattern[i];
        const std::string written(pattern.substr(start, i - start + 1));
        if (conv != 'd' && conv != 'i' && conv != 'u') {
            error = quoted + ": '" + written + "' is not an integer conversion; use %d, %i or %u (e.g. %04d)";
            return std::nullopt;
        }
        if (p.width_ > kMaxWidth || p.precision_ > kMaxWidth) {
            error = quoted + ": the width in '" + written + "' is over " + std::to_string(kMaxWidth);
            return std::nullopt;
        }
        ++conversions;
        converted = true;
    }
    if (conversions != 1) {
        error =
            quoted + " must contain exactly one integer conversion such as %04d, not " + std::to_string(conversions);
        return std::nullopt;
    }
    return p;
}

std::string ImageNamePattern::Name(long long number) const
{
    const bool negative = number < 0;
    const unsigned long long magnitude =
        negative ? 0ULL - static_cast<unsigned long long>(number) : static_cast<unsigned long long>(number);
    std::string digits = std::to_string(magnitude);
    if (precision_ >= 0) {
        if (precision_ == 0 && magnitude == 0) digits.clear(); // as printf("%.0d", 0)
        if (static_cast<int>(digits.size()) < precision_) digits.insert(0, precision_ - digits.size(), '0');
    }
    const std::string sign = negative ? "-" : plus_ ? "+" : blank_ ? " " : "";
    std::string field = sign + digits;
    if (static_cast<int>(field.size()) < width_) {
        const std::size_t pad = static_cast<std::size_t>(width_) - field.size();
        if (left_)
            field.append(pad, ' ');
        else if (zero_ && precision_ < 0)
            field.insert(sign.size(), pad, '0');
        else
            field.insert(0, pad, ' ');
    }
    return prefix_ + field + suffix_;
}

std::string ImageNamePattern::ZeroPadded(int digits) const
{
    auto escaped = [](const std::string &literal) {
        std::string out;
        for (char c : literal) {
            if (c == '%') out += '%';
            out += c;
        }
        return out;
    };
    return escaped(prefix_) + "%0" + std::to_string(digits) + "d" + escaped(suffix_);
}

namespace
{

int DigitsOf(long long n) { return static_cast<int>(std::to_string(n).size()); }

} // namespace

std::string ImagePatternFor(const std::string &pattern, long long first, std::size_t count)
{
    if (pattern != kDefaultImagePattern || count == 0 || first < 0) return pattern;
    const long long last = first + static_cast<long long>(count) - 1;
    const int digits = DigitsOf(last);
    if (digits <= 4) return pattern;
    std::string error;
    return ImageNamePattern::Parse(pattern, error)->ZeroPadded(digits);
}

ImageNames NameImages(const std::string &given, long long first, std::size_t count)
{
    ImageNames r;
    r.pattern = ImagePatternFor(given, first, count);
    const std::optional<ImageNamePattern> names = ImageNamePattern::Parse(r.pattern, r.error);
    if (!names) return r;
    constexpr long long kMax = ImageNamePattern::kMaxNumber;
    if (first < 0 || first > kMax || static_cast<long long>(count) > kMax - first + 1) {
        r.error = "the first image number must be from 0 to " +
                  std::to_string(kMax - static_cast<long long>(count) + 1) + ", got " + std::to_string(first);
        return r;
    }
    r.names.reserve(count);
    for (std::size_t k = 0; k < count; ++k) {
        const long long number = first + static_cast<long long>(k);
        r.names.push_back(names->Name(number));
        if (r.names.back().empty()) {
            r.error = "image name pattern '" + r.pattern + "' gives an empty name for number " + std::to_string(number);
            r.names.clear();
            return r;
        }
    }
    // Strictly increasing as strings, byte by byte: the order the fitters
    // sort the image files in.
    for (std::size_t k = 1; k < count; ++k) {
        if (r.names[k - 1] < r.names[k]) continue;
        const long long last = first + static_cast<long long>(count) - 1;
        const std::string better = names->ZeroPadded(DigitsOf(last));
        std::string unused;
        const std::optional<ImageNamePattern> padded = ImageNamePattern::Parse(better, unused);
        r.error = "image name pattern '" + r.pattern + "' does not keep the shooting order of these " +
                  std::to_string(count) + " photographs, numbered " + std::to_string(first) + " to " +
                  std::to_string(last) + ": RTI fitters take the images in the order of their names, and '" +
                  r.names[k] + "' would sort before '" + r.names[k - 1] + "'; use " + better + " (" +
                  padded->Name(first) + " to " + padded->Name(last) + ")";
        r.names.clear();
        return r;
    }
    return r;
}

std::string LightCountWarning(std::size_t count)
{
    if (count <= kFitterLightLimit) return {};
    return std::to_string(count) + " lights: some RTI fitters refuse light files with more than " +
           std::to_string(kFitterLightLimit) + " lights; the file is written all the same";
}

// --- numbers -----------------------------------------------------------------

namespace
{

template <class T> std::string NumberText(T v)
{
    if (v == 0) v = 0; // no "-0"
    char buf[128];
    // Fixed notation: some readers in use take no exponents.
    const std::to_chars_result r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed);
    if (r.ec != std::errc()) return "0";
    return std::string(buf, r.ptr);
}

// The double whose shortest text is the float's, so the JSON shows "0.5"
// and "1448.0967" rather than every digit of the float's binary value.
double Shortest(float v)
{
    const std::string s = NumberText(v);
    double d = 0;
    std::from_chars(s.data(), s.data() + s.size(), d);
    return d;
}

} // namespace

std::string FloatText(float v) { return NumberText(v); }
std::string DoubleText(double v) { return NumberText(v); }

// --- the table ---------------------------------------------------------------

std::optional<LightTable> MakeLightTable(const PatternInput &in, const PatternLists &lists, const ExportOptions &opt,
                                         std::string &error)
{
    const std::size_t n = lists.positions.size();
    if (lists.point_vangles.size() != n || lists.point_hangles.size() != n) {
        error = "the pattern's lists are incomplete; generate it again";
        return std::nullopt;
    }
    ImageNames names = NameImages(opt.imagePattern, opt.firstNumber, n);
    if (!names.ok()) {
        error = names.error;
        return std::nullopt;
    }

    LightTable t;
    t.input = in;
    t.layout = lists.layout;
    t.lights.reserve(n);
    // Layouts other than the grid carry their own row and point numbers.
    const bool numbered = lists.point_rows.size() == n && lists.point_numbers.size() == n;
    for (std::size_t k = 0; k < n; ++k) {
        const nuk::Point3f &p = lists.positions[k];
        const float a = lists.point_vangles[k];
        const float b = lists.point_hangles[k];
        Light l;
        l.sequence = static_cast<int>(k) + 1;
        if (numbered) {
            l.row = lists.point_rows[k];
            l.point = lists.point_numbers[k];
        } else {
            l.row = static_cast<int>(std::lround(a / static_cast<float>(in.verticalStep)));
            // A pole's single point is number 0 whatever its horizontal angle.
            l.point = (a == 0.0f || a == 180.0f)
                          ? 0
                          : static_cast<int>(std::lround(b / static_cast<float>(in.horizontalStep)));
        }
        l.image = std::move(names.names[k]);
        l.position = p;
        const Direction d = DirectionOf(nuk::Point3<double>(p.x, p.y, p.z));
        if (!d.defined) {
            error = "position " + std::to_string(k + 1) + " is at the object's centre and has no direction";
            return std::nullopt;
        }
        l.direction = d.unit;
        l.elevation = d.elevation;
        l.azimuth = d.azimuth;
        l.heightAboveFloor = static_cast<double>(in.objectHeight) + p.y;
        t.lights.push_back(std::move(l));
    }
    return t;
}

// --- the formats -------------------------------------------------------------

namespace
{

ExportText Failed(std::string why)
{
    ExportText r;
    r.error = std::move(why);
    return r;
}

ExportText Done(std::string text)
{
    ExportText r;
    r.ok = true;
    r.text = std::move(text);
    return r;
}

std::string Vector3Text(const nuk::Point3<double> &v)
{
    return FloatText(static_cast<float>(v.x)) + ' ' + FloatText(static_cast<float>(v.y)) + ' ' +
           FloatText(static_cast<float>(v.z));
}

// One name per line, split on blanks by the readers: a name with a blank
// would shift the numbers, so it is refused rather than changed.
ExportText LpText(const LightTable &t)
{
    std::string s = std::to_string(t.lights.size()) + "\n";
    for (const Light &l : t.lights) {
        if (l.image.find(' ') != std::string::npos)
            return Failed("an .lp file cannot hold image names with spaces ('" + l.image +
                          "'); choose a pattern without spaces");
        s += l.image + ' ' + Vector3Text(l.direction) + '\n';
    }
    return Done(std::move(s));
}

std::string CsvField(const std::string &v)
{
    if (v.find_first_of(",\"") == std::string::npos) return v;
    std::string q = "\"";
    for (char c : v) {
        if (c == '"') q += '"';
        q += c;
    }
    return q + '"';
}

ExportText CsvText(const LightTable &t)
{
    std::string s = "sequence,row,point,image,x_mm,y_mm,z_mm,direction_x,direction_y,direction_z,azimuth_deg,"
                    "elevation_deg,height_above_floor_mm\n";
    for (const Light &l : t.lights) {
        s += std::to_string(l.sequence) + ',' + std::to_string(l.row) + ',' + std::to_string(l.point) + ',' +
             CsvField(l.image) + ',' + FloatText(l.position.x) + ',' + FloatText(l.position.y) + ',' +
             FloatText(l.position.z) + ',' + FloatText(static_cast<float>(l.direction.x)) + ',' +
             FloatText(static_cast<float>(l.direction.y)) + ',' + FloatText(static_cast<float>(l.direction.z)) + ',' +
             FloatText(static_cast<float>(l.azimuth)) + ',' + FloatText(static_cast<float>(l.elevation)) + ',' +
             FloatText(static_cast<float>(l.heightAboveFloor)) + '\n';
    }
    return Done(std::move(s));
}

nlohmann::ordered_json Xyz(double x, double y, double z)
{
    nlohmann::ordered_json o;
    o["x"] = Shortest(static_cast<float>(x));
    o["y"] = Shortest(static_cast<float>(y));
    o["z"] = Shortest(static_cast<float>(z));
    return o;
}

ExportText DomeText(const LightTable &t, const ExportOptions &opt)
{
    if (!std::isfinite(opt.imageWidth) || opt.imageWidth < 0)
        return Failed("the image width must be a length of 0 mm or more");
    if (!std::isfinite(opt.verticalOffset)) return Failed("the vertical offset must be a length in mm");
    const PatternInput &in = t.input;
    const double radius = in.viewDistance;

    // One distance for all (up to the float rounding of the positions):
    // a dome; otherwise free positions in space.
    double nearest = 0, farthest = 0;
    for (std::size_t k = 0; k < t.lights.size(); ++k) {
        const nuk::Point3f &p = t.lights[k].position;
        const double r = std::sqrt(double(p.x) * p.x + double(p.y) * p.y + double(p.z) * p.z);
        nearest = k == 0 ? r : std::min(nearest, r);
        farthest = k == 0 ? r : std::max(farthest, r);
    }
    const bool spherical = farthest - nearest <= 1e-4 * farthest;

    // A reader places the lights from the image width and clears them when
    // it is 0: without one the file gives directions alone.
    const bool placed = opt.imageWidth > 0;
    const double offset = opt.verticalOffset;

    std::string label = opt.label;
    if (label.empty())
        label = "Quorvel half dome, view distance " + std::to_string(in.viewDistance) + " mm, " +
                (t.layout.empty() ? "steps " + std::to_string(in.horizontalStep) + " and " +
                                        std::to_string(in.verticalStep) + " degrees"
                                  : t.layout);
    std::string notes = "Made by Quorvel: " + std::to_string(t.lights.size()) + " lights in shooting order (" +
                        (t.layout.empty() ? "rows from the top pole down, points from left to right"
                                          : "rings from the top down, each by azimuth") +
                        ")";
    if (!t.lights.empty()) notes += ", images " + t.lights.front().image + " to " + t.lights.back().image;
    notes += ". Lengths in millimetres; x right, y up, z toward the camera; directions from the object's centre, "
             "which stands " +
             std::to_string(in.objectHeight) + " mm above the floor.";
    if (placed)
        notes += " Positions: direction x domeDiameter / 2 + (0, 0, verticalOffset) on the sphere, the lamp's own "
                 "position + (0, 0, verticalOffset) in space.";
    else
        notes += " Image width unknown: directions only (give the camera's sensor and focal length, or the image "
                 "width, for positions).";

    // Laid out by hand so that each light takes one line; nlohmann writes
    // every value. A label that is not valid UTF-8 gets replacement
    // characters rather than stopping the export.
    using Json = nlohmann::ordered_json;
    auto dump = [](const Json &v) { return v.dump(-1, ' ', false, Json::error_handler_t::replace); };
    std::string s = "{\n";
    auto member = [&](const char *key, const Json &value) { s += "  " + dump(key) + ": " + dump(value) + ",\n"; };
    auto list = [&](const char *key, auto element, bool last) {
        s += "  " + dump(key) + ": [";
        for (std::size_t k = 0; k < t.lights.size(); ++k)
            s += (k == 0 ? "\n    " : ",\n    ") + dump(element(t.lights[k]));
        s += t.lights.empty() ? "]" : "\n  ]";
        s += last ? "\n" : ",\n";
    };
    member("label", label);
    member("notes", notes);
    member("imageWidth", opt.imageWidth);
    member("domeDiameter", 2.0 * radius);
    member("verticalOffset", offset);
    member("lightConfiguration", !placed ? "directional" : spherical ? "spherical" : "lights3d");
    list(
        "directions", [](const Light &l) { return Xyz(l.direction.x, l.direction.y, l.direction.z); }, false);
    if (placed) {
        // As the reader recomputes them, so that its positions and the file's agree.
        list(
            "positionsSphere",
            [radius, offset](const Light &l) {
                return Xyz(l.direction.x * radius, l.direction.y * radius, l.direction.z * radius + offset);
            },
            false);
        list(
            "positions3d",
            [offset](const Light &l) {
                return Xyz(l.position.x, l.position.y, static_cast<double>(l.position.z) + offset);
            },
            false);
    }
    list(
        "ledAdjust",
        [](const Light &) {
            return Json{{"r", 1}, {"g", 1}, {"b", 1}};
        },
        true);
    s += "}\n";
    return Done(std::move(s));
}

} // namespace

ExportText FormatLights(LightFormat f, const LightTable &table, const ExportOptions &opt)
{
    switch (f) {
    case LightFormat::Lp:
        return LpText(table);
    case LightFormat::Dome:
        return DomeText(table, opt);
    case LightFormat::Csv:
        return CsvText(table);
    }
    return Failed("unknown format");
}

ExportResult ExportLights(LightFormat f, const PatternInput &in, const PatternLists &lists, const ExportOptions &opt,
                          const std::string &path)
{
    ExportResult r;
    std::string error;
    const std::optional<LightTable> table = MakeLightTable(in, lists, opt, error);
    if (!table) {
        r.message = error;
        return r;
    }
    if (table->lights.empty()) {
        r.message = "the pattern has no positions to export";
        return r;
    }
    const ExportText text = FormatLights(f, *table, opt);
    if (!text.ok) {
        r.message = text.error;
        return r;
    }
    const WriteResult w = WriteFileAtomically(path, text.text);
    if (!w.ok) {
        r.message = w.message();
        return r;
    }
    r.ok = true;
    r.count = table->lights.size();
    return r;
}

} // namespace planner
