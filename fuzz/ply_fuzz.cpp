// PLY reader fuzz target: opens the input as a file, registers every
// property of every element as declared (into wide memory types, or into
// their own types packed together; lists alternately inline and allocated)
// and reads every record.
//
// For a fuzzing campaign, instrument the reader too and shrink its input
// block so that every value meets a block boundary:
//   clang++ -std=c++17 -O1 -g -fsanitize=fuzzer,address,undefined
//     -DNUK_PLY_INPUT_BLOCK=16 -Isrc fuzz/ply_fuzz.cpp src/nuk/tools/ply*.cpp
//     src/nuk/tools/bboxcache.cpp -o ply_fuzz    (one command line)
//   ./ply_fuzz -max_len=4096 -max_total_time=900 scratch-corpus/

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/mman.h>
#include <unistd.h>
#include <vector>

#include "nuk/tools/plylib.h"

using namespace nuk;

namespace
{

constexpr int kMaxStoredProps = 64;     // per element; the rest are skipped
constexpr int kEmptyRecordLimit = 4096; // records that take no bytes
constexpr int kSlot = 8 + 8 + 255 * 8;  // count, scalar or pointer, inline items

int WideType(int t)
{
    switch (t) {
    case T_CHAR:
    case T_SHORT:
    case T_INT:
        return T_INT;
    case T_UCHAR:
    case T_USHORT:
    case T_UINT:
        return T_UINT;
    default:
        return T_DOUBLE;
    }
}

// The input lives in one memory file, reopened by name for every run.
const std::string &InputPath(const uint8_t *data, size_t size)
{
    static int fd = -1;
    static std::string path;
    if (fd < 0) {
        fd = ::memfd_create("ply_fuzz", 0);
        path = "/proc/self/fd/" + std::to_string(fd);
    }
    if (::ftruncate(fd, 0) != 0 || ::pwrite(fd, data, size, 0) != ssize_t(size)) std::abort();
    return path;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string &path = InputPath(data, size);
    PlyFile f;
    const int opened = f.Open(path.c_str(), 0);
    (void)PlyFile::ErrorMessage(f.error);
    if (opened != 0) return 0;
    for (const xstring &c : f.comments)
        (void)ExpandThisName(c.c_str(), "/models/fuzz.ply");

    for (int i = 0; i < f.ElementCount(); ++i) {
        PlyElement &e = f.elements[size_t(i)];
        std::vector<int> allocated; // offsets of item-block pointers
        // Odd elements keep scalars in their own types, packed one after
        // another (the reader copies such runs whole), and uchar counts as
        // bytes; even elements widen everything.
        const bool packed = i % 2 == 1;
        const int packedArea = kMaxStoredProps * 8;
        int slots = 0, packedUsed = 0;
        for (size_t j = 0; j < e.props.size() && slots < kMaxStoredProps; ++j) {
            const PlyProperty &p = e.props[j];
            const int base = packedArea + slots * kSlot;
            const bool alloc = p.islist && (j % 2 == 1);
            const int memtype = packed ? p.type : WideType(p.type);
            int countmem = p.islist ? WideType(p.counttype) : 0;
            if (packed && p.islist && p.counttype == T_UCHAR) countmem = T_UCHAR;
            const int offset = packed && !p.islist ? packedUsed : base + 8;
            const int r = f.AddToRead(e.name.c_str(), p.name.c_str(), p.type, memtype, offset, p.islist, alloc ? 1 : 0,
                                      p.counttype, countmem, base);
            if (r == 0) {
                ++slots;
                if (packed && !p.islist) packedUsed += TypeSize[p.type];
                if (alloc) allocated.push_back(base + 8);
            }
        }
        // Duplicate names register the first twice; the later ones stay skipped.
        std::vector<unsigned char> record(size_t(packedArea) + size_t(slots > 0 ? slots : 1) * kSlot);
        f.SelectElement(i);
        (void)f.MaxRecords(i);
        const int n = f.ElementNumber(i);
        const int limit = e.props.empty() && n > kEmptyRecordLimit ? kEmptyRecordLimit : n;
        for (int r = 0; r < limit; ++r) {
            for (int off : allocated)
                std::memset(record.data() + off, 0, sizeof(void *));
            const int ok = f.ReadRecord(slots > 0 ? record.data() : nullptr);
            for (int off : allocated) {
                void *block;
                std::memcpy(&block, record.data() + off, sizeof block);
                std::free(block);
            }
            if (ok != 0) return 0;
        }
    }
    return 0;
}
