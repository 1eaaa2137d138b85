#pragma once
// Light positions for RTI fitting and viewing software: after the capture,
// every photograph needs the direction its light came from. The generator
// knows the positions exactly, so they are written from its lists, never
// from the truncated integers of the acquisition file.
//
// Frame: x to the right of the image, y up, z toward the camera, which is
// the pattern's own frame; a light's direction is its normalised position.
// Lengths are millimetres. No Qt in here: the window and quorvel-cli share it.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "nuk/Point3.h"
#include "planner/Pattern.h"

namespace planner
{

enum class LightFormat { Lp, Dome, Csv };

inline constexpr LightFormat kLightFormats[] = {LightFormat::Lp, LightFormat::Dome, LightFormat::Csv};

// "lp", "dome", "csv": the names the command line takes.
const char *FormatName(LightFormat f);
// ".lp", ".dome", ".csv".
const char *FormatExtension(LightFormat f);
// One line for a menu or a help text.
const char *FormatDescription(LightFormat f);
std::optional<LightFormat> ParseLightFormat(std::string_view name);
// The format a file name's extension stands for, if any (case ignored).
std::optional<LightFormat> FormatFromPath(std::string_view path);

// Image file names numbered in shooting order, made from a pattern such as
// "IMG_%04d.JPG": literal text around exactly one integer conversion
// (%d, %i or %u with optional flags 0 - + and blank, a width and a
// precision); "%%" stands for a percent sign.
class ImageNamePattern
{
public:
    // The pattern when it is usable; otherwise nothing, with the reason in error.
    static std::optional<ImageNamePattern> Parse(std::string_view pattern, std::string &error);

    std::string Name(long long number) const;
    // The same literal text around "%0<digits>d": names of one width, which
    // sort as strings in the order of their numbers.
    std::string ZeroPadded(int digits) const;

    // Limits that keep every name short and every number printable.
    static constexpr int kMaxWidth = 32;
    static constexpr long long kMaxNumber = 999999999;

private:
    std::string prefix_, suffix_;
    bool left_ = false, zero_ = false, plus_ = false, blank_ = false;
    int width_ = 0;
    int precision_ = -1;
};

// The image names when none are chosen. A plan that numbers past 9999 gets
// a digit more (ImagePatternFor), so the default always sorts.
inline constexpr const char *kDefaultImagePattern = "IMG_%04d.JPG";

// Fitters pair the i-th light with the i-th image in the order of the
// names, sorted as strings: the names of a plan must sort in shooting order.
struct ImageNames {
    std::string pattern;            // the pattern used (the default widened as it needs)
    std::vector<std::string> names; // in shooting order
    std::string error;              // why not; empty when the names are usable
    bool ok() const { return error.empty(); }
};

// The pattern that names count photographs from first: the default with as
// many digits as the last number has (four at least), any other as given.
std::string ImagePatternFor(const std::string &pattern, long long first, std::size_t count);

// The names of count photographs numbered from first, or why not: an
// unusable pattern or first number, an empty name, or names that would not
// sort in shooting order (the message gives a pattern that does).
ImageNames NameImages(const std::string &pattern, long long first, std::size_t count);

// A fitter in use refuses light files with more lights than this; the
// export warns and writes the file all the same.
inline constexpr std::size_t kFitterLightLimit = 1000;
// The warning for count lights; empty when there are not too many.
std::string LightCountWarning(std::size_t count);

struct ExportOptions {
    std::string imagePattern = kDefaultImagePattern;
    long long firstNumber = 1; // of the first photograph, 0..kMaxNumber
    // mm the image spans on the object, which a .dome reader needs to place
    // its lights; 0 when unknown: the .dome then holds directions alone.
    double imageWidth = 0;
    // mm the dome's centre stands above the surface (positive above), as the
    // dome's reader expects it; the .dome's positions are shifted by it.
    double verticalOffset = 0;
    std::string label; // a name for the dome; empty: made from the parameters
};

// One photograph's light.
struct Light {
    int sequence = 0; // 1, 2, ... in shooting order
    int row = 0;      // row and point numbers as in the acquisition file
    int point = 0;
    std::string image;
    nuk::Point3f position;         // mm from the object's centre
    nuk::Point3<double> direction; // unit vector toward the light
    double azimuth = 0;            // degrees in the image plane from +x toward +y, 0..360
    double elevation = 0;          // degrees above the base plane, 90 toward the camera
    double heightAboveFloor = 0;   // mm
};

struct LightTable {
    PatternInput input;
    std::vector<Light> lights;
    std::string layout; // the lists' layout: empty for the grid
};

// Text of a file, or the reason it cannot be made.
struct ExportText {
    bool ok = false;
    std::string text;
    std::string error;
};

// The lights of a generated pattern, in the order of its acquisition file:
// rows from the top pole down, points left to right, skipped points skipped
// (for the other layouts, their own shooting order and numbers).
// Fails only on an unusable image-name pattern or first number, or names
// that would not sort in shooting order (see NameImages).
std::optional<LightTable> MakeLightTable(const PatternInput &in, const PatternLists &lists, const ExportOptions &opt,
                                         std::string &error);

// The file's text; the C locale's numbers whatever the process's locale.
ExportText FormatLights(LightFormat f, const LightTable &table, const ExportOptions &opt);

struct ExportResult {
    bool ok = false;
    std::size_t count = 0; // lights written
    std::string message;   // why not, when !ok
};

// Makes the table and the text and writes it atomically to path; nothing
// is written when any step fails.
ExportResult ExportLights(LightFormat f, const PatternInput &in, const PatternLists &lists, const ExportOptions &opt,
                          const std::string &path);

// The shortest decimal text that reads back as the same float ("0.5",
// "1448.0967"), never "-0", whatever the locale.
std::string FloatText(float v);
// The same for a double ("2448.0966796875").
std::string DoubleText(double v);

} // namespace planner
