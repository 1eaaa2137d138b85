#pragma once
// Bits of the flag word that vertices and faces carry. The other bits are kept
// as a file gave them and mean nothing here.

namespace nuk
{

enum ElementFlags : int {
    DELETED = 0x1,  // skipped by every mesh operation and not counted
    NOTREAD = 0x2,  // may not be read
    NOTWRITE = 0x4, // may not be written
};

} // namespace nuk
