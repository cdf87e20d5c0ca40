// velmorra-pack <folder> <out.bin>: makes the setup program's "FILES" resource.
#include <cstdio>
#include <exception>

#include "packer/Packer.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: velmorra-pack <folder> <out.bin>\n");
        return 2;
    }
    try {
        const size_t count = packer::PackFolder(argv[1], argv[2]);
        std::printf("velmorra-pack: %zu files from %s into %s\n", count, argv[1], argv[2]);
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "velmorra-pack: %s\n", e.what());
        return 1;
    }
}
