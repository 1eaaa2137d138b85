#pragma once
// The capture's scene of the generated relief (ReliefModel.h) fitted to the
// 250 mm object, with the default plan's lights and the default framing
// (36 x 24 mm sensor, 50 mm lens) at 1024 x 683 pixels: what the capture
// and prediction benchmarks render.

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "ReliefModel.h"
#include "capture/Camera.h"
#include "capture/CaptureScene.h"
#include "coverage/Placement.h"
#include "planner/Pattern.h"
#include "planner/Plan.h"
#include "planner/Stage.h"

namespace benchdata
{

struct ReliefScene {
    std::unique_ptr<capture::CaptureScene> scene;
    capture::Camera camera;
    std::vector<nuk::Point3f> lights; // the plan's usable positions, mm
    std::vector<nuk::Point3f> all;    // every position of the plan, flagged ones too
    std::size_t faces = 0;
    std::size_t meshBytes = 0; // the model as loaded: its vertices and faces
};

// Exits the benchmark when the scene cannot be built.
inline ReliefScene *MakeReliefScene(int cells)
{
    auto *f = new ReliefScene;
    AMesh mesh;
    MakeRelief(mesh, cells);
    f->faces = mesh.faces.size();
    f->meshBytes = mesh.vertices.capacity() * sizeof(mesh.vertices[0]) + mesh.faces.capacity() * sizeof(mesh.faces[0]);
    planner::Plan plan;
    planner::PatternLists lists;
    planner::BuildPlan(plan, lists);
    const std::vector<bool> usable = planner::UsablePositions(plan, lists);
    for (std::size_t i = 0; i < lists.positions.size(); ++i)
        if (usable[i]) f->lights.push_back(lists.positions[i]);
    f->all = lists.positions;
    const coverage::Placement placement = coverage::FitToObject(mesh.box, float(plan.input.objectSize));
    const planner::Stage stage =
        planner::StageOf(plan.input.objectSize, plan.input.objectHeight, plan.input.cameraDistance);
    std::string error;
    f->scene = capture::CaptureScene::Build(capture::SceneModel::FromMesh(mesh, placement, false), stage, error);
    if (!f->scene) {
        std::fprintf(stderr, "scene: %s\n", error.c_str());
        std::exit(1);
    }
    f->camera = capture::MakeCamera(planner::Framing{}, plan.input.cameraDistance, 1024, 683);
    return f;
}

} // namespace benchdata
