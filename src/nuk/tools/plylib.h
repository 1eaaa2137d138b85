#pragma once
// PLY reader: header parser, element and property descriptors, typed reading
// of records into caller-described memory. The bounding-box cache kept beside
// PLY files is in bboxcache.h.
//
// Usage: Open(name, 0); AddToRead() every wanted property; then for each
// element in header order SelectElement(i) and ReadRecord() ElementNumber(i)
// times. Operations return 0 on success and -1 on failure with the reason in
// `error` (see ErrorMessage()).

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

namespace nuk
{

using xstring = std::string;

// Type codes. Their order (signed, unsigned, floating) indexes every table.
enum {
    T_NOTYPE = 0,
    T_CHAR = 1,
    T_SHORT = 2,
    T_INT = 3,
    T_UCHAR = 4,
    T_USHORT = 5,
    T_UINT = 6,
    T_FLOAT = 7,
    T_DOUBLE = 8,
    T_MAXTYPE = 9
};

// Format codes.
enum { F_UNSPECIFIED = 0, F_ASCII = 1, F_BINLITTLE = 2, F_BINBIG = 3 };

// Error codes: 0..12 are the reader's, 13..19 the mesh import's; one message
// table serves both.
enum {
    E_NOERROR = 0,
    E_CANTOPEN = 1,
    E_NOTHEADER = 2,
    E_UNEXPEOF = 3,
    E_NOFORMAT = 4,
    E_SYNTAX = 5,
    E_PROPOUTOFELEMENT = 6,
    E_BADTYPENAME = 7,
    E_ELEMNOTFOUND = 8,
    E_PROPNOTFOUND = 9,
    E_BADTYPE = 10,
    E_INCOMPATIBLETYPE = 11,
    E_BADCAST = 12,
    E_NOVERTEXFIELD = 13,
    E_NOFACEFIELD = 14,
    E_UNESPEOF = 15,
    E_FACEMORETHAN3 = 16,
    E_BADVERTINDEX = 17,
    E_NO6TCOORD = 18,
    E_DIFFERENTCOLOR = 19,
    E_MAXPLYERRORS = 20
};

// Header spellings of the type codes (both are accepted) and their sizes.
inline constexpr const char *TypeNames[T_MAXTYPE] = {"none",   "char", "short", "int",   "uchar",
                                                     "ushort", "uint", "float", "double"};
inline constexpr const char *TypeNames2[T_MAXTYPE] = {"none",   "int8",   "int16",   "int32",  "uint8",
                                                      "uint16", "uint32", "float32", "float64"};
inline constexpr int TypeSize[T_MAXTYPE] = {0, 1, 2, 4, 1, 2, 4, 4, 8};

// Code 1..8 of a header type word (either spelling), -1 if none.
int FindType(const char *name);

// A caller's request to read one property into its own record. Callers keep
// constant tables of these; `format` is left 0 and filled in by the reader.
struct PropDescriptor {
    const char *elemname;
    const char *propname;
    int filetype;      // type in the file (of each item for a list)
    int memtype;       // type in the caller's record
    int offset;        // of the value, the inline items, or the item-block pointer
    int islist;        // 1 for a list property
    int alloclist;     // 1: items go to a new std::calloc block (caller frees it
                       // with std::free; a count of 0 stores a null pointer)
    int countfiletype; // list count type in the file
    int countmemtype;  // list count type in the caller's record
    int countoffset;   // of the count in the caller's record
    int format;        // file format, set when the property is compiled

    int MemTypeSize() const;
};

class PlyInput; // the buffered file input (plyinput.h)

// Compiled reading routine of one property: reads one value or list from the
// file into mem according to the descriptor; false on failure.
using PlyReadFn = bool (*)(PlyInput &in, void *mem, const PropDescriptor &d);

class PlyProperty
{
public:
    xstring name;
    int type = T_NOTYPE;      // value type, or item type of a list
    int islist = 0;           // 1 for a list
    int counttype = T_NOTYPE; // count type of a list, 0 otherwise
    int stored = 0;           // 1 once a caller registered it
    PropDescriptor desc{};    // the caller's request
    PlyReadFn reader = nullptr;

    PlyProperty() = default;
    PlyProperty(const char *na, int ti, int isl, int t2);
};

class PlyElement
{
public:
    xstring name;
    int number = 0; // record count, never negative
    std::vector<PlyProperty> props;

    PlyElement(const char *na, int nu);

    PlyProperty *FindProperty(const char *na);
    void AddProp(const char *na, int ti, int isl, int t2);
};

class PlyFile
{
public:
    static constexpr int HEADER_SIZE = 4096;

    std::vector<PlyElement> elements;
    std::vector<xstring> comments; // "comment" and "obj_info" texts, in order
    std::unique_ptr<PlyInput> fp;  // open file, or null
    float version = 0;
    int error = E_NOERROR;
    int format = F_UNSPECIFIED;
    char header[HEADER_SIZE]; // the header lines as read (cut at 4095 bytes)
    PlyElement *cure = nullptr;
    PlyReadFn ReadCB = nullptr; // generic reader of the format; set after a parsed header

    PlyFile();
    ~PlyFile();
    PlyFile(const PlyFile &) = delete;
    PlyFile &operator=(const PlyFile &) = delete;

    // mode 0 reads and parses the header; writing (mode 1) is not provided.
    int Open(const char *filename, int mode = 0);
    void Close();

    int ElementCount() const { return int(elements.size()); }
    const char *ElementName(int i) const;
    int ElementNumber(int i) const;
    PlyElement *FindElement(const char *na);

    int AddToRead(const char *elemname, const char *propname, int filetype, int memtype, int offset, int islist,
                  int alloclist, int countfiletype, int countmemtype, int countoffset);
    int AddToRead(const PropDescriptor &p);
    void SelectElement(int i);
    int ReadRecord(void *mem);

    // Bytes of the file not yet consumed (0 when no file is open).
    long long BytesLeft() const;
    // How many records of element i the unread rest of the file could hold at
    // most, never more than ElementNumber(i): a safe bound to reserve memory
    // from a header's count. Elements whose records take no bytes give
    // ElementNumber(i).
    long long MaxRecords(int i) const;

    // Message of an error code; "" for codes outside 0..19.
    static const char *ErrorMessage(int code);
    const char *ErrorMessage() const { return ErrorMessage(error); }

private:
    int ParseHeader();
    int Fail(int code);
    // The record layout of cure, worked out at SelectElement: runs of
    // properties that need no conversion become one copy or one skip.
    struct Step {
        int kind;        // call the property's routine, copy, skip, or copy reversing values
        int first, last; // property range [first, last)
        int bytes;       // file bytes of a run
        int offset;      // destination of a copy run
        int swapped;     // bytes of reversed values at the start of a reversing run; one-byte values follow
    };
    std::vector<Step> steps_;
    // The requests as compiled: a later AddToRead waits for the next
    // SelectElement instead of changing what a compiled routine writes.
    std::vector<PropDescriptor> descs_;
    std::vector<PlyReadFn> readers_;
    bool ReadSlow(const Step &s, void *mem);
    bool anyStored_ = false; // some property of cure is stored
};

// Copies pattern into out, replacing every <this> (letters in any case) by the
// base name of plyfilename without a ".ply" ending.
void ExpandThisName(const char *pattern, const char *plyfilename, xstring &out);
xstring ExpandThisName(const char *pattern, const char *plyfilename);

} // namespace nuk
