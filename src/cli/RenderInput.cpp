#include "cli/RenderInput.h"

#include <cstdio>

#include "capture/Capture.h"
#include "cli/Commands.h"
#include "nuk/Mesh/ModelLoad.h"
#include "planner/Stage.h"

namespace cli
{

int LoadRenderInput(const char *command, const PlanOptions &options, const std::string &model, int samples,
                    const std::string &resolution, RenderInput &in)
{
    if (samples < 1 || samples > capture::kMaxSamples)
        return Complain(command, BadValue("--samples",
                                          "must be a whole number from 1 to " + std::to_string(capture::kMaxSamples),
                                          std::to_string(samples)));
    if (!resolution.empty()) {
        char x = 0, rest = 0;
        if (std::sscanf(resolution.c_str(), "%d%c%d%c", &in.width, &x, &in.height, &rest) != 3 ||
            (x != 'x' && x != 'X') || in.width < 1 || in.height < 1 || in.width > 16384 || in.height > 16384)
            return Complain(command,
                            BadValue("--resolution", "must be WIDTHxHEIGHT in pixels, 1 to 16384 each", resolution));
    }
    const int loaded = options.load(command, in.plan, in.lists, nullptr);
    if (loaded != kOk) return loaded;
    if (!in.plan.framing)
        return Complain(command, "the camera's framing is needed: give --sensor and --focal, or a plan with them");
    if (!model.empty()) in.plan.modelPath = model;
    if (in.plan.modelPath.empty()) return Complain(command, "MODEL is needed: name the model, or a plan with a model");
    return kOk;
}

namespace
{

coverage::Placement PlacementOf(const planner::Plan &plan, const AMesh &mesh)
{
    return plan.fitModel ? coverage::FitToObject(mesh.box, static_cast<float>(plan.input.objectSize))
                         : coverage::Placement{};
}

std::unique_ptr<capture::CaptureScene> SceneOf(const char *command, const planner::Plan &plan,
                                               capture::SceneModel model)
{
    const planner::Stage stage =
        planner::StageOf(plan.input.objectSize, plan.input.objectHeight, plan.input.cameraDistance);
    std::string error;
    auto scene = capture::CaptureScene::Build(std::move(model), stage, error);
    if (!scene) Complain(command, error, kFailure);
    return scene;
}

} // namespace

std::unique_ptr<capture::CaptureScene> LoadRenderScene(const char *command, const planner::Plan &plan,
                                                       coverage::Placement &placement)
{
    auto mesh = std::make_unique<AMesh>();
    const nuk::ModelLoadResult load = nuk::LoadModel(*mesh, plan.modelPath.c_str());
    if (!load.ok()) {
        Complain(command, "cannot load " + plan.modelPath + ": " + load.reason, kFailure);
        return nullptr;
    }
    placement = PlacementOf(plan, *mesh);
    capture::SceneModel model = capture::SceneModel::FromMesh(*mesh, placement, HasVertexColours(load));
    // The scene holds its own copy: the mesh goes before the scene is built.
    mesh.reset();
    return SceneOf(command, plan, std::move(model));
}

bool HasVertexColours(const nuk::ModelLoadResult &load)
{
    return load.format == nuk::ModelFormat::Ply && (load.mask & nuk::PLYMASK_VERTCOLOR) != 0;
}

std::unique_ptr<capture::CaptureScene> BuildRenderScene(const char *command, const planner::Plan &plan,
                                                        const AMesh &mesh, bool colours, coverage::Placement &placement)
{
    placement = PlacementOf(plan, mesh);
    return SceneOf(command, plan, capture::SceneModel::FromMesh(mesh, placement, colours));
}

} // namespace cli
