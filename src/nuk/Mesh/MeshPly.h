#pragma once
// PLY mesh import.
//
//   int LoadPly(mesh, filename, progress = {})
//   int LoadPly(mesh, filename, vertex_extras, vertex_extra_count,
//               face_extras, face_extra_count, mask, progress = {})
//
// Reads "vertex" (x, y, z float; optional flags int, red/green/blue uchar),
// "face" (list uchar int vertex_indices, or vertex_index; optional flags int
// and a color list, read and dropped), "tristrips" (list int int
// vertex_indices, -1 restarts a strip) and "camera" elements; every other
// element is read past. Texture and normal-map names come from the header's
// "TextureFile" and "TextureNormalFile" comments, with <this> expanded to the
// model's base name.
//
// Returns 0 on success, -1 on failure with the code in mesh.error (texts in
// PlyFile::ErrorMessage): the reader's codes for a file that cannot be opened
// or parsed and for extras it refuses, 10 for more than 256 bytes of extras of
// one element, 13 no x/y/z, 14 no face indices, 15 data ends early, 16 a face
// that is not a triangle, 17 a corner index outside the vertices read.
//
// The mesh is replaced only when the whole file was read: after a failure it
// keeps its previous model untouched and only `error` changes. Box and normals
// are never computed here; call ComputeBoundingBox, ComputeFaceNormals and
// ComputeVertexNormals afterwards.
//
// What the import guarantees about flags read from a file, so that no file
// can trip an accessor check later:
//   - NOTREAD and NOTWRITE are cleared on every vertex and face (they are
//     in-memory access locks, not data); all other bits are kept.
//   - DELETED vertices are kept (faces index them by position) but not counted.
//   - DELETED faces, and faces with a DELETED corner, are dropped.
// So every face in `faces` can be drawn and face_count == faces.size().
//
// progress, when set, is called with (percent, text) at record 0 and every
// 1000 records: "Vertex Loading" 0..50, then "Face Loading" or "Tristrip Face
// Loading" 50..100. It runs on the caller's thread, inside the call.
//
// The extras read further scalar properties of "vertex" and "face" straight
// into the caller's element: each descriptor's offset is a byte offset into
// the vertex or face type. mask reports which optional properties were found:
//   0x0002 vertex flags   0x0004 vertex colour   0x0080 face flags
//   0x0800 face color list                       0x8000 all 23 camera fields
// (0x0008, 0x0100, 0x0200, 0x1000, 0x2000: quality, face colour and corner
// texture coordinates, never set for AVertex/AFace, which carry none of them).
//
// Not thread-safe: the reader shares scratch storage between files.

#include <functional>
#include <string>
#include <vector>

#include "nuk/Mesh/AMesh.h"
#include "nuk/tools/plylib.h"

namespace nuk
{

// (percent 0..100, what is being read)
using ProgressCallback = std::function<void(int, const char *)>;

// Bits of LoadPly's mask.
enum PlyMask : int {
    PLYMASK_VERTFLAGS = 0x0002,
    PLYMASK_VERTCOLOR = 0x0004,
    PLYMASK_VERTQUALITY = 0x0008,
    PLYMASK_FACEFLAGS = 0x0080,
    PLYMASK_FACECOLOR = 0x0100,
    PLYMASK_FACEQUALITY = 0x0200,
    PLYMASK_COLORLIST = 0x0800,
    PLYMASK_WEDGTEXCOORD = 0x1000,
    PLYMASK_WEDGTEXNUMBER = 0x2000,
    PLYMASK_CAMERA = 0x8000,
};

template <class MeshType>
int LoadPly(MeshType &mesh, const char *filename, const PropDescriptor *vertex_extras, int vertex_extra_count,
            const PropDescriptor *face_extras, int face_extra_count, int &mask,
            const ProgressCallback &progress = ProgressCallback());

template <class MeshType>
int LoadPly(MeshType &mesh, const char *filename, const ProgressCallback &progress = ProgressCallback())
{
    int mask = 0;
    return LoadPly(mesh, filename, nullptr, 0, nullptr, 0, mask, progress);
}

// The compatible import, for files that LoadPly refuses only for the number
// types of their header (13 or 14): coordinates of any numeric type are read
// as the vertex scalar, face and strip index lists of any integer type (with
// a count of any integer type) as int, with the strict import's range checks.
// Everything else is read exactly as LoadPly reads it. converted receives one
// line per property read in another type than LoadPly's, such as
// "vertex x: double to float", "face vertex_indices: uint to int" or
// "face vertex_indices count: ushort to uchar". Same results and codes as
// LoadPly; no extras.
template <class MeshType>
int LoadPlyConverted(MeshType &mesh, const char *filename, int &mask, std::vector<std::string> &converted,
                     const ProgressCallback &progress = ProgressCallback());

// Compiled once, in MeshPly.cpp.
extern template int LoadPly<AMesh>(AMesh &, const char *, const PropDescriptor *, int, const PropDescriptor *, int,
                                   int &, const ProgressCallback &);
extern template int LoadPlyConverted<AMesh>(AMesh &, const char *, int &, std::vector<std::string> &,
                                            const ProgressCallback &);

} // namespace nuk
