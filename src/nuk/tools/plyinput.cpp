#include "nuk/tools/plyinput.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace nuk
{

bool PlyInput::Open(const char *path)
{
    Close();
    const int f = ::open(path, O_RDONLY | O_CLOEXEC);
    if (f < 0) return false;
    struct stat st;
    if (::fstat(f, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(f);
        return false;
    }
#ifdef POSIX_FADV_SEQUENTIAL
    ::posix_fadvise(f, 0, 0, POSIX_FADV_SEQUENTIAL);
#endif
    fd = f;
    size = st.st_size;
    filepos = 0;
    eof = false;
    if (!buf) {
        cap = BLOCK;
        buf.reset(new char[cap + 1]);
    }
    cur = end = buf.get();
    *buf.get() = 0;
    return true;
}

void PlyInput::Close()
{
    if (fd >= 0) ::close(fd);
    fd = -1;
    eof = true;
    size = filepos = 0;
    if (buf) {
        cur = end = buf.get();
        *buf.get() = 0;
    }
}

size_t PlyInput::ReadSome(char *dst, size_t n)
{
    if (fd < 0 || eof || n == 0) return 0;
    for (;;) {
        const ssize_t got = ::read(fd, dst, n);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) {
            // A read error ends the data like the end of the file does.
            eof = true;
            return 0;
        }
        filepos += got;
        if (filepos > size) size = filepos; // the file grew while we read it
        return size_t(got);
    }
}

bool PlyInput::Fill(size_t n)
{
    char *b = buf.get();
    if (!b) return false;
    size_t have = size_t(end - cur);
    if (cur != b) {
        std::memmove(b, cur, have);
        cur = b;
    }
    while (have < n) {
        const size_t got = ReadSome(b + have, cap - have);
        if (got == 0) break;
        have += got;
    }
    end = b + have;
    *const_cast<char *>(end) = 0;
    return have >= n;
}

bool PlyInput::More()
{
    if (!buf) eof = true;
    if (eof) return false;
    const size_t have = size_t(end - cur);
    if (have >= cap) {
        // One token longer than the buffer: grow it. Tokens are bounded by
        // the file, so this never asks for more than the file holds.
        std::unique_ptr<char[]> bigger(new char[2 * cap + 1]);
        std::memcpy(bigger.get(), cur, have);
        buf = std::move(bigger);
        cap *= 2;
        cur = buf.get();
        end = cur + have;
        *const_cast<char *>(end) = 0;
    }
    return Fill(have + 1);
}

size_t PlyInput::GetLine(char *out, size_t sz)
{
    size_t n = 0;
    while (n + 1 < sz) {
        if (cur == end && !Fill(1)) break;
        size_t avail = size_t(end - cur);
        if (avail > sz - 1 - n) avail = sz - 1 - n;
        const char *nl = static_cast<const char *>(std::memchr(cur, '\n', avail));
        const size_t take = nl ? size_t(nl - cur) + 1 : avail;
        std::memcpy(out + n, cur, take);
        n += take;
        cur += take;
        if (nl) break;
    }
    if (sz > 0) out[n] = 0;
    return n;
}

bool PlyInput::Skip(unsigned long long n)
{
    for (;;) {
        const size_t have = size_t(end - cur);
        if (have >= n) {
            cur += n;
            return true;
        }
        n -= have;
        cur = end;
        if (!Fill(1)) return false;
    }
}

} // namespace nuk
