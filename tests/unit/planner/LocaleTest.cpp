// A German or French locale, where printf writes "0,5", changes no byte of
// the files Quorvel writes for other programs, nor how it reads them back.

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <locale>
#include <string>

#include <unistd.h>

#include <gtest/gtest.h>

#include "planner/AcquisitionReader.h"
#include "planner/LightExport.h"
#include "planner/Pattern.h"

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
    std::string acquisition, lp, dome, csv, writtenLp;
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
    return o;
}

} // namespace

TEST(Locale, DecimalCommaChangesNoByte)
{
    char tmpl[] = "/tmp/quorvel-locale-out-XXXXXX";
    const std::string dir = ::mkdtemp(tmpl);
    std::setlocale(LC_ALL, "C");
    const Outputs c = Make(dir, "c");

    std::string scratch;
    const std::string name = CommaLocale(scratch);
    if (name.empty()) {
        std::setlocale(LC_ALL, "C");
        GTEST_SKIP() << "no German or French locale here, and localedef could not make one "
                        "(Debian package 'locales')";
    }
    std::locale::global(std::locale(name.c_str()));
    // The locale really writes a decimal comma.
    char probe[16];
    std::snprintf(probe, sizeof probe, "%.1f", 0.5);
    ASSERT_STREQ(probe, "0,5") << name;

    const Outputs local = Make(dir, "local");
    std::locale::global(std::locale::classic());
    std::setlocale(LC_ALL, "C");

    EXPECT_EQ(local.acquisition, c.acquisition);
    EXPECT_EQ(local.lp, c.lp);
    EXPECT_EQ(local.dome, c.dome);
    EXPECT_EQ(local.csv, c.csv);
    EXPECT_EQ(local.writtenLp, c.lp);
    EXPECT_EQ(c.writtenLp, c.lp);
    // The C locale's numbers are in there to be kept: "85.25", not "85,25".
    EXPECT_NE(c.dome.find("\"imageWidth\": 85.25,"), std::string::npos);
    ASSERT_TRUE(local.read.ok) << local.read.error.text();
    EXPECT_EQ(local.read.input.viewDistance, 1234);
    EXPECT_EQ(local.read.input.horizontalStep, 7);

    EXPECT_EQ(std::system(("rm -rf '" + dir + "'" + (scratch.empty() ? "" : " '" + scratch + "'")).c_str()), 0);
}
