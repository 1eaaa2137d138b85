// Reading typed text into a parameter: the window clamps, the command line
// refuses; both read whole numbers the same way.

#include <climits>
#include <optional>
#include <string>

#include <gtest/gtest.h>

#include "planner/Parameters.h"

namespace
{

using planner::Param;
using planner::Spec;

TEST(ParametersTest, ParseWholeReadsOnlyWholeNumbers)
{
    const struct {
        const char *text;
        std::optional<long long> want;
    } cases[] = {
        {"0", 0},
        {"4000", 4000},
        {"+12", 12},
        {"-5", -5},
        {"007", 7},
        {"999999999999", 999999999999LL},
        {"99999999999999999999999", LLONG_MAX}, // too long for any integer: saturates
        {"-99999999999999999999999", LLONG_MIN},
        {"3.7", std::nullopt},
        {"1e3", std::nullopt},
        {"", std::nullopt},
        {"-", std::nullopt},
        {"+", std::nullopt},
        {" 5", std::nullopt},
        {"5 ", std::nullopt},
        {"0x10", std::nullopt},
        {"abc", std::nullopt},
    };
    for (const auto &c : cases)
        EXPECT_EQ(planner::ParseWhole(c.text), c.want) << '"' << c.text << '"';
}

// The window's rule, with the examples the fields must get right.
TEST(ParametersTest, ClampedValueKeepsTheWholeNumberWithinTheLimits)
{
    const struct {
        Param p;
        const char *text;
        int want;
    } cases[] = {
        {Param::ViewDistance, "4000", 3500},   {Param::ViewDistance, "999999999999", 3500},
        {Param::ViewDistance, "0", 10},        {Param::ViewDistance, "-5", 10},
        {Param::ViewDistance, " 2222 ", 2222}, {Param::ViewDistance, "x", 10},
        {Param::ViewDistance, "", 10},         {Param::HorizontalStep, "200", 90},
        {Param::HorizontalStep, "0", 1},       {Param::VerticalStep, "3.7", 1},
        {Param::VerticalStep, "90", 90},       {Param::ObjectSize, "2001", 2000},
        {Param::ObjectHeight, "10", 10},       {Param::CameraDistance, "2500", 2500},
    };
    for (const auto &c : cases)
        EXPECT_EQ(planner::ClampedValue(Spec(c.p), c.text), c.want) << Spec(c.p).option << " '" << c.text << "'";
}

// The command line's rule: in range or nothing, no blanks forgiven.
TEST(ParametersTest, CheckedValueRefusesWhatTheWindowWouldClamp)
{
    const planner::ParameterSpec &view = Spec(Param::ViewDistance);
    EXPECT_EQ(planner::CheckedValue(view, "10"), 10);
    EXPECT_EQ(planner::CheckedValue(view, "3500"), 3500);
    EXPECT_EQ(planner::CheckedValue(view, "+3500"), 3500);
    for (const char *bad : {"9", "3501", "4000", "999999999999", "12.5", " 20", "", "abc"})
        EXPECT_EQ(planner::CheckedValue(view, bad), std::nullopt) << bad;
}

// Every row is where Param says, its default lies within its limits, and
// its unit is one the window and the help texts know.
TEST(ParametersTest, TableIsConsistent)
{
    for (std::size_t i = 0; i < planner::kParamCount; ++i) {
        const planner::ParameterSpec &s = planner::kParameters[i];
        EXPECT_EQ(static_cast<std::size_t>(s.id), i);
        EXPECT_LE(s.minimum, s.defaultValue);
        EXPECT_LE(s.defaultValue, s.maximum);
        EXPECT_TRUE(std::string(s.unit) == "mm" || std::string(s.unit) == "degrees") << s.option;
        EXPECT_EQ(std::string(s.option).rfind("--", 0), 0u);
    }
    EXPECT_EQ(planner::RangeText(Spec(Param::ObjectSize)), "whole number 10..2000 mm, default 250");
}

} // namespace
