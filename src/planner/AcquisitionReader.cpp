#include "planner/AcquisitionReader.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <optional>
#include <vector>

#include <sys/stat.h>

#include "planner/Parameters.h"

namespace planner
{

std::string AcquisitionError::text(const std::string &path) const
{
    // A file that could not be read at all is named in the message itself.
    if (line <= 0) return message;
    return (path.empty() ? "line " : path + ", line ") + std::to_string(line) + ": " + message;
}

namespace
{

const std::string_view kSeparator = "---------------------------------------------------";
const std::string_view kTitle = "PTM ACQUISITION PATTERN";
const std::string_view kOrderLine = "rows from bottom to top. points from left to right";
constexpr double kPi = 3.14159265358979323846;
constexpr int kHorizontalAngleLine = 7; // and the vertical one below it

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

struct RowSeen {
    int number = 0;
    long long height = 0, distance = 0;
    int distanceLine = 0;
};

class Parser
{
public:
    struct Steps {
        int horizontal = 0, vertical = 0;
        int meridians = 0, parallels = 0; // as written; 0 until read
    };

    explicit Parser(std::string_view text) : text_(text), lines_(text) {}
    // A step given here replaces the header's, whose line must still be a
    // valid angle and is then left out of the comparison: how a changed
    // angle line is told from damaged rows.
    Parser(std::string_view text, int horizontal, int vertical) : text_(text), lines_(text)
    {
        forced_.horizontal = horizontal;
        forced_.vertical = vertical;
        ignoredLine_ = horizontal > 0 ? kHorizontalAngleLine : vertical > 0 ? kHorizontalAngleLine + 1 : 0;
    }

    // The header's steps and counts, once both angle lines were read.
    std::optional<Steps> headerSteps() const { return headerSteps_; }

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

    // "%6.2f" of a whole number of degrees: "15.00".
    bool angle(std::string_view label, Param p, int forced, int &out)
    {
        std::string_view line;
        if (!take(line, "the '" + std::string(label) + "' line")) return false;
        const std::string bad =
            "expected '" + std::string(label) + "' and a whole number of degrees such as 15.00, found " + Shown(line);
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
        std::string_view line;
        if (!lines_.next(line) || line != kTitle)
            return fail(1, "not an acquisition file: the first line must be '" + std::string(kTitle) + "'");
        if (!blank() || !separator("the separator line") || !parameter("object size", Param::ObjectSize, in.objectSize))
            return false;
        objectHeightLine_ = lines_.number() + 1;
        if (!parameter("object height", Param::ObjectHeight, in.objectHeight) ||
            !parameter("camera distance", Param::CameraDistance, in.cameraDistance) ||
            !angle("horizontal angle", Param::HorizontalStep, forced_.horizontal, in.horizontalStep) ||
            !angle("vertical angle", Param::VerticalStep, forced_.vertical, in.verticalStep))
            return false;
        headerSteps_ = Steps{in.horizontalStep, in.verticalStep, 0, 0};
        const int verticalLine = lines_.number();
        return count("parallels", in.verticalStep, "vertical angle", verticalLine, headerSteps_->parallels,
                     parallels_) &&
               count("meridiens", in.horizontalStep, "horizontal angle", verticalLine - 1, headerSteps_->meridians,
                     meridians_) &&
               blank() && separator("the separator line") && blank() &&
               exact(kOrderLine, "'" + std::string(kOrderLine) + "'") && blank() && blank();
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

    // "%3i]  % 6i  % 6i  % 6i".
    static bool pointLine(std::string_view line, long long &number)
    {
        const std::size_t bracket = line.find(']');
        if (bracket == std::string_view::npos) return false;
        const std::optional<long long> n = ParseWhole(Trim(line.substr(0, bracket)));
        if (!n) return false;
        std::string_view rest = line.substr(bracket + 1);
        for (int k = 0; k < 3; ++k) {
            rest = Trim(rest);
            const std::size_t end = std::min(rest.find(' '), rest.size());
            if (end == 0 || !ParseWhole(rest.substr(0, end))) return false;
            rest = rest.substr(end);
        }
        if (!Trim(rest).empty()) return false;
        number = *n;
        return true;
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
                if (m.count != 1 || m.line != objectHeightLine_) continue;
                fail(objectHeightLine_, "object height " + std::to_string(in.objectHeight) +
                                            " does not fit the heights of the rows, which give " +
                                            std::to_string(alt.objectHeight));
                return true;
            }
        }
        return false;
    }

    std::string_view text_;
    Lines lines_;
    Steps forced_;
    int ignoredLine_ = 0;
    std::optional<Steps> headerSteps_;
    int objectHeightLine_ = 0;
    AcquisitionError error_;
    int parallels_ = 0, meridians_ = 0;
    int points_ = 0;
    long long total_ = 0;
    std::vector<RowSeen> rows_;
};

} // namespace

AcquisitionRead ReadAcquisition(std::string_view text)
{
    Parser parser(text);
    AcquisitionRead r = parser.run();
    const std::optional<Parser::Steps> steps = parser.headerSteps();
    if (r.ok || !steps) return r;
    // One changed angle line leaves the rest of the file true to the old
    // angle; an angle that gives the written count and fits every other
    // line shows which line changed.
    const int counts[] = {steps->meridians, steps->parallels};
    for (int axis = 0; axis < 2; ++axis) {
        const int given = axis == 0 ? steps->horizontal : steps->vertical;
        for (int step = Spec(Param::HorizontalStep).minimum; step <= Spec(Param::HorizontalStep).maximum; ++step) {
            if (step == given || CountFor(step) != counts[axis]) continue;
            if (!Parser(text, axis == 0 ? step : 0, axis == 1 ? step : 0).run().ok) continue;
            r.error.line = kHorizontalAngleLine + axis;
            r.error.message = std::string(axis == 0 ? "horizontal" : "vertical") + " angle " + std::to_string(given) +
                              ".00 does not fit the " + (axis == 0 ? "points" : "rows") +
                              " of the file, which were made with " + std::to_string(step) + ".00";
            return r;
        }
    }
    return r;
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
