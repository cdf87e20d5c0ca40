#pragma once
#include <windows.h>

// A "PICTURE" resource: the size of a packed DIB (4 bytes, little-endian), then that DIB as
// one zlib stream. The logos travel this way: zlib packs them to half of what RLE managed.
// Null when the resource is missing or damaged; the caller owns the bitmap.
HBITMAP LoadPackedPicture(const char* name);

// The picture for a window at that DPI. Each is drawn at 100, 150 and 200 % ("LOGO",
// "LOGO150", "LOGO200"); the one at or above the DPI is taken and, in between, scaled down
// to the 100 % size scaled to the DPI. packed: a "PICTURE" resource, else a BITMAP one.
// keyed: a glyph whose bottom-left pixel's colour is left out where it is drawn; that colour
// stays exact, and the glyph's edge neither grows nor blurs into it.
HBITMAP LoadPictureForDpi(const char* name, bool packed, bool keyed, int dpi);
