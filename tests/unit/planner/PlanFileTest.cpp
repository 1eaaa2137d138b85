// Plan files: what is written reads back as the same plan, a hand-written
// plan may leave out what it keeps at the default, and a save over a
// document keeps what this version does not know.

#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "planner/PlanFile.h"
#include "support/Files.h"

using namespace planner;

namespace
{

std::vector<Plan> Plans()
{
    std::vector<Plan> plans(6);
    plans[1].input = {7, 11, 3500, true, true, 2000, 10, 2500};
    plans[2].layout.kind = LayoutKind::Rings;
    plans[2].layout.rings = 30;
    plans[2].layout.topLight = false;
    plans[2].layout.skipFlagged = true;
    plans[3].layout.kind = LayoutKind::Spiral;
    plans[3].layout.count = 10000;
    plans[3].layout.minElevation = 0;
    plans[4].layout.kind = LayoutKind::Geodesic;
    plans[4].layout.frequency = 16;
    plans[4].layout.minElevation = 80;
    Plan &full = plans[5];
    full.framing = Framing{23.6, 15.6, 0.1 + 34.9}; // a double that needs every digit
    full.grazingBelow = 89;
    full.imagePattern = "DSC_%05d.NEF";
    full.firstNumber = 999999999;
    full.modelPath = "/data/models/tablet \"A\" ü.ply";
    full.fitModel = true;
    return plans;
}

} // namespace

TEST(PlanFile, WhatIsWrittenReadsBackTheSame)
{
    testsupport::TempDir dir;
    for (const Plan &plan : Plans()) {
        const std::string text = PlanText(plan);
        const PlanFileRead read = ReadPlanText(text);
        ASSERT_TRUE(read.ok) << read.message() << "\n" << text;
        EXPECT_TRUE(read.plan == plan) << text;
        EXPECT_EQ(PlanText(read.plan, read.document), text);

        const std::string path = dir.File("plan.qplan");
        ASSERT_TRUE(WritePlanFile(path, plan).ok);
        const PlanFileRead file = ReadPlanFile(path);
        ASSERT_TRUE(file.ok) << file.message(path);
        EXPECT_TRUE(file.plan == plan);
    }
}

TEST(PlanFile, KeysLeftOutTakeTheirDefaults)
{
    const PlanFileRead read = ReadPlanText(R"({"format": "quorvel-plan", "version": 1,
        "setup": {"object_height": 1500}, "framing": {"focal_length": 85}})");
    ASSERT_TRUE(read.ok) << read.message();
    Plan want;
    want.input.objectHeight = 1500;
    want.framing = Framing{};
    want.framing->focalLength = 85;
    EXPECT_TRUE(read.plan == want);
}

TEST(PlanFile, SavingOverADocumentKeepsWhatThisVersionDoesNotKnow)
{
    const std::string original = R"({"format": "quorvel-plan", "version": 1,
        "operator": {"name": "R. K.", "rig": 3},
        "setup": {"object_size": 400, "plinth": "oak"},
        "framing": {"sensor_width": 36, "sensor_height": 24, "focal_length": 50, "lens": "macro"}})";
    PlanFileRead read = ReadPlanText(original);
    ASSERT_TRUE(read.ok) << read.message();
    read.plan.input.objectSize = 500;
    const nlohmann::json saved = nlohmann::json::parse(PlanText(read.plan, read.document));
    EXPECT_EQ(saved["operator"]["rig"], 3);
    EXPECT_EQ(saved["setup"]["plinth"], "oak");
    EXPECT_EQ(saved["framing"]["lens"], "macro");
    EXPECT_EQ(saved["setup"]["object_size"], 500);
    EXPECT_TRUE(ReadPlanText(saved.dump()).plan == read.plan);
}

TEST(PlanFile, AFileFarLargerThanAPlanIsNotReadWhole)
{
    testsupport::TempDir dir;
    const std::string path =
        testsupport::WriteFile(dir.File("big.qplan"), R"({"format": "quorvel-plan", "version": 1, "x": ")" +
                                                          std::string(kMaxPlanFileSize * 3, 'a') + "\"}");
    const PlanFileRead read = ReadPlanFile(path);
    EXPECT_FALSE(read.ok);
    EXPECT_NE(read.message().find("larger than"), std::string::npos) << read.message();
}

TEST(PlanFile, ModelPathsAreFoundFromThePlansFolder)
{
    const struct {
        const char *plan, *model, *want;
    } cases[] = {
        {"/work/plans/a.qplan", "relief.ply", "/work/plans/relief.ply"},
        {"/work/plans/a.qplan", "../models/r.stl", "/work/plans/../models/r.stl"},
        {"/work/plans/a.qplan", "/abs/r.obj", "/abs/r.obj"},
        {"a.qplan", "relief.ply", "relief.ply"},
        {"/work/a.qplan", "", ""},
    };
    for (const auto &c : cases)
        EXPECT_EQ(ResolveModelPath(c.plan, c.model), c.want) << c.plan << " + " << c.model;
}
