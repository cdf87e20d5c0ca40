// What the start-up benchmark compares, shared by the host and the Windows benchmarks.
#pragma once
#include <cstdio>
#include <cstdlib>
#include <string>
#include <zlib.h>

#include "BenchStats.h"
#include "engine/AttachFiles.h"

namespace bench {

inline std::string ReadFile(const char* path)
{
    std::string bytes;
    FILE* f = std::fopen(path, "rb");
    if (!f) return bytes;
    char buffer[65536];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) bytes.append(buffer, n);
    std::fclose(f);
    return bytes;
}

inline double ConstructReader(const std::string& packed)
{
    const auto start = Clock::now();
    TAttachedFiles files(reinterpret_cast<const uint8_t*>(packed.data()), packed.size());
    return Seconds(start);   // freeing is not part of start-up
}

inline double InflateOnePass(const std::string& packed, size_t inflatedSize)
{
    const auto start = Clock::now();
    auto* out = static_cast<Bytef*>(std::malloc(inflatedSize));
    uLongf size = inflatedSize;
    const int rc = uncompress(out, &size, reinterpret_cast<const Bytef*>(packed.data()), packed.size());
    const double seconds = Seconds(start);
    std::free(out);
    if (rc != Z_OK || size != inflatedSize) {
        std::fprintf(stderr, "bench: zlib could not inflate the archive (%d)\n", rc);
        std::exit(1);
    }
    return seconds;
}

}  // namespace bench
