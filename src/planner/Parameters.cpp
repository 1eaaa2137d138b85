#include "planner/Parameters.h"

#include <charconv>
#include <climits>
#include <cmath>

#include "planner/LightExport.h"
#include "planner/PlanReport.h"

namespace planner
{

const std::array<ParameterSpec, kParamCount> kParameters = {{
    {Param::ObjectSize, "--object-size", "OBJ size", "object size", "mm", 10, 2000, 250},
    {Param::ObjectHeight, "--object-height", "OBJ height", "height of the object's centre above the floor", "mm", 10,
     2500, 1000},
    {Param::CameraDistance, "--camera-distance", "CAM distance", "camera distance from the object's centre", "mm", 10,
     2500, 1000},
    {Param::ViewDistance, "--view-distance", "VIEW distance",
     "distance of the acquisition positions from the object's centre", "mm", 10, 3500, 1500},
    {Param::HorizontalStep, "--horizontal-step", "HORIZONTAL angle", "horizontal angle between points of a row",
     "degrees", 1, 90, 15},
    {Param::VerticalStep, "--vertical-step", "VERTICAL angle", "vertical angle between rows", "degrees", 1, 90, 15},
}};

std::string RangeText(const ParameterSpec &spec)
{
    return "whole number " + std::to_string(spec.minimum) + ".." + std::to_string(spec.maximum) + " " + spec.unit +
           ", default " + std::to_string(spec.defaultValue);
}

std::string HelpText(const ParameterSpec &spec) { return std::string(spec.meaning) + " (" + RangeText(spec) + ")"; }

std::optional<long long> ParseWhole(std::string_view text)
{
    std::size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    if (i == text.size()) return std::nullopt;
    unsigned long long magnitude = 0;
    bool saturated = false;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        if (c < '0' || c > '9') return std::nullopt;
        const unsigned digit = static_cast<unsigned>(c - '0');
        if (magnitude > (static_cast<unsigned long long>(LLONG_MAX) - digit) / 10)
            saturated = true;
        else
            magnitude = magnitude * 10 + digit;
    }
    if (saturated) return negative ? LLONG_MIN : LLONG_MAX;
    const long long v = static_cast<long long>(magnitude);
    return negative ? -v : v;
}

namespace
{

std::string_view Trimmed(std::string_view s)
{
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; };
    while (!s.empty() && blank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && blank(s.back()))
        s.remove_suffix(1);
    return s;
}

} // namespace

int ClampedValue(const ParameterSpec &spec, std::string_view text)
{
    const std::optional<long long> v = ParseWhole(Trimmed(text));
    if (!v) return spec.minimum;
    if (*v < spec.minimum) return spec.minimum;
    if (*v > spec.maximum) return spec.maximum;
    return static_cast<int>(*v);
}

std::optional<int> CheckedValue(const ParameterSpec &spec, std::string_view text)
{
    const std::optional<long long> v = ParseWhole(text);
    if (!v || *v < spec.minimum || *v > spec.maximum) return std::nullopt;
    return static_cast<int>(*v);
}

const std::array<ValueSpec, kValueCount> kValues = {{
    {Value::GrazingBelow, "--grazing", "Grazing below", "elevation below which a light grazes", "number", "degrees",
     kMinGrazing, kMaxGrazing, ReportOptions{}.grazingBelow, false},
    {Value::SensorWidth, "--sensor", "Sensor width", "width of the camera's sensor", "length", "mm", kMinSensorSide,
     kMaxSensorSide, Framing{}.sensorWidth, false},
    {Value::SensorHeight, "--sensor", "Sensor height", "height of the camera's sensor", "length", "mm", kMinSensorSide,
     kMaxSensorSide, Framing{}.sensorHeight, false},
    {Value::FocalLength, "--focal", "Focal length", "focal length of the lens", "focal length", "mm", kMinFocal,
     kMaxFocal, Framing{}.focalLength, false},
    {Value::FirstNumber, "--first", "First number", "number of the first image", "whole number", "", 0,
     static_cast<double>(ImageNamePattern::kMaxNumber), static_cast<double>(ExportOptions{}.firstNumber), true},
    {Value::ImageWidth, "--image-width", "Image width",
     "width the image spans on the object (0: the framing's field, or unknown)", "length", "mm", 0, 100000, 0, false},
    {Value::VerticalOffset, "--vertical-offset", "Vertical offset",
     "vertical offset of the dome's centre, as the dome's reader expects it", "length", "mm", -100000, 100000, 0,
     false},
}};

std::string NumberText(double v)
{
    if (v == 0) return "0";
    char buf[64];
    const auto r = std::to_chars(buf, buf + sizeof buf, v);
    return std::string(buf, r.ptr);
}

namespace
{

std::string UnitSuffix(const char *unit) { return *unit ? std::string(" ") + unit : std::string(); }

} // namespace

std::string RangeText(const ValueSpec &spec)
{
    return std::string(spec.whole ? "whole number " : "number ") + NumberText(spec.minimum) + ".." +
           NumberText(spec.maximum) + UnitSuffix(spec.unit) + ", default " + NumberText(spec.defaultValue);
}

std::string HelpText(const ValueSpec &spec) { return std::string(spec.meaning) + " (" + RangeText(spec) + ")"; }

std::string MustText(const ValueSpec &spec)
{
    const std::string unit = spec.unit;
    std::string what = std::string("a ") + spec.noun;
    if (unit == "mm")
        what += " in mm";
    else if (!unit.empty())
        what += " of " + unit;
    return "must be " + what + " from " + NumberText(spec.minimum) + " to " + NumberText(spec.maximum);
}

std::string MustText(const ParameterSpec &spec)
{
    return "must be a whole number from " + std::to_string(spec.minimum) + " to " + std::to_string(spec.maximum);
}

std::optional<double> ParseDecimal(std::string_view text)
{
    if (text.empty()) return std::nullopt;
    std::string_view digits = text;
    if (digits.front() == '+') digits.remove_prefix(1);
    if (digits.empty() || digits.front() == '+' || (digits.front() == '-' && text.front() == '+')) return std::nullopt;
    double v = 0;
    const char *end = digits.data() + digits.size();
    const auto r = std::from_chars(digits.data(), end, v, std::chars_format::fixed);
    if (r.ec != std::errc() || r.ptr != end || !std::isfinite(v)) return std::nullopt;
    return v;
}

bool WithinLimits(const ValueSpec &spec, double v)
{
    if (!std::isfinite(v) || v < spec.minimum || v > spec.maximum) return false;
    return !spec.whole || v == std::floor(v);
}

std::optional<double> CheckedValue(const ValueSpec &spec, std::string_view text)
{
    const std::optional<double> v = ParseDecimal(text);
    if (!v || !WithinLimits(spec, *v)) return std::nullopt;
    return v;
}

} // namespace planner
