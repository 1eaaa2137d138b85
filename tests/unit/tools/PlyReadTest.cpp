#include <gtest/gtest.h>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "nuk/tools/plylib.h"
#include "support/Files.h"
#include "support/PlyText.h"

using namespace nuk;
using testsupport::Bytes;
using testsupport::TempDir;
using testsupport::WriteFile;

namespace
{

// One record holding every type, and a list.
struct AllTypes {
    int8_t c;
    int16_t s;
    int32_t i;
    uint8_t uc;
    uint16_t us;
    uint32_t ui;
    float f;
    double d;
    uint8_t n;
    int32_t items[255];
};

const char *kAllHeader = "element v 2\n"
                         "property char c\nproperty short s\nproperty int i\n"
                         "property uchar uc\nproperty ushort us\nproperty uint ui\n"
                         "property float f\nproperty double d\n"
                         "property list uchar int l\n"
                         "end_header\n";

std::string Header(const char *format) { return std::string("ply\nformat ") + format + " 1.0\n" + kAllHeader; }

// The same two records in the three formats.
std::string AllTypesFile(int format)
{
    if (format == F_ASCII)
        return Header("ascii") + "-7 -300 -70000 250 65000 4000000000 0.1 -2.5e-300 3 10 -20 30\n"
                                 "127 32767 2147483647 0 0 0 -0 1e300 0\n";
    const bool big = format == F_BINBIG;
    std::string s = Header(big ? "binary_big_endian" : "binary_little_endian");
    s += Bytes<int8_t>(-7, big) + Bytes<int16_t>(-300, big) + Bytes<int32_t>(-70000, big) + Bytes<uint8_t>(250, big) +
         Bytes<uint16_t>(65000, big) + Bytes<uint32_t>(4000000000u, big) + Bytes<float>(0.1f, big) +
         Bytes<double>(-2.5e-300, big) + Bytes<uint8_t>(3) + Bytes<int32_t>(10, big) + Bytes<int32_t>(-20, big) +
         Bytes<int32_t>(30, big);
    s += Bytes<int8_t>(127, big) + Bytes<int16_t>(32767, big) + Bytes<int32_t>(2147483647, big) +
         Bytes<uint8_t>(0, big) + Bytes<uint16_t>(0, big) + Bytes<uint32_t>(0, big) + Bytes<float>(-0.0f, big) +
         Bytes<double>(1e300, big) + Bytes<uint8_t>(0);
    return s;
}

void RegisterAll(PlyFile &f)
{
    const PropDescriptor d[] = {
        {"v", "c", T_CHAR, T_CHAR, offsetof(AllTypes, c), 0, 0, 0, 0, 0, 0},
        {"v", "s", T_SHORT, T_SHORT, offsetof(AllTypes, s), 0, 0, 0, 0, 0, 0},
        {"v", "i", T_INT, T_INT, offsetof(AllTypes, i), 0, 0, 0, 0, 0, 0},
        {"v", "uc", T_UCHAR, T_UCHAR, offsetof(AllTypes, uc), 0, 0, 0, 0, 0, 0},
        {"v", "us", T_USHORT, T_USHORT, offsetof(AllTypes, us), 0, 0, 0, 0, 0, 0},
        {"v", "ui", T_UINT, T_UINT, offsetof(AllTypes, ui), 0, 0, 0, 0, 0, 0},
        {"v", "f", T_FLOAT, T_FLOAT, offsetof(AllTypes, f), 0, 0, 0, 0, 0, 0},
        {"v", "d", T_DOUBLE, T_DOUBLE, offsetof(AllTypes, d), 0, 0, 0, 0, 0, 0},
        {"v", "l", T_INT, T_INT, offsetof(AllTypes, items), 1, 0, T_UCHAR, T_UCHAR, offsetof(AllTypes, n), 0},
    };
    for (const PropDescriptor &p : d)
        ASSERT_EQ(f.AddToRead(p), 0) << p.propname;
}

// Opens text written to a scratch file.
struct Opened {
    TempDir dir;
    PlyFile f;
    int result;
    explicit Opened(const std::string &text, const char *name = "t.ply")
    {
        const std::string path = WriteFile(dir.File(name), text);
        result = f.Open(path.c_str(), 0);
    }
};

} // namespace

class PlyAllFormats : public ::testing::TestWithParam<int>
{
};

TEST_P(PlyAllFormats, ValuesAgreeAcrossFormats)
{
    Opened o(AllTypesFile(GetParam()));
    ASSERT_EQ(o.result, 0) << o.f.error;
    RegisterAll(o.f);
    o.f.SelectElement(0);
    AllTypes r{};
    ASSERT_EQ(o.f.ReadRecord(&r), 0);
    EXPECT_EQ(r.c, -7);
    EXPECT_EQ(r.s, -300);
    EXPECT_EQ(r.i, -70000);
    EXPECT_EQ(r.uc, 250);
    EXPECT_EQ(r.us, 65000);
    EXPECT_EQ(r.ui, 4000000000u);
    EXPECT_EQ(r.f, 0.1f);
    EXPECT_EQ(r.d, -2.5e-300);
    ASSERT_EQ(r.n, 3);
    EXPECT_EQ(r.items[0], 10);
    EXPECT_EQ(r.items[1], -20);
    EXPECT_EQ(r.items[2], 30);
    r.items[0] = 99;
    ASSERT_EQ(o.f.ReadRecord(&r), 0);
    EXPECT_EQ(r.c, 127);
    EXPECT_EQ(r.s, 32767);
    EXPECT_EQ(r.i, 2147483647);
    EXPECT_EQ(r.f, 0.0f);
    EXPECT_TRUE(std::signbit(r.f));
    EXPECT_EQ(r.d, 1e300);
    EXPECT_EQ(r.n, 0);
    EXPECT_EQ(r.items[0], 99);         // an empty inline list writes no items
    EXPECT_EQ(o.f.ReadRecord(&r), -1); // the data has ended
}

TEST_P(PlyAllFormats, ConversionsFollowTheNumericRules)
{
    Opened o(AllTypesFile(GetParam()));
    ASSERT_EQ(o.result, 0);
    struct Wide {
        int32_t c;
        uint32_t cu;
        uint8_t cuc;
        uint16_t s;
        uint32_t i;
        int32_t uc;
        int8_t ucc;
        int32_t us;
        int32_t ui;
        double f;
        float d;
    } w{};
    const PropDescriptor d[] = {
        {"v", "c", T_CHAR, T_INT, offsetof(Wide, c), 0, 0, 0, 0, 0, 0},
        {"v", "s", T_SHORT, T_USHORT, offsetof(Wide, s), 0, 0, 0, 0, 0, 0},
        {"v", "i", T_INT, T_UINT, offsetof(Wide, i), 0, 0, 0, 0, 0, 0},
        {"v", "uc", T_UCHAR, T_INT, offsetof(Wide, uc), 0, 0, 0, 0, 0, 0},
        {"v", "us", T_USHORT, T_INT, offsetof(Wide, us), 0, 0, 0, 0, 0, 0},
        {"v", "ui", T_UINT, T_INT, offsetof(Wide, ui), 0, 0, 0, 0, 0, 0},
        {"v", "f", T_FLOAT, T_DOUBLE, offsetof(Wide, f), 0, 0, 0, 0, 0, 0},
        {"v", "d", T_DOUBLE, T_FLOAT, offsetof(Wide, d), 0, 0, 0, 0, 0, 0},
    };
    for (const PropDescriptor &p : d)
        ASSERT_EQ(o.f.AddToRead(p), 0) << p.propname;
    o.f.SelectElement(0);
    ASSERT_EQ(o.f.ReadRecord(&w), 0);
    EXPECT_EQ(w.c, -7);                                   // sign extended
    EXPECT_EQ(w.s, 65536 - 300);                          // same width: bit for bit
    EXPECT_EQ(w.i, 4294967296u - 70000u);                 // same width: bit for bit
    EXPECT_EQ(w.uc, 250);                                 // zero extended
    EXPECT_EQ(w.us, 65000);                               // zero extended
    EXPECT_EQ(w.ui, int32_t(4000000000u - 4294967296ll)); // same width
    EXPECT_EQ(w.f, double(0.1f));                         // widened, not re-read
    EXPECT_EQ(w.d, 0.0f);                                 // -2.5e-300 rounds to -0
    ASSERT_EQ(o.f.ReadRecord(&w), 0);
    EXPECT_TRUE(std::isinf(w.d)); // 1e300 is beyond float
}

INSTANTIATE_TEST_SUITE_P(Formats, PlyAllFormats, ::testing::Values(F_ASCII, F_BINLITTLE, F_BINBIG),
                         [](const ::testing::TestParamInfo<int> &i) {
                             return std::string(i.param == F_ASCII       ? "Ascii"
                                                : i.param == F_BINLITTLE ? "LittleEndian"
                                                                         : "BigEndian");
                         });

TEST(PlyAddToRead, ChecksInOrderAndKeepsEarlierRequests)
{
    Opened o(Header("ascii") + "0 0 0 0 0 0 0 0 0\n");
    ASSERT_EQ(o.result, 0);
    PlyFile &f = o.f;
    struct C {
        const char *what;
        int expected;
        PropDescriptor d;
    };
    const C cases[] = {
        {"missing element beats bad types", E_ELEMNOTFOUND, {"w", "c", 0, 99, 0, 5, 0, 0, 0, 0, 0}},
        {"missing property beats bad types", E_PROPNOTFOUND, {"v", "q", 0, 99, 0, 1, 0, 0, 0, 0, 0}},
        {"file type 0", E_BADTYPE, {"v", "c", 0, T_CHAR, 0, 0, 0, 0, 0, 0, 0}},
        {"memory type 9", E_BADTYPE, {"v", "c", T_CHAR, T_MAXTYPE, 0, 0, 0, 0, 0, 0, 0}},
        {"list count type 0", E_BADTYPE, {"v", "l", T_INT, T_INT, 0, 1, 0, 0, T_INT, 0, 0}},
        {"list count memory type 9", E_BADTYPE, {"v", "l", T_INT, T_INT, 0, 1, 0, T_UCHAR, 9, 0, 0}},
        {"bad type beats mismatch", E_BADTYPE, {"v", "c", T_CHAR, 0, 0, 1, 0, 0, 0, 0, 0}},
        {"scalar asked as list", E_INCOMPATIBLETYPE, {"v", "c", T_CHAR, T_CHAR, 0, 1, 0, T_UCHAR, T_UCHAR, 0, 0}},
        {"list asked as scalar", E_INCOMPATIBLETYPE, {"v", "l", T_INT, T_INT, 0, 0, 0, 0, 0, 0, 0}},
        {"uint named as int", E_INCOMPATIBLETYPE, {"v", "ui", T_INT, T_INT, 0, 0, 0, 0, 0, 0, 0}},
        {"wrong count type", E_INCOMPATIBLETYPE, {"v", "l", T_INT, T_INT, 0, 1, 0, T_INT, T_INT, 0, 0}},
        {"mismatch beats bad cast", E_INCOMPATIBLETYPE, {"v", "f", T_DOUBLE, T_INT, 0, 0, 0, 0, 0, 0, 0}},
        {"float to int", E_BADCAST, {"v", "f", T_FLOAT, T_INT, 0, 0, 0, 0, 0, 0, 0}},
        {"uint to uchar", E_BADCAST, {"v", "ui", T_UINT, T_UCHAR, 0, 0, 0, 0, 0, 0, 0}},
        {"int to float", E_BADCAST, {"v", "i", T_INT, T_FLOAT, 0, 0, 0, 0, 0, 0, 0}},
        {"short to char", E_BADCAST, {"v", "s", T_SHORT, T_CHAR, 0, 0, 0, 0, 0, 0, 0}},
        {"count to float", E_BADCAST, {"v", "l", T_INT, T_INT, 0, 1, 0, T_UCHAR, T_FLOAT, 0, 0}},
        {"items to float", E_BADCAST, {"v", "l", T_INT, T_FLOAT, 0, 1, 0, T_UCHAR, T_UCHAR, 0, 0}},
    };
    ASSERT_EQ(f.AddToRead("v", "c", T_CHAR, T_INT, 12, 0, 0, 0, 0, 0), 0);
    for (const C &c : cases) {
        f.error = 0;
        EXPECT_EQ(f.AddToRead(c.d), -1) << c.what;
        EXPECT_EQ(f.error, c.expected) << c.what;
    }
    const PlyProperty &pc = *f.FindElement("v")->FindProperty("c");
    EXPECT_EQ(pc.stored, 1);
    EXPECT_EQ(pc.desc.memtype, T_INT); // the failures left the request alone
    EXPECT_EQ(pc.desc.offset, 12);
    EXPECT_EQ(f.FindElement("v")->FindProperty("ui")->stored, 0);

    // Admitted pairs: every yes of the table, and a registration overwrites.
    EXPECT_EQ(f.AddToRead("v", "uc", T_UCHAR, T_CHAR, 0, 0, 0, 0, 0, 0), 0);
    EXPECT_EQ(f.AddToRead("v", "us", T_USHORT, T_UINT, 0, 0, 0, 0, 0, 0), 0);
    EXPECT_EQ(f.AddToRead("v", "d", T_DOUBLE, T_FLOAT, 0, 0, 0, 0, 0, 0), 0);
    EXPECT_EQ(f.AddToRead("v", "c", T_CHAR, T_UCHAR, 3, 0, 0, 0, 0, 0), 0);
    EXPECT_EQ(pc.desc.memtype, T_UCHAR);
    EXPECT_EQ(pc.desc.offset, 3);
    PropDescriptor probe{"v", "c", T_CHAR, T_DOUBLE, 0, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(probe.MemTypeSize(), 8);
}

TEST(PlyAddToRead, FloatingCountTypesAreRefused)
{
    Opened o("ply\nformat binary_little_endian 1.0\nelement v 1\nproperty list float int l\nend_header\n");
    ASSERT_EQ(o.result, 0);
    EXPECT_EQ(o.f.AddToRead("v", "l", T_INT, T_INT, 4, 1, 0, T_FLOAT, T_FLOAT, 0), -1);
    EXPECT_EQ(o.f.error, E_BADCAST);
}

TEST(PlyBinary, ByteOrders)
{
    const std::string data = std::string("\x00\x00\x01\x02", 4);
    for (const char *fmt : {"binary_big_endian", "binary_little_endian"}) {
        Opened o(std::string("ply\nformat ") + fmt + " 1.0\nelement v 1\nproperty int a\nend_header\n" + data);
        ASSERT_EQ(o.result, 0);
        ASSERT_EQ(o.f.AddToRead("v", "a", T_INT, T_INT, 0, 0, 0, 0, 0, 0), 0);
        o.f.SelectElement(0);
        int32_t a = 0;
        ASSERT_EQ(o.f.ReadRecord(&a), 0);
        if (o.f.format == F_BINBIG)
            EXPECT_EQ(a, 258);
        else
            EXPECT_EQ(a, 0x02010000);
    }
}

TEST(PlyBinary, BigEndianDoublesAreReversed)
{
    const double values[] = {1.5, -3.25e-7, 6.02214076e23};
    std::string text = "ply\nformat binary_big_endian 1.0\nelement v 3\nproperty float64 d\nend_header\n";
    for (double v : values)
        text += Bytes(v, true);
    Opened o(text);
    ASSERT_EQ(o.result, 0);
    ASSERT_EQ(o.f.AddToRead("v", "d", T_DOUBLE, T_DOUBLE, 0, 0, 0, 0, 0, 0), 0);
    o.f.SelectElement(0);
    for (double v : values) {
        double d = 0;
        ASSERT_EQ(o.f.ReadRecord(&d), 0);
        EXPECT_EQ(d, v);
    }
}

TEST(PlyBinary, SkippedListsAndScalarsKeepStep)
{
    // Between the stored values: a skipped list of 3 doubles (1 + 24 bytes),
    // an empty list, a list with an int count (read as an int, not as a
    // byte) and a skipped short.
    for (bool big : {false, true}) {
        std::string text = std::string("ply\nformat ") + (big ? "binary_big_endian" : "binary_little_endian") +
                           " 1.0\nelement v 2\nproperty int a\nproperty list uchar double x\n"
                           "property list uint8 float e\nproperty list int float w\nproperty short s\n"
                           "property int b\nend_header\n";
        for (int r = 0; r < 2; ++r) {
            text += Bytes<int32_t>(100 + r, big);
            text += Bytes<uint8_t>(3) + Bytes(1.0, big) + Bytes(2.0, big) + Bytes(3.0, big);
            text += Bytes<uint8_t>(0);
            text += Bytes<int32_t>(2, big) + Bytes(1.0f, big) + Bytes(2.0f, big);
            text += Bytes<int16_t>(-1, big);
            text += Bytes<int32_t>(200 + r, big);
        }
        Opened o(text);
        ASSERT_EQ(o.result, 0);
        ASSERT_EQ(o.f.AddToRead("v", "a", T_INT, T_INT, 0, 0, 0, 0, 0, 0), 0);
        ASSERT_EQ(o.f.AddToRead("v", "b", T_INT, T_INT, 4, 0, 0, 0, 0, 0), 0);
        o.f.SelectElement(0);
        for (int r = 0; r < 2; ++r) {
            int32_t ab[2] = {};
            ASSERT_EQ(o.f.ReadRecord(ab), 0);
            EXPECT_EQ(ab[0], 100 + r);
            EXPECT_EQ(ab[1], 200 + r);
        }
        EXPECT_EQ(o.f.BytesLeft(), 0);
    }
}

TEST(PlyBinary, WideCountTypesForStoredLists)
{
    // A ushort count into the int-to-int member, and an int count into a
    // uchar-to-short member, in both byte orders.
    for (bool big : {false, true}) {
        std::string text = std::string("ply\nformat ") + (big ? "binary_big_endian" : "binary_little_endian") +
                           " 1.0\nelement f 1\nproperty list ushort int i\nproperty list int uchar u\n"
                           "property uchar tail\nend_header\n";
        text += Bytes<uint16_t>(2, big) + Bytes<int32_t>(-5, big) + Bytes<int32_t>(70000, big);
        text += Bytes<int32_t>(3, big) + "\x01\x02\xff" + "\x2a";
        Opened o(text);
        ASSERT_EQ(o.result, 0);
        struct R {
            int32_t n;
            int32_t i[255];
            int32_t m;
            int16_t u[255];
            uint8_t tail;
        } r{};
        ASSERT_EQ(o.f.AddToRead("f", "i", T_INT, T_INT, offsetof(R, i), 1, 0, T_USHORT, T_INT, offsetof(R, n)), 0);
        ASSERT_EQ(o.f.AddToRead("f", "u", T_UCHAR, T_SHORT, offsetof(R, u), 1, 0, T_INT, T_INT, offsetof(R, m)), 0);
        ASSERT_EQ(o.f.AddToRead("f", "tail", T_UCHAR, T_UCHAR, offsetof(R, tail), 0, 0, 0, 0, 0), 0);
        o.f.SelectElement(0);
        ASSERT_EQ(o.f.ReadRecord(&r), 0);
        EXPECT_EQ(r.n, 2);
        EXPECT_EQ(r.i[0], -5);
        EXPECT_EQ(r.i[1], 70000);
        EXPECT_EQ(r.m, 3);
        EXPECT_EQ(r.u[0], 1);
        EXPECT_EQ(r.u[2], 255); // uchar zero-extends
        EXPECT_EQ(r.tail, 42);
    }
}

TEST(PlyBinary, InlineCountsOutsideZeroTo255FailTheRecord)
{
    struct R {
        int32_t n;
        int32_t i[255];
        int32_t guard;
    };
    struct C {
        const char *what;
        const char *counttype;
        std::string count;
        int ct;
    };
    const C cases[] = {
        {"negative char", "char", Bytes<int8_t>(-1), T_CHAR},
        {"256 as ushort", "ushort", Bytes<uint16_t>(256), T_USHORT},
        {"huge int", "int", Bytes<int32_t>(1 << 30), T_INT},
        {"negative int", "int", Bytes<int32_t>(-2), T_INT},
        {"huge uint", "uint", Bytes<uint32_t>(4000000000u), T_UINT},
    };
    for (const C &c : cases) {
        std::string text = std::string("ply\nformat binary_little_endian 1.0\nelement f 1\nproperty list ") +
                           c.counttype + " int i\nend_header\n" + c.count + std::string(1100, '\0');
        Opened o(text);
        ASSERT_EQ(o.result, 0);
        ASSERT_EQ(o.f.AddToRead("f", "i", T_INT, T_INT, offsetof(R, i), 1, 0, c.ct, T_INT, offsetof(R, n)), 0);
        o.f.SelectElement(0);
        R r{};
        r.n = 77;
        r.guard = 0x5a5a5a5a;
        EXPECT_EQ(o.f.ReadRecord(&r), -1) << c.what;
        EXPECT_EQ(r.n, 77) << c.what;
        EXPECT_EQ(r.guard, 0x5a5a5a5a) << c.what;
    }
    // 255 itself fits.
    std::string text = "ply\nformat binary_little_endian 1.0\nelement f 1\nproperty list ushort uchar i\nend_header\n" +
                       Bytes<uint16_t>(255) + std::string(255, '\x07');
    Opened o(text);
    ASSERT_EQ(o.f.AddToRead("f", "i", T_UCHAR, T_UCHAR, 2, 1, 0, T_USHORT, T_USHORT, 0), 0);
    o.f.SelectElement(0);
    unsigned char r[2 + 255 + 1] = {};
    ASSERT_EQ(o.f.ReadRecord(r), 0);
    EXPECT_EQ(r[2 + 254], 7);
    EXPECT_EQ(r[2 + 255], 0);
}

TEST(PlyBinary, AllocatedListsBelongToTheCaller)
{
    struct R {
        int32_t n;
        int32_t *items;
    };
    for (bool big : {false, true}) {
        std::string text = std::string("ply\nformat ") + (big ? "binary_big_endian" : "binary_little_endian") +
                           " 1.0\nelement s 3\nproperty list int int i\nend_header\n";
        text += Bytes<int32_t>(4, big);
        for (int v : {0, 1, 2, -1})
            text += Bytes<int32_t>(v, big);
        text += Bytes<int32_t>(0, big);
        text += Bytes<int32_t>(1000000, big) + Bytes<int32_t>(5, big); // far more than the file holds
        Opened o(text);
        ASSERT_EQ(o.result, 0);
        ASSERT_EQ(o.f.AddToRead("s", "i", T_INT, T_INT, offsetof(R, items), 1, 1, T_INT, T_INT, offsetof(R, n)), 0);
        o.f.SelectElement(0);
        R r{};
        ASSERT_EQ(o.f.ReadRecord(&r), 0);
        ASSERT_EQ(r.n, 4);
        ASSERT_NE(r.items, nullptr);
        EXPECT_EQ(r.items[1], 1);
        EXPECT_EQ(r.items[3], -1);
        std::free(r.items);
        r.items = reinterpret_cast<int32_t *>(&r); // must be replaced
        ASSERT_EQ(o.f.ReadRecord(&r), 0);
        EXPECT_EQ(r.n, 0);
        EXPECT_EQ(r.items, nullptr); // no block for an empty list
        r.n = -3;
        r.items = nullptr;
        EXPECT_EQ(o.f.ReadRecord(&r), -1);
        EXPECT_EQ(r.n, -3);          // refused before anything was stored
        EXPECT_EQ(r.items, nullptr); // and before anything was allocated
    }
}

TEST(PlyBinary, TruncatedDataFailsAndSkippedScalarsNeedOneByte)
{
    Opened o("ply\nformat binary_little_endian 1.0\nelement v 2\nproperty short a\nproperty int b\nend_header\n" +
             Bytes<int16_t>(1) + Bytes<int32_t>(2) + Bytes<int16_t>(3) + "\x01\x02");
    ASSERT_EQ(o.result, 0);
    ASSERT_EQ(o.f.AddToRead("v", "a", T_SHORT, T_INT, 0, 0, 0, 0, 0, 0), 0);
    o.f.SelectElement(0);
    int32_t a = 0;
    ASSERT_EQ(o.f.ReadRecord(&a), 0);
    EXPECT_EQ(a, 1);
    // The skipped int has only 2 of its 4 bytes: a skipper fails only when
    // not a single byte is left.
    EXPECT_EQ(o.f.ReadRecord(&a), 0);
    EXPECT_EQ(a, 3);
    EXPECT_EQ(o.f.ReadRecord(&a), -1);
}

TEST(PlyBinary, NothingStoredNeedsNoRecord)
{
    Opened o("ply\nformat binary_little_endian 1.0\nelement v 2\nproperty list uchar int l\nproperty double d\n"
             "element w 1\nproperty uchar c\nend_header\n" +
             Bytes<uint8_t>(1) + Bytes<int32_t>(9) + Bytes(1.0) + Bytes<uint8_t>(0) + Bytes(2.0) + "\x2a");
    ASSERT_EQ(o.result, 0);
    ASSERT_EQ(o.f.AddToRead("w", "c", T_UCHAR, T_INT, 0, 0, 0, 0, 0, 0), 0);
    o.f.SelectElement(0);
    ASSERT_EQ(o.f.ReadRecord(nullptr), 0);
    ASSERT_EQ(o.f.ReadRecord(nullptr), 0);
    o.f.SelectElement(1);
    int32_t c = 0;
    ASSERT_EQ(o.f.ReadRecord(&c), 0);
    EXPECT_EQ(c, 42);
}

TEST(PlyBinary, GenericReaderAndMaxRecords)
{
    Opened o("ply\nformat binary_big_endian 1.0\nelement v 1000000000\nproperty ushort a\nproperty uchar b\n"
             "element e 2000000000\nend_header\n" +
             Bytes<uint16_t>(513, true) + "\x05" + Bytes<uint16_t>(7, true) + "\x06");
    ASSERT_EQ(o.result, 0);
    EXPECT_EQ(o.f.ElementNumber(0), 1000000000);
    EXPECT_EQ(o.f.BytesLeft(), 6);
    EXPECT_EQ(o.f.MaxRecords(0), 2);          // 3 bytes a record
    EXPECT_EQ(o.f.MaxRecords(1), 2000000000); // records of no bytes
    EXPECT_EQ(o.f.MaxRecords(2), 0);
    PropDescriptor d{"v", "a", T_USHORT, T_INT, 0, 0, 0, 0, 0, 0, F_BINBIG};
    int32_t a = 0;
    ASSERT_NE(o.f.ReadCB, nullptr);
    ASSERT_TRUE(o.f.ReadCB(*o.f.fp, &a, d));
    EXPECT_EQ(a, 513);
    EXPECT_EQ(o.f.BytesLeft(), 4);
    EXPECT_EQ(o.f.MaxRecords(0), 1);
}

TEST(PlyBinary, RegistrationsTakeEffectAtTheNextSelect)
{
    Opened o("ply\nformat binary_little_endian 1.0\nelement v 2\nproperty uchar a\nend_header\n\x03\x04");
    ASSERT_EQ(o.result, 0);
    o.f.SelectElement(0);
    ASSERT_EQ(o.f.AddToRead("v", "a", T_UCHAR, T_UCHAR, 0, 0, 0, 0, 0, 0), 0);
    unsigned char a = 0;
    ASSERT_EQ(o.f.ReadRecord(&a), 0);
    EXPECT_EQ(a, 0); // still the skipper
    o.f.SelectElement(0);
    ASSERT_EQ(o.f.ReadRecord(&a), 0);
    EXPECT_EQ(a, 4);
    o.f.SelectElement(5);
    EXPECT_EQ(o.f.cure, nullptr);

    // A request changed after the select (inline list to allocated block)
    // does not redirect the compiled routine.
    Opened l("ply\nformat binary_little_endian 1.0\nelement f 2\nproperty list uchar uchar i\nend_header\n"
             "\x03\x01\x02\x03\x02\x04\x05");
    ASSERT_EQ(l.result, 0);
    ASSERT_EQ(l.f.AddToRead("f", "i", T_UCHAR, T_UCHAR, 1, 1, 0, T_UCHAR, T_UCHAR, 0), 0);
    l.f.SelectElement(0);
    ASSERT_EQ(l.f.AddToRead("f", "i", T_UCHAR, T_UCHAR, 8, 1, 1, T_UCHAR, T_UCHAR, 0), 0);
    unsigned char rec[16] = {};
    ASSERT_EQ(l.f.ReadRecord(rec), 0);
    EXPECT_EQ(rec[0], 3);
    EXPECT_EQ(rec[3], 3);
    l.f.SelectElement(0); // now allocated
    ASSERT_EQ(l.f.ReadRecord(rec), 0);
    unsigned char *block = nullptr;
    std::memcpy(&block, rec + 8, sizeof block);
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(block[1], 5);
    std::free(block);
}

// ------------------------------------------------------------------ ASCII

namespace
{

// Reads the tokens of `data` as one property of `decl` type into memtype.
template <class M> bool ReadAscii(const std::string &decl, int ft, int mt, const std::string &data, M &out)
{
    Opened o("ply\nformat ascii 1.0\nelement v 1\nproperty " + decl + " a\nend_header\n" + data);
    if (o.result != 0 || o.f.AddToRead("v", "a", ft, mt, 0, 0, 0, 0, 0, 0) != 0) return false;
    o.f.SelectElement(0);
    return o.f.ReadRecord(&out) == 0;
}

} // namespace

TEST(PlyAscii, NarrowingFollowsTheFormattedInput)
{
    int8_t c = 0;
    ASSERT_TRUE(ReadAscii("char", T_CHAR, T_CHAR, "200\n", c));
    EXPECT_EQ(c, -56);
    uint8_t uc = 0;
    ASSERT_TRUE(ReadAscii("uchar", T_UCHAR, T_UCHAR, "200\n", uc));
    EXPECT_EQ(uc, 200);
    ASSERT_TRUE(ReadAscii("uchar", T_UCHAR, T_UCHAR, "-1\n", uc)); // "%u" takes a sign
    EXPECT_EQ(uc, 255);
    int16_t s = 0;
    ASSERT_TRUE(ReadAscii("short", T_SHORT, T_SHORT, "70000", s));
    EXPECT_EQ(s, 70000 - 65536);
    int32_t i = 0;
    ASSERT_TRUE(ReadAscii("int", T_INT, T_INT, "+42", i));
    EXPECT_EQ(i, 42);
    ASSERT_TRUE(ReadAscii("int", T_INT, T_INT, "4294967295", i)); // low 32 bits
    EXPECT_EQ(i, -1);
    // Beyond 64 bits "%d" saturates as strtol does: the low 32 bits of
    // LONG_MAX are all ones, those of LONG_MIN all zeros.
    ASSERT_TRUE(ReadAscii("int", T_INT, T_INT, "99999999999999999999", i));
    EXPECT_EQ(i, -1);
    ASSERT_TRUE(ReadAscii("int", T_INT, T_INT, "-99999999999999999999", i));
    EXPECT_EQ(i, 0);
    ASSERT_TRUE(ReadAscii("int", T_INT, T_INT, "  \t\n\r\v\f-0012", i));
    EXPECT_EQ(i, -12);
    uint32_t u = 0;
    ASSERT_TRUE(ReadAscii("uint", T_UINT, T_UINT, "4294967295", u));
    EXPECT_EQ(u, 4294967295u);
    ASSERT_TRUE(ReadAscii("uint", T_UINT, T_UINT, "99999999999999999999999", u)); // saturates
    EXPECT_EQ(u, 4294967295u);
    ASSERT_TRUE(ReadAscii("uint", T_UINT, T_INT, "-2", i));
    EXPECT_EQ(i, -2);
}

TEST(PlyAscii, RealsAreCorrectlyRoundedAndAcceptWhatStrtodAccepts)
{
    struct C {
        const char *text;
        double expected;
    };
    // Expected floats come from the C library's own conversion.
    const C cases[] = {
        {"0.1", 0.1},
        {"1.000000059604644775390625", 1.000000059604644775390625},         // a tie: to even
        {"1.0000000596046447753906250001", 1.0000000596046447753906250001}, // just above it
        {"-.5", -0.5},
        {"+3.", 3.0},
        {"1e-3", 1e-3},
        {"1E+2", 100.0},
        {"0x1.8p1", 3.0},
        {"-0X10", -16.0},
        {"7e-46", 7e-46},
    };
    for (const C &c : cases) {
        float f = -1;
        ASSERT_TRUE(ReadAscii("float", T_FLOAT, T_FLOAT, c.text, f)) << c.text;
        EXPECT_EQ(f, std::strtof(c.text, nullptr)) << c.text;
        double d = -1;
        ASSERT_TRUE(ReadAscii("double", T_DOUBLE, T_DOUBLE, c.text, d)) << c.text;
        EXPECT_EQ(d, std::strtod(c.text, nullptr)) << c.text;
    }
    float f = 0;
    ASSERT_TRUE(ReadAscii("float", T_FLOAT, T_FLOAT, "inf", f));
    EXPECT_TRUE(std::isinf(f));
    ASSERT_TRUE(ReadAscii("float", T_FLOAT, T_FLOAT, "-Infinity", f));
    EXPECT_TRUE(std::isinf(f) && f < 0);
    ASSERT_TRUE(ReadAscii("float", T_FLOAT, T_FLOAT, "1e400", f));
    EXPECT_TRUE(std::isinf(f));
    ASSERT_TRUE(ReadAscii("float", T_FLOAT, T_FLOAT, "NaN", f));
    EXPECT_TRUE(std::isnan(f));
    ASSERT_TRUE(ReadAscii("float", T_FLOAT, T_FLOAT, "nan(123)", f));
    EXPECT_TRUE(std::isnan(f));
    // A float file value asked as double is read as a float, then widened.
    double d = 0;
    ASSERT_TRUE(ReadAscii("float", T_FLOAT, T_DOUBLE, "0.1", d));
    EXPECT_EQ(d, double(0.1f));
}

TEST(PlyAscii, WhatIsNotANumberFailsTheRecord)
{
    const char *bad[] = {"abc", "-", "+-1", ".", "1.5e", "1e+", "0x", "0x1p", "infin", "nan(1", "", "   \n", ",1"};
    for (const char *t : bad) {
        float f = 0;
        EXPECT_FALSE(ReadAscii("float", T_FLOAT, T_FLOAT, t, f)) << '"' << t << '"';
    }
    const char *badInt[] = {"x", "-", "+", "", "--2", ".5"};
    for (const char *t : badInt) {
        int32_t i = 0;
        EXPECT_FALSE(ReadAscii("int", T_INT, T_INT, t, i)) << '"' << t << '"';
        uint32_t u = 0;
        EXPECT_FALSE(ReadAscii("uint", T_UINT, T_UINT, t, u)) << '"' << t << '"';
    }
}

TEST(PlyAscii, TokensAreReadAsTheFormattedInputReadsThem)
{
    // "%d" stops where the digits stop: "1.5" gives 1, and ".5" is next.
    Opened o("ply\nformat ascii 1.0\nelement v 1\nproperty int a\nproperty float b\nend_header\n1.5\n");
    ASSERT_EQ(o.result, 0);
    struct {
        int32_t a;
        float b;
    } r{};
    ASSERT_EQ(o.f.AddToRead("v", "a", T_INT, T_INT, 0, 0, 0, 0, 0, 0), 0);
    ASSERT_EQ(o.f.AddToRead("v", "b", T_FLOAT, T_FLOAT, 4, 0, 0, 0, 0, 0), 0);
    o.f.SelectElement(0);
    ASSERT_EQ(o.f.ReadRecord(&r), 0);
    EXPECT_EQ(r.a, 1);
    EXPECT_EQ(r.b, 0.5f);
}

TEST(PlyAscii, SkippingKeepsStepAndFailsOnGarbage)
{
    // A stored int and two skipped floats: the next record starts on the next line.
    Opened o("ply\nformat ascii 1.0\nelement v 3\nproperty int a\nproperty float b\nproperty float c\n"
             "property list uchar float l\nproperty char k\nend_header\n"
             "1 2 3 2 0.5 -1e3 9\n4 5 6 0 8\n7 x 9 0 1\n");
    ASSERT_EQ(o.result, 0);
    ASSERT_EQ(o.f.AddToRead("v", "a", T_INT, T_INT, 0, 0, 0, 0, 0, 0), 0);
    o.f.SelectElement(0);
    int32_t a = 0;
    ASSERT_EQ(o.f.ReadRecord(&a), 0);
    EXPECT_EQ(a, 1);
    ASSERT_EQ(o.f.ReadRecord(&a), 0);
    EXPECT_EQ(a, 4);
    // "x" in a skipped float: the record fails instead of drifting.
    EXPECT_EQ(o.f.ReadRecord(&a), -1);
}

TEST(PlyAscii, ListCountsAreChecked)
{
    struct R {
        uint8_t n;
        int32_t i[255];
        int32_t guard;
    };
    const char *counts[] = {"-1", "256", "100000"};
    for (const char *c : counts) {
        Opened o(std::string("ply\nformat ascii 1.0\nelement f 1\nproperty list uchar int i\nend_header\n") + c +
                 " 1 2 3\n");
        ASSERT_EQ(o.result, 0);
        ASSERT_EQ(o.f.AddToRead("f", "i", T_INT, T_INT, offsetof(R, i), 1, 0, T_UCHAR, T_UCHAR, offsetof(R, n)), 0);
        o.f.SelectElement(0);
        R r{};
        r.guard = 0x5a5a5a5a;
        EXPECT_EQ(o.f.ReadRecord(&r), -1) << c;
        EXPECT_EQ(r.guard, 0x5a5a5a5a) << c;
    }
    // An allocated list claiming more items than the rest of the file holds.
    Opened o("ply\nformat ascii 1.0\nelement f 1\nproperty list int int i\nend_header\n2000000000 1 2\n");
    struct A {
        int32_t n;
        int32_t *items;
    } r{-1, nullptr};
    ASSERT_EQ(o.f.AddToRead("f", "i", T_INT, T_INT, offsetof(A, items), 1, 1, T_INT, T_INT, 0), 0);
    o.f.SelectElement(0);
    EXPECT_EQ(o.f.ReadRecord(&r), -1);
    EXPECT_EQ(r.items, nullptr);
    // A skipped list with a negative count is malformed too.
    Opened s("ply\nformat ascii 1.0\nelement f 1\nproperty list uchar int i\nend_header\n-2 1 2\n");
    s.f.SelectElement(0);
    EXPECT_EQ(s.f.ReadRecord(nullptr), -1);
}

TEST(PlyAscii, TokensAcrossBlockBoundariesAndLongTokens)
{
    // Far more than one buffer of data, with numbers of varying length, so
    // that tokens straddle every block boundary.
    std::string text = "ply\nformat ascii 1.0\nelement v 300000\nproperty int a\nproperty double b\nend_header\n";
    long long expectA = 0;
    double expectB = 0;
    for (int r = 0; r < 300000; ++r) {
        const int a = int((r * 7919LL) % 100003) - 50000;
        const std::string b = std::to_string(r) + "." + std::to_string(r % 97) + "e-2";
        text += std::to_string(a) + (r % 3 ? " " : "\r\n\t") + b + "\n";
        expectA += a;
        expectB += std::strtod(b.c_str(), nullptr);
    }
    Opened o(text);
    ASSERT_EQ(o.result, 0);
    struct {
        int32_t a;
        double b;
    } r{};
    ASSERT_EQ(o.f.AddToRead("v", "a", T_INT, T_INT, 0, 0, 0, 0, 0, 0), 0);
    ASSERT_EQ(o.f.AddToRead("v", "b", T_DOUBLE, T_DOUBLE, 8, 0, 0, 0, 0, 0), 0);
    o.f.SelectElement(0);
    long long sumA = 0;
    double sumB = 0;
    for (int i = 0; i < 300000; ++i) {
        ASSERT_EQ(o.f.ReadRecord(&r), 0) << i;
        sumA += r.a;
        sumB += r.b;
    }
    EXPECT_EQ(sumA, expectA);
    EXPECT_EQ(sumB, expectB);

    // Single tokens longer than a whole block.
    const std::string zeros(3 << 20, '0');
    float f = 0;
    ASSERT_TRUE(ReadAscii("float", T_FLOAT, T_FLOAT, zeros + "1.25 ", f));
    EXPECT_EQ(f, 1.25f);
    int32_t i = 0;
    ASSERT_TRUE(ReadAscii("int", T_INT, T_INT, "-" + zeros + "17", i));
    EXPECT_EQ(i, -17);
}

TEST(PlyAscii, ALastTokenEndingWithTheFileAndTheBlock)
{
    // The file is exactly one block long and its last token ends with it:
    // looking for the rest of that token must not lose the reader's place.
    const size_t block = size_t(1) << 20;
    const std::string head = "ply\nformat ascii 1.0\nelement v 0000000000\nproperty int a\nend_header\n";
    std::string data;
    long long sum = 0;
    int count = 0;
    while (head.size() + data.size() + 8 < block) {
        data += std::to_string(count % 1000) + "\n";
        sum += count % 1000;
        ++count;
    }
    const std::string last = std::string(block - head.size() - data.size(), '0') + "";
    data += last.substr(0, last.size() - 1) + "9"; // one token up to the last byte
    sum += 9;
    ++count;
    std::string text = head;
    const std::string n = std::to_string(count);
    text.replace(text.find("0000000000") + 10 - n.size(), n.size(), n);
    text += data;
    ASSERT_EQ(text.size(), block);
    Opened o(text);
    ASSERT_EQ(o.result, 0);
    ASSERT_EQ(o.f.ElementNumber(0), count);
    ASSERT_EQ(o.f.AddToRead("v", "a", T_INT, T_INT, 0, 0, 0, 0, 0, 0), 0);
    o.f.SelectElement(0);
    long long got = 0;
    int32_t a = 0;
    for (int i = 0; i < count; ++i) {
        ASSERT_EQ(o.f.ReadRecord(&a), 0) << i;
        got += a;
    }
    EXPECT_EQ(got, sum);
    EXPECT_EQ(o.f.BytesLeft(), 0);
    EXPECT_EQ(o.f.ReadRecord(&a), -1);
    EXPECT_EQ(o.f.BytesLeft(), 0);
}

TEST(PlyBinary, ListsAndRunsAcrossBlockBoundaries)
{
    // Several blocks of records whose lists and vertex runs straddle the
    // block boundaries, in both byte orders; sums are derived from the same
    // generator that wrote the file.
    for (bool big : {false, true}) {
        const int nv = 90000, nf = 120000;
        std::string text = std::string("ply\nformat ") + (big ? "binary_big_endian" : "binary_little_endian") +
                           " 1.0\nelement vertex " + std::to_string(nv) +
                           "\nproperty float x\nproperty float y\nproperty uchar c\nelement face " +
                           std::to_string(nf) + "\nproperty list uchar int vertex_indices\nend_header\n";
        double sumXY = 0;
        long long sumC = 0, sumI = 0, sumN = 0;
        for (int i = 0; i < nv; ++i) {
            const float x = float(i) * 0.5f, y = -float(i % 977);
            text += Bytes(x, big) + Bytes(y, big) + Bytes<uint8_t>(uint8_t(i * 7));
            sumXY += double(x) + double(y);
            sumC += uint8_t(i * 7);
        }
        for (int i = 0; i < nf; ++i) {
            const int n = i % 6;
            text += Bytes<uint8_t>(uint8_t(n));
            for (int k = 0; k < n; ++k) {
                text += Bytes<int32_t>(i - k, big);
                sumI += i - k;
            }
            sumN += n;
        }
        ASSERT_GT(text.size(), size_t(2) << 20);
        Opened o(text);
        ASSERT_EQ(o.result, 0);
        struct V {
            float x, y;
            uint8_t c;
        } v{};
        struct F {
            uint8_t n;
            int32_t i[255];
        } f{};
        ASSERT_EQ(o.f.AddToRead("vertex", "x", T_FLOAT, T_FLOAT, offsetof(V, x), 0, 0, 0, 0, 0), 0);
        ASSERT_EQ(o.f.AddToRead("vertex", "y", T_FLOAT, T_FLOAT, offsetof(V, y), 0, 0, 0, 0, 0), 0);
        ASSERT_EQ(o.f.AddToRead("vertex", "c", T_UCHAR, T_UCHAR, offsetof(V, c), 0, 0, 0, 0, 0), 0);
        ASSERT_EQ(o.f.AddToRead("face", "vertex_indices", T_INT, T_INT, offsetof(F, i), 1, 0, T_UCHAR, T_UCHAR,
                                offsetof(F, n)),
                  0);
        double gotXY = 0;
        long long gotC = 0, gotI = 0, gotN = 0;
        o.f.SelectElement(0);
        for (int i = 0; i < nv; ++i) {
            ASSERT_EQ(o.f.ReadRecord(&v), 0) << i;
            gotXY += double(v.x) + double(v.y);
            gotC += v.c;
        }
        o.f.SelectElement(1);
        for (int i = 0; i < nf; ++i) {
            ASSERT_EQ(o.f.ReadRecord(&f), 0) << i;
            gotN += f.n;
            for (int k = 0; k < f.n; ++k)
                gotI += f.i[k];
        }
        EXPECT_EQ(gotXY, sumXY);
        EXPECT_EQ(gotC, sumC);
        EXPECT_EQ(gotN, sumN);
        EXPECT_EQ(gotI, sumI);
        EXPECT_EQ(o.f.BytesLeft(), 0);
    }
}

namespace
{

// One scalar property of the packed layout below.
struct PackedProp {
    const char *name;
    int type;
    bool stored;
};

const PackedProp kPacked[] = {
    {"a", T_UCHAR, true},   {"b", T_SHORT, true},  {"c", T_USHORT, true},  {"d", T_UCHAR, true},
    {"e", T_INT, true},     {"f", T_FLOAT, true},  {"g", T_UINT, true},    {"h", T_CHAR, true},
    {"i", T_UCHAR, true},   {"j", T_DOUBLE, true}, {"k", T_DOUBLE, true},  {"l", T_DOUBLE, true},
    {"m0", T_UCHAR, true},  {"m1", T_UCHAR, true}, {"m2", T_UCHAR, true},  {"m3", T_UCHAR, true},
    {"m4", T_UCHAR, true},  {"m5", T_UCHAR, true}, {"m6", T_UCHAR, true},  {"m7", T_UCHAR, true},
    {"m8", T_UCHAR, true},  {"m9", T_UCHAR, true}, {"n0", T_USHORT, true}, {"n1", T_SHORT, true},
    {"n2", T_USHORT, true}, {"n3", T_SHORT, true}, {"n4", T_USHORT, true}, {"n5", T_SHORT, true},
    {"n6", T_USHORT, true}, {"n7", T_SHORT, true}, {"n8", T_USHORT, true}, {"o", T_INT, false},
    {"p", T_FLOAT, true},   {"q", T_DOUBLE, true},
};

// Value of property k in record r as an integer pattern of its width
// (distinct per property and record, every byte significant).
uint64_t PackedBits(size_t k, int r)
{
    const uint64_t x = (uint64_t(k) + 1) * 0x9E3779B97F4A7C15ULL ^ (uint64_t(r) * 0xBF58476D1CE4E5B9ULL);
    return x ^ (x >> 29);
}

std::string PackedBytes(int type, uint64_t bits, bool big)
{
    switch (TypeSize[type]) {
    case 1:
        return Bytes(uint8_t(bits), big);
    case 2:
        return Bytes(uint16_t(bits), big);
    case 4:
        return Bytes(uint32_t(bits), big);
    default:
        return Bytes(uint64_t(bits), big);
    }
}

} // namespace

TEST(PlyBinary, RunsOfMixedWidthsAndSwappedListsInBothByteOrders)
{
    // Stored scalars packed back to back in one byte array: runs of one-byte
    // values alone, wider values of one size followed by short and long
    // stretches of one-byte values, 2-, 4- and 8-byte stretches shorter and
    // longer than 16 bytes, a skipped scalar, and conversions (a call each).
    // The lists hold 2-, 4- and 8-byte items with byte and wide counts, lengths
    // 0 to 20. The file holds enough records to straddle block boundaries.
    // Expected bytes come from the value patterns themselves.
    struct Rec {
        unsigned char packed[96];
        double p;    // float in the file
        float q;     // double in the file
        uint16_t n1; // ushort count
        int16_t l1[255];
        uint32_t n2; // uint count
        double l2[255];
        uint8_t n3; // uchar count
        uint32_t l3[255];
        uint8_t n4; // uchar count
        uint16_t l4[255];
    };
    const int records = 4000;
    for (bool big : {false, true}) {
        std::string text = std::string("ply\nformat ") + (big ? "binary_big_endian" : "binary_little_endian") +
                           " 1.0\nelement v " + std::to_string(records) + "\n";
        for (const PackedProp &p : kPacked)
            text += std::string("property ") + TypeNames[p.type] + " " + p.name + "\n";
        text += "property list ushort short l1\nproperty list uint double l2\n"
                "property list uchar uint l3\nproperty list uchar ushort l4\nend_header\n";
        for (int r = 0; r < records; ++r) {
            for (size_t k = 0; k < sizeof kPacked / sizeof kPacked[0]; ++k) {
                const int t = kPacked[k].type;
                if (!std::strcmp(kPacked[k].name, "p"))
                    text += Bytes(float(r) * 0.25f, big);
                else if (!std::strcmp(kPacked[k].name, "q"))
                    text += Bytes(double(r) * 0.5, big);
                else
                    text += PackedBytes(t, PackedBits(k, r), big);
            }
            const int n = r % 21;
            text += Bytes(uint16_t(n), big);
            for (int i = 0; i < n; ++i)
                text += Bytes(int16_t(-1000 * i - r), big);
            text += Bytes(uint32_t(n), big);
            for (int i = 0; i < n; ++i)
                text += Bytes(double(r) + double(i) / 8, big);
            text += Bytes(uint8_t(n));
            for (int i = 0; i < n; ++i)
                text += Bytes(uint32_t(0x01020304u * uint32_t(i + 1) + uint32_t(r)), big);
            text += Bytes(uint8_t(20 - n));
            for (int i = 0; i < 20 - n; ++i)
                text += Bytes(uint16_t(0xA1B2 + 3 * i + r), big);
        }
        Opened o(text);
        ASSERT_EQ(o.result, 0);
        int at = 0;
        std::vector<int> offsets;
        for (const PackedProp &p : kPacked) {
            offsets.push_back(at);
            if (!std::strcmp(p.name, "p")) {
                ASSERT_EQ(o.f.AddToRead("v", p.name, T_FLOAT, T_DOUBLE, offsetof(Rec, p), 0, 0, 0, 0, 0), 0);
            } else if (!std::strcmp(p.name, "q")) {
                ASSERT_EQ(o.f.AddToRead("v", p.name, T_DOUBLE, T_FLOAT, offsetof(Rec, q), 0, 0, 0, 0, 0), 0);
            } else if (p.stored) {
                ASSERT_EQ(o.f.AddToRead("v", p.name, p.type, p.type, at, 0, 0, 0, 0, 0), 0) << p.name;
                at += TypeSize[p.type];
            }
        }
        ASSERT_LE(at, int(sizeof(Rec::packed)));
        ASSERT_EQ(
            o.f.AddToRead("v", "l1", T_SHORT, T_SHORT, offsetof(Rec, l1), 1, 0, T_USHORT, T_USHORT, offsetof(Rec, n1)),
            0);
        ASSERT_EQ(
            o.f.AddToRead("v", "l2", T_DOUBLE, T_DOUBLE, offsetof(Rec, l2), 1, 0, T_UINT, T_UINT, offsetof(Rec, n2)),
            0);
        ASSERT_EQ(
            o.f.AddToRead("v", "l3", T_UINT, T_UINT, offsetof(Rec, l3), 1, 0, T_UCHAR, T_UCHAR, offsetof(Rec, n3)), 0);
        ASSERT_EQ(
            o.f.AddToRead("v", "l4", T_USHORT, T_USHORT, offsetof(Rec, l4), 1, 0, T_UCHAR, T_UCHAR, offsetof(Rec, n4)),
            0);
        o.f.SelectElement(0);
        Rec rec;
        for (int r = 0; r < records; ++r) {
            std::memset(&rec, 0xEE, sizeof rec);
            ASSERT_EQ(o.f.ReadRecord(&rec), 0) << r;
            for (size_t k = 0; k < sizeof kPacked / sizeof kPacked[0]; ++k) {
                const PackedProp &p = kPacked[k];
                if (!p.stored || !std::strcmp(p.name, "p") || !std::strcmp(p.name, "q")) continue;
                // The value's bytes in host order.
                const uint64_t bits = PackedBits(k, r);
                unsigned char want[8];
                switch (TypeSize[p.type]) {
                case 1: {
                    const uint8_t v = uint8_t(bits);
                    std::memcpy(want, &v, 1);
                    break;
                }
                case 2: {
                    const uint16_t v = uint16_t(bits);
                    std::memcpy(want, &v, 2);
                    break;
                }
                case 4: {
                    const uint32_t v = uint32_t(bits);
                    std::memcpy(want, &v, 4);
                    break;
                }
                default:
                    std::memcpy(want, &bits, 8);
                    break;
                }
                ASSERT_EQ(std::memcmp(rec.packed + offsets[k], want, size_t(TypeSize[p.type])), 0)
                    << "record " << r << " property " << p.name << (big ? " big" : " little");
            }
            EXPECT_EQ(rec.packed[at], 0xEE) << r; // nothing written past the run
            ASSERT_EQ(rec.p, double(float(r) * 0.25f)) << r;
            ASSERT_EQ(rec.q, float(double(r) * 0.5)) << r;
            const int n = r % 21;
            ASSERT_EQ(rec.n1, n);
            ASSERT_EQ(rec.n2, uint32_t(n));
            ASSERT_EQ(rec.n3, n);
            ASSERT_EQ(rec.n4, 20 - n);
            for (int i = 0; i < n; ++i) {
                ASSERT_EQ(rec.l1[i], int16_t(-1000 * i - r)) << r << " " << i;
                ASSERT_EQ(rec.l2[i], double(r) + double(i) / 8) << r << " " << i;
                ASSERT_EQ(rec.l3[i], 0x01020304u * uint32_t(i + 1) + uint32_t(r)) << r << " " << i;
            }
            for (int i = 0; i < 20 - n; ++i)
                ASSERT_EQ(rec.l4[i], uint16_t(0xA1B2 + 3 * i + r)) << r << " " << i;
            // Items past the count are left alone.
            ASSERT_EQ(rec.l1[n], int16_t(0xEEEE));
            ASSERT_EQ(rec.l3[n], 0xEEEEEEEEu);
            ASSERT_EQ(rec.l4[20 - n], 0xEEEE);
        }
        EXPECT_EQ(o.f.BytesLeft(), 0);
    }
}
