#include "wizard/win32/Pictures.h"

#include <vector>
#include <zlib.h>

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
        header->biCompression != BI_RGB || header->biBitCount > 8 || header->biClrUsed > 256)
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

}  // namespace

HBITMAP LoadPackedPicture(const char* name)
{
    HMODULE module = GetModuleHandleA(nullptr);
    HRSRC info = FindResourceA(module, name, "PICTURE");
    HGLOBAL loaded = info ? LoadResource(module, info) : nullptr;
    const auto* packed = static_cast<const BYTE*>(loaded ? LockResource(loaded) : nullptr);
    const DWORD packedSize = info ? SizeofResource(module, info) : 0;
    if (!packed || packedSize <= 4)
        return nullptr;
    const DWORD size = packed[0] | packed[1] << 8 | packed[2] << 16 | DWORD(packed[3]) << 24;
    if (size < sizeof(BITMAPINFOHEADER) || size > kLargestPicture)
        return nullptr;
    std::vector<BYTE> dib(size);
    if (!Inflate(packed + 4, packedSize - 4, dib))
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
