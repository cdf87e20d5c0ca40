#include "wizard/win32/Pictures.h"

#include <string>
#include <vector>
#include <zlib.h>

#include "wizard/DisplayScale.h"

namespace {

const DWORD kLargestPicture = 1 << 20;

bool Inflate(const BYTE* packed, DWORD packedSize, std::vector<BYTE>& out)
{
    z_stream zs{};
    zs.next_in = const_cast<Bytef*>(packed);
    zs.avail_in = packedSize;
    zs.next_out = out.data();
    zs.avail_out = static_cast<uInt>(out.size());
    if (inflateInit(&zs) != Z_OK)
        return false;
    const bool whole = inflate(&zs, Z_FINISH) == Z_STREAM_END && zs.avail_out == 0 && zs.avail_in == 0;
    inflateEnd(&zs);
    return whole;
}

// Where the pixels start, once the header and its colour table are known to fit.
const BYTE* PixelsOf(const std::vector<BYTE>& dib)
{
    const auto* header = reinterpret_cast<const BITMAPINFOHEADER*>(dib.data());
    if (header->biSize != sizeof(BITMAPINFOHEADER) || header->biWidth <= 0 || header->biHeight == 0 ||
        header->biCompression != BI_RGB || header->biBitCount > 8 || header->biClrUsed > 256 ||
        (header->biBitCount != 1 && header->biBitCount != 4 && header->biBitCount != 8))
        return nullptr;
    const LONG height = header->biHeight < 0 ? -header->biHeight : header->biHeight;
    if (header->biWidth > 4096 || height > 4096)
        return nullptr;
    const DWORD colours = header->biClrUsed ? header->biClrUsed : 1u << header->biBitCount;
    const DWORD stride = (header->biWidth * header->biBitCount + 31) / 32 * 4;
    const DWORD offset = sizeof(BITMAPINFOHEADER) + colours * sizeof(RGBQUAD);
    if (offset + stride * height > dib.size())
        return nullptr;
    return dib.data() + offset;
}

// The DIB of a resource: a BITMAP one as it is stored, a PICTURE one inflated.
bool ResourceDib(const char* name, bool packed, std::vector<BYTE>& dib)
{
    HMODULE module = GetModuleHandleA(nullptr);
    HRSRC info = FindResourceA(module, name, packed ? "PICTURE" : MAKEINTRESOURCEA(2));   // RT_BITMAP
    HGLOBAL loaded = info ? LoadResource(module, info) : nullptr;
    const auto* bytes = static_cast<const BYTE*>(loaded ? LockResource(loaded) : nullptr);
    const DWORD size = info ? SizeofResource(module, info) : 0;
    if (!bytes || size < sizeof(BITMAPINFOHEADER) || (packed && size <= 4))
        return false;
    if (!packed) {
        dib.assign(bytes, bytes + size);
        return true;
    }
    const DWORD inflated = bytes[0] | bytes[1] << 8 | bytes[2] << 16 | DWORD(bytes[3]) << 24;
    if (inflated < sizeof(BITMAPINFOHEADER) || inflated > kLargestPicture)
        return false;
    dib.resize(inflated);
    return Inflate(bytes + 4, size - 4, dib);
}

// A palette DIB's pixels as colours, rows from the top.
bool Decode(const std::vector<BYTE>& dib, Picture& picture)
{
    const BYTE* pixels = PixelsOf(dib);
    if (!pixels)
        return false;
    const auto* header = reinterpret_cast<const BITMAPINFOHEADER*>(dib.data());
    const auto* palette = reinterpret_cast<const RGBQUAD*>(dib.data() + sizeof(BITMAPINFOHEADER));
    const DWORD colours = header->biClrUsed ? header->biClrUsed : 1u << header->biBitCount;
    const int bits = header->biBitCount, width = header->biWidth;
    const int height = header->biHeight < 0 ? -header->biHeight : header->biHeight;
    const DWORD stride = (width * bits + 31) / 32 * 4;
    picture.width = width;
    picture.height = height;
    picture.pixels.resize(static_cast<size_t>(width) * height);
    for (int y = 0; y < height; ++y) {
        const BYTE* row = pixels + stride * (header->biHeight < 0 ? y : height - 1 - y);
        for (int x = 0; x < width; ++x) {
            const int bit = x * bits;
            const DWORD index = (row[bit / 8] >> (8 - bits - bit % 8)) & ((1 << bits) - 1);
            const RGBQUAD c = index < colours ? palette[index] : RGBQUAD{};
            picture.pixels[static_cast<size_t>(y) * width + x] = c.rgbRed << 16 | c.rgbGreen << 8 | c.rgbBlue;
        }
    }
    return true;
}

// A screen bitmap of the picture, through a 32-bit DIB, which every Windows reads.
HBITMAP ScreenBitmap(const Picture& picture)
{
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = picture.width;
    info.bmiHeader.biHeight = -picture.height;   // rows from the top, as the picture holds them
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    HDC screen = GetDC(nullptr);
    HBITMAP bitmap = CreateDIBitmap(screen, &info.bmiHeader, CBM_INIT, picture.pixels.data(), &info, DIB_RGB_COLORS);
    ReleaseDC(nullptr, screen);
    return bitmap;
}

}  // namespace

HBITMAP LoadPackedPicture(const char* name)
{
    std::vector<BYTE> dib;
    if (!ResourceDib(name, true, dib))
        return nullptr;
    const BYTE* pixels = PixelsOf(dib);
    if (!pixels)
        return nullptr;
    HDC screen = GetDC(nullptr);
    HBITMAP bitmap = CreateDIBitmap(screen, reinterpret_cast<const BITMAPINFOHEADER*>(dib.data()), CBM_INIT,
                                    pixels, reinterpret_cast<const BITMAPINFO*>(dib.data()), DIB_RGB_COLORS);
    ReleaseDC(nullptr, screen);
    return bitmap;
}

HBITMAP LoadPictureForDpi(const char* name, bool packed, bool keyed, int dpi)
{
    int scale = PictureScaleFor(dpi);
    std::vector<BYTE> dib;
    std::string drawn = name;
    if (scale != 100)
        drawn += scale == 150 ? "150" : "200";
    if (!ResourceDib(drawn.c_str(), packed, dib)) {
        scale = 100;   // a program built with its 100 % pictures only
        if (!ResourceDib(name, packed, dib))
            return nullptr;
    }
    Picture picture;
    if (!Decode(dib, picture))
        return nullptr;
    const int width = ScaleToDpi(PictureBaseSize(picture.width, scale), dpi);
    const int height = ScaleToDpi(PictureBaseSize(picture.height, scale), dpi);
    const uint32_t key = picture.pixels[static_cast<size_t>(picture.height - 1) * picture.width];
    picture = ResizePicture(picture, width, height, keyed, key);
    return picture.pixels.empty() ? nullptr : ScreenBitmap(picture);
}
