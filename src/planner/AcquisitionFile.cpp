// The acquisition file's grammar, its writer and its reader.
//
//   1. the texts and line formats, and the writer
//   2. lines, fields and messages both readers share (LineReader)
//   3. the grid's reader (GridParser): its counts and point numbers follow
//      from its steps, its view distance from its rows
//   4. the layouts' reader: the file's structure (LayoutParser), the view
//      distance from the points, the header's fit (HeaderMisfit), and the
//      search for the layout that writes the file (LayoutSearch)
//   5. ReadAcquisition, which tells the grid from the layouts, and a
//      suggested plan's positions from both

#include "planner/AcquisitionFile.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <optional>
#include <utility>
#include <vector>

#include <sys/stat.h>

#include "nuk/Pi.h"
#include "planner/Parameters.h"
#include "planner/PlanReport.h"

namespace planner
{

std::string AcquisitionError::text(const std::string &path) const
{
    // A file that could not be read at all is named in the message itself.
    if (line <= 0) return message;
    return (path.empty() ? "line " : path + ", line ") + std::to_string(line) + ": " + message;
}

// --- 1. the texts, the line formats, the writer --------------------------------

namespace
{

const std::string_view kSeparator = "---------------------------------------------------";
const std::string_view kTitle = "PTM ACQUISITION PATTERN";
const std::string_view kOrderLine = "rows from bottom to top. points from left to right";
const std::string_view kTotalLabel = "Total points";
constexpr int kObjectHeightLine = 5;
constexpr int kHorizontalAngleLine = 7; // and the vertical one below it
constexpr int kParallelsLine = 9;       // and the meridiens below it

template <class... Args> void Add(std::string &s, const char *fmt, Args... args)
{
    char buf[128];
    const int n = std::snprintf(buf, sizeof buf, fmt, args...);
    if (n > 0) s.append(buf, std::min<std::size_t>(static_cast<std::size_t>(n), sizeof buf - 1));
}

// Every integer in the file is the value truncated toward zero, never rounded.
int Trunc(double v) { return static_cast<int>(v); }

} // namespace

std::string AcquisitionAngle(double degrees)
{
    // printf's %f would follow the locale's decimal comma, and the window
    // runs in the user's locale.
    char buf[32];
    const auto r = std::to_chars(buf, buf + sizeof buf, degrees, std::chars_format::fixed, 2);
    std::string s(buf, r.ptr);
    if (s.size() < 6) s.insert(0, 6 - s.size(), ' ');
    return s;
}

std::string AcquisitionPointLine(int number, const nuk::Point3f &p)
{
    std::string s;
    Add(s, "%3i]  % 6i  % 6i  % 6i", number, Trunc(p.x), Trunc(p.y), Trunc(p.z));
    return s;
}

void AcquisitionWriter::header(const PatternInput &in, double horizontalAngle, double verticalAngle, int parallels,
                               int meridians)
{
    std::string &t = text_;
    t.append(kTitle).append("\n\n").append(kSeparator).append("\n");
    Add(t, "object size         %6i\n", static_cast<int>(in.objectSize));
    Add(t, "object height       %6i\n", static_cast<int>(in.objectHeight));
    Add(t, "camera distance     %6i\n", static_cast<int>(in.cameraDistance));
    t.append("horizontal angle    ").append(AcquisitionAngle(horizontalAngle)).append("\n");
    t.append("vertical angle      ").append(AcquisitionAngle(verticalAngle)).append("\n");
    Add(t, "parallels           %6i\n", parallels);
    Add(t, "meridiens           %6i\n", meridians);
    t.append("\n").append(kSeparator).append("\n\n");
    t.append(kOrderLine).append("\n\n\n");
}

void AcquisitionWriter::beginRow(int number, double height, double distance)
{
    text_.append(kSeparator).append("\n");
    Add(text_, "row # %6i\n\n", number);
    Add(text_, "height     %6i\n", Trunc(height));
    Add(text_, "distance   %6i\n", Trunc(distance));
    text_.append("\n");
}

void AcquisitionWriter::point(int number, const nuk::Point3f &position)
{
    text_.append(AcquisitionPointLine(number, position)).append("\n");
}

void AcquisitionWriter::endRow() { text_.append("\n\n").append(kSeparator).append("\n"); }

void AcquisitionWriter::total(std::size_t points)
{
    text_.append(kTotalLabel);
    Add(text_, "   %4i\n", static_cast<int>(points));
}

// --- 2. what both readers share ----------------------------------------------------

namespace
{

using nuk::kPi;

// Rows or meridians for a step, as the generator counts them: in extended
// precision, truncated.
int CountFor(int step) { return static_cast<int>(180.0L / static_cast<float>(step) + 1); }

// Walks the text a line at a time, without copying it; "\r\n" counts as a
// line end too, for files that went through another system.
class Lines
{
public:
    explicit Lines(std::string_view text) : text_(text) {}

    bool next(std::string_view &line)
    {
        if (pos_ >= text_.size()) return false;
        const std::size_t nl = text_.find('\n', pos_);
        const std::size_t end = nl == std::string_view::npos ? text_.size() : nl;
        line = text_.substr(pos_, end - pos_);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        pos_ = nl == std::string_view::npos ? text_.size() : nl + 1;
        ++number_;
        return true;
    }
    // Number of the line last returned.
    int number() const { return number_; }

private:
    std::string_view text_;
    std::size_t pos_ = 0;
    int number_ = 0;
};

std::string_view Trim(std::string_view s)
{
    while (!s.empty() && s.front() == ' ')
        s.remove_prefix(1);
    while (!s.empty() && s.back() == ' ')
        s.remove_suffix(1);
    return s;
}

bool StartsWith(std::string_view s, std::string_view prefix) { return s.substr(0, prefix.size()) == prefix; }

// A line as a message shows it: short, and only printable characters.
std::string Shown(std::string_view line)
{
    std::string s = "'";
    const std::size_t n = std::min<std::size_t>(line.size(), 60);
    for (std::size_t i = 0; i < n; ++i) {
        const unsigned char c = static_cast<unsigned char>(line[i]);
        s += (c >= 0x20 && c < 0x7f) ? static_cast<char>(c) : '?';
    }
    if (line.size() > n) s += "...";
    return s + "'";
}

// The line grammar both readers share: the next line, exact lines, labelled
// whole numbers, the header's first lines, point lines. The first failure
// is kept with its line number.
class LineReader
{
protected:
    explicit LineReader(std::string_view text) : text_(text), lines_(text) {}

    bool fail(int line, std::string message)
    {
        error_.line = line;
        error_.message = std::move(message);
        return false;
    }

    // The next line; at the end of the text, a failure saying what was due.
    bool take(std::string_view &line, const std::string &expected)
    {
        if (lines_.next(line)) return true;
        return fail(lines_.number() + 1, "the file ends here; expected " + expected);
    }

    bool exact(std::string_view want, const std::string &what)
    {
        std::string_view line;
        if (!take(line, what)) return false;
        if (line != want) return fail(lines_.number(), "expected " + what + ", found " + Shown(line));
        return true;
    }
    bool blank() { return exact("", "an empty line"); }
    bool separator(const std::string &what) { return exact(kSeparator, what + " (51 hyphens)"); }

    // "LABEL   N": the label, blanks, a whole number.
    bool field(std::string_view line, std::string_view label, long long &value)
    {
        if (!StartsWith(line, label) || line.size() == label.size() || line[label.size()] != ' ')
            return fail(lines_.number(),
                        "expected '" + std::string(label) + "' and a whole number, found " + Shown(line));
        const std::optional<long long> v = ParseWhole(Trim(line.substr(label.size())));
        if (!v)
            return fail(lines_.number(),
                        "expected '" + std::string(label) + "' and a whole number, found " + Shown(line));
        value = *v;
        return true;
    }
    bool fieldLine(std::string_view label, long long &value)
    {
        std::string_view line;
        return take(line, "the '" + std::string(label) + "' line") && field(line, label, value);
    }

    bool parameter(std::string_view label, Param p, std::int32_t &out)
    {
        long long v = 0;
        if (!fieldLine(label, v)) return false;
        const ParameterSpec &spec = Spec(p);
        if (v < spec.minimum || v > spec.maximum)
            return fail(lines_.number(), std::string(label) + " " + std::to_string(v) + " is outside " +
                                             std::to_string(spec.minimum) + ".." + std::to_string(spec.maximum) + " " +
                                             spec.unit);
        out = static_cast<std::int32_t>(v);
        return true;
    }

    // "%3i]  % 6i  % 6i  % 6i": the number, and the coordinates when asked for.
    static bool pointLine(std::string_view line, long long &number, long long *xyz = nullptr)
    {
        const std::size_t bracket = line.find(']');
        if (bracket == std::string_view::npos) return false;
        const std::optional<long long> n = ParseWhole(Trim(line.substr(0, bracket)));
        if (!n) return false;
        std::string_view rest = line.substr(bracket + 1);
        for (int k = 0; k < 3; ++k) {
            rest = Trim(rest);
            const std::size_t end = std::min(rest.find(' '), rest.size());
            const std::optional<long long> v = end == 0 ? std::nullopt : ParseWhole(rest.substr(0, end));
            if (!v) return false;
            if (xyz) xyz[k] = *v;
            rest = rest.substr(end);
        }
        if (!Trim(rest).empty()) return false;
        number = *n;
        return true;
    }

    // Lines 1 to 6: the title, the separator, the three parameters.
    bool opening(PatternInput &in)
    {
        std::string_view line;
        if (!lines_.next(line) || line != kTitle)
            return fail(1, "not an acquisition file: the first line must be '" + std::string(kTitle) + "'");
        return blank() && separator("the separator line") &&
               parameter("object size", Param::ObjectSize, in.objectSize) &&
               parameter("object height", Param::ObjectHeight, in.objectHeight) &&
               parameter("camera distance", Param::CameraDistance, in.cameraDistance);
    }

    // Lines 11 to 16, from the empty line after the counts to the two after
    // the order line.
    bool closing()
    {
        return blank() && separator("the separator line") && blank() &&
               exact(kOrderLine, "'" + std::string(kOrderLine) + "'") && blank() && blank();
    }

    std::string_view text_;
    Lines lines_;
    AcquisitionError error_;
};

// --- 3. the grid's reader -------------------------------------------------------------

struct RowSeen {
    int number = 0;
    long long height = 0, distance = 0;
    int distanceLine = 0;
};

class GridParser : public LineReader
{
public:
    struct Steps {
        int horizontal = 0, vertical = 0;
        int meridians = 0, parallels = 0; // as written; 0 until read
    };

    explicit GridParser(std::string_view text) : LineReader(text) {}
    // A step given here replaces the header's, whose line must still be a
    // valid angle and is then left out of the comparison: how a changed
    // angle line is told from damaged rows.
    GridParser(std::string_view text, int horizontal, int vertical) : LineReader(text)
    {
        forced_.horizontal = horizontal;
        forced_.vertical = vertical;
        ignoredLine_ = horizontal > 0 ? kHorizontalAngleLine : vertical > 0 ? kHorizontalAngleLine + 1 : 0;
    }

    // The header's steps and counts, once both angle lines were read.
    std::optional<Steps> headerSteps() const { return headerSteps_; }
    // Whether the header's counts follow from its angles: only a grid's do.
    bool headerFits() const { return headerFits_; }

    AcquisitionRead run()
    {
        AcquisitionRead out;
        if (header(out.input) && rows(out.input) && total() && recoverDistance(out)) {
            out.ok = true;
        } else {
            out.input = PatternInput{};
            out.lists.clear();
            out.error = error_;
        }
        return out;
    }

private:
    // "%6.2f" of a whole number of degrees: "15.00".
    bool angle(std::string_view label, Param p, int forced, int &out)
    {
        std::string_view line;
        if (!take(line, "the '" + std::string(label) + "' line")) return false;
        const std::string bad =
            "expected '" + std::string(label) +
            "' and a whole number of degrees such as 15.00 (a grid's step) or a layout's spacing, found " + Shown(line);
        if (!StartsWith(line, label) || line.size() == label.size() || line[label.size()] != ' ')
            return fail(lines_.number(), bad);
        const std::string_view value = Trim(line.substr(label.size()));
        const std::size_t dot = value.find('.');
        if (dot == std::string_view::npos || value.substr(dot) != ".00") return fail(lines_.number(), bad);
        const ParameterSpec &spec = Spec(p);
        const std::optional<int> v = CheckedValue(spec, value.substr(0, dot));
        if (!v)
            return fail(lines_.number(), std::string(label) + " " + std::string(value) +
                                             " is not a whole number from " + std::to_string(spec.minimum) + " to " +
                                             std::to_string(spec.maximum) + " " + spec.unit);
        out = forced > 0 ? forced : *v;
        return true;
    }

    bool count(std::string_view label, int step, const char *stepName, int stepLine, int &written, int &out)
    {
        long long v = 0;
        if (!fieldLine(label, v)) return false;
        written = static_cast<int>(std::clamp<long long>(v, -1, 1000));
        out = CountFor(step);
        if (v != out)
            return fail(lines_.number(), std::string(label) + " " + std::to_string(v) + " does not follow from the " +
                                             stepName + " " + std::to_string(step) + " on line " +
                                             std::to_string(stepLine) + " (which gives " + std::to_string(out) + ")");
        return true;
    }

    bool header(PatternInput &in)
    {
        if (!opening(in) || !angle("horizontal angle", Param::HorizontalStep, forced_.horizontal, in.horizontalStep) ||
            !angle("vertical angle", Param::VerticalStep, forced_.vertical, in.verticalStep))
            return false;
        headerSteps_ = Steps{in.horizontalStep, in.verticalStep, 0, 0};
        const int verticalLine = lines_.number();
        headerFits_ =
            count("parallels", in.verticalStep, "vertical angle", verticalLine, headerSteps_->parallels, parallels_) &&
            count("meridiens", in.horizontalStep, "horizontal angle", verticalLine - 1, headerSteps_->meridians,
                  meridians_);
        return headerFits_ && closing();
    }

    // The row after row i, or parallels_ when none follows.
    int rowAfter(int i, const PatternInput &in) const
    {
        int k = i + 1;
        if (in.excludeBasePlane && k < parallels_ && k * in.verticalStep == 180) ++k;
        return std::min(k, parallels_);
    }

    // The point numbers of row i in order, the central point included.
    std::vector<int> pointsOf(int i, const PatternInput &in) const
    {
        const int a = i * in.verticalStep;
        if (a == 0 || a == 180) return {0};
        std::vector<int> js;
        for (int j = 0; j < meridians_; ++j) {
            const int b = j * in.horizontalStep;
            if (in.excludeBasePlane && (b == 0 || b == 180)) continue;
            js.push_back(j);
        }
        return js;
    }

    bool row(PatternInput &in, int i)
    {
        const std::string name = "row # " + std::to_string(i);
        const int rowLine = lines_.number();
        RowSeen r;
        r.number = i;
        if (!blank() || !fieldLine("height", r.height) || !fieldLine("distance", r.distance)) return false;
        r.distanceLine = lines_.number();
        if (!blank()) return false;

        // Whether the central point was left out shows in the row at 90
        // degrees, and only when both steps divide 90.
        const bool centralRow = i * in.verticalStep == 90 && 90 % in.horizontalStep == 0;
        const int central = 90 / in.horizontalStep;
        const std::vector<int> expected = pointsOf(i, in);
        std::size_t k = 0;
        std::string_view line;
        for (;;) {
            if (!take(line, "a point of " + name + " or an empty line")) return false;
            if (line.empty()) break;
            long long j = 0;
            if (!pointLine(line, j))
                return fail(lines_.number(),
                            "expected a point line 'N]  X  Y  Z' of " + name + ", found " + Shown(line));
            // A first row numbered 1 means the base plane was left out,
            // point 0 with it: this one is the top pole, misnumbered.
            if (rows_.empty() && i == 1 && j == 0 && in.excludeBasePlane)
                return fail(rowLine, "expected row # 0: the first row has point 0, which row # 1 has only when the "
                                     "base plane is included");
            if (centralRow && k < expected.size() && expected[k] == central && j != central) {
                in.excludeCentralPoint = true;
                ++k;
            }
            if (k >= expected.size())
                return fail(lines_.number(), name + " has no point " + std::to_string(j) + " in this pattern");
            if (j != expected[k])
                return fail(lines_.number(), "expected point " + std::to_string(expected[k]) + " of " + name +
                                                 ", found point " + std::to_string(j));
            ++k;
            ++points_;
        }
        if (centralRow && k + 1 == expected.size() && expected[k] == central) {
            in.excludeCentralPoint = true; // the last one left out
            ++k;
        }
        if (k < expected.size())
            return fail(lines_.number(), name + " ends before its point " + std::to_string(expected[k]));
        if (!blank() || !separator("the separator line that ends " + name)) return false;
        rows_.push_back(r);
        return true;
    }

    bool rows(PatternInput &in)
    {
        in.excludeCentralPoint = false;
        int next = -1; // the row due next; -1 before the first
        for (;;) {
            std::string_view line;
            if (!take(line, next < 0 ? "the first row" : "the next row or the total line")) return false;
            if (next >= 0 && StartsWith(line, "Total points")) {
                if (next < parallels_)
                    return fail(lines_.number(), "expected row # " + std::to_string(next) + " before the total");
                return field(line, "Total points", total_);
            }
            if (line != kSeparator)
                return fail(lines_.number(), std::string(next < 0 ? "expected the separator line before the first row"
                                                                  : "expected the separator line of the next row "
                                                                    "or the total line") +
                                                 ", found " + Shown(line));
            long long i = 0;
            if (!fieldLine("row #", i)) return false;
            if (next < 0) {
                // Row 0 is the top pole: without it, the base plane was excluded.
                if (i != 0 && i != 1)
                    return fail(lines_.number(),
                                "expected row # 0, or row # 1 when the base plane is excluded, found row # " +
                                    std::to_string(i));
                in.excludeBasePlane = i == 1;
            } else if (next >= parallels_) {
                return fail(lines_.number(), "expected the total line: the header's " + std::to_string(parallels_) +
                                                 " parallels end before this row");
            } else if (i != next) {
                return fail(lines_.number(),
                            "expected row # " + std::to_string(next) + ", found row # " + std::to_string(i));
            }
            if (!row(in, static_cast<int>(i))) return false;
            next = rowAfter(static_cast<int>(i), in);
        }
    }

    bool total()
    {
        const int totalLine = lines_.number();
        if (total_ != points_)
            return fail(totalLine, "the total says " + std::to_string(total_) + " points, the rows list " +
                                       std::to_string(points_));
        std::string_view line;
        if (lines_.next(line)) return fail(lines_.number(), "unexpected text after the total line: " + Shown(line));
        return true;
    }

    // Candidates for the view distance: each row's height and distance
    // lines hold it within a narrow range; the values most rows agree on
    // are tried first, so one damaged line does not hide the right one.
    std::vector<int> distanceCandidates(const PatternInput &in, bool useHeights = true) const
    {
        const ParameterSpec &spec = Spec(Param::ViewDistance);
        std::map<int, int> votes;
        for (const RowSeen &r : rows_) {
            const double rad = r.number * in.verticalStep * kPi / 180.0;
            const double s = std::sin(rad), c = std::cos(rad);
            double lo = spec.minimum, hi = spec.maximum;
            // A margin of one covers the generator's rounding and its pi.
            if (s >= 0.5) {
                lo = std::max(lo, static_cast<double>(r.distance) / s - 1);
                hi = std::min(hi, (static_cast<double>(r.distance) + 1) / s + 1);
            }
            if (useHeights && std::fabs(c) >= 0.5) {
                // trunc(object height + Y) = height, so Y lies within one of it.
                const double h = static_cast<double>(r.height);
                const double vlo = h > 0 ? h : h - 1, vhi = h < 0 ? h : h + 1;
                const double d1 = (vlo - in.objectHeight) / c, d2 = (vhi - in.objectHeight) / c;
                lo = std::max(lo, std::min(d1, d2) - 1);
                hi = std::min(hi, std::max(d1, d2) + 1);
            }
            if (!(hi - lo < 16)) continue; // no usable constraint
            for (double d = std::ceil(lo); d <= hi; ++d)
                ++votes[static_cast<int>(d)];
        }
        std::vector<std::pair<int, int>> ranked(votes.begin(), votes.end());
        std::stable_sort(ranked.begin(), ranked.end(),
                         [](const auto &a, const auto &b) { return a.second > b.second; });
        std::vector<int> out;
        for (std::size_t k = 0; k < ranked.size() && k < 8; ++k)
            out.push_back(ranked[k].first);
        return out;
    }

    struct Mismatch {
        int line = 0;  // the first line that differs; 0: none
        int count = 0; // lines that differ
        std::string expected, found;
        bool fileEnds = false;
    };

    // Where the file differs from the generated text. The structure is
    // already checked, so the two have the same number of lines.
    Mismatch compare(std::string_view generated) const
    {
        Mismatch m;
        Lines want(generated), got(text_);
        for (;;) {
            std::string_view w, g;
            const bool hasW = want.next(w), hasG = got.next(g);
            if (!hasW && !hasG) return m;
            if (hasW && hasG && (w == g || got.number() == ignoredLine_)) continue;
            if (++m.count > 1) continue;
            m.line = std::max(want.number(), got.number());
            m.expected = hasW ? std::string(w) : std::string();
            m.found = hasG ? std::string(g) : std::string();
            m.fileEnds = !hasG;
            if (!hasW || !hasG) return m;
        }
    }

    bool recoverDistance(AcquisitionRead &out)
    {
        PatternInput in = out.input;
        const std::vector<int> candidates = distanceCandidates(in);
        if (candidates.empty())
            return fail(rows_.front().distanceLine, "no view distance from " +
                                                        std::to_string(Spec(Param::ViewDistance).minimum) + " to " +
                                                        std::to_string(Spec(Param::ViewDistance).maximum) +
                                                        " mm gives the heights and distances of these rows");
        Mismatch best;
        int bestDistance = 0;
        for (int d : candidates) {
            in.viewDistance = d;
            PatternLists lists;
            const std::string text = BuildPattern(in, lists);
            const Mismatch m = compare(text);
            if (m.line == 0) {
                out.input = in;
                out.lists = std::move(lists);
                return true;
            }
            // The distance that leaves the fewest lines unexplained points
            // at the damage.
            if (best.count == 0 || m.count < best.count) {
                best = m;
                bestDistance = d;
            }
        }
        // Heights all off by the same amount point at the header instead;
        // a single differing line is its own explanation.
        if (best.count > 1 && objectHeightExplains(out.input)) return false;
        const std::string how = "does not match the pattern of these parameters (best fitting view distance " +
                                std::to_string(bestDistance) + " mm): expected " + Shown(best.expected);
        if (best.fileEnds) return fail(best.line, "the file ends here; the line " + how);
        return fail(best.line, "the line " + how + ", found " + Shown(best.found));
    }

    // When every row fits another object height, the header's is the line
    // that changed.
    bool objectHeightExplains(PatternInput in)
    {
        const ParameterSpec &spec = Spec(Param::ObjectHeight);
        for (int d : distanceCandidates(in, false)) {
            in.viewDistance = d;
            PatternLists lists;
            BuildPattern(in, lists);
            if (lists.row_heights.empty()) continue;
            // The first row's height line is trunc(object height + Y).
            const double k = std::ceil(static_cast<double>(rows_.front().height) - lists.row_heights.front());
            for (double h = k - 1; h <= k + 1; ++h) {
                if (h < spec.minimum || h > spec.maximum || h == in.objectHeight) continue;
                PatternInput alt = in;
                alt.objectHeight = static_cast<std::int32_t>(h);
                const std::string text = BuildPattern(alt, lists);
                // The header's line is the one difference allowed.
                const Mismatch m = compare(text);
                if (m.count != 1 || m.line != kObjectHeightLine) continue;
                fail(kObjectHeightLine, "object height " + std::to_string(in.objectHeight) +
                                            " does not fit the heights of the rows, which give " +
                                            std::to_string(alt.objectHeight));
                return true;
            }
        }
        return false;
    }

    Steps forced_;
    int ignoredLine_ = 0;
    std::optional<Steps> headerSteps_;
    bool headerFits_ = false;
    int parallels_ = 0, meridians_ = 0;
    int points_ = 0;
    long long total_ = 0;
    std::vector<RowSeen> rows_;
};

// --- 4. the layouts' reader ------------------------------------------------------------

struct PointSeen {
    long long number = 0;
    long long xyz[3] = {0, 0, 0};
    int line = 0;
    std::string_view text; // the line itself, for messages
};

struct LayoutRowSeen {
    long long number = 0, height = 0, distance = 0;
    int line = 0;          // its "row #" line
    std::size_t first = 0; // its points: points[first, first + count)
    std::size_t count = 0;
};

// A layout file as its grammar reads: the search finds what wrote it.
struct LayoutFile {
    PatternInput in;           // the header's three parameters
    std::string along, across; // the angle lines' values, as written
    long long parallels = 0, meridiens = 0;
    std::vector<LayoutRowSeen> rows;
    std::vector<PointSeen> points;
};

class LayoutParser : public LineReader
{
public:
    explicit LayoutParser(std::string_view text) : LineReader(text) {}

    bool header(LayoutFile &f)
    {
        return opening(f.in) && angle("horizontal angle", f.along) && angle("vertical angle", f.across) &&
               count("parallels", f.parallels) && count("meridiens", f.meridiens) && closing();
    }

    // The rows and the total; a row may list no point at all, for a ring
    // whose lights were all left out.
    bool rows(LayoutFile &f)
    {
        for (;;) {
            std::string_view line;
            if (!take(line, f.rows.empty() ? "the first row or the total line" : "the next row or the total line"))
                return false;
            if (StartsWith(line, kTotalLabel)) {
                long long total = 0;
                if (!field(line, kTotalLabel, total)) return false;
                if (lines_.next(line))
                    return fail(lines_.number(), "unexpected text after the total line: " + Shown(line));
                return true;
            }
            if (line != kSeparator)
                return fail(lines_.number(),
                            std::string(f.rows.empty() ? "expected the separator line of the first row"
                                                       : "expected the separator line of the next row") +
                                " or the total line, found " + Shown(line));
            LayoutRowSeen r;
            r.line = lines_.number() + 1;
            if (!fieldLine("row #", r.number)) return false;
            const std::string name = "row # " + std::to_string(r.number);
            if (!blank() || !fieldLine("height", r.height) || !fieldLine("distance", r.distance) || !blank())
                return false;
            r.first = f.points.size();
            for (;;) {
                if (!take(line, "a point of " + name + " or an empty line")) return false;
                if (line.empty()) break;
                PointSeen p;
                p.line = lines_.number();
                p.text = line;
                if (!pointLine(line, p.number, p.xyz))
                    return fail(lines_.number(),
                                "expected a point line 'N]  X  Y  Z' of " + name + ", found " + Shown(line));
                f.points.push_back(p);
            }
            r.count = f.points.size() - r.first;
            if (!blank() || !separator("the separator line that ends " + name)) return false;
            f.rows.push_back(r);
        }
    }

    const AcquisitionError &error() const { return error_; }

private:
    // "%6.2f": digits, a decimal point, two digits.
    bool angle(std::string_view label, std::string &value)
    {
        std::string_view line;
        if (!take(line, "the '" + std::string(label) + "' line")) return false;
        std::string_view v;
        if (StartsWith(line, label) && line.size() > label.size() && line[label.size()] == ' ')
            v = Trim(line.substr(label.size()));
        const std::size_t dot = v.find('.');
        bool ok = dot != std::string_view::npos && dot >= 1 && dot <= 5 && v.size() == dot + 3;
        for (std::size_t k = 0; ok && k < v.size(); ++k)
            ok = k == dot || (v[k] >= '0' && v[k] <= '9');
        if (!ok)
            return fail(lines_.number(), "expected '" + std::string(label) +
                                             "' and an angle in degrees with two decimals such as 10.71, found " +
                                             Shown(line));
        value = std::string(v);
        return true;
    }

    bool count(std::string_view label, long long &value)
    {
        if (!fieldLine(label, value)) return false;
        if (value < 0)
            return fail(lines_.number(), std::string(label) + " " + std::to_string(value) + " is not a count");
        return true;
    }
};

LayoutInput Candidate(LayoutKind kind, int size, int minElevation, bool topLight = true, bool skip = false)
{
    LayoutInput l;
    l.kind = kind;
    if (kind == LayoutKind::Rings) l.rings = size;
    if (kind == LayoutKind::Spiral) l.count = size;
    if (kind == LayoutKind::Geodesic) l.frequency = size;
    l.minElevation = minElevation;
    l.topLight = topLight;
    l.skipFlagged = skip;
    return l;
}

// Whether an angle line holding value is what the generator writes for degrees.
bool Writes(double degrees, std::string_view value) { return Trim(AcquisitionAngle(degrees)) == value; }

// The spiral counts that write the spacing value for one minimum
// elevation: a run of them, [first, last], for the spacing falls as the
// count grows. Empty (first > last) when there is none.
std::pair<int, int> SpiralCounts(int minElevation, std::string_view value)
{
    const ParameterSpec &spec = LayoutSpec(LayoutParam::Count);
    double a = 0;
    if (std::from_chars(value.data(), value.data() + value.size(), a).ec != std::errc()) return {1, 0};
    auto spacing = [minElevation](int n) {
        return NominalSpacing(Candidate(LayoutKind::Spiral, n, minElevation)).along;
    };
    // The first count under the value's upper rounding edge, the last above
    // its lower one, a little wide; then the run's ends by the text itself.
    int lo = spec.minimum, hi = spec.maximum;
    while (lo < hi) {
        const int mid = lo + (hi - lo) / 2;
        if (spacing(mid) < a + 0.006)
            hi = mid;
        else
            lo = mid + 1;
    }
    int first = lo;
    lo = spec.minimum - 1;
    hi = spec.maximum;
    while (lo < hi) {
        const int mid = lo + (hi - lo + 1) / 2;
        if (spacing(mid) > a - 0.006)
            lo = mid;
        else
            hi = mid - 1;
    }
    int last = lo;
    while (first <= last && !Writes(spacing(first), value))
        ++first;
    while (last >= first && !Writes(spacing(last), value))
        --last;
    return {first, last};
}

// How many of the directions, highest first, lie at or above a minimum
// elevation, give or take the layout's own rounding rule: [fewest, most].
std::pair<int, int> CountsAbove(const std::vector<double> &elevations, int minElevation)
{
    const auto above = [&elevations](double e) {
        return static_cast<int>(std::count_if(elevations.begin(), elevations.end(), [e](double x) { return x >= e; }));
    };
    return {above(minElevation + 1e-6), above(minElevation - 1e-6)};
}

std::vector<double> Elevations(const LayoutInput &layout)
{
    std::vector<double> e;
    for (const LayoutDirection &d : LayoutDirections(layout))
        e.push_back(d.elevation);
    return e;
}

// Whether some layout writes the angle and count lines (7 to 10). Only the
// header is looked at: a layout that leaves flagged lights out has fewer
// rows than directions, so there the counts are bounds.
bool HeaderFitsALayout(const LayoutFile &f)
{
    const ParameterSpec &ms = LayoutSpec(LayoutParam::MinElevation);
    const ParameterSpec &rs = LayoutSpec(LayoutParam::Rings);
    for (int r = rs.minimum; r <= rs.maximum; ++r)
        for (int m = ms.minimum; m <= ms.maximum; ++m) {
            const LayoutSpacing s = NominalSpacing(Candidate(LayoutKind::Rings, r, m));
            if (!Writes(s.along, f.along) || !Writes(s.across, f.across)) continue;
            for (bool top : {true, false}) {
                if (f.parallels != r + (top ? 1 : 0)) continue;
                // The widest ring, all lights in.
                std::map<int, long long> perRing;
                for (const LayoutDirection &d : LayoutDirections(Candidate(LayoutKind::Rings, r, m, top)))
                    ++perRing[d.ring];
                long long widest = 0;
                for (const auto &ring : perRing)
                    widest = std::max(widest, ring.second);
                if (f.meridiens <= widest) return true;
            }
        }

    // The spiral and the geodesic dome write one spacing on both lines, and
    // rows of one point.
    if (f.along != f.across || f.meridiens != (f.parallels > 0 ? 1 : 0)) return false;
    for (int m = ms.minimum; m <= ms.maximum; ++m) {
        const std::pair<int, int> n = SpiralCounts(m, f.along);
        if (n.first <= n.second && f.parallels <= n.second) return true;
    }
    const ParameterSpec &fs = LayoutSpec(LayoutParam::Frequency);
    for (int q = fs.minimum; q <= fs.maximum; ++q) {
        const LayoutInput all = Candidate(LayoutKind::Geodesic, q, ms.minimum);
        if (!Writes(NominalSpacing(all).along, f.along)) continue;
        if (f.parallels <= CountsAbove(Elevations(all), ms.minimum).second) return true;
    }
    return false;
}

// The values with the most votes first, the smaller first among equals; a
// few of them.
std::vector<int> MostVoted(std::vector<std::pair<int, int>> votes)
{
    std::stable_sort(votes.begin(), votes.end(), [](const auto &a, const auto &b) { return a.second > b.second; });
    std::vector<int> out;
    for (std::size_t k = 0; k < votes.size() && k < 8; ++k)
        out.push_back(votes[k].first);
    return out;
}

// View distances that put the points where the file shows them: each
// coordinate is truncated, so a point lies in a box one unit wide beside
// its line, at a distance from the centre within a narrow range. Every
// layout places its lights at the view distance. The values most points
// agree on come first, so one damaged line does not hide the right one.
std::vector<int> DistancesFromPoints(const LayoutFile &f)
{
    const ParameterSpec &spec = Spec(Param::ViewDistance);
    std::vector<int> votes(static_cast<std::size_t>(spec.maximum - spec.minimum + 1), 0);
    for (const PointSeen &p : f.points) {
        double lo = 0, hi = 0;
        bool usable = true;
        for (long long v : p.xyz) {
            if (v < -spec.maximum - 1 || v > spec.maximum + 1) usable = false;
            const double a = std::fabs(static_cast<double>(v));
            lo += a * a;
            hi += (a + 1) * (a + 1);
        }
        if (!usable) continue;
        // A margin for the coordinates' single precision.
        const int from = std::max(spec.minimum, static_cast<int>(std::ceil(std::sqrt(lo) - 0.01)));
        const int to = std::min(spec.maximum, static_cast<int>(std::floor(std::sqrt(hi) + 0.01)));
        for (int d = from; d <= to; ++d)
            ++votes[static_cast<std::size_t>(d - spec.minimum)];
    }
    std::vector<std::pair<int, int>> ranked;
    for (std::size_t k = 0; k < votes.size(); ++k)
        if (votes[k] > 0) ranked.emplace_back(spec.minimum + static_cast<int>(k), votes[k]);
    return MostVoted(std::move(ranked));
}

// Line n of the text, without its line end.
std::string LineOf(std::string_view text, int n)
{
    Lines lines(text);
    std::string_view s;
    while (lines.next(s))
        if (lines.number() == n) return std::string(s);
    return {};
}

// How close a candidate came to the file.
struct Trial {
    int line = 0;          // the first line that differs; 0: none but the one left out
    int count = 0;         // lines that differ, when the whole text was compared
    bool whole = false;    // the whole text was compared, and it has the file's number of lines
    bool fileEnds = false; // the file ends where the candidate goes on
    std::string expected, found;
    std::string leftOut; // what the candidate writes on the line left out of the comparison
    bool built = false;  // the candidate passed the cheap checks and was built
    LayoutInput layout;
    int viewDistance = 0;
};

// Which of two candidates points at the damage: one built before one that
// failed the cheap checks (which look at a spread of the rows only); then
// one that writes all the file but one line; between two whole texts of the
// file's length the one with fewer differing lines; otherwise the one that
// fits further.
bool Better(const Trial &a, const Trial &b)
{
    if (a.built != b.built) return a.built;
    const bool aOne = a.whole && a.count == 1, bOne = b.whole && b.count == 1;
    if (aOne != bOne) return aOne;
    if (aOne) return false; // the first found, at the distance most lines gave
    if (a.whole && b.whole && a.count != b.count) return a.count < b.count;
    if (a.line != b.line) return a.line > b.line;
    return a.whole && !b.whole;
}

Trial Compare(std::string_view generated, std::string_view file, int leftOut)
{
    Trial t;
    Lines want(generated), got(file);
    for (int n = 1;; ++n) {
        std::string_view w, g;
        const bool hasW = want.next(w), hasG = got.next(g);
        if (!hasW && !hasG) break;
        if (hasW && hasG && w == g) continue;
        if (n == leftOut && hasW && hasG) {
            t.leftOut = std::string(w);
            continue;
        }
        if (t.count++ == 0) {
            t.line = n;
            t.expected = hasW ? std::string(w) : std::string();
            t.found = hasG ? std::string(g) : std::string();
            t.fileEnds = !hasG;
        }
    }
    t.whole = want.number() == got.number();
    return t;
}

// Candidates in a fixed order: rings, spiral, geodesic; within each, the
// options from the smallest, the lights all in before the flagged left out.
// Cheap checks on the header and the points come first; a candidate that
// passes them is built and compared with the file line by line. With a
// line left out (one of the angle lines or the parallels), that line is
// neither used to choose candidates nor compared: a fit then shows it is
// the one line that changed.
class LayoutSearch
{
public:
    LayoutSearch(const LayoutFile &f, std::string_view text, int leftOut, const std::vector<int> &distances,
                 std::size_t &budget)
        : f_(f), text_(text), leftOut_(leftOut), distances_(distances), budget_(budget)
    {
        for (const LayoutRowSeen &r : f_.rows) {
            lastButOne_ = std::max(lastButOne_, std::min(lastRow_, r.number));
            lastRow_ = std::max(lastRow_, r.number);
        }
        // Without points, any distance may have left every light out: the
        // default first, then the farthest.
        if (distances_.empty()) fallback_ = {Spec(Param::ViewDistance).defaultValue, Spec(Param::ViewDistance).maximum};
    }

    bool run() { return rings() || spiral() || geodesic(); }

    AcquisitionRead read; // when run() is true
    Trial accepted;       // when run() is true: with what the layout writes on the line left out
    std::optional<Trial> best;

private:
    const std::vector<int> &distances() const { return distances_.empty() ? fallback_ : distances_; }

    bool fitsAngles(const LayoutInput &c) const
    {
        const LayoutSpacing s = NominalSpacing(c);
        return (leftOut_ == kHorizontalAngleLine || Writes(s.along, f_.along)) &&
               (leftOut_ == kHorizontalAngleLine + 1 || Writes(s.across, f_.across));
    }

    bool fitsParallels(long long rows) const
    {
        return leftOut_ == kParallelsLine ? static_cast<long long>(f_.rows.size()) == rows : f_.parallels == rows;
    }

    void consider(Trial t)
    {
        if (!best || Better(t, *best)) best = std::move(t);
    }

    void miss(const LayoutInput &c, int d, int line, std::string expected, std::string found)
    {
        Trial t;
        t.line = line;
        t.expected = std::move(expected);
        t.found = std::move(found);
        t.layout = c;
        t.viewDistance = d;
        consider(std::move(t));
    }

    // Builds the candidate and compares it with the file.
    bool attempt(const LayoutInput &c, int d)
    {
        if (budget_ == 0) return false;
        PatternInput in = f_.in;
        in.viewDistance = d;
        PatternLists lists;
        const std::string text = BuildLayout(in, c, lists);
        // The text and the directions behind it, those left out included.
        const std::size_t directions = c.kind == LayoutKind::Spiral     ? static_cast<std::size_t>(c.count)
                                       : c.kind == LayoutKind::Geodesic ? 10u * c.frequency * c.frequency / 2 + 1
                                                                        : lists.positions.size();
        budget_ -= std::min(budget_, text.size() + 256 * directions);
        Trial t = Compare(text, text_, leftOut_);
        t.built = true;
        t.layout = c;
        t.viewDistance = d;
        if (t.count == 0) {
            read.ok = true;
            read.input = in;
            read.layout = c;
            read.lists = std::move(lists);
            accepted = std::move(t);
            return true;
        }
        consider(std::move(t));
        return false;
    }

    // Without points, each ring's distance line gives the view distance: it
    // is the ring's radius, the view distance times a cosine that a probe
    // at 1000 mm shows. The values most rows agree on first.
    std::vector<int> ringDistances(const LayoutInput &c) const
    {
        const ParameterSpec &spec = Spec(Param::ViewDistance);
        PatternInput in = f_.in;
        in.viewDistance = 1000;
        PatternLists probe;
        BuildLayout(in, c, probe);
        std::map<int, int> votes;
        for (const LayoutRowSeen &r : f_.rows) {
            if (r.number < 0 || r.number >= static_cast<long long>(probe.row_distances.size())) continue;
            const double k = probe.row_distances[static_cast<std::size_t>(r.number)] / 1000.0;
            if (k < 0.05 || r.distance < 0 || r.distance > spec.maximum) continue;
            const double lo = std::max<double>(spec.minimum, static_cast<double>(r.distance) / k - 0.01);
            const double hi = std::min<double>(spec.maximum, static_cast<double>(r.distance + 1) / k + 0.01);
            for (double d = std::ceil(lo); d <= hi; ++d)
                ++votes[static_cast<int>(d)];
        }
        if (votes.empty()) return fallback_;
        return MostVoted(std::vector<std::pair<int, int>>(votes.begin(), votes.end()));
    }

    bool rings()
    {
        const ParameterSpec &rs = LayoutSpec(LayoutParam::Rings), &ms = LayoutSpec(LayoutParam::MinElevation);
        for (int r = rs.minimum; r <= rs.maximum; ++r)
            for (int m = ms.minimum; m <= ms.maximum; ++m) {
                if (!fitsAngles(Candidate(LayoutKind::Rings, r, m))) continue;
                for (bool top : {true, false}) {
                    if (!fitsParallels(r + (top ? 1 : 0))) continue;
                    for (bool skip : {false, true}) {
                        const LayoutInput c = Candidate(LayoutKind::Rings, r, m, top, skip);
                        for (int d : f_.points.empty() ? ringDistances(c) : distances())
                            if (attempt(c, d)) return true;
                    }
                }
            }
        return false;
    }

    // The rows of a spiral or a geodesic dome are numbered by the place of
    // their direction: never below 0.
    bool rowNumbersUsable(const LayoutInput &c)
    {
        for (const LayoutRowSeen &r : f_.rows)
            if (r.number < 0) {
                miss(c, 0, r.line, "a row number of 0 or more", LineOf(text_, r.line));
                return false;
            }
        return true;
    }

    // Whether the point of each listed row, or of a spread of them, lies
    // where position(row number) puts it, but for one at most: a damaged
    // line leaves the right candidate one point off, and its comparison
    // with the file then names that line. Otherwise the first that is off
    // is kept.
    template <class Position> bool pointsNearlyFit(const LayoutInput &c, int d, Position position, bool everyRow)
    {
        const std::size_t n = f_.rows.size();
        const std::size_t step = everyRow ? 1 : std::max<std::size_t>(1, n / 16);
        Trial first;
        for (std::size_t k = 0; k < n; ++k) {
            if (k % step != 0 && k + 2 < n) continue;
            const LayoutRowSeen &r = f_.rows[k];
            const nuk::Point3f q = position(static_cast<int>(r.number));
            // A row of one point, that point where the candidate has it.
            const PointSeen *p = r.count == 1 ? &f_.points[r.first] : nullptr;
            if (p && p->number == 0 && p->xyz[0] == Trunc(q.x) && p->xyz[1] == Trunc(q.y) && p->xyz[2] == Trunc(q.z))
                continue;
            if (first.count++ == 0) {
                if (p) {
                    first.line = p->line;
                    first.expected = AcquisitionPointLine(0, q);
                    first.found = std::string(p->text);
                } else if (r.count == 0) {
                    first.line = r.line + 4; // where its point is due, after the height and distance lines
                    first.expected = AcquisitionPointLine(0, q);
                } else {
                    first.line = f_.points[r.first + 1].line;
                    first.found = std::string(f_.points[r.first + 1].text);
                }
            } else {
                first.layout = c;
                first.viewDistance = d;
                consider(std::move(first));
                return false;
            }
        }
        return true;
    }

    // With the flagged lights left out, every listed direction is unflagged
    // and every one missing from the rows flagged, but for two at most: a
    // damaged row number moves one row, and the right candidate's
    // comparison with the file then names its line. The last row and those
    // after it first, where a wrong candidate shows soonest.
    template <class Flagged> bool leftOutAreFlagged(long long directions, Flagged flagged) const
    {
        int off = 0;
        auto wrong = [&off](bool w) { return w && ++off > 2; };
        if (lastRow_ >= 0 && lastRow_ < directions && wrong(flagged(static_cast<int>(lastRow_)))) return false;
        for (long long i = lastRow_ + 1; i < directions; ++i)
            if (wrong(!flagged(static_cast<int>(i)))) return false;
        long long i = 0;
        for (const LayoutRowSeen &r : f_.rows) {
            if (r.number == lastRow_) break;
            for (; i < r.number && i < directions; ++i)
                if (wrong(!flagged(static_cast<int>(i)))) return false;
            if (r.number < directions && wrong(flagged(static_cast<int>(r.number)))) return false;
            i = std::max(i, r.number + 1);
        }
        for (; i < lastRow_ && i < directions; ++i)
            if (wrong(!flagged(static_cast<int>(i)))) return false;
        return true;
    }

    bool flaggedAt(const nuk::Point3f &p, const PatternInput &in) const
    {
        return SetUpFlags(nuk::Point3d(p.x, p.y, p.z), in.objectHeight, in.cameraDistance) != 0;
    }

    // The counts, for one minimum elevation, that put the spiral's direction
    // of a listed row where the file has it: the spiral's directions rise
    // with the count, so these are a run.
    std::pair<int, int> countsForRow(const LayoutRowSeen &r, int m, int d) const
    {
        const ParameterSpec &spec = LayoutSpec(LayoutParam::Count);
        if (r.count == 0 || r.number + 1 > spec.maximum) return {1, 0};
        const int low = static_cast<int>(std::max<long long>(spec.minimum, r.number + 1));
        const long long z = f_.points[r.first].xyz[2];
        const int index = static_cast<int>(r.number);
        auto shown = [&](int n) {
            return Trunc(LayoutPosition(SpiralDirection(Candidate(LayoutKind::Spiral, n, m), index), d).z);
        };
        int lo = low, hi = spec.maximum;
        while (lo < hi) {
            const int mid = lo + (hi - lo) / 2;
            if (shown(mid) >= z)
                hi = mid;
            else
                lo = mid + 1;
        }
        const int first = lo;
        lo = low - 1;
        hi = spec.maximum;
        while (lo < hi) {
            const int mid = lo + (hi - lo + 1) / 2;
            if (shown(mid) <= z)
                lo = mid;
            else
                hi = mid - 1;
        }
        return {first, lo};
    }

    bool spiral()
    {
        const ParameterSpec &ms = LayoutSpec(LayoutParam::MinElevation);
        // The spiral writes its spacing on both angle lines: the counts that
        // give it first, then those that put the last rows where they are.
        if (leftOut_ != kHorizontalAngleLine && leftOut_ != kHorizontalAngleLine + 1 && f_.along != f_.across)
            return false;
        const std::string &value = leftOut_ == kHorizontalAngleLine ? f_.across : f_.along;
        std::vector<std::pair<int, int>> spaced;
        for (int m = ms.minimum; m <= ms.maximum; ++m)
            spaced.push_back(SpiralCounts(m, value));
        if (f_.rows.empty()) return emptySpiral(spaced);
        if (!rowNumbersUsable(Candidate(LayoutKind::Spiral, 1, ms.minimum))) return false;
        for (int d : distances())
            for (int m = ms.minimum; m <= ms.maximum; ++m) {
                const std::pair<int, int> &bySpacing = spaced[static_cast<std::size_t>(m - ms.minimum)];
                if (bySpacing.first > bySpacing.second) continue;
                // The last two rows with a point each give a run of counts;
                // one of them may be the damaged line.
                std::pair<int, int> runs[2] = {{1, 0}, {1, 0}};
                for (std::size_t k = f_.rows.size(), found = 0; k-- > 0 && found < 2;)
                    if (f_.rows[k].count > 0) runs[found++] = countsForRow(f_.rows[k], m, d);
                for (int k = 0; k < 2; ++k) {
                    const int from = std::max(runs[k].first, bySpacing.first);
                    const int to = std::min(runs[k].second, bySpacing.second);
                    for (int n = from; n <= to; ++n) {
                        if (k == 1 && n >= runs[0].first && n <= runs[0].second) continue;
                        if (trySpiral(n, m, d)) return true;
                    }
                }
            }
        return false;
    }

    bool trySpiral(int n, int m, int d)
    {
        const LayoutInput c = Candidate(LayoutKind::Spiral, n, m);
        if (!fitsAngles(c)) return false;
        // A row beyond the count (a damaged number) is nowhere near.
        auto position = [&c, d](int i) {
            return i < c.count ? LayoutPosition(SpiralDirection(c, i), d) : nuk::Point3f(1e9f, 1e9f, 1e9f);
        };
        if (!pointsNearlyFit(c, d, position, false)) return false;
        if (fitsParallels(n) && attempt(c, d)) return true;
        PatternInput in = f_.in;
        LayoutInput skipping = c;
        skipping.skipFlagged = true;
        if (!leftOutAreFlagged(n, [&](int i) { return flaggedAt(position(i), in); })) return false;
        return attempt(skipping, d);
    }

    // No row at all: a spiral whose every light was left out. Its count
    // shows only in the spacing.
    bool emptySpiral(const std::vector<std::pair<int, int>> &spaced)
    {
        const ParameterSpec &ms = LayoutSpec(LayoutParam::MinElevation);
        if (!fitsParallels(0)) return false;
        for (int m = ms.minimum; m <= ms.maximum; ++m) {
            const std::pair<int, int> &counts = spaced[static_cast<std::size_t>(m - ms.minimum)];
            for (int n = counts.first; n <= counts.second; ++n) {
                const LayoutInput c = Candidate(LayoutKind::Spiral, n, m, true, true);
                if (!fitsAngles(c)) continue;
                for (int d : distances()) {
                    const PatternInput in = f_.in;
                    auto flagged = [&](int i) { return flaggedAt(LayoutPosition(SpiralDirection(c, i), d), in); };
                    if (leftOutAreFlagged(n, flagged) && attempt(c, d)) return true;
                }
            }
        }
        return false;
    }

    // The geodesic dome of one frequency keeps a vertex's place in the
    // shooting order whatever the minimum elevation, which only cuts the
    // list short: the dome with every vertex in front of the base plane
    // shows where each row's point must be.
    bool geodesic()
    {
        const ParameterSpec &fs = LayoutSpec(LayoutParam::Frequency), &ms = LayoutSpec(LayoutParam::MinElevation);
        for (int q = fs.minimum; q <= fs.maximum; ++q) {
            const LayoutInput all = Candidate(LayoutKind::Geodesic, q, ms.minimum);
            if (!fitsAngles(all) || !rowNumbersUsable(all)) continue;
            const std::vector<double> elevations = Elevations(all);
            for (int d : distances()) {
                PatternInput in = f_.in;
                in.viewDistance = d;
                PatternLists every;
                BuildLayout(in, all, every);
                const std::vector<nuk::Point3f> &at = every.positions;
                if (lastRow_ >= static_cast<long long>(at.size())) {
                    miss(all, d, f_.rows.back().line, "at most row # " + std::to_string(at.size() - 1),
                         LineOf(text_, f_.rows.back().line));
                    continue;
                }
                auto position = [&at](int i) { return at[static_cast<std::size_t>(i)]; };
                if (!pointsNearlyFit(all, d, position, true)) continue;
                std::vector<bool> flagged;
                for (const nuk::Point3f &p : at)
                    flagged.push_back(flaggedAt(p, in));
                int tried[2] = {-1, -1}; // vertex counts already built, lights all in and flagged left out
                for (int m = ms.minimum; m <= ms.maximum; ++m) {
                    const std::pair<int, int> counts = CountsAbove(elevations, m);
                    if (lastButOne_ >= counts.second) break;
                    for (int skip = 0; skip < 2; ++skip) {
                        const LayoutInput c = Candidate(LayoutKind::Geodesic, q, m, true, skip == 1);
                        // Minimum elevations that keep the same vertices write the same file.
                        if (counts.first == counts.second && tried[skip] == counts.first) continue;
                        if (!fitsAngles(c)) continue;
                        if (skip == 0 && leftOut_ != kParallelsLine &&
                            (f_.parallels < counts.first || f_.parallels > counts.second))
                            continue;
                        if (skip == 1 && !leftOutAreFlagged(counts.first, [&flagged](int i) {
                                return flagged[static_cast<std::size_t>(i)];
                            }))
                            continue;
                        if (counts.first == counts.second) tried[skip] = counts.first;
                        if (attempt(c, d)) return true;
                    }
                }
            }
        }
        return false;
    }

    const LayoutFile &f_;
    std::string_view text_;
    int leftOut_;
    const std::vector<int> &distances_;
    std::vector<int> fallback_;
    std::size_t &budget_;
    long long lastRow_ = -1, lastButOne_ = -1; // the largest row numbers
};

// What the candidates of one file may build, in bytes of text and 256 a
// direction: a dozen of the largest layouts, thousands of the small ones.
// A file the generator wrote needs a few; this bounds the time a damaged
// or foreign file takes.
constexpr std::size_t kSearchBudget = 64u << 20;

std::string Described(const Trial &t)
{
    return LayoutDescription(t.layout) + ", view distance " + std::to_string(t.viewDistance) + " mm";
}

AcquisitionError TrialError(const Trial &t)
{
    const std::string layout = t.viewDistance > 0 ? " (" + Described(t) + ")" : "";
    AcquisitionError e;
    e.line = t.line;
    if (t.fileEnds)
        e.message = "the file ends here; the layout that fits it best" + layout + " goes on with " + Shown(t.expected);
    else if (t.expected.empty())
        e.message = "the layout that fits the file best" + layout + " ends before this line: " + Shown(t.found);
    else
        e.message = "the line does not match the layout that fits the file best" + layout + ": expected " +
                    Shown(t.expected) + ", found " + Shown(t.found);
    return e;
}

// One header line that the rest of the file contradicts.
AcquisitionError OneLineError(int line, const std::string &found, const std::string &expected, const Trial &t)
{
    AcquisitionError e;
    e.line = line;
    // "horizontal angle" and its value, as both lines spell them.
    const std::size_t gap = found.find("  ");
    const std::string label = found.substr(0, std::min(gap, found.size()));
    const std::string value = std::string(Trim(std::string_view(found).substr(label.size())));
    const std::string written =
        std::string(Trim(std::string_view(expected).substr(std::min(label.size(), expected.size()))));
    e.message =
        label + " " + value + " does not fit the rest of the file, which gives " + written + " (" + Described(t) + ")";
    return e;
}

// Object heights the first row's height line could have been made with:
// a ring's height line is the object height itself, a spiral's or a dome's
// the object height plus the point's height above the centre.
std::vector<std::int32_t> HeightsFromFirstRow(const LayoutFile &f)
{
    std::vector<std::int32_t> out;
    if (f.rows.empty()) return out;
    const LayoutRowSeen &r = f.rows.front();
    const ParameterSpec &spec = Spec(Param::ObjectHeight);
    std::vector<long long> tries = {r.height};
    if (r.count > 0)
        for (long long k = -2; k <= 2; ++k)
            tries.push_back(r.height - f.points[r.first].xyz[1] + k);
    for (long long h : tries)
        if (h >= spec.minimum && h <= spec.maximum && h != f.in.objectHeight &&
            std::find(out.begin(), out.end(), h) == out.end())
            out.push_back(static_cast<std::int32_t>(h));
    return out;
}

struct LayoutOutcome {
    AcquisitionRead read;
    bool structural = false; // the grammar itself failed
    bool headerFits = false; // some layout writes the angle and count lines
    bool explained = false;  // one changed line explains the failure
};

LayoutOutcome ReadLayout(std::string_view text)
{
    LayoutOutcome out;
    LayoutFile f;
    LayoutParser parser(text);
    if (!parser.header(f)) {
        out.read.error = parser.error();
        out.structural = true;
        return out;
    }
    out.headerFits = HeaderFitsALayout(f);
    if (!parser.rows(f)) {
        out.read.error = parser.error();
        out.structural = true;
        return out;
    }
    const std::vector<int> distances = DistancesFromPoints(f);
    std::size_t budget = kSearchBudget;
    std::optional<Trial> best;
    if (out.headerFits) {
        LayoutSearch strict(f, text, 0, distances, budget);
        if (strict.run()) {
            out.read = std::move(strict.read);
            return out;
        }
        best = strict.best;
        // One line off, the rest as a layout writes it: that line is the damage.
        if (best && best->whole && best->count == 1) {
            const bool header = best->line >= kHorizontalAngleLine && best->line <= kParallelsLine + 1;
            out.read.error = header ? OneLineError(best->line, best->found, best->expected, *best) : TrialError(*best);
            out.explained = true;
            return out;
        }
    }
    // A changed angle, parallels or meridiens line hides the layout from
    // the candidates, or from the comparison: each left out in turn.
    for (int line : {kHorizontalAngleLine, kHorizontalAngleLine + 1, kParallelsLine, kParallelsLine + 1}) {
        LayoutSearch search(f, text, line, distances, budget);
        if (!search.run()) continue;
        out.read.error = OneLineError(line, LineOf(text, line), search.accepted.leftOut, search.accepted);
        out.explained = true;
        return out;
    }
    // A changed object height moves every row's height line: the first
    // row's gives the height it was made with, within a few units.
    for (std::int32_t height : HeightsFromFirstRow(f)) {
        LayoutFile other = f;
        other.in.objectHeight = height;
        LayoutSearch search(other, text, kObjectHeightLine, distances, budget);
        if (!search.run()) continue;
        out.read.error.line = kObjectHeightLine;
        out.read.error.message = "object height " + std::to_string(f.in.objectHeight) +
                                 " does not fit the heights of the rows, which give " + std::to_string(height);
        out.explained = true;
        return out;
    }
    if (best) {
        out.read.error = TrialError(*best);
    } else {
        out.read.error.line = f.rows.empty() ? 17 : f.rows.front().line;
        out.read.error.message = "no layout with the header's angles and counts lists these rows";
    }
    return out;
}

// A suggested plan's file: one row per position, written where the plan
// holds them. Its positions are whole millimetres, so the file gives them
// exactly; it is one when the plan of those positions writes it again line
// for line (which also checks the shooting order and the angle lines).
AcquisitionRead ReadSuggested(std::string_view text)
{
    AcquisitionRead r;
    LayoutFile f;
    LayoutParser parser(text);
    if (!parser.header(f) || !parser.rows(f) || f.rows.empty() || f.meridiens != 1) return r;
    if (f.points.size() != f.rows.size() || f.points.size() > kMaxSuggestedPositions) return r;
    LayoutInput layout;
    layout.kind = LayoutKind::Suggested;
    double sum = 0;
    const ParameterSpec &vd = Spec(Param::ViewDistance);
    for (const PointSeen &p : f.points) {
        for (long long v : p.xyz)
            if (v < -vd.maximum - 1 || v > vd.maximum + 1) return r;
        const nuk::Point3f q(static_cast<float>(p.xyz[0]), static_cast<float>(p.xyz[1]), static_cast<float>(p.xyz[2]));
        sum += std::sqrt(double(q.x) * q.x + double(q.y) * q.y + double(q.z) * q.z);
        layout.positions.push_back(q);
    }
    // The file does not hold the view distance; the positions' mean distance
    // stands for it (the candidates were all at it).
    PatternInput in = f.in;
    in.viewDistance = std::clamp(static_cast<int>(std::lround(sum / double(f.points.size()))),
                                 static_cast<int>(vd.minimum), static_cast<int>(vd.maximum));
    PatternLists lists;
    const std::string written = BuildLayout(in, layout, lists);
    const Trial t = Compare(written, text, 0);
    if (t.count != 0 || !t.whole) return r;
    r.ok = true;
    r.input = in;
    r.layout = std::move(layout);
    r.lists = std::move(lists);
    return r;
}

} // namespace

// --- 5. reading a file back ---------------------------------------------------------

namespace
{

// The grid's reading, and whether its answer stands: the header's counts
// follow from its angles, or one changed angle line explains the file.
AcquisitionRead ReadGrid(std::string_view text, bool &decisive)
{
    GridParser parser(text);
    AcquisitionRead r = parser.run();
    decisive = r.ok || parser.headerFits();
    const std::optional<GridParser::Steps> steps = parser.headerSteps();
    if (r.ok || !steps) return r;
    // One changed angle line leaves the rest of the file true to the old
    // angle; an angle that gives the written count and fits every other
    // line shows which line changed.
    const int counts[] = {steps->meridians, steps->parallels};
    for (int axis = 0; axis < 2; ++axis) {
        const int given = axis == 0 ? steps->horizontal : steps->vertical;
        for (int step = Spec(Param::HorizontalStep).minimum; step <= Spec(Param::HorizontalStep).maximum; ++step) {
            if (step == given || CountFor(step) != counts[axis]) continue;
            if (!GridParser(text, axis == 0 ? step : 0, axis == 1 ? step : 0).run().ok) continue;
            r.error.line = kHorizontalAngleLine + axis;
            r.error.message = std::string(axis == 0 ? "horizontal" : "vertical") + " angle " + std::to_string(given) +
                              ".00 does not fit the " + (axis == 0 ? "points" : "rows") +
                              " of the file, which were made with " + std::to_string(step) + ".00";
            decisive = true;
            return r;
        }
    }
    return r;
}

} // namespace

AcquisitionRead ReadAcquisition(std::string_view text)
{
    bool decisive = false;
    AcquisitionRead grid = ReadGrid(text, decisive);
    if (decisive) return grid;
    // Not a grid's header: a layout's, perhaps. Its answer stands when some
    // layout writes its header or one changed line explains it; otherwise
    // the file is no nearer a layout than a grid, and the grid's answer,
    // the plainer one, is given.
    LayoutOutcome layout = ReadLayout(text);
    if (layout.read.ok) return std::move(layout.read);
    // No layout writes it: the positions of a suggested plan, perhaps.
    if (AcquisitionRead suggested = ReadSuggested(text); suggested.ok) return suggested;
    if (layout.headerFits || layout.explained) return std::move(layout.read);
    // A fault in the grammar is where it is, whatever the kind of file; the
    // grid's reader stops at an angle line that is no grid's.
    if (layout.structural && layout.read.error.line > grid.error.line) return std::move(layout.read);
    return grid;
}

AcquisitionRead ReadAcquisitionFile(const std::string &path)
{
    AcquisitionRead r;
    auto failed = [&](const std::string &why) {
        r.error.line = 0;
        r.error.message = "cannot read " + path + ": " + why;
        return r;
    };
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) return failed(std::strerror(errno));
    if (S_ISDIR(st.st_mode)) return failed(std::strerror(EISDIR));
    if (!S_ISREG(st.st_mode)) return failed("not a regular file");
    const std::string tooLarge =
        "larger than any acquisition file (" + std::to_string(kMaxAcquisitionFileSize >> 20) + " MB)";
    if (static_cast<unsigned long long>(st.st_size) > kMaxAcquisitionFileSize) return failed(tooLarge);
    std::FILE *f = std::fopen(path.c_str(), "rb");
    if (!f) return failed(std::strerror(errno));
    std::string text;
    char buf[65536];
    std::size_t n = 0;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) {
        if (text.size() + n > kMaxAcquisitionFileSize) {
            std::fclose(f);
            return failed(tooLarge);
        }
        text.append(buf, n);
    }
    const bool readError = std::ferror(f) != 0;
    std::fclose(f);
    if (readError) return failed(std::strerror(EIO));
    r = ReadAcquisition(text);
    return r;
}

} // namespace planner
