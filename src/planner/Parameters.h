#pragma once
// The planner's parameters in one table: the window's spin edits, the
// command line's options and their help texts are all made from it, and
// one rule turns typed text into a value within a parameter's limits.

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace planner
{

enum class Param : std::size_t {
    ObjectSize,
    ObjectHeight,
    CameraDistance,
    ViewDistance,
    HorizontalStep,
    VerticalStep,
    Count
};

struct ParameterSpec {
    Param id;
    const char *option;  // command-line option, e.g. "--object-size"
    const char *label;   // the window's caption, e.g. "OBJ size"
    const char *meaning; // what it is, for help texts and tooltips
    const char *unit;    // "mm" or "degrees"
    int minimum;
    int maximum;
    int defaultValue;
};

inline constexpr std::size_t kParamCount = static_cast<std::size_t>(Param::Count);

// In the order of Param.
extern const std::array<ParameterSpec, kParamCount> kParameters;

inline const ParameterSpec &Spec(Param p) { return kParameters[static_cast<std::size_t>(p)]; }

// "whole number 10..2000 mm, default 250": the range as help texts give it.
std::string RangeText(const ParameterSpec &spec);

// A whole number in decimal with an optional sign, nothing else (no blanks,
// no decimal point). Values beyond the range of long long saturate, so a
// long run of digits still reads as a very large number.
std::optional<long long> ParseWhole(std::string_view text);

// How the window reads a field: the text as a whole number clamped to the
// limits; text that is not a whole number gives the minimum. Surrounding
// blanks are ignored.
int ClampedValue(const ParameterSpec &spec, std::string_view text);

// How the command line checks an option: the value when the text is a whole
// number within the limits, nothing otherwise.
std::optional<int> CheckedValue(const ParameterSpec &spec, std::string_view text);

} // namespace planner
