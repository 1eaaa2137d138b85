#pragma once
// STL mesh import, ASCII and binary.
//
//   int LoadStl(mesh, filename, report, progress = {})
//
// A binary file is an 80-byte header, a 4-byte little-endian triangle count
// and that many 50-byte triangles (bytes after them are ignored). A file is
// read as ASCII when it starts with "solid", its size is not the one its
// count asks for, and its first 84 bytes hold no zero byte (binary headers
// often start with "solid" too, but their count has a zero byte unless the
// file holds 2^24 triangles or more, and then it has its exact size). ASCII
// keywords are read in any case; several solids in one file are one model.
//
// Corners at exactly the same position (the same float values; 0 and -0
// alike) become one vertex, in the order they first appear, so that the
// faces around a vertex share it and vertex normals work. The facet normals
// of the file are not kept: the view computes its own from the corners.
//
// Returns 0, or -1 with the code in mesh.error (ModelErrorMessage) and in
// report.message a sentence naming the line (ASCII) or the triangle (binary):
// 1 cannot open, 14 no triangles or an empty file, 15 a binary file shorter
// than its count says or an ASCII file that ends inside a facet, 20 text that
// does not read as a facet, 21 a coordinate that is NaN, infinite or beyond
// float, 22 more than 2^31 - 1 triangles. A binary count is checked against
// the file's size before anything is allocated. The mesh is replaced only
// when the whole file was read. report.converted tells how many corners were
// welded into how many vertices.
//
// progress, when set, is called with (percent of the file read, "STL Loading")
// every 4096 triangles.

#include <string>

#include "nuk/Mesh/AMesh.h"
#include "nuk/Mesh/MeshBuild.h"
#include "nuk/Mesh/MeshPly.h"

namespace nuk
{

int LoadStl(AMesh &mesh, const char *filename, MeshFileReport &report,
            const ProgressCallback &progress = ProgressCallback());

} // namespace nuk
