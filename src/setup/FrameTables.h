// Reading the program's frame descriptions (".eh_frame"), shared by the frame search and the
// unwinder that replace the runtime's.
#pragma once
#include <cstdint>
#include <cstring>

extern "C" {

// The unwinder's own declaration (unwind-dw2-fde.h): the bases its description reader uses.
struct dwarf_eh_bases {
    void* tbase;
    void* dbase;
    void* func;
};

// The description ("FDE") of the function holding pc, or null; bases->func is its start.
const void* _Unwind_Find_FDE(void* pc, dwarf_eh_bases* bases);

}  // extern "C"

namespace frames {

// Pointer encodings (DW_EH_PE_*): the format in the low bits, what it is relative to above them.
const uint8_t kOmitted = 0xff;
const uint8_t kFormatBits = 0x0f;
const uint8_t kRelativeBits = 0x70;
const uint8_t kPcRelative = 0x10;
const uint8_t kIndirect = 0x80;

inline uint32_t ReadU32(const uint8_t* p)
{
    uint32_t value;
    std::memcpy(&value, p, 4);
    return value;
}

// LEB128: 7 bits a byte, low bits first; the sign is the last byte's bit 6.
inline uintptr_t ReadLeb128(const uint8_t*& p, bool isSigned)
{
    uintptr_t value = 0;
    unsigned shift = 0;
    uint8_t byte;
    do {
        byte = *p++;
        if (shift < 32) value |= static_cast<uintptr_t>(byte & 0x7f) << shift;
        shift += 7;
    } while (byte & 0x80);
    if (isSigned && shift < 32 && (byte & 0x40)) value |= ~uintptr_t{0} << shift;
    return value;
}

inline uintptr_t ReadULeb128(const uint8_t*& p)
{
    return ReadLeb128(p, false);
}

inline intptr_t ReadSLeb128(const uint8_t*& p)
{
    return static_cast<intptr_t>(ReadLeb128(p, true));
}

// The encodings GCC writes for 32-bit x86: 2 or 4 bytes, absolute or relative to where they
// are. A zero stays zero, as the runtime reads it: no pointer. The caller dereferences kIndirect.
bool ReadEncoded(uint8_t encoding, const uint8_t*& p, uintptr_t& value);

}  // namespace frames
