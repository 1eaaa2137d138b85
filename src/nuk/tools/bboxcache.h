#pragma once
// Bounding-box cache: one 56-byte file per PLY file, "nuk_cache/<name>.bbox_cache"
// beside it: the magic "BBOXCACH" and the caller's 48-byte box record.

#include <string>

namespace nuk
{

inline constexpr int BBOX_CACHE_BOXSIZE = 48;

// The cache entry's path for plyfilename with the given suffix; makes the
// nuk_cache folder when it is missing. False when it cannot be made.
bool CachePath(const char *plyfilename, const char *suffix, std::string &out);
// Writes the entry whole or leaves the old one in place; false on failure.
bool WriteBBoxCache(const char *plyfilename, const void *box);
// Reads the entry when it is no older than plyfilename (and otherfilename,
// if given) and intact; false otherwise, leaving box untouched.
bool ReadBBoxCache(const char *plyfilename, void *box, const char *otherfilename = nullptr);
// Whether cachefilename is at least as new as sourcefilename (both readable).
bool IsNewer(const char *sourcefilename, const char *cachefilename);

} // namespace nuk
