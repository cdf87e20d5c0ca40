// The unwinder's search for a return address's frame description, in place of the library's.
// The library sorts every description into a heap-allocated index at the first exception,
// behind locks, so that programs throwing in hot loops over many modules find them fast: 11 KB.
// This program registers one table, its own, and throws only on errors: a linear walk is enough.
//
// The start-up code registers the table (__register_frame_info) before WinMain and takes it back
// at exit; the unwinder then asks for the description holding an address (_Unwind_Find_FDE).
// With all three defined here, the linker never brings in the library's file that holds them.
#include "setup/FrameTables.h"

namespace frames {

bool ReadEncoded(uint8_t encoding, const uint8_t*& p, uintptr_t& value)
{
    const uintptr_t at = reinterpret_cast<uintptr_t>(p);
    switch (encoding & kFormatBits) {
    case 0x00:   // absolute pointer
    case 0x03:   // unsigned 4 bytes
    case 0x0b:   // signed 4 bytes
        value = ReadU32(p);
        p += 4;
        break;
    case 0x02: {   // unsigned 2 bytes
        uint16_t v;
        std::memcpy(&v, p, 2);
        value = v;
        p += 2;
        break;
    }
    case 0x0a: {   // signed 2 bytes
        int16_t v;
        std::memcpy(&v, p, 2);
        value = static_cast<uintptr_t>(static_cast<intptr_t>(v));
        p += 2;
        break;
    }
    default:
        return false;
    }
    if (value != 0 && (encoding & kRelativeBits) == kPcRelative)
        value += at;
    else if ((encoding & kRelativeBits) != 0 && (encoding & kRelativeBits) != kPcRelative)
        return false;
    return true;
}

}  // namespace frames

namespace {

using namespace frames;

const uint8_t* frameTable = nullptr;   // the program's ".eh_frame", ended by a zero length
void* frameTableObject = nullptr;

// How the descriptions under a common entry ("CIE") write their addresses: its 'R' augmentation.
uint8_t AddressEncoding(const uint8_t* cie)
{
    const uint8_t* p = cie + 8;   // past the length and the zero id
    const uint8_t version = *p++;
    const char* augmentation = reinterpret_cast<const char*>(p);
    p += std::strlen(augmentation) + 1;
    if (augmentation[0] == '\0')
        return 0x00;
    if (augmentation[0] != 'z')
        return kOmitted;   // an augmentation this reader cannot step over
    ReadULeb128(p);   // code alignment
    ReadULeb128(p);   // data alignment
    if (version == 1)
        ++p;   // return address column
    else
        ReadULeb128(p);
    ReadULeb128(p);   // augmentation data length
    for (const char* a = augmentation + 1; *a; ++a) {
        if (*a == 'R')
            return *p;
        if (*a == 'L') {
            ++p;
        } else if (*a == 'P') {
            const uint8_t encoding = *p++;
            uintptr_t personality;
            if (!ReadEncoded(encoding & ~kIndirect, p, personality))
                return kOmitted;
        } else if (*a != 'S') {
            return kOmitted;
        }
    }
    return 0x00;
}

}  // namespace

extern "C" {

void __register_frame_info(const void* begin, void* object)
{
    frameTable = static_cast<const uint8_t*>(begin);
    frameTableObject = object;
}

void* __deregister_frame_info(const void* begin)
{
    if (begin != frameTable)
        return nullptr;
    frameTable = nullptr;
    return frameTableObject;
}

const void* _Unwind_Find_FDE(void* pc, dwarf_eh_bases* bases)
{
    const uintptr_t target = reinterpret_cast<uintptr_t>(pc);
    const uint8_t* cachedCie = nullptr;
    uint8_t encoding = kOmitted;
    for (const uint8_t* p = frameTable; p;) {
        const uint32_t length = ReadU32(p);
        if (length == 0 || length == 0xffffffffu)   // the end, or a 64-bit table: none here
            break;
        const uint32_t id = ReadU32(p + 4);
        if (id != 0) {   // a function's description; id leads back to its common entry
            const uint8_t* cie = p + 4 - id;
            if (cie != cachedCie) {
                cachedCie = cie;
                encoding = AddressEncoding(cie);
            }
            const uint8_t* field = p + 8;
            uintptr_t begin = 0, range = 0;
            // A description left behind by a function the linker dropped starts at 0.
            if (encoding != kOmitted && ReadEncoded(encoding, field, begin) &&
                ReadEncoded(encoding & kFormatBits, field, range) && begin != 0 && target - begin < range) {
                bases->tbase = nullptr;
                bases->dbase = nullptr;
                bases->func = reinterpret_cast<void*>(begin);
                return p;
            }
        }
        p += 4 + length;
    }
    return nullptr;
}

}  // extern "C"
