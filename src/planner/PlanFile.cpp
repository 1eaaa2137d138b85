#include "planner/PlanFile.h"

#include <cerrno>
#include <cmath>
#include <cstring>
#include <fstream>
#include <sstream>

#include <nlohmann/json.hpp>

#include "planner/Parameters.h"

namespace planner
{
namespace
{

using Json = nlohmann::ordered_json;

// Deeper nesting than a plan has is refused before parsing, so that no
// document can take the parser, or a later save, deep into the stack.
constexpr int kMaxDepth = 64;

bool TooDeep(std::string_view text)
{
    int depth = 0;
    bool inString = false, escaped = false;
    for (const char c : text) {
        if (inString) {
            if (escaped)
                escaped = false;
            else if (c == '\\')
                escaped = true;
            else if (c == '"')
                inString = false;
            continue;
        }
        if (c == '"')
            inString = true;
        else if (c == '{' || c == '[') {
            if (++depth > kMaxDepth) return true;
        } else if (c == '}' || c == ']')
            --depth;
    }
    return false;
}

struct Failure {
    PlanProblem problem;
};

[[noreturn]] void Fail(std::string key, std::string reason) { throw Failure{{std::move(key), std::move(reason)}}; }

const char *TypeName(const Json &j)
{
    if (j.is_null()) return "null";
    if (j.is_boolean()) return "true or false";
    if (j.is_number()) return "a number";
    if (j.is_string()) return "text";
    if (j.is_array()) return "a list";
    return "an object";
}

// One section of the document: an object whose keys are read one by one.
class Section
{
public:
    Section(const Json &doc, const char *name) : name_(name)
    {
        const auto it = doc.find(name);
        if (it == doc.end() || it->is_null()) return;
        if (!it->is_object()) Fail(name, std::string("must be an object, got ") + TypeName(*it));
        j_ = &*it;
    }
    bool present() const { return j_ != nullptr; }

    void whole(const char *key, const ParameterSpec &spec, int &out) const
    {
        const Json *v = find(key);
        if (!v) return;
        const std::string k = name_ + "." + key;
        if (!v->is_number_integer()) Fail(k, MustText(spec) + ", got " + Shown(*v));
        if (v->is_number_unsigned() ? v->get<std::uint64_t>() > static_cast<std::uint64_t>(spec.maximum)
                                    : (v->get<std::int64_t>() < spec.minimum || v->get<std::int64_t>() > spec.maximum))
            Fail(k, MustText(spec) + ", got " + v->dump());
        out = static_cast<int>(v->get<std::int64_t>());
    }
    void number(const char *key, Value id, double &out) const
    {
        const Json *v = find(key);
        if (!v) return;
        const std::string k = name_ + "." + key;
        if (!v->is_number() || !WithinLimits(Spec(id), v->get<double>()))
            Fail(k, MustText(Spec(id)) + ", got " + Shown(*v));
        out = v->get<double>();
    }
    void flag(const char *key, bool &out) const
    {
        const Json *v = find(key);
        if (!v) return;
        if (!v->is_boolean()) Fail(name_ + "." + key, std::string("must be true or false, got ") + Shown(*v));
        out = v->get<bool>();
    }
    void text(const char *key, std::string &out) const
    {
        const Json *v = find(key);
        if (!v) return;
        if (!v->is_string()) Fail(name_ + "." + key, std::string("must be text, got ") + Shown(*v));
        out = v->get<std::string>();
    }

    static std::string Shown(const Json &v)
    {
        if (v.is_structured()) return TypeName(v);
        std::string s = v.dump();
        if (s.size() > 40) s = s.substr(0, 37) + "...";
        return s;
    }

private:
    const Json *find(const char *key) const
    {
        if (!j_) return nullptr;
        const auto it = j_->find(key);
        return it == j_->end() ? nullptr : &*it;
    }
    std::string name_;
    const Json *j_ = nullptr;
};

// layout.positions: [[x, y, z], ...] in whole mm.
std::vector<nuk::Point3f> PositionsOf(const Json &doc)
{
    const char *const key = "layout.positions";
    const auto layout = doc.find("layout");
    const auto list = layout->find("positions");
    if (list == layout->end()) Fail(key, "a suggested plan lists its positions");
    if (!list->is_array()) Fail(key, "must be a list of positions [x, y, z] in mm");
    std::vector<nuk::Point3f> out;
    for (const Json &q : *list) {
        const std::string which = "position " + std::to_string(out.size() + 1);
        if (!q.is_array() || q.size() != 3) Fail(key, which + " must be [x, y, z] in mm");
        float v[3];
        for (int c = 0; c < 3; ++c) {
            if (!q[c].is_number_integer()) Fail(key, which + " must be three whole numbers of mm");
            const std::int64_t w = q[c].get<std::int64_t>();
            if (w < -100000 || w > 100000) Fail(key, which + " lies far outside any dome");
            v[c] = static_cast<float>(w);
        }
        out.emplace_back(v[0], v[1], v[2]);
        if (out.size() > kMaxSuggestedPositions) break;
    }
    return out;
}

Plan PlanOf(const Json &doc)
{
    if (!doc.is_object()) Fail({}, std::string("not a plan file: the document is ") + TypeName(doc));
    const auto format = doc.find("format");
    if (format == doc.end() || !format->is_string() || format->get<std::string>() != kPlanFormat)
        Fail("format", std::string("not a plan file: \"format\" must be \"") + kPlanFormat + "\"");
    const auto version = doc.find("version");
    if (version == doc.end() || !version->is_number_integer() || version->get<std::int64_t>() < 1)
        Fail("version", "must be a whole number from 1");
    if (version->get<std::int64_t>() > kPlanVersion)
        Fail("version", "the plan is of version " + version->dump() + ", newer than this Quorvel reads (" +
                            std::to_string(kPlanVersion) + "); a newer Quorvel wrote it");

    Plan p;
    PatternInput &in = p.input;
    const Section setup(doc, "setup");
    int objectSize = in.objectSize, objectHeight = in.objectHeight, cameraDistance = in.cameraDistance;
    setup.whole("object_size", Spec(Param::ObjectSize), objectSize);
    setup.whole("object_height", Spec(Param::ObjectHeight), objectHeight);
    setup.whole("camera_distance", Spec(Param::CameraDistance), cameraDistance);
    in.objectSize = objectSize;
    in.objectHeight = objectHeight;
    in.cameraDistance = cameraDistance;

    const Section pattern(doc, "pattern");
    pattern.whole("view_distance", Spec(Param::ViewDistance), in.viewDistance);
    pattern.whole("horizontal_step", Spec(Param::HorizontalStep), in.horizontalStep);
    pattern.whole("vertical_step", Spec(Param::VerticalStep), in.verticalStep);
    pattern.flag("exclude_central_point", in.excludeCentralPoint);
    pattern.flag("exclude_base_plane", in.excludeBasePlane);

    const Section layout(doc, "layout");
    std::string kind = LayoutName(p.layout.kind);
    layout.text("kind", kind);
    const std::optional<LayoutKind> k = ParseLayoutKind(kind);
    if (!k) Fail("layout.kind", "unknown layout '" + kind + "': grid, rings, spiral, geodesic or suggested");
    p.layout.kind = *k;
    layout.whole("rings", LayoutSpec(LayoutParam::Rings), p.layout.rings);
    layout.flag("top_light", p.layout.topLight);
    layout.whole("count", LayoutSpec(LayoutParam::Count), p.layout.count);
    layout.whole("frequency", LayoutSpec(LayoutParam::Frequency), p.layout.frequency);
    layout.whole("min_elevation", LayoutSpec(LayoutParam::MinElevation), p.layout.minElevation);
    layout.flag("skip_flagged", p.layout.skipFlagged);
    if (p.layout.kind == LayoutKind::Suggested) p.layout.positions = PositionsOf(doc);

    const Section framing(doc, "framing");
    if (framing.present()) {
        Framing f;
        framing.number("sensor_width", Value::SensorWidth, f.sensorWidth);
        framing.number("sensor_height", Value::SensorHeight, f.sensorHeight);
        framing.number("focal_length", Value::FocalLength, f.focalLength);
        p.framing = f;
    }

    const Section report(doc, "report");
    report.number("grazing_below", Value::GrazingBelow, p.grazingBelow);

    const Section images(doc, "images");
    images.text("pattern", p.imagePattern);
    double first = static_cast<double>(p.firstNumber);
    images.number("first_number", Value::FirstNumber, first);
    p.firstNumber = static_cast<long long>(first);

    const Section model(doc, "model");
    model.text("path", p.modelPath);
    model.flag("fit_to_object", p.fitModel);

    if (const std::optional<PlanProblem> problem = ValidatePlan(p)) Fail(problem->key, problem->reason);
    return p;
}

} // namespace

std::string PlanFileRead::message(const std::string &path) const
{
    if (ok) return {};
    return (path.empty() ? std::string() : path + ": ") + error.text();
}

PlanFileRead ReadPlanText(std::string_view text)
{
    PlanFileRead r;
    if (text.size() > kMaxPlanFileSize) {
        r.error.reason = "not a plan file: larger than " + std::to_string(kMaxPlanFileSize >> 10) + " KiB";
        return r;
    }
    if (TooDeep(text)) {
        r.error.reason = "not a plan file: nested more than " + std::to_string(kMaxDepth) + " levels deep";
        return r;
    }
    Json doc;
    try {
        doc = Json::parse(text.begin(), text.end());
    } catch (const Json::parse_error &e) {
        // "[json.exception.parse_error.101] parse error at line 3, column 5: ..."
        std::string what = e.what();
        const std::size_t at = what.find("] ");
        if (at != std::string::npos) what = what.substr(at + 2);
        r.error.reason = "not a plan file: " + what;
        return r;
    }
    try {
        r.plan = PlanOf(doc);
    } catch (const Failure &f) {
        r.error = f.problem;
        return r;
    } catch (const Json::exception &e) {
        r.error.reason = std::string("not a plan file: ") + e.what();
        return r;
    }
    r.document.assign(text.begin(), text.end());
    r.ok = true;
    return r;
}

PlanFileRead ReadPlanFile(const std::string &path)
{
    PlanFileRead r;
    std::ifstream f(path, std::ios::binary);
    if (!f) {
        r.error.reason = std::strerror(errno);
        return r;
    }
    std::string text;
    char buf[1 << 16];
    while (f.read(buf, sizeof buf) || f.gcount() > 0) {
        text.append(buf, static_cast<std::size_t>(f.gcount()));
        if (text.size() > kMaxPlanFileSize) break;
    }
    if (f.bad()) {
        r.error.reason = "cannot be read";
        return r;
    }
    return ReadPlanText(text);
}

std::string PlanText(const Plan &p, std::string_view previous)
{
    Json doc = Json::object();
    if (!previous.empty() && !TooDeep(previous)) {
        Json old = Json::parse(previous.begin(), previous.end(), nullptr, false);
        if (old.is_object()) doc = std::move(old);
    }
    // The section, kept with its unknown keys when it was an object.
    auto section = [&doc](const char *name) -> Json & {
        Json &s = doc[name];
        if (!s.is_object()) s = Json::object();
        return s;
    };
    doc["format"] = kPlanFormat;
    doc["version"] = kPlanVersion;
    Json &units = section("units");
    units["length"] = "mm";
    units["angle"] = "degrees";

    const PatternInput &in = p.input;
    Json &setup = section("setup");
    setup["object_size"] = in.objectSize;
    setup["object_height"] = in.objectHeight;
    setup["camera_distance"] = in.cameraDistance;

    Json &pattern = section("pattern");
    pattern["view_distance"] = in.viewDistance;
    pattern["horizontal_step"] = in.horizontalStep;
    pattern["vertical_step"] = in.verticalStep;
    pattern["exclude_central_point"] = in.excludeCentralPoint;
    pattern["exclude_base_plane"] = in.excludeBasePlane;

    Json &layout = section("layout");
    layout["kind"] = LayoutName(p.layout.kind);
    layout["rings"] = p.layout.rings;
    layout["top_light"] = p.layout.topLight;
    layout["count"] = p.layout.count;
    layout["frequency"] = p.layout.frequency;
    layout["min_elevation"] = p.layout.minElevation;
    layout["skip_flagged"] = p.layout.skipFlagged;
    if (p.layout.kind == LayoutKind::Suggested) {
        Json positions = Json::array();
        for (const nuk::Point3f &q : p.layout.positions)
            positions.push_back(
                {static_cast<long long>(q.x), static_cast<long long>(q.y), static_cast<long long>(q.z)});
        layout["positions"] = positions;
    } else {
        layout.erase("positions");
    }

    if (p.framing) {
        Json &framing = section("framing");
        framing["sensor_width"] = p.framing->sensorWidth;
        framing["sensor_height"] = p.framing->sensorHeight;
        framing["focal_length"] = p.framing->focalLength;
    } else {
        doc["framing"] = nullptr;
    }

    section("report")["grazing_below"] = p.grazingBelow;

    Json &images = section("images");
    images["pattern"] = p.imagePattern;
    images["first_number"] = p.firstNumber;

    if (!p.modelPath.empty()) {
        Json &model = section("model");
        model["path"] = p.modelPath;
        model["fit_to_object"] = p.fitModel;
    } else {
        doc["model"] = nullptr;
    }
    // Invalid UTF-8 in a path is written replaced, never refused.
    return doc.dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
}

WriteResult WritePlanFile(const std::string &path, const Plan &plan, std::string_view previous)
{
    return WriteFileAtomically(path, PlanText(plan, previous));
}

std::string ResolveModelPath(const std::string &planPath, const std::string &modelPath)
{
    if (modelPath.empty() || modelPath.front() == '/') return modelPath;
    const std::size_t slash = planPath.find_last_of('/');
    if (slash == std::string::npos) return modelPath;
    return planPath.substr(0, slash + 1) + modelPath;
}

} // namespace planner
