#include "wizard/DisplayScale.h"

#include <algorithm>

int ScaleToDpi(int value, int dpi)
{
    const long long product = static_cast<long long>(value) * dpi;
    const long long half = kBaseDpi / 2;
    return static_cast<int>(product >= 0 ? (product + half) / kBaseDpi : -((half - product) / kBaseDpi));
}

ScaledBox ScaleBoxToDpi(int x, int y, int width, int height, int dpi)
{
    const int left = ScaleToDpi(x, dpi), top = ScaleToDpi(y, dpi);
    return {left, top, ScaleToDpi(x + width, dpi) - left, ScaleToDpi(y + height, dpi) - top};
}

int PictureScaleFor(int dpi)
{
    return dpi <= kBaseDpi ? 100 : dpi <= kBaseDpi * 3 / 2 ? 150 : 200;
}

int PictureBaseSize(int size, int scale)
{
    return scale > 0 ? (size * 100 + scale / 2) / scale : size;
}

namespace {

// Which old pixels a new one covers along one axis, and how much of each (in 1/count units of
// the old size, so that the weights of one new pixel add up to `from`).
struct Span {
    int first, last;
};

Span Covered(int index, int from, int to)
{
    return {index * from / to, ((index + 1) * from - 1) / to};
}

// The overlap of new pixel `index` with old pixel `old`, measured in units of 1/to of an old pixel.
long long Overlap(int index, int old, int from, int to)
{
    const long long start = std::max<long long>(static_cast<long long>(index) * from, static_cast<long long>(old) * to);
    const long long end =
        std::min<long long>(static_cast<long long>(index + 1) * from, static_cast<long long>(old + 1) * to);
    return std::max<long long>(0, end - start);
}

}  // namespace

Picture ResizePicture(const Picture& from, int width, int height, bool keyed, uint32_t key)
{
    if (width == from.width && height == from.height)
        return from;
    Picture to;
    if (width <= 0 || height <= 0 || from.width <= 0 || from.height <= 0 ||
        from.pixels.size() < static_cast<size_t>(from.width) * from.height)
        return to;
    to.width = width;
    to.height = height;
    to.pixels.resize(static_cast<size_t>(width) * height);
    for (int y = 0; y < height; ++y) {
        const Span rows = Covered(y, from.height, height);
        for (int x = 0; x < width; ++x) {
            const Span columns = Covered(x, from.width, width);
            long long sum[3] = {}, weight = 0, keyWeight = 0;
            for (int sy = rows.first; sy <= rows.last; ++sy) {
                const long long wy = Overlap(y, sy, from.height, height);
                for (int sx = columns.first; sx <= columns.last; ++sx) {
                    const long long w = wy * Overlap(x, sx, from.width, width);
                    const uint32_t pixel = from.pixels[static_cast<size_t>(sy) * from.width + sx];
                    if (keyed && pixel == key) {
                        keyWeight += w;
                        continue;
                    }
                    weight += w;
                    for (int c = 0; c < 3; ++c)
                        sum[c] += w * ((pixel >> (16 - 8 * c)) & 0xFF);
                }
            }
            uint32_t pixel = key;
            if (weight > 0 && weight > keyWeight) {
                pixel = 0;
                for (int c = 0; c < 3; ++c)
                    pixel |= static_cast<uint32_t>((sum[c] + weight / 2) / weight) << (16 - 8 * c);
                if (keyed && pixel == key)
                    pixel ^= 1;   // an average that happens to be the key colour must still show
            }
            to.pixels[static_cast<size_t>(y) * width + x] = pixel;
        }
    }
    return to;
}
