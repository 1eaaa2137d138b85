// A German or French locale, where printf writes "0,5", changes no byte of
// the files Quorvel writes for other programs, nor how it reads them back.

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <locale>
#include <string>

#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "planner/AcquisitionFile.h"
#include "planner/Layout.h"
#include "planner/LightExport.h"
#include "planner/Pattern.h"
#include "planner/PlanFile.h"

using namespace planner;

namespace
{

// A locale with a decimal comma: one the system has, or one made with
// localedef into a scratch folder that LOCPATH then points to.
std::string CommaLocale(std::string &scratch)
{
    const char *names[] = {"de_DE.UTF-8", "fr_FR.UTF-8"};
    for (const char *name : names)
        if (std::setlocale(LC_ALL, name)) return name;
    char tmpl[] = "/tmp/quorvel-locale-XXXXXX";
    if (!::mkdtemp(tmpl)) return {};
    scratch = tmpl;
    ::setenv("LOCPATH", scratch.c_str(), 1);
    for (const char *name : names) {
        const std::string base = std::string(name).substr(0, 5);
        const std::string cmd = "localedef -i " + base + " -f UTF-8 '" + scratch + "/" + name + "' >/dev/null 2>&1";
        // Warnings give a non-zero status, yet a usable locale: setlocale decides.
        if (std::system(cmd.c_str()) != 0) std::fprintf(stderr, "localedef for %s reported problems\n", name);
        if (std::setlocale(LC_ALL, name)) return name;
    }
    return {};
}

struct Outputs {
    std::string acquisition, lp, dome, csv, writtenLp, layout, plan, planRead;
    AcquisitionRead read;
};

Outputs Make(const std::string &dir, const std::string &tag)
{
    PatternInput in;
    in.horizontalStep = 7;
    in.verticalStep = 11;
    in.viewDistance = 1234;
    PatternLists lists;
    Outputs o;
    o.acquisition = BuildPattern(in, lists);
    ExportOptions opt;
    opt.imageWidth = 85.25;
    opt.verticalOffset = -3.5;
    std::string error;
    const std::optional<LightTable> t = MakeLightTable(in, lists, opt, error);
    EXPECT_TRUE(t) << error;
    o.lp = FormatLights(LightFormat::Lp, *t, opt).text;
    o.dome = FormatLights(LightFormat::Dome, *t, opt).text;
    o.csv = FormatLights(LightFormat::Csv, *t, opt).text;
    const std::string path = dir + "/" + tag + ".lp";
    EXPECT_TRUE(ExportLights(LightFormat::Lp, in, lists, opt, path).ok);
    if (std::FILE *f = std::fopen(path.c_str(), "rb")) {
        char buf[4096];
        std::size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, f)) > 0)
            o.writtenLp.append(buf, n);
        std::fclose(f);
    }
    o.read = ReadAcquisition(o.acquisition);
    // A layout's header has angles with decimals.
    LayoutInput spiral;
    spiral.kind = LayoutKind::Spiral;
    spiral.count = 100;
    spiral.minElevation = 30;
    PatternLists layoutLists;
    o.layout = BuildLayout(in, spiral, layoutLists);
    Plan plan;
    plan.framing = Framing{23.6, 15.6, 35.5};
    plan.grazingBelow = 12.5;
    o.plan = PlanText(plan);
    const PlanFileRead back = ReadPlanText(o.plan);
    o.planRead = back.ok && back.plan == plan ? "same" : back.message();
    return o;
}

// Empty when equal; otherwise the first line that differs, which reads
// better than two whole files.
std::string FirstDifference(const std::string &got, const std::string &want)
{
    if (got == want) return {};
    std::size_t line = 1, start = 0, i = 0;
    for (; i < got.size() && i < want.size() && got[i] == want[i]; ++i)
        if (got[i] == '\n') {
            ++line;
            start = i + 1;
        }
    auto lineAt = [start](const std::string &s) { return s.substr(start, s.find('\n', start) - start); };
    return "line " + std::to_string(line) + ": '" + lineAt(got) + "', expected '" + lineAt(want) + "'";
}

void WriteText(const std::string &path, const std::string &text)
{
    if (std::FILE *f = std::fopen(path.c_str(), "wb")) {
        std::fwrite(text.data(), 1, text.size(), f);
        std::fclose(f);
    }
}

std::string ReadText(const std::string &path)
{
    std::string s;
    if (std::FILE *f = std::fopen(path.c_str(), "rb")) {
        char buf[4096];
        std::size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, f)) > 0)
            s.append(buf, n);
        std::fclose(f);
    }
    return s;
}

// In a child process, so that the locale (and what glibc keeps for LOCPATH)
// stays there: writes what Quorvel makes under a decimal-comma locale, or
// "no locale" when none could be had.
void MakeInLocale(const std::string &dir)
{
    std::string scratch;
    const std::string name = CommaLocale(scratch);
    if (name.empty()) {
        WriteText(dir + "/status", "no locale");
        return;
    }
    std::locale::global(std::locale(name.c_str()));
    char probe[16];
    std::snprintf(probe, sizeof probe, "%.1f", 0.5);
    const Outputs o = Make(dir, "local");
    WriteText(dir + "/acquisition", o.acquisition);
    WriteText(dir + "/lp", o.lp);
    WriteText(dir + "/dome", o.dome);
    WriteText(dir + "/csv", o.csv);
    WriteText(dir + "/written", o.writtenLp);
    WriteText(dir + "/layout", o.layout);
    WriteText(dir + "/plan", o.plan);
    WriteText(dir + "/plan-read", o.planRead);
    WriteText(dir + "/read", o.read.ok ? "ok " + std::to_string(o.read.input.viewDistance) + " " +
                                             std::to_string(o.read.input.horizontalStep)
                                       : o.read.error.text());
    WriteText(dir + "/status", name + " " + probe);
    if (!scratch.empty()) {
        const std::string rm = "rm -rf '" + scratch + "'";
        if (std::system(rm.c_str()) != 0) std::fprintf(stderr, "could not remove %s\n", scratch.c_str());
    }
}

} // namespace

TEST(Locale, DecimalCommaChangesNoByte)
{
    char tmpl[] = "/tmp/quorvel-locale-out-XXXXXX";
    const std::string dir = ::mkdtemp(tmpl);
    std::setlocale(LC_ALL, "C");
    const Outputs c = Make(dir, "c");

    std::fflush(nullptr);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        MakeInLocale(dir);
        std::fflush(nullptr);
        ::_exit(0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);

    const std::string made = ReadText(dir + "/status");
    const bool none = made == "no locale";
    if (!none) {
        // The locale really writes a decimal comma.
        EXPECT_EQ(made.substr(made.find(' ') + 1), "0,5") << made;
        EXPECT_EQ(FirstDifference(ReadText(dir + "/acquisition"), c.acquisition), "");
        EXPECT_EQ(FirstDifference(ReadText(dir + "/lp"), c.lp), "");
        EXPECT_EQ(FirstDifference(ReadText(dir + "/dome"), c.dome), "");
        EXPECT_EQ(FirstDifference(ReadText(dir + "/csv"), c.csv), "");
        EXPECT_EQ(FirstDifference(ReadText(dir + "/written"), c.lp), "");
        EXPECT_EQ(FirstDifference(ReadText(dir + "/layout"), c.layout), "");
        EXPECT_EQ(ReadText(dir + "/read"), "ok 1234 7");
        EXPECT_EQ(FirstDifference(ReadText(dir + "/plan"), c.plan), "");
        EXPECT_EQ(ReadText(dir + "/plan-read"), "same");
    }
    EXPECT_EQ(c.writtenLp, c.lp);
    // The C locale's numbers are in there to be kept: "85.25", not "85,25".
    EXPECT_NE(c.dome.find("\"imageWidth\": 85.25,"), std::string::npos);
    EXPECT_NE(c.layout.find("horizontal angle     10.16\n"), std::string::npos);
    EXPECT_NE(c.plan.find("\"sensor_width\": 23.6,"), std::string::npos);
    EXPECT_EQ(c.planRead, "same");
    EXPECT_EQ(std::system(("rm -rf '" + dir + "'").c_str()), 0);
    if (none)
        GTEST_SKIP() << "no German or French locale here, and localedef could not make one "
                        "(Debian package 'locales')";
}
