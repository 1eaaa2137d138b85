#pragma once
// The family of per-property reading routines and the ASCII number scanners
// behind them (internal to the PLY reader).

#include "nuk/tools/plylib.h"

namespace nuk
{
namespace plyread
{

// The routine of a property for a file format: stored or skipped, list or
// scalar, specialised on its types.
PlyReadFn Compile(const PlyProperty &p, int format);

// Generic readers of a stored request, dispatching on the descriptor.
bool GenericAscii(PlyInput &in, void *mem, const PropDescriptor &d);
bool GenericBinary(PlyInput &in, void *mem, const PropDescriptor &d);

// Formatted-input scanners ("%d", "%u", "%f", "%lf"): skip white space, then
// read the longest prefix of a number; false if it is not a whole number or
// the file ends first.
bool ScanInt(PlyInput &in, int &v);
bool ScanUnsigned(PlyInput &in, unsigned &v);
bool ScanFloat(PlyInput &in, float &v);
bool ScanDouble(PlyInput &in, double &v);

// Whether AddToRead admits the conversion from file type ft to memory type mt.
bool Admitted(int ft, int mt);

} // namespace plyread
} // namespace nuk
