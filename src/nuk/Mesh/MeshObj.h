#pragma once
// OBJ mesh import.
//
//   int LoadObj(mesh, filename, report, progress = {})
//
// Reads the "v" lines (x y z; a w or colour after them is ignored) and the
// "f" lines, whose corners are "v", "v/vt", "v//vn" or "v/vt/vn" with indices
// counted from 1, or from the end when negative (-1 is the last one defined
// so far). A face of more than 3 corners is split into a fan of triangles
// around its first corner. "vt" and "vn" lines are only counted, so that the
// corners' references to them are checked; texture coordinates and normals
// are not kept (the view computes its normals). Every other line (groups,
// objects, materials, smoothing, lines, points, comments) is read past; no
// other file is ever opened.
//
// A corner may only refer to vertices defined above its line. Returns 0, or
// -1 with the code in mesh.error (ModelErrorMessage) and in report.message a
// sentence naming the line: 1 cannot open, 14 no faces, 17 an index of 0 or
// outside the vertices so far, 20 a line that does not read, 21 a
// coordinate that is NaN, infinite or beyond float, 22 more than 2^31 - 1
// vertices or triangles. The mesh is replaced only when the whole file was
// read; after a failure it keeps its model and only `error` changes.
// report.converted names the faces split into triangles.
//
// progress, when set, is called with (percent of the file read, "OBJ Loading")
// every 4096 lines.

#include <string>

#include "nuk/Mesh/AMesh.h"
#include "nuk/Mesh/MeshBuild.h"
#include "nuk/Mesh/MeshPly.h"

namespace nuk
{

int LoadObj(AMesh &mesh, const char *filename, MeshFileReport &report,
            const ProgressCallback &progress = ProgressCallback());

} // namespace nuk
