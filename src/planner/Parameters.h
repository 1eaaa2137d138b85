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

// "object size (whole number 10..2000 mm, default 250)": an option's help.
std::string HelpText(const ParameterSpec &spec);

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

// The plan's options that take a decimal number (or a whole number beyond
// the range of a spin box), in the same form as the table above.
enum class Value : std::size_t {
    GrazingBelow,
    SensorWidth,
    SensorHeight,
    FocalLength,
    FirstNumber,
    ImageWidth,
    VerticalOffset,
    Count
};

struct ValueSpec {
    Value id;
    const char *option;  // "--grazing"
    const char *label;   // "Grazing below"
    const char *meaning; // for help texts and tooltips
    const char *noun;    // what a value is, for messages: "number", "focal length"
    const char *unit;    // "mm", "degrees", "" for a plain number
    double minimum;
    double maximum;
    double defaultValue;
    bool whole; // only whole numbers
};

inline constexpr std::size_t kValueCount = static_cast<std::size_t>(Value::Count);
extern const std::array<ValueSpec, kValueCount> kValues;
inline const ValueSpec &Spec(Value v) { return kValues[static_cast<std::size_t>(v)]; }

// "number 0..89 degrees, default 10": the range as help texts give it.
std::string RangeText(const ValueSpec &spec);
std::string HelpText(const ValueSpec &spec);
// "--grazing must be a number of degrees from 0 to 89": what a CLI error
// or a plan file's error says of a bad value.
std::string MustText(const ValueSpec &spec);
std::string MustText(const ParameterSpec &spec);

// A plain decimal number ("12", "-40", "85.5", "+3"), read the same in
// every locale; no exponent, no blanks, finite.
std::optional<double> ParseDecimal(std::string_view text);

// The value when the text is a number within the limits (a whole one when
// the option takes only whole numbers), nothing otherwise.
std::optional<double> CheckedValue(const ValueSpec &spec, std::string_view text);
// The same check of a value already read.
bool WithinLimits(const ValueSpec &spec, double v);

// How numbers of the tables are printed: "0", "12.5", "999999999".
std::string NumberText(double v);

} // namespace planner
