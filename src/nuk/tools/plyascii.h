#pragma once
// The ASCII side of the PLY reader (internal): the number scanners and the
// per-property routines of ASCII files.

#include "nuk/tools/plylib.h"

namespace nuk
{
namespace plyread
{

// Formatted-input scanners ("%d", "%u", "%f", "%lf"): skip white space, then
// read the longest prefix of a number; false if it is not a whole number or
// the file ends first.
bool ScanInt(PlyInput &in, int &v);
bool ScanUnsigned(PlyInput &in, unsigned &v);
bool ScanFloat(PlyInput &in, float &v);
bool ScanDouble(PlyInput &in, double &v);

// The routine of a property of an ASCII file: stored or skipped, list or
// scalar, specialised on its types.
PlyReadFn CompileAscii(const PlyProperty &p);

} // namespace plyread
} // namespace nuk
