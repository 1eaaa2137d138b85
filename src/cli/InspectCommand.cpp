// quorvel-cli inspect: loads a model exactly as the window's "load model"
// button does and tells what came of it, as text or as one JSON object.
// --strict runs the PLY import alone, as the program did before it read OBJ,
// STL and PLY files of other number types, and prints what it printed then.

#include <charconv>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include "cli/Commands.h"
#include "nuk/Mesh/AMesh.h"
#include "nuk/Mesh/MeshPly.h"
#include "nuk/Mesh/ModelLoad.h"

namespace cli
{
namespace
{

// Floats are kept as floats so that they print in the fewest digits that read
// back to the same float.
using Json =
    nlohmann::basic_json<nlohmann::ordered_map, std::vector, std::string, bool, std::int64_t, std::uint64_t, float>;

struct InspectOptions {
    std::string file;
    bool json = false;
    bool elements = false;
    bool strict = false;
};

std::string num(float f)
{
    char buf[64];
    const auto r = std::to_chars(buf, buf + sizeof buf, f);
    return std::string(buf, r.ptr);
}

std::string vec(const nuk::Point3f &p) { return "(" + num(p.x) + ", " + num(p.y) + ", " + num(p.z) + ")"; }

Json arr(const nuk::Point3f &p) { return Json::array({p.x, p.y, p.z}); }

long cornerIndex(const AMesh &m, const AFace &f, int k) { return long(f.v[k] - m.vertices.data()); }

Json toJson(const AMesh &m, const InspectOptions &opt, const nuk::ModelLoadResult &load)
{
    Json j;
    j["file"] = opt.file;
    if (!opt.strict) j["format"] = nuk::ModelFormatName(load.format);
    j["result"] = load.result;
    j["error"] = m.error;
    j["message"] = load.message;
    j["mask"] = load.mask;
    if (!opt.strict) j["converted"] = load.converted;
    j["vertices"] = m.vertices.size();
    j["faces"] = m.faces.size();
    j["vertex_count"] = m.vertex_count;
    j["face_count"] = m.face_count;
    const nuk::MeshCamera &c = m.camera;
    if (!c.valid) {
        j["camera"] = nullptr;
    } else {
        Json cam;
        cam["view_p"] = arr(c.view_p);
        cam["x_axis"] = arr(c.x_axis);
        cam["y_axis"] = arr(c.y_axis);
        cam["z_axis"] = arr(c.z_axis);
        cam["focal"] = c.focal;
        cam["scale"] = Json::array({c.scale.x, c.scale.y});
        cam["center"] = Json::array({c.center.x, c.center.y});
        cam["viewport"] = Json::array({c.viewport.x, c.viewport.y});
        cam["k"] = Json::array({c.k[0], c.k[1], c.k[2], c.k[3]});
        j["camera"] = cam;
    }
    j["texture_files"] = m.texture_files;
    j["normal_map_files"] = m.normal_map_files;
    if (m.box.IsNull())
        j["bbox"] = nullptr;
    else
        j["bbox"] = Json{{"min", arr(m.box.min)}, {"max", arr(m.box.max)}};

    if (opt.elements) {
        Json positions = Json::array(), colors = Json::array(), vflags = Json::array(), vnormals = Json::array();
        for (const AVertex &v : m.vertices) {
            positions.push_back(arr(v.position));
            colors.push_back(Json::array({v.color.v[0], v.color.v[1], v.color.v[2], v.color.v[3]}));
            vflags.push_back(v.flags);
            vnormals.push_back(arr(v.normal));
        }
        Json indices = Json::array(), fflags = Json::array(), fnormals = Json::array();
        for (const AFace &f : m.faces) {
            indices.push_back(Json::array({cornerIndex(m, f, 0), cornerIndex(m, f, 1), cornerIndex(m, f, 2)}));
            fflags.push_back(f.flags);
            fnormals.push_back(arr(f.normal));
        }
        j["positions"] = std::move(positions);
        j["colors"] = std::move(colors);
        j["vertex_flags"] = std::move(vflags);
        j["vertex_normals"] = std::move(vnormals);
        j["face_indices"] = std::move(indices);
        j["face_flags"] = std::move(fflags);
        j["face_normals"] = std::move(fnormals);
    }
    return j;
}

std::string names(const std::vector<std::string> &v)
{
    if (v.empty()) return "none";
    std::string s;
    for (const std::string &n : v)
        s += (s.empty() ? "" : ", ") + ("\"" + n + "\"");
    return s;
}

void printText(const AMesh &m, const InspectOptions &opt, const nuk::ModelLoadResult &load)
{
    std::printf("file: %s\n", opt.file.c_str());
    // Said only when there is something to say, so that a plain PLY load
    // reads as it always did.
    if (load.format != nuk::ModelFormat::Ply) std::printf("format: %s\n", nuk::ModelFormatName(load.format));
    std::printf("result: %s (error %d: %s)\n", load.ok() ? "loaded" : "failed", m.error, load.message.c_str());
    for (const std::string &c : load.converted)
        std::printf("converted: %s\n", c.c_str());
    std::printf("mask: 0x%04x\n", unsigned(load.mask));
    std::printf("vertices: %zu stored, %d live\n", m.vertices.size(), m.vertex_count);
    std::printf("faces: %zu stored, %d live\n", m.faces.size(), m.face_count);
    if (m.box.IsNull())
        std::printf("bounding box: empty\n");
    else
        std::printf("bounding box: min %s max %s\n", vec(m.box.min).c_str(), vec(m.box.max).c_str());
    const nuk::MeshCamera &c = m.camera;
    if (!c.valid) {
        std::printf("camera: none\n");
    } else {
        std::printf("camera: view point %s, axes %s %s %s\n", vec(c.view_p).c_str(), vec(c.x_axis).c_str(),
                    vec(c.y_axis).c_str(), vec(c.z_axis).c_str());
        std::printf("        focal %s, scale (%s, %s), center (%s, %s), viewport %d x %d, k (%s, %s, %s, %s)\n",
                    num(c.focal).c_str(), num(c.scale.x).c_str(), num(c.scale.y).c_str(), num(c.center.x).c_str(),
                    num(c.center.y).c_str(), c.viewport.x, c.viewport.y, num(c.k[0]).c_str(), num(c.k[1]).c_str(),
                    num(c.k[2]).c_str(), num(c.k[3]).c_str());
    }
    std::printf("texture files: %s\n", names(m.texture_files).c_str());
    std::printf("normal map files: %s\n", names(m.normal_map_files).c_str());
    if (!opt.elements) return;
    for (size_t i = 0; i < m.vertices.size(); ++i) {
        const AVertex &v = m.vertices[i];
        std::printf("vertex %zu: position %s color (%d, %d, %d, %d) flags 0x%x normal %s\n", i, vec(v.position).c_str(),
                    v.color.v[0], v.color.v[1], v.color.v[2], v.color.v[3], unsigned(v.flags), vec(v.normal).c_str());
    }
    for (size_t i = 0; i < m.faces.size(); ++i) {
        const AFace &f = m.faces[i];
        std::printf("face %zu: corners %ld %ld %ld flags 0x%x normal %s\n", i, cornerIndex(m, f, 0),
                    cornerIndex(m, f, 1), cornerIndex(m, f, 2), unsigned(f.flags), vec(f.normal).c_str());
    }
}

int runInspect(const InspectOptions &opt)
{
    auto mesh = std::make_unique<AMesh>();
    // The window's model loading, sequence and all.
    const nuk::ModelLoadResult load =
        nuk::LoadModel(*mesh, opt.file.c_str(), nuk::ProgressCallback(),
                       opt.strict ? nuk::ModelLoadMode::StrictPly : nuk::ModelLoadMode::Compatible);
    if (opt.json)
        std::printf("%s\n", toJson(*mesh, opt, load).dump().c_str());
    else
        printText(*mesh, opt, load);
    if (!load.ok()) {
        // The summary keeps the import's code and message; the system's
        // reason (missing, a folder, no permission) is what the user acts on.
        const std::string &message = load.message;
        std::string why = load.outOfMemory ? load.reason : message;
        if (!load.outOfMemory && !load.reason.empty() && load.reason != message) why += " (" + load.reason + ")";
        std::fprintf(stderr, "quorvel-cli inspect: cannot load %s: %s\n", opt.file.c_str(), why.c_str());
    }
    return load.ok() ? kOk : kFailure;
}

} // namespace

Action addInspectCommand(CLI::App &app)
{
    auto opt = std::make_shared<InspectOptions>();
    CLI::App *cmd =
        app.add_subcommand("inspect", "Load a reference model (PLY, OBJ or STL) as the window does and describe it");
    cmd->footer("Runs the window's model loading (import, bounding box, face and vertex normals) and prints the "
                "result, the error code and its message, what was converted to read the file, the counts, the "
                "camera, the texture names and the box (in the model's coordinates, which the view takes as "
                "millimetres). Files ending in .obj or .stl are read as OBJ or STL, every other file as PLY. "
                "Exit status 0 when the import succeeded, 1 when it failed (with the reason on stderr).");
    cmd->add_option("FILE", opt->file, "model file to load (.ply, .obj or .stl)")->required()->type_name("PATH");
    cmd->add_flag("--json", opt->json, "print one JSON object instead of text");
    cmd->add_flag("--elements", opt->elements, "also list every vertex and face");
    cmd->add_flag("--strict", opt->strict,
                  "the PLY import alone, whatever the file's name: no conversion of number types, and the output "
                  "without \"format\" and \"converted\"");
    return [cmd, opt]() -> int {
        if (!cmd->parsed()) return -1;
        return runInspect(*opt);
    };
}

} // namespace cli
