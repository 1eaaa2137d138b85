// PLY mesh import: registers the wanted properties with the reader, reads every
// element in header order into scratch records, and builds the new model in a
// fresh mesh that replaces the caller's only once the whole file has been read.

#include "nuk/Mesh/MeshPly.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "nuk/Assert.h"

#ifdef __linux__
#include <sys/mman.h>
#endif

namespace nuk
{
namespace
{

// Large models spend much of their import faulting in fresh pages for the
// vertex and face storage; asking for huge pages on the reserved, untouched
// storage makes that several times cheaper. Only a hint: ignored where
// unsupported.
void AdviseHugePages(const void *data, size_t bytes)
{
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    const std::uintptr_t huge = std::uintptr_t(2) << 20;
    if (bytes < 4 * huge) return;
    const std::uintptr_t b = (reinterpret_cast<std::uintptr_t>(data) + huge - 1) & ~(huge - 1);
    const std::uintptr_t e = (reinterpret_cast<std::uintptr_t>(data) + bytes) & ~(huge - 1);
    if (e > b) ::madvise(reinterpret_cast<void *>(b), e - b, MADV_HUGEPAGE);
#else
    (void)data;
    (void)bytes;
#endif
}

// Scratch records, one per kind of element. Unregistered fields are never
// written by the reader, so each record is zeroed once per import: a field the
// file lacks reads as 0, never as what an earlier record or file left.
template <class S> struct PlyVertexRecord {
    S x, y, z;
    std::int32_t flags;
    float quality;
    std::uint8_t red, green, blue;
    unsigned char extra[256]; // caller-defined extra properties, packed
};

// The reader writes inline lists of up to 255 items, so every inline list has
// room for 255 of them (a face "color" list longer than 32 values is legal).
struct PlyFaceRecord {
    std::uint8_t count;
    std::int32_t indices[512];
    std::int32_t flags;
    float quality;
    float texcoord[255];
    std::uint8_t texcoord_count;
    std::int32_t texnumber;
    float color[255];
    std::uint8_t color_count;
    std::uint8_t red, green, blue;
    unsigned char extra[256];
};

struct PlyStripRecord {
    std::int32_t count;
    std::int32_t *indices; // std::calloc block of the reader, freed by the import
};

struct PlyCameraRecord {
    float view_px, view_py, view_pz;
    float x_axisx, x_axisy, x_axisz;
    float y_axisx, y_axisy, y_axisz;
    float z_axisx, z_axisy, z_axisz;
    float focal;
    float scalex, scaley;
    float centerx, centery;
    std::int32_t viewportx, viewporty;
    float k1, k2, k3, k4;
};

static_assert(offsetof(PlyVertexRecord<float>, extra) == 23, "vertex extras start right after blue");
static_assert(offsetof(PlyFaceRecord, flags) == 2052, "face flags follow 512 indices");
// A count wider than a byte, read by the compatible import, is stored as an
// int over the one-byte count and its padding, just before the indices.
static_assert(offsetof(PlyFaceRecord, count) == 0 && offsetof(PlyFaceRecord, indices) == 4,
              "room for a 4-byte count before the indices");
static_assert(offsetof(PlyCameraRecord, k4) == 88, "camera fields are 4 bytes apart");

constexpr int kExtraRoom = 256;

template <class S> constexpr int ScalarCode() { return std::is_same<S, double>::value ? T_DOUBLE : T_FLOAT; }

constexpr PropDescriptor Scalar(const char *elem, const char *prop, int filetype, int memtype, size_t offset)
{
    return PropDescriptor{elem, prop, filetype, memtype, int(offset), 0, 0, 0, 0, 0, 0};
}

constexpr PropDescriptor List(const char *elem, const char *prop, int filetype, int memtype, size_t offset, int alloc,
                              int countfile, int countmem, size_t countoffset)
{
    return PropDescriptor{elem,      prop,     filetype,         memtype, int(offset), 1, alloc,
                          countfile, countmem, int(countoffset), 0};
}

// Whether row d reads property `name`; lets the row enums below be checked
// against their tables at compile time.
constexpr bool Reads(const PropDescriptor &d, const char *name)
{
    const char *p = d.propname;
    while (*p && *p == *name)
        ++p, ++name;
    return *p == *name;
}

// Registered by one loop over the whole table, so its rows need no names.
#define CAM(name) Scalar("camera", #name, T_FLOAT, T_FLOAT, offsetof(PlyCameraRecord, name))
constexpr PropDescriptor kCameraDesc[] = {
    CAM(view_px),
    CAM(view_py),
    CAM(view_pz),
    CAM(x_axisx),
    CAM(x_axisy),
    CAM(x_axisz),
    CAM(y_axisx),
    CAM(y_axisy),
    CAM(y_axisz),
    CAM(z_axisx),
    CAM(z_axisy),
    CAM(z_axisz),
    CAM(focal),
    CAM(scalex),
    CAM(scaley),
    CAM(centerx),
    CAM(centery),
    Scalar("camera", "viewportx", T_INT, T_INT, offsetof(PlyCameraRecord, viewportx)),
    Scalar("camera", "viewporty", T_INT, T_INT, offsetof(PlyCameraRecord, viewporty)),
    CAM(k1),
    CAM(k2),
    CAM(k3),
    CAM(k4)};
#undef CAM

// Rows of the vertex table, in its order.
enum VertexRow {
    kVertexX,
    kVertexY,
    kVertexZ,
    kVertexFlags,
    kVertexQuality,
    kVertexRed,
    kVertexGreen,
    kVertexBlue,
    kVertexConfidence, // another name for the quality
    kVertexRows
};

template <class S> struct VertexTable {
    using R = PlyVertexRecord<S>;
    static constexpr PropDescriptor d[kVertexRows] = {
        Scalar("vertex", "x", T_FLOAT, ScalarCode<S>(), offsetof(R, x)),
        Scalar("vertex", "y", T_FLOAT, ScalarCode<S>(), offsetof(R, y)),
        Scalar("vertex", "z", T_FLOAT, ScalarCode<S>(), offsetof(R, z)),
        Scalar("vertex", "flags", T_INT, T_INT, offsetof(R, flags)),
        Scalar("vertex", "quality", T_FLOAT, T_FLOAT, offsetof(R, quality)),
        Scalar("vertex", "red", T_UCHAR, T_UCHAR, offsetof(R, red)),
        Scalar("vertex", "green", T_UCHAR, T_UCHAR, offsetof(R, green)),
        Scalar("vertex", "blue", T_UCHAR, T_UCHAR, offsetof(R, blue)),
        Scalar("vertex", "confidence", T_FLOAT, T_FLOAT, offsetof(R, quality)),
    };
    static_assert(Reads(d[kVertexX], "x") && Reads(d[kVertexY], "y") && Reads(d[kVertexZ], "z") &&
                      Reads(d[kVertexFlags], "flags") && Reads(d[kVertexQuality], "quality") &&
                      Reads(d[kVertexRed], "red") && Reads(d[kVertexGreen], "green") && Reads(d[kVertexBlue], "blue") &&
                      Reads(d[kVertexConfidence], "confidence"),
                  "vertex rows in enum order");
};

// Rows of the face table, in its order.
enum FaceRow {
    kFaceIndices,
    kFaceFlags,
    kFaceQuality,
    kFaceTexCoord,
    kFaceColorList,
    kFaceTexNumber,
    kFaceRed,
    kFaceGreen,
    kFaceBlue,
    kFaceIndexAlt, // "vertex_index", tried when "vertex_indices" is missing
    kFaceRows
};

using F = PlyFaceRecord;
constexpr PropDescriptor kFaceDesc[kFaceRows] = {
    List("face", "vertex_indices", T_INT, T_INT, offsetof(F, indices), 0, T_UCHAR, T_UCHAR, offsetof(F, count)),
    Scalar("face", "flags", T_INT, T_INT, offsetof(F, flags)),
    Scalar("face", "quality", T_FLOAT, T_FLOAT, offsetof(F, quality)),
    List("face", "texcoord", T_FLOAT, T_FLOAT, offsetof(F, texcoord), 0, T_UCHAR, T_UCHAR, offsetof(F, texcoord_count)),
    List("face", "color", T_FLOAT, T_FLOAT, offsetof(F, color), 0, T_UCHAR, T_UCHAR, offsetof(F, color_count)),
    Scalar("face", "texnumber", T_INT, T_INT, offsetof(F, texnumber)),
    Scalar("face", "red", T_UCHAR, T_UCHAR, offsetof(F, red)),
    Scalar("face", "green", T_UCHAR, T_UCHAR, offsetof(F, green)),
    Scalar("face", "blue", T_UCHAR, T_UCHAR, offsetof(F, blue)),
    List("face", "vertex_index", T_INT, T_INT, offsetof(F, indices), 0, T_UCHAR, T_CHAR, offsetof(F, count)),
};
static_assert(Reads(kFaceDesc[kFaceIndices], "vertex_indices") && Reads(kFaceDesc[kFaceFlags], "flags") &&
                  Reads(kFaceDesc[kFaceQuality], "quality") && Reads(kFaceDesc[kFaceTexCoord], "texcoord") &&
                  Reads(kFaceDesc[kFaceColorList], "color") && Reads(kFaceDesc[kFaceTexNumber], "texnumber") &&
                  Reads(kFaceDesc[kFaceRed], "red") && Reads(kFaceDesc[kFaceGreen], "green") &&
                  Reads(kFaceDesc[kFaceBlue], "blue") && Reads(kFaceDesc[kFaceIndexAlt], "vertex_index"),
              "face rows in enum order");

constexpr PropDescriptor kStripDesc =
    List("tristrips", "vertex_indices", T_INT, T_INT, offsetof(PlyStripRecord, indices), 1, T_INT, T_INT,
         offsetof(PlyStripRecord, count));

// An extra property: where the reader puts it in the scratch record, and
// where it lands in the caller's element.
struct Extra {
    int recordOffset;
    int elementOffset;
    int size;
};

// Keeps bytes 0x21..0x7c of a texture name (no blanks, controls, '}', '~' or
// bytes above 0x7e), then expands <this>.
std::string TextureName(const std::string &comment, size_t keywordLength, const char *filename)
{
    std::string name;
    for (size_t i = keywordLength + 1; i < comment.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(comment[i]);
        if (c >= 0x21 && c <= 0x7c) name += char(c);
    }
    return ExpandThisName(name.c_str(), filename);
}

template <class MeshType> class PlyImporter
{
public:
    using VertexType = typename MeshType::VertexType;
    using FaceType = typename MeshType::FaceType;
    using ScalarType = typename VertexType::ScalarType;

    // converted, when given, turns on the compatible import and receives
    // what it read in other types than the strict one.
    PlyImporter(const char *filename, const ProgressCallback &progress, std::vector<std::string> *converted = nullptr)
        : filename_(filename), progress_(progress), converted_(converted)
    {
        std::memset(&vr_, 0, sizeof vr_);
        std::memset(&fr_, 0, sizeof fr_);
        std::memset(&cr_, 0, sizeof cr_);
        sv_.flags = 0;
        sv_.color = ColorUB(0xffffffffu);
        sv_.position = typename VertexType::CoordType(0, 0, 0);
        sv_.normal = typename VertexType::NormalType(0, 0, 0);
        sf_.flags = 0;
        sf_.normal = typename FaceType::NormalType(0, 0, 0);
    }

    // 0, or the error code.
    int Run(const PropDescriptor *vextras, int nvextras, const PropDescriptor *fextras, int nfextras, int &mask)
    {
        if (pf_.Open(filename_, 0) == -1) return pf_.error;
        if (int e = Register(vextras, nvextras, fextras, nfextras, mask)) return e;
        mask_ = mask;
        fresh_.camera.valid = false;
        for (int i = 0; i < pf_.ElementCount(); ++i)
            if (int e = ReadElement(i)) return e;
        for (const std::string &c : pf_.comments) {
            if (c.compare(0, 11, "TextureFile") == 0) fresh_.texture_files.push_back(TextureName(c, 11, filename_));
            if (c.compare(0, 17, "TextureNormalFile") == 0)
                fresh_.normal_map_files.push_back(TextureName(c, 17, filename_));
        }
        // Counted while reading: deleted faces were never stored.
        fresh_.vertex_count = live_;
        fresh_.face_count = int(fresh_.faces.size());
        return 0;
    }

    // Hands the new model over; the box stays the caller's until it recomputes it.
    void MoveInto(MeshType &mesh)
    {
        mesh.vertices.swap(fresh_.vertices);
        mesh.faces.swap(fresh_.faces);
        mesh.vertex_count = fresh_.vertex_count;
        mesh.face_count = fresh_.face_count;
        mesh.texture_files.swap(fresh_.texture_files);
        mesh.normal_map_files.swap(fresh_.normal_map_files);
        mesh.camera = fresh_.camera;
    }

private:
    enum IndexSource { kNone, kFace, kFaceAlt, kStrips };

    int Register(const PropDescriptor *vextras, int nvextras, const PropDescriptor *fextras, int nfextras, int &mask)
    {
        bool camera = true;
        for (const PropDescriptor &d : kCameraDesc)
            if (pf_.AddToRead(d) == -1) {
                camera = false;
                break;
            }
        if (camera) mask |= PLYMASK_CAMERA;

        const PropDescriptor *const vd = VertexTable<ScalarType>::d;
        if (!AddPosition(vd[kVertexX], 0) || !AddPosition(vd[kVertexY], 1) || !AddPosition(vd[kVertexZ], 2))
            return E_NOVERTEXFIELD;

        if (AddIndices(kFaceDesc[kFaceIndices]))
            index_ = kFace;
        else if (AddIndices(kFaceDesc[kFaceIndexAlt]))
            index_ = kFaceAlt;
        else if (AddIndices(kStripDesc))
            index_ = kStrips;
        else
            return E_NOFACEFIELD;

        if (pf_.AddToRead(vd[kVertexFlags]) == 0) mask |= PLYMASK_VERTFLAGS;
        if constexpr (VertexType::HasQuality())
            if (pf_.AddToRead(vd[kVertexQuality]) == 0 || pf_.AddToRead(vd[kVertexConfidence]) == 0)
                mask |= PLYMASK_VERTQUALITY;
        if constexpr (VertexType::HasColor())
            if (pf_.AddToRead(vd[kVertexRed]) == 0) {
                pf_.AddToRead(vd[kVertexGreen]);
                pf_.AddToRead(vd[kVertexBlue]);
                mask |= PLYMASK_VERTCOLOR;
            }
        if (pf_.AddToRead(kFaceDesc[kFaceFlags]) == 0) mask |= PLYMASK_FACEFLAGS;
        if constexpr (FaceType::HasFaceQuality())
            if (pf_.AddToRead(kFaceDesc[kFaceQuality]) == 0) mask |= PLYMASK_FACEQUALITY;
        if constexpr (FaceType::HasFaceColor())
            if (pf_.AddToRead(kFaceDesc[kFaceRed]) == 0) {
                pf_.AddToRead(kFaceDesc[kFaceGreen]);
                pf_.AddToRead(kFaceDesc[kFaceBlue]);
                mask |= PLYMASK_FACECOLOR;
            }
        if constexpr (FaceType::HasWedgeTexCoord())
            if (pf_.AddToRead(kFaceDesc[kFaceTexCoord]) == 0) {
                mask |= PLYMASK_WEDGTEXCOORD;
                if (pf_.AddToRead(kFaceDesc[kFaceTexNumber]) == 0) mask |= PLYMASK_WEDGTEXNUMBER;
            }
        if constexpr (FaceType::HasWedgeColor() || FaceType::HasFaceColor() || VertexType::HasColor())
            if (pf_.AddToRead(kFaceDesc[kFaceColorList]) == 0) mask |= PLYMASK_COLORLIST;

        if (int e = RegisterExtras("vertex", vextras, nvextras, offsetof(PlyVertexRecord<ScalarType>, extra),
                                   sizeof(VertexType), vextras_))
            return e;
        return RegisterExtras("face", fextras, nfextras, offsetof(PlyFaceRecord, extra), sizeof(FaceType), fextras_);
    }

    int RegisterExtras(const char *elem, const PropDescriptor *extras, int n, size_t base, size_t elementSize,
                       std::vector<Extra> &out)
    {
        // clang-format off
        NUK_ASSERT(n>=0 && (n==0 || extras!=0), "nuk/Mesh/MeshPly");
        // clang-format on
        int total = 0;
        for (int i = 0; i < n; ++i) {
            PropDescriptor d = extras[i];
            // Scalars of this element only: an inline list, or a property of
            // another element read into its smaller record, would be written
            // past the extra area.
            const bool ownElement = d.elemname && std::strcmp(d.elemname, elem) == 0;
            // clang-format off
            NUK_ASSERT(d.islist==0, "nuk/Mesh/MeshPly");
            NUK_ASSERT(ownElement, "nuk/Mesh/MeshPly");
            // clang-format on
            d.offset = int(base) + total;
            if (pf_.AddToRead(d) == -1) return pf_.error;
            const int size = d.MemTypeSize();
            // clang-format off
            NUK_ASSERT(extras[i].offset>=0 && size_t(extras[i].offset)+size<=elementSize, "nuk/Mesh/MeshPly");
            // clang-format on
            out.push_back(Extra{d.offset, extras[i].offset, size});
            total += size;
        }
        return total > kExtraRoom ? E_BADTYPE : 0;
    }

    // The compatible import reads a coordinate of any numeric type: floating
    // ones through the reader's own conversion, integers as an int32 or uint32
    // in the coordinate's place, turned into the scalar after each record.
    bool AddPosition(const PropDescriptor &d, int axis)
    {
        if (pf_.AddToRead(d) == 0) return true;
        if (!converted_) return false;
        const PlyProperty *p = HeaderProperty(d);
        if (!p || p->islist) return false;
        PropDescriptor c = d;
        c.filetype = p->type;
        const bool floating = p->type == T_FLOAT || p->type == T_DOUBLE;
        if (!floating) c.memtype = p->type == T_UINT ? T_UINT : T_INT;
        if (pf_.AddToRead(c) == -1) return false;
        if (!floating) axisType_[axis] = c.memtype;
        Converted(d, p->type, d.filetype, "");
        return true;
    }

    // Index lists of any integer type with a count of any integer type, read
    // as int32 so that the range checks stay those of the strict import (a
    // uint beyond 2^31 - 1 turns negative and is refused like one). A count
    // wider than a byte lands as an int32 in the count's place.
    bool AddIndices(const PropDescriptor &d)
    {
        if (pf_.AddToRead(d) == 0) return true;
        if (!converted_) return false;
        const PlyProperty *p = HeaderProperty(d);
        auto integer = [](int t) { return t >= T_CHAR && t <= T_UINT; };
        if (!p || !p->islist || !integer(p->type) || !integer(p->counttype)) return false;
        PropDescriptor c = d;
        c.filetype = p->type;
        c.memtype = T_INT;
        c.countfiletype = p->counttype;
        const bool byteCount = p->counttype == T_UCHAR || p->counttype == T_CHAR;
        if (!byteCount) c.countmemtype = T_INT;
        if (pf_.AddToRead(c) == -1) return false;
        wideCount_ = !byteCount && c.alloclist == 0;
        if (p->type != d.filetype) Converted(d, p->type, d.filetype, "");
        if (p->counttype != d.countfiletype) Converted(d, p->counttype, d.countfiletype, " count");
        return true;
    }

    PlyProperty *HeaderProperty(const PropDescriptor &d)
    {
        PlyElement *e = pf_.FindElement(d.elemname);
        return e ? e->FindProperty(d.propname) : nullptr;
    }

    // "vertex x: double to float"
    void Converted(const PropDescriptor &d, int from, int to, const char *what)
    {
        converted_->push_back(std::string(d.elemname) + " " + d.propname + what + ": " + TypeNames[from] + " to " +
                              TypeNames[to]);
    }

    // A coordinate that the compatible import read as an integer.
    ScalarType Coordinate(const ScalarType &field, int axis) const
    {
        if (axisType_[axis] == T_NOTYPE) return field;
        if (axisType_[axis] == T_UINT) {
            std::uint32_t u;
            std::memcpy(&u, &field, sizeof u);
            return ScalarType(u);
        }
        std::int32_t i;
        std::memcpy(&i, &field, sizeof i);
        return ScalarType(i);
    }

    // The number of corners of the face record just read.
    long long FaceCorners() const
    {
        if (!wideCount_) return fr_.count;
        std::int32_t n;
        std::memcpy(&n, reinterpret_cast<const char *>(&fr_) + offsetof(PlyFaceRecord, count), sizeof n);
        return n;
    }

    void Progress(long long j, long long n, int base, const char *what)
    {
        if (progress_ && j % 1000 == 0) progress_(int(j * 50 / n) + base, what);
    }

    // Records of an element that is not taken: still read, to move past them.
    int ReadPast(int i)
    {
        pf_.SelectElement(i);
        if (pf_.elements[i].props.empty()) return 0; // records of no bytes: nothing to move past
        const int n = pf_.ElementNumber(i);
        for (int j = 0; j < n; ++j)
            if (pf_.ReadRecord(&fr_) == -1) return E_UNESPEOF;
        return 0;
    }

    // The element that a registration reached: the first one of that name.
    bool IsRegistered(int i, const char *name) { return pf_.FindElement(name) == &pf_.elements[i]; }

    int ReadElement(int i)
    {
        const char *name = pf_.ElementName(i);
        if (std::strcmp(name, "camera") == 0 && IsRegistered(i, "camera")) return ReadCamera(i);
        if (std::strcmp(name, "vertex") == 0 && IsRegistered(i, "vertex")) return ReadVertices(i);
        if (std::strcmp(name, "face") == 0 && IsRegistered(i, "face") && (index_ == kFace || index_ == kFaceAlt))
            return ReadFaces(i);
        if (std::strcmp(name, "tristrips") == 0 && IsRegistered(i, "tristrips") && index_ == kStrips)
            return ReadStrips(i);
        return ReadPast(i);
    }

    int ReadCamera(int i)
    {
        pf_.SelectElement(i);
        const int n = pf_.elements[i].props.empty() ? 0 : pf_.ElementNumber(i);
        for (int j = 0; j < n; ++j)
            if (pf_.ReadRecord(&cr_) == -1) return E_UNESPEOF;
        MeshCamera &c = fresh_.camera;
        c.valid = true;
        c.view_p = Point3f(cr_.view_px, cr_.view_py, cr_.view_pz);
        c.x_axis = Point3f(cr_.x_axisx, cr_.x_axisy, cr_.x_axisz);
        c.y_axis = Point3f(cr_.y_axisx, cr_.y_axisy, cr_.y_axisz);
        c.z_axis = Point3f(cr_.z_axisx, cr_.z_axisy, cr_.z_axisz);
        c.focal = cr_.focal;
        c.scale = Point2f(cr_.scalex, cr_.scaley);
        c.center = Point2f(cr_.centerx, cr_.centery);
        c.viewport = Point2i(cr_.viewportx, cr_.viewporty);
        c.k[0] = cr_.k1;
        c.k[1] = cr_.k2;
        c.k[2] = cr_.k3;
        c.k[3] = cr_.k4;
        return 0;
    }

    static void CopyExtras(const std::vector<Extra> &extras, const void *record, void *element)
    {
        for (const Extra &e : extras)
            std::memcpy(static_cast<char *>(element) + e.elementOffset,
                        static_cast<const char *>(record) + e.recordOffset, size_t(e.size));
    }

    int ReadVertices(int i)
    {
        pf_.SelectElement(i);
        const int n = pf_.ElementNumber(i);
        auto &vs = fresh_.vertices;
        vs.clear();
        // One reservation, never larger than what the rest of the file can hold.
        vs.reserve(size_t(pf_.MaxRecords(i)));
        AdviseHugePages(vs.data(), vs.capacity() * sizeof(VertexType));
        const int mask = mask_;
        int live = 0;
        for (int j = 0; j < n; ++j) {
            Progress(j, n, 0, "Vertex Loading");
            sv_.flags = 0;
            if (pf_.ReadRecord(&vr_) == -1) return E_UNESPEOF;
            if (anyIntegerAxis())
                sv_.position =
                    typename VertexType::CoordType(Coordinate(vr_.x, 0), Coordinate(vr_.y, 1), Coordinate(vr_.z, 2));
            else
                sv_.position = typename VertexType::CoordType(vr_.x, vr_.y, vr_.z);
            if (mask & PLYMASK_VERTFLAGS) sv_.flags = vr_.flags;
            if constexpr (VertexType::HasQuality())
                if (mask & PLYMASK_VERTQUALITY) sv_.Q() = vr_.quality;
            if constexpr (VertexType::HasColor())
                if (mask & PLYMASK_VERTCOLOR) sv_.color = ColorUB(vr_.red, vr_.green, vr_.blue, 255);
            if (!vextras_.empty()) CopyExtras(vextras_, &vr_, &sv_);
            sv_.flags &= ~(NOTREAD | NOTWRITE);
            live += !sv_.IsDeleted();
            vs.push_back(sv_);
        }
        // Faces index the vertices by position: entry k of the table is vertex k.
        table_ = vs.data();
        nv_ = vs.size();
        live_ = live;
        return 0;
    }

    // Corner k refers to vertex `index`, if there is one.
    bool Corner(FaceType &f, int k, std::int32_t index) const
    {
        if (index < 0 || std::size_t(index) >= nv_) return false;
        f.v[k] = table_ + index;
        return true;
    }

    // Deleted faces, and faces on a deleted vertex, are not stored. The
    // corners are looked at only when the file deleted some vertex: on a big
    // model they are three cache misses per face.
    bool Keep(const FaceType &f) const
    {
        if (f.IsDeleted()) return false;
        if (size_t(live_) == nv_) return true;
        return !f.v[0]->IsDeleted() && !f.v[1]->IsDeleted() && !f.v[2]->IsDeleted();
    }

    // Faces that the rest of the file could hold. The reader's bound lets a
    // face index list be empty; only triangles are kept, so each kept face
    // needs its three indices too (40-byte faces from 1-byte records would
    // let a lying count allocate forty times the file).
    size_t FaceCapacity(int i) const
    {
        const PlyElement &e = pf_.elements[size_t(i)];
        const char *indexName = index_ == kFace ? "vertex_indices" : "vertex_index";
        long long bytes = 0, tokens = 0;
        for (const PlyProperty &p : e.props) {
            bytes += TypeSize[p.islist ? p.counttype : p.type];
            ++tokens;
            if (p.islist && p.stored && p.name == indexName) {
                bytes += 3 * TypeSize[p.type];
                tokens += 3;
            }
        }
        // ASCII: every number takes a character and is set off from the next.
        const long long perRecord = pf_.format == F_ASCII ? 2 * tokens : bytes;
        long long cap = pf_.MaxRecords(i);
        if (perRecord > 0 && (pf_.BytesLeft() + 1) / perRecord < cap) cap = (pf_.BytesLeft() + 1) / perRecord;
        return size_t(cap > 0 ? cap : 0);
    }

    int ReadFaces(int i)
    {
        pf_.SelectElement(i);
        const int n = pf_.ElementNumber(i);
        auto &fs = fresh_.faces;
        fs.clear();
        fs.reserve(FaceCapacity(i));
        AdviseHugePages(fs.data(), fs.capacity() * sizeof(FaceType));
        const int mask = mask_;
        for (int j = 0; j < n; ++j) {
            Progress(j, n, 50, "Face Loading");
            if (pf_.ReadRecord(&fr_) == -1) return E_UNESPEOF;
            if (FaceCorners() != 3) return E_FACEMORETHAN3;
            for (int k = 0; k < 3; ++k)
                if (!Corner(sf_, k, fr_.indices[k])) return E_BADVERTINDEX;
            sf_.flags = (mask & PLYMASK_FACEFLAGS) ? fr_.flags : 0;
            if constexpr (FaceType::HasFaceQuality())
                if (mask & PLYMASK_FACEQUALITY) sf_.Q() = fr_.quality;
            if constexpr (FaceType::HasFaceColor())
                if (mask & PLYMASK_FACECOLOR) sf_.C() = ColorUB(fr_.red, fr_.green, fr_.blue, 255);
            if constexpr (FaceType::HasWedgeTexCoord())
                if (mask & PLYMASK_WEDGTEXCOORD)
                    for (int k = 0; k < 3; ++k) {
                        sf_.WT(k).U() = fr_.texcoord[2 * k];
                        sf_.WT(k).V() = fr_.texcoord[2 * k + 1];
                        if (mask & PLYMASK_WEDGTEXNUMBER) sf_.WT(k).N() = std::int16_t(fr_.texnumber);
                    }
            if constexpr (FaceType::HasWedgeColor())
                if (mask & PLYMASK_COLORLIST)
                    for (int k = 0; k < 3; ++k)
                        for (int c = 0; c < 3; ++c)
                            sf_.WC(k)[c] = (unsigned char)(int)(fr_.color[3 * k + c] * 255);
            if constexpr (FaceType::HasFaceColor())
                if (mask & PLYMASK_COLORLIST)
                    for (int c = 0; c < 3; ++c)
                        sf_.C()[c] = (unsigned char)(int)((fr_.color[c] * 255 + fr_.color[3 + c] * 255 +
                                                           fr_.color[6 + c] * 255) /
                                                          3);
            if (!fextras_.empty()) CopyExtras(fextras_, &fr_, &sf_);
            sf_.flags &= ~(NOTREAD | NOTWRITE);
            if (Keep(sf_)) fs.push_back(sf_);
        }
        return 0;
    }

    int ReadStrips(int i)
    {
        pf_.SelectElement(i);
        const int n = pf_.ElementNumber(i);
        auto &fs = fresh_.faces;
        fs.clear();
        sf_.flags = 0; // strips carry no flags of their own
        for (int j = 0; j < n; ++j) {
            Progress(j, n, 50, "Tristrip Face Loading");
            PlyStripRecord sr{0, nullptr};
            const int rc = pf_.ReadRecord(&sr);
            const std::unique_ptr<std::int32_t, decltype(&std::free)> block(sr.indices, &std::free);
            if (rc == -1) return E_UNESPEOF;
            const std::int32_t *idx = block.get();
            const long long count = sr.count;
            int parity = 0;
            for (long long k = 0; k < count - 2; ++k) {
                if (progress_ && k % 1000 == 0) progress_(int(k * 50 / count) + 50, "Tristrip Face Loading");
                if (!Corner(sf_, 0, idx[k])) return E_BADVERTINDEX;
                if (idx[k + 2] == -1) { // restart: the next triangle keeps the file's order
                    k += 2;
                    parity = (k % 2 == 0) ? 1 : 0;
                    continue;
                }
                if (!Corner(sf_, 1, idx[k + 1]) || !Corner(sf_, 2, idx[k + 2])) return E_BADVERTINDEX;
                if ((k + parity) % 2 == 1) std::swap(sf_.v[0], sf_.v[1]);
                if (Keep(sf_)) fs.push_back(sf_);
            }
        }
        return 0;
    }

    bool anyIntegerAxis() const { return axisType_[0] | axisType_[1] | axisType_[2]; }

    const char *filename_;
    const ProgressCallback &progress_;
    std::vector<std::string> *converted_;              // null: the strict import
    int axisType_[3] = {T_NOTYPE, T_NOTYPE, T_NOTYPE}; // T_INT or T_UINT: a coordinate read as an integer
    bool wideCount_ = false;                           // face counts read as int32
    PlyFile pf_;
    MeshType fresh_;
    IndexSource index_ = kNone;
    std::vector<Extra> vextras_, fextras_;
    int mask_ = 0;
    PlyVertexRecord<ScalarType> vr_;
    PlyFaceRecord fr_;
    PlyCameraRecord cr_;
    VertexType sv_; // scratch elements, reused for every record
    FaceType sf_;
    VertexType *table_ = nullptr;
    std::size_t nv_ = 0;
    int live_ = 0; // vertices without DELETED
};

} // namespace

template <class MeshType>
int LoadPly(MeshType &mesh, const char *filename, const PropDescriptor *vertex_extras, int vertex_extra_count,
            const PropDescriptor *face_extras, int face_extra_count, int &mask, const ProgressCallback &progress)
{
    // clang-format off
    NUK_ASSERT(filename!=0, "nuk/Mesh/MeshPly");
    // clang-format on
    mask = 0;
    // Several kilobytes of scratch records and a whole mesh: not on the stack.
    auto importer = std::make_unique<PlyImporter<MeshType>>(filename, progress);
    const int code = importer->Run(vertex_extras, vertex_extra_count, face_extras, face_extra_count, mask);
    mesh.error = code;
    if (code != 0) return -1;
    importer->MoveInto(mesh);
    return 0;
}

template int LoadPly<AMesh>(AMesh &, const char *, const PropDescriptor *, int, const PropDescriptor *, int, int &,
                            const ProgressCallback &);

template <class MeshType>
int LoadPlyConverted(MeshType &mesh, const char *filename, int &mask, std::vector<std::string> &converted,
                     const ProgressCallback &progress)
{
    // clang-format off
    NUK_ASSERT(filename!=0, "nuk/Mesh/MeshPly");
    // clang-format on
    mask = 0;
    converted.clear();
    auto importer = std::make_unique<PlyImporter<MeshType>>(filename, progress, &converted);
    const int code = importer->Run(nullptr, 0, nullptr, 0, mask);
    mesh.error = code;
    if (code != 0) return -1;
    importer->MoveInto(mesh);
    return 0;
}

template int LoadPlyConverted<AMesh>(AMesh &, const char *, int &, std::vector<std::string> &,
                                     const ProgressCallback &);

} // namespace nuk
