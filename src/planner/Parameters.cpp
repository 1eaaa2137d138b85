#include "planner/Parameters.h"

#include <climits>

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

} // namespace planner
