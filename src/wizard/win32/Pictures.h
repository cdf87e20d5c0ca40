#pragma once
#include <windows.h>

// A "PICTURE" resource: the size of a packed DIB (4 bytes, little-endian), then that DIB as
// one zlib stream. The logos travel this way: zlib packs them to half of what RLE managed.
// Null when the resource is missing or damaged; the caller owns the bitmap.
HBITMAP LoadPackedPicture(const char* name);
