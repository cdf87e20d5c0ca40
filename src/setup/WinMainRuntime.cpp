// Pieces of the C++ runtime that the program replaces with lean ones of its own.

#include <cstdlib>
#include <zlib.h>

namespace __gnu_cxx {

// The library's handler names the uncaught exception's type on stderr before it aborts, which
// links in the whole symbol demangler and the printf family (some 75 KB). A windowed program
// has no stderr to show it on: end the same way, without the text.
void __verbose_terminate_handler()
{
    std::abort();
}

}  // namespace __gnu_cxx

// zlib's inflate refers to crc32 for gzip streams, which this program never reads (the archive is
// a zlib stream); the library's version brings 8 KB of tables. Same results, bit by bit.
extern "C" uLong ZEXPORT crc32(uLong crc, const Bytef* buf, uInt len)
{
    if (!buf) return 0;
    crc = ~crc & 0xFFFFFFFFul;
    while (len--) {
        crc ^= *buf++;
        for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320ul & (0ul - (crc & 1)));
    }
    return ~crc & 0xFFFFFFFFul;
}
