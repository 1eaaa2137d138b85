#pragma once
// Plan files (.qplan): a plan as a JSON document,
//
//   { "format": "quorvel-plan", "version": 1,
//     "units": { "length": "mm", "angle": "degrees" },
//     "setup":   { "object_size", "object_height", "camera_distance" },
//     "pattern": { "view_distance", "horizontal_step", "vertical_step",
//                  "exclude_central_point", "exclude_base_plane" },
//     "layout":  { "kind", "rings", "top_light", "count", "frequency",
//                  "min_elevation", "skip_flagged" },
//     "framing": null | { "sensor_width", "sensor_height", "focal_length" },
//     "report":  { "grazing_below" },
//     "images":  { "pattern", "first_number" },
//     "model":   null | { "path", "fit_to_object" } }
//
// Written in the C locale, atomically. A key that is left out takes its
// default, so a hand-written plan may hold only what differs. A value of
// the wrong type or out of its limits, an unknown layout, another format
// or a newer version is refused with the key and the reason. Keys this
// version does not know are kept: saving a plan over the document it was
// read from changes only what this version owns.

#include <string>
#include <string_view>

#include "planner/Pattern.h"
#include "planner/Plan.h"

namespace planner
{

inline constexpr const char *kPlanFormat = "quorvel-plan";
inline constexpr int kPlanVersion = 1;
inline constexpr const char *kPlanExtension = ".qplan";
// No plan is anywhere near this; a larger file is not one.
inline constexpr std::size_t kMaxPlanFileSize = 1u << 20;

struct PlanFileRead {
    bool ok = false;
    Plan plan;
    // The document as read, so that a later save keeps what this version
    // does not know.
    std::string document;
    PlanProblem error; // key empty when the file as a whole is wrong
    // "PATH: layout.rings: must be ...", or "PATH: not a plan file: ...".
    std::string message(const std::string &path = {}) const;
};

PlanFileRead ReadPlanText(std::string_view text);
PlanFileRead ReadPlanFile(const std::string &path);

// The plan's document. With previous (a document read earlier), its keys
// are kept and only the plan's own values are replaced.
std::string PlanText(const Plan &plan, std::string_view previous = {});
WriteResult WritePlanFile(const std::string &path, const Plan &plan, std::string_view previous = {});

// A model path of a plan file, relative to the file's folder when it is not
// absolute.
std::string ResolveModelPath(const std::string &planPath, const std::string &modelPath);

} // namespace planner
