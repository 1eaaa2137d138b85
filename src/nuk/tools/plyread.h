#pragma once
// The family of per-property reading routines (internal to the PLY reader):
// binary ones in plyread.cpp, ASCII ones and their number scanners in
// plyascii.cpp.

#include "nuk/tools/plylib.h"

namespace nuk
{
namespace plyread
{

// The routine of a property for a file format: stored or skipped, list or
// scalar, specialised on its types.
PlyReadFn Compile(const PlyProperty &p, int format);

// Generic readers of a stored request, dispatching on the descriptor
// (GenericAscii is in plyascii.cpp).
bool GenericAscii(PlyInput &in, void *mem, const PropDescriptor &d);
bool GenericBinary(PlyInput &in, void *mem, const PropDescriptor &d);

// Whether AddToRead admits the conversion from file type ft to memory type mt.
bool Admitted(int ft, int mt);

} // namespace plyread
} // namespace nuk
