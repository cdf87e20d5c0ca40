// Display scaling: the wizard's layout, fonts and pictures are given at 96 dots per inch and
// brought to a window's DPI here, once, so that every number is rounded the same way.
#pragma once
#include <cstdint>
#include <vector>

const int kBaseDpi = 96;

// value * dpi / 96, rounded to the nearest, halves away from zero (as MulDiv rounds).
int ScaleToDpi(int value, int dpi);

// A control's box scaled by its edges, not its size: two controls that meet at 96 DPI still
// meet, and a row of them still ends where it did.
struct ScaledBox {
    int x, y, width, height;
};
ScaledBox ScaleBoxToDpi(int x, int y, int width, int height, int dpi);

// The pictures are drawn at 100, 150 and 200 %: the smallest one at or above the DPI (the
// largest above 192), so that it is only ever scaled down, or not at all.
int PictureScaleFor(int dpi);
// A picture's size at 100 % from its size at scale percent.
int PictureBaseSize(int size, int scale);

// Pixels as 0x00RRGGBB, rows from the top.
struct Picture {
    int width = 0, height = 0;
    std::vector<uint32_t> pixels;
};

// Resamples by area: each new pixel is the average of the old ones it covers, weighted by how
// much of each it covers. With a key colour (a glyph's transparent pixels), a new pixel stays
// the key where the key covers half of it or more, and is otherwise the average of the rest.
Picture ResizePicture(const Picture& from, int width, int height, bool keyed = false, uint32_t key = 0);
