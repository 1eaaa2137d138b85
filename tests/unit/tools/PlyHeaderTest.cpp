#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <sys/stat.h>

#include "nuk/tools/plylib.h"
#include "support/Files.h"

using namespace nuk;
using testsupport::TempDir;
using testsupport::WriteFile;

namespace
{

struct HeaderCase {
    const char *name; // the fault, as a fixture would be named
    std::string text;
    int code;
};

const std::string kOk = "ply\nformat ascii 1.0\nelement vertex 1\nproperty float x\nend_header\n";

} // namespace

TEST(PlyHeader, EachFaultGivesItsCode)
{
    const HeaderCase cases[] = {
        {"empty-file", "", E_UNEXPEOF},
        {"first-line-empty", "\nply\nformat ascii 1.0\nend_header\n", E_NOTHEADER},
        {"upper-case-magic", "PLY\nformat ascii 1.0\nend_header\n", E_NOTHEADER},
        {"ends-after-ply", "ply\n", E_UNEXPEOF},
        {"blank-format-line", "ply\n\nend_header\n", E_UNEXPEOF},
        {"comment-before-format", "ply\ncomment hi\nformat ascii 1.0\nend_header\n", E_NOFORMAT},
        {"format-word-only", "ply\nformat\nend_header\n", E_UNEXPEOF},
        {"unknown-format", "ply\nformat binary 1.0\nend_header\n", E_NOFORMAT},
        {"format-case", "ply\nformat ASCII 1.0\nend_header\n", E_NOFORMAT},
        {"no-version", "ply\nformat ascii\nend_header\n", E_UNEXPEOF},
        {"no-end-header", "ply\nformat ascii 1.0\nelement vertex 1\n", E_UNEXPEOF},
        {"blank-line-inside", "ply\nformat ascii 1.0\n\nend_header\n", E_UNEXPEOF},
        {"white-line-inside", "ply\nformat ascii 1.0\n \t\r\nend_header\n", E_UNEXPEOF},
        {"element-no-name", "ply\nformat ascii 1.0\nelement\nend_header\n", E_SYNTAX},
        {"element-no-count", "ply\nformat ascii 1.0\nelement vertex\nend_header\n", E_SYNTAX},
        {"element-negative-count", "ply\nformat ascii 1.0\nelement vertex -3\nend_header\n", E_SYNTAX},
        {"element-count-beyond-int", "ply\nformat ascii 1.0\nelement vertex 4294967297\nend_header\n", E_SYNTAX},
        {"property-before-element", "ply\nformat ascii 1.0\nproperty float x\nend_header\n", E_PROPOUTOFELEMENT},
        {"bad-type-before-element", "ply\nformat ascii 1.0\nproperty flaot x\nend_header\n", E_PROPOUTOFELEMENT},
        {"property-alone", "ply\nformat ascii 1.0\nelement v 1\nproperty\nend_header\n", E_SYNTAX},
        {"list-alone", "ply\nformat ascii 1.0\nelement v 1\nproperty list\nend_header\n", E_SYNTAX},
        {"list-bad-count-type", "ply\nformat ascii 1.0\nelement v 1\nproperty list byte int i\nend_header\n",
         E_BADTYPENAME},
        {"list-no-item-type", "ply\nformat ascii 1.0\nelement v 1\nproperty list uchar\nend_header\n", E_SYNTAX},
        {"list-bad-item-type", "ply\nformat ascii 1.0\nelement v 1\nproperty list uchar integer i\nend_header\n",
         E_BADTYPENAME},
        {"list-no-name", "ply\nformat ascii 1.0\nelement v 1\nproperty list uchar int\nend_header\n", E_SYNTAX},
        {"bad-type-no-name", "ply\nformat ascii 1.0\nelement v 1\nproperty real\nend_header\n", E_BADTYPENAME},
        {"type-case", "ply\nformat ascii 1.0\nelement v 1\nproperty Float x\nend_header\n", E_BADTYPENAME},
        {"none-type", "ply\nformat ascii 1.0\nelement v 1\nproperty none x\nend_header\n", E_BADTYPENAME},
        {"scalar-no-name", "ply\nformat ascii 1.0\nelement v 1\nproperty float\nend_header\n", E_SYNTAX},
        {"unknown-keyword", "ply\nformat ascii 1.0\nelements v 1\nend_header\n", E_SYNTAX},
        {"keyword-case", "ply\nformat ascii 1.0\nEnd_header\n", E_SYNTAX},
        {"long-comment-splits", "ply\nformat ascii 1.0\ncomment " + std::string(600, 'x') + "\nend_header\n", E_SYNTAX},
    };
    TempDir dir;
    for (const HeaderCase &c : cases) {
        const std::string path = WriteFile(dir.File(std::string(c.name) + ".ply"), c.text);
        PlyFile f;
        EXPECT_EQ(f.Open(path.c_str(), 0), -1) << c.name;
        EXPECT_EQ(f.error, c.code) << c.name;
        EXPECT_FALSE(f.fp) << c.name << ": the file stays open after a failure";
        EXPECT_EQ(f.ReadCB, nullptr) << c.name;
    }
}

TEST(PlyHeader, AcceptedVariants)
{
    const HeaderCase cases[] = {
        {"magic-prefix", "plyx\nformat ascii 1.0\nend_header\n", 0},
        {"crlf-lines", "ply\r\nformat ascii 1.0\r\nelement v 2\r\nproperty float x\r\nend_header\r\n", 0},
        {"indented", "ply\n  format\tascii 1.0\n element v 1 extra words\n property float x trailing\nend_header\n", 0},
        {"no-final-newline", "ply\nformat ascii 1.0\nend_header", 0},
    };
    TempDir dir;
    for (const HeaderCase &c : cases) {
        const std::string path = WriteFile(dir.File(std::string(c.name) + ".ply"), c.text);
        PlyFile f;
        EXPECT_EQ(f.Open(path.c_str(), 0), 0) << c.name << ": error " << f.error;
        EXPECT_EQ(f.error, 0) << c.name;
        EXPECT_NE(f.ReadCB, nullptr) << c.name;
    }
}

TEST(PlyHeader, DescriptorsFromMixedTypeTables)
{
    TempDir dir;
    const std::string path = WriteFile(dir.File("mixed.ply"), "ply\n"
                                                              "format binary_big_endian 1.0\n"
                                                              "comment first\n"
                                                              "element vertex 7\n"
                                                              "property float32 x\n"
                                                              "property uchar red\n"
                                                              "property uint8 green\n"
                                                              "obj_info scanner 3\n"
                                                              "element face 5\n"
                                                              "property list uchar int vertex_indices\n"
                                                              "property list uint16 float64 w\n"
                                                              "element count notanumber\n"
                                                              "comment\n"
                                                              "comment  two spaces\n"
                                                              "end_header\n");
    PlyFile f;
    ASSERT_EQ(f.Open(path.c_str(), 0), 0);
    EXPECT_EQ(f.format, F_BINBIG);
    EXPECT_FLOAT_EQ(f.version, 1.0f);
    ASSERT_EQ(f.ElementCount(), 3);
    EXPECT_STREQ(f.ElementName(0), "vertex");
    EXPECT_EQ(f.ElementNumber(0), 7);
    EXPECT_EQ(f.ElementNumber(1), 5);
    EXPECT_STREQ(f.ElementName(2), "count");
    EXPECT_EQ(f.ElementNumber(2), 0); // a count word that is not a number
    EXPECT_EQ(f.ElementName(-1), nullptr);
    EXPECT_EQ(f.ElementName(3), nullptr);
    EXPECT_EQ(f.ElementNumber(-1), 0);
    EXPECT_EQ(f.ElementNumber(3), 0);

    const PlyElement &v = f.elements[0];
    ASSERT_EQ(v.props.size(), 3u);
    EXPECT_EQ(v.props[0].type, T_FLOAT);
    EXPECT_EQ(v.props[1].type, T_UCHAR);
    EXPECT_EQ(v.props[2].type, T_UCHAR); // "uint8" is "uchar"'s twin
    for (const PlyProperty &p : v.props) {
        EXPECT_EQ(p.islist, 0);
        EXPECT_EQ(p.counttype, 0);
        EXPECT_EQ(p.stored, 0);
    }
    const PlyElement &face = f.elements[1];
    ASSERT_EQ(face.props.size(), 2u);
    EXPECT_EQ(face.props[0].name, "vertex_indices");
    EXPECT_EQ(face.props[0].islist, 1);
    EXPECT_EQ(face.props[0].type, T_INT);
    EXPECT_EQ(face.props[0].counttype, T_UCHAR);
    EXPECT_EQ(face.props[1].type, T_DOUBLE);
    EXPECT_EQ(face.props[1].counttype, T_USHORT);

    // Comments and obj_info lines, in order, as read after one separator.
    ASSERT_EQ(f.comments.size(), 4u);
    EXPECT_EQ(f.comments[0], "first\n");
    EXPECT_EQ(f.comments[1], "scanner 3\n");
    EXPECT_EQ(f.comments[2], "");
    EXPECT_EQ(f.comments[3], " two spaces\n");

    EXPECT_EQ(std::string(f.header).rfind("ply\nformat binary_big_endian 1.0\n", 0), 0u);
    EXPECT_NE(std::string(f.header).find("end_header\n"), std::string::npos);
}

TEST(PlyHeader, LookUpsFindTheFirstOfEqualNames)
{
    TempDir dir;
    const std::string path = WriteFile(dir.File("dup.ply"), "ply\nformat ascii 1.0\n"
                                                            "element a 1\nproperty int p\nproperty float p\n"
                                                            "element a 2\nend_header\n");
    PlyFile f;
    ASSERT_EQ(f.Open(path.c_str(), 0), 0);
    PlyElement *a = f.FindElement("a");
    ASSERT_EQ(a, &f.elements[0]);
    EXPECT_EQ(a->FindProperty("p")->type, T_INT);
    EXPECT_EQ(a->FindProperty("P"), nullptr);
    EXPECT_EQ(f.FindElement("A"), nullptr);
}

TEST(PlyHeader, VersionIsReadAsANumberOrZero)
{
    TempDir dir;
    const std::pair<const char *, float> cases[] = {{"1.0", 1.0f}, {"2.5", 2.5f}, {"x", 0.0f}, {"1.5beta", 1.5f}};
    for (const auto &c : cases) {
        const std::string path =
            WriteFile(dir.File("v.ply"), std::string("ply\nformat ascii ") + c.first + "\nend_header\n");
        PlyFile f;
        ASSERT_EQ(f.Open(path.c_str(), 0), 0);
        EXPECT_FLOAT_EQ(f.version, c.second) << c.first;
    }
}

TEST(PlyHeader, AHeaderLongerThanItsCopyIsParsedWhole)
{
    std::string text = "ply\nformat ascii 1.0\n";
    for (int i = 0; i < 200; ++i)
        text += "comment line number " + std::to_string(i) + "\n";
    text += "element vertex 2\nproperty int a\nend_header\n5\n6\n";
    ASSERT_GT(text.size(), size_t(PlyFile::HEADER_SIZE));
    TempDir dir;
    const std::string path = WriteFile(dir.File("long.ply"), text);
    PlyFile f;
    ASSERT_EQ(f.Open(path.c_str(), 0), 0);
    EXPECT_EQ(f.comments.size(), 200u);
    EXPECT_EQ(f.comments[199], "line number 199\n");
    EXPECT_EQ(std::strlen(f.header), size_t(PlyFile::HEADER_SIZE - 1));
    EXPECT_EQ(std::string(f.header), text.substr(0, PlyFile::HEADER_SIZE - 1));
    ASSERT_EQ(f.AddToRead("vertex", "a", T_INT, T_INT, 0, 0, 0, 0, 0, 0), 0);
    f.SelectElement(0);
    int a = 0;
    ASSERT_EQ(f.ReadRecord(&a), 0);
    EXPECT_EQ(a, 5);
}

TEST(PlyHeader, OpenRefusals)
{
    TempDir dir;
    const std::string good = WriteFile(dir.File("good.ply"), kOk);
    PlyFile f;
    EXPECT_EQ(f.Open(nullptr, 0), -1);
    EXPECT_EQ(f.error, E_CANTOPEN);
    f.error = 0;
    EXPECT_EQ(f.Open(good.c_str(), 1), -1); // writing is not provided
    EXPECT_EQ(f.error, E_CANTOPEN);
    f.error = 0;
    EXPECT_EQ(f.Open(good.c_str(), 2), -1);
    EXPECT_EQ(f.error, E_CANTOPEN);
    EXPECT_EQ(f.Open(dir.File("missing.ply").c_str(), 0), -1);
    EXPECT_EQ(f.error, E_CANTOPEN);
    EXPECT_EQ(f.Open(dir.path.c_str(), 0), -1); // a directory
    EXPECT_EQ(f.error, E_CANTOPEN);
    EXPECT_EQ(f.Open(good.c_str(), 0), 0);
    EXPECT_EQ(f.error, 0);
    f.Close();
    f.Close();
    EXPECT_FALSE(f.fp);
    EXPECT_EQ(f.ReadCB, nullptr);
    EXPECT_EQ(f.ElementCount(), 1); // descriptors stay after Close
}

TEST(PlyHeader, ReopeningStartsAfresh)
{
    TempDir dir;
    const std::string a = WriteFile(dir.File("a.ply"), "ply\nformat ascii 1.0\ncomment a\nelement a 1\nend_header\n");
    const std::string b =
        WriteFile(dir.File("b.ply"), "ply\nformat binary_little_endian 1.0\nelement b 2\nend_header\n");
    PlyFile f;
    ASSERT_EQ(f.Open(a.c_str(), 0), 0);
    f.SelectElement(0);
    ASSERT_EQ(f.Open(b.c_str(), 0), 0);
    ASSERT_EQ(f.ElementCount(), 1);
    EXPECT_STREQ(f.ElementName(0), "b");
    EXPECT_TRUE(f.comments.empty());
    EXPECT_EQ(f.cure, nullptr);
    EXPECT_EQ(f.format, F_BINLITTLE);
}

TEST(PlyHeader, PartialDescriptorsStayAfterAFailure)
{
    TempDir dir;
    const std::string path = WriteFile(dir.File("p.ply"), "ply\nformat ascii 1.0\ncomment c\nelement v 3\n"
                                                          "property int a\nproperty bogus b\nend_header\n");
    PlyFile f;
    EXPECT_EQ(f.Open(path.c_str(), 0), -1);
    EXPECT_EQ(f.error, E_BADTYPENAME);
    ASSERT_EQ(f.ElementCount(), 1);
    EXPECT_EQ(f.elements[0].props.size(), 1u);
    EXPECT_EQ(f.comments.size(), 1u);
}

TEST(PlyTypes, FindTypeAcceptsBothSpellingsExactly)
{
    for (int t = 1; t < T_MAXTYPE; ++t) {
        EXPECT_EQ(FindType(TypeNames[t]), t);
        EXPECT_EQ(FindType(TypeNames2[t]), t);
    }
    EXPECT_EQ(FindType("float32"), FindType("float"));
    EXPECT_EQ(FindType("none"), -1);
    EXPECT_EQ(FindType("Int"), -1);
    EXPECT_EQ(FindType("int "), -1);
    EXPECT_EQ(FindType(""), -1);
    const int sizes[T_MAXTYPE] = {0, 1, 2, 4, 1, 2, 4, 4, 8};
    for (int t = 0; t < T_MAXTYPE; ++t)
        EXPECT_EQ(TypeSize[t], sizes[t]);
}

TEST(PlyTypes, MessageTable)
{
    EXPECT_STREQ(PlyFile::ErrorMessage(0), "No errors");
    EXPECT_STREQ(PlyFile::ErrorMessage(3), "Eof in header");
    EXPECT_STREQ(PlyFile::ErrorMessage(10), "Bad type on addtoread");
    EXPECT_STREQ(PlyFile::ErrorMessage(15), "Unespected eof");
    EXPECT_STREQ(PlyFile::ErrorMessage(19), "Number of color differ from vertices");
    EXPECT_STREQ(PlyFile::ErrorMessage(20), "");
    EXPECT_STREQ(PlyFile::ErrorMessage(-1), "");
    PlyFile f;
    EXPECT_STREQ(f.ErrorMessage(), "No errors");
}

TEST(PlyPreconditions, ReportTheirExpressionAndPath)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    PlyElement e("e", 0);
    EXPECT_DEATH(FindType(nullptr), "Assertion failed: name, file nuk/tools/plylib, line [0-9]+");
    EXPECT_DEATH(e.AddProp(nullptr, 1, 0, 0), "Assertion failed: na, file nuk/tools/plylib");
    EXPECT_DEATH(e.AddProp("p", 0, 0, 0), "Assertion failed: ti>0, file nuk/tools/plylib");
    EXPECT_DEATH(e.AddProp("p", T_MAXTYPE, 0, 0), "Assertion failed: ti<T_MAXTYPE, file nuk/tools/plylib");
    EXPECT_DEATH(e.AddProp("p", 1, 1, 0), "Assertion failed: t2>0 \\|\\| \\(t2==0 && isl==0\\), file nuk/tools/plylib");
    EXPECT_DEATH(e.AddProp("p", 1, 1, T_MAXTYPE), "Assertion failed: t2<T_MAXTYPE, file nuk/tools/plylib");
    EXPECT_DEATH(PlyElement("x", -1), "Assertion failed: nu>=0, file nuk/tools/plylib");
    EXPECT_DEATH(PlyElement(nullptr, 1), "Assertion failed: na, file nuk/tools/plylib");
    EXPECT_DEATH(e.FindProperty(nullptr), "Assertion failed: na, file nuk/tools/plylib");
    PlyFile f;
    EXPECT_DEATH(f.FindElement(nullptr), "Assertion failed: na, file nuk/tools/plylib");
    EXPECT_DEATH(f.ReadRecord(nullptr), "Assertion failed: cure, file nuk/tools/plylib");
    f.elements.emplace_back("e", 1);
    f.SelectElement(0);
    EXPECT_DEATH(f.ReadRecord(nullptr), "Assertion failed: ReadCB, file nuk/tools/plylib");
    e.AddProp("p", 1, 0, 0); // a good property passes every check
    EXPECT_EQ(e.props.size(), 1u);
}

TEST(PlyExpandThisName, ReplacesThePlaceholderByTheBaseName)
{
    EXPECT_EQ(ExpandThisName("<this>.png", "C:\\models\\Statue.PLY"), "Statue.png");
    EXPECT_EQ(ExpandThisName("tex_<THIS>_<this>", "/data/a.b.ply"), "tex_a.b_a.b");
    EXPECT_EQ(ExpandThisName("<tHiS>", "plain.Ply"), "plain");
    EXPECT_EQ(ExpandThisName("tex_<this", "/data/a.ply"), "tex_<this");
    EXPECT_EQ(ExpandThisName("<this>", "model"), "model");
    EXPECT_EQ(ExpandThisName("<this>", "dir/sub\\ply"), "ply"); // shorter than four: whole
    EXPECT_EQ(ExpandThisName("<this>", "dir/x.plyz"), "x.plyz");
    EXPECT_EQ(ExpandThisName("a<that>b", "m.ply"), "a<that>b");
    EXPECT_EQ(ExpandThisName("", "m.ply"), "");
    // A base name longer than 255 characters is kept whole.
    const std::string longName(300, 'n');
    EXPECT_EQ(ExpandThisName("<this>!", ("/d/" + longName + ".ply").c_str()), longName + "!");
    xstring out = "old";
    ExpandThisName("x<this>", "/d/m.ply", out);
    EXPECT_EQ(out, "xm");
}
