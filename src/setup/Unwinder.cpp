// The exception unwinder, in place of the runtime's (libgcc's, 13 KB with its expression
// evaluator and its entry points for debuggers and forced unwinding, which this program never
// uses). It walks the program's own frames by their descriptions, in the two phases the C++
// runtime expects: find the handler, then run every cleanup down to it and jump there.
//
// It reads what GCC writes for 32-bit x86: register save rules, the frame address as a
// register plus an offset, remembered states and pushed-argument sizes. A frame it cannot read
// (a rule given as an expression: only the start-up code's realigned frames above WinMain have
// them) ends the walk, as a frame without a description does: an exception that gets there
// has no handler and ends the program, as it did before.
//
// Registers use the DWARF numbers of 32-bit x86.
#include <unwind.h>

#include <cstdint>
#include <cstdlib>

#include "setup/FrameTables.h"

namespace {

using namespace frames;

enum Register { kEax = 0, kEcx, kEdx, kEbx, kEsp, kEbp, kEsi, kEdi, kEip, kRegisters };

struct Registers {
    uintptr_t value[kRegisters];
};

// Where the caller's value of a register is: kept in the register, or saved at CFA + offset.
struct Rule {
    bool saved = false;
    intptr_t offset = 0;
};

struct FrameRules {
    unsigned cfaRegister = kEsp;
    intptr_t cfaOffset = 0;
    Rule rule[kRegisters];
};

// A description's common entry ("CIE"): how its functions' descriptions are written.
struct CommonEntry {
    const uint8_t* instructions = nullptr;
    const uint8_t* end = nullptr;
    uintptr_t codeAlignment = 1;
    intptr_t dataAlignment = 0;
    uint8_t addressEncoding = 0;
    uint8_t lsdaEncoding = kOmitted;
    bool augmentationData = false;   // its descriptions carry a length-prefixed block ('z')
    _Unwind_Personality_Fn personality = nullptr;
    FrameRules initial;              // the rows every description starts from
};

bool ReadPointer(uint8_t encoding, const uint8_t*& p, uintptr_t& value)
{
    if (!ReadEncoded(encoding, p, value)) return false;
    if ((encoding & kIndirect) && value) value = *reinterpret_cast<const uintptr_t*>(value);
    return true;
}

bool ReadCommonEntry(const uint8_t* cie, CommonEntry& out)
{
    const uint8_t* p = cie + 8;   // past the length and the zero id
    const uint8_t version = *p++;
    const char* augmentation = reinterpret_cast<const char*>(p);
    while (*p++) {
    }
    out.end = cie + 4 + ReadU32(cie);
    out.codeAlignment = ReadULeb128(p);
    out.dataAlignment = ReadSLeb128(p);
    const uintptr_t returnColumn = version == 1 ? *p++ : ReadULeb128(p);
    if (returnColumn != kEip) return false;
    if (augmentation[0] == 'z') {
        out.augmentationData = true;
        const uintptr_t length = ReadULeb128(p);
        const uint8_t* data = p;
        p += length;
        for (const char* a = augmentation + 1; *a; ++a) {
            uintptr_t personality;
            if (*a == 'R') {
                out.addressEncoding = *data++;
            } else if (*a == 'L') {
                out.lsdaEncoding = *data++;
            } else if (*a == 'P') {
                const uint8_t encoding = *data++;
                if (!ReadPointer(encoding, data, personality)) return false;
                out.personality = reinterpret_cast<_Unwind_Personality_Fn>(personality);
            } else {
                return false;   // a signal frame ('S') or an augmentation GCC does not write here
            }
        }
    } else if (augmentation[0] != '\0') {
        return false;
    }
    out.instructions = p;
    return true;
}

// Runs a description's rows up to pc (all of them for the common entry's, pc 0).
bool RunRows(const uint8_t* p, const uint8_t* end, const CommonEntry& cie, uintptr_t location, uintptr_t pc,
             const FrameRules& initial, FrameRules& rules, uintptr_t& argsSize)
{
    FrameRules remembered[4];
    unsigned depth = 0;
    // True once the rows reach pc: the ones from there on describe later instructions.
    auto advance = [&](uintptr_t delta) {
        location += delta * cie.codeAlignment;
        return pc && location >= pc;
    };
    while (p < end) {
        const uint8_t op = *p++;
        const unsigned low = op & 0x3f;
        uintptr_t reg = low;
        switch (op >> 6) {
        case 1:   // DW_CFA_advance_loc
            if (advance(low)) return true;
            continue;
        case 2:   // DW_CFA_offset
            if (reg >= kRegisters) return false;
            rules.rule[reg] = {true, static_cast<intptr_t>(ReadULeb128(p)) * cie.dataAlignment};
            continue;
        case 3:   // DW_CFA_restore
            if (reg >= kRegisters) return false;
            rules.rule[reg] = initial.rule[reg];
            continue;
        }
        switch (op) {
        case 0x00:   // DW_CFA_nop
            break;
        case 0x02:   // DW_CFA_advance_loc1
            if (advance(*p++)) return true;
            break;
        case 0x03:   // DW_CFA_advance_loc2
            p += 2;
            if (advance(static_cast<uintptr_t>(p[-2] | p[-1] << 8))) return true;
            break;
        case 0x04:   // DW_CFA_advance_loc4
            p += 4;
            if (advance(ReadU32(p - 4))) return true;
            break;
        case 0x05:   // DW_CFA_offset_extended
        case 0x11:   // DW_CFA_offset_extended_sf
        case 0x2f: {   // DW_CFA_GNU_negative_offset_extended
            reg = ReadULeb128(p);
            intptr_t factored = op == 0x11 ? ReadSLeb128(p) : static_cast<intptr_t>(ReadULeb128(p));
            if (reg >= kRegisters) return false;
            rules.rule[reg] = {true, (op == 0x2f ? -factored : factored) * cie.dataAlignment};
            break;
        }
        case 0x06:   // DW_CFA_restore_extended
        case 0x07:   // DW_CFA_undefined
        case 0x08:   // DW_CFA_same_value
            reg = ReadULeb128(p);
            if (reg >= kRegisters) return false;
            rules.rule[reg] = op == 0x06 ? initial.rule[reg] : Rule{};
            if (op == 0x07 && reg == kEip) return false;   // the outermost frame
            break;
        case 0x0a:   // DW_CFA_remember_state
            if (depth == 4) return false;
            remembered[depth++] = rules;
            break;
        case 0x0b:   // DW_CFA_restore_state
            if (depth == 0) return false;
            rules = remembered[--depth];
            break;
        case 0x0c:   // DW_CFA_def_cfa
            rules.cfaRegister = static_cast<unsigned>(ReadULeb128(p));
            rules.cfaOffset = static_cast<intptr_t>(ReadULeb128(p));
            break;
        case 0x12:   // DW_CFA_def_cfa_sf
            rules.cfaRegister = static_cast<unsigned>(ReadULeb128(p));
            rules.cfaOffset = ReadSLeb128(p) * cie.dataAlignment;
            break;
        case 0x0d:   // DW_CFA_def_cfa_register
            rules.cfaRegister = static_cast<unsigned>(ReadULeb128(p));
            break;
        case 0x0e:   // DW_CFA_def_cfa_offset
            rules.cfaOffset = static_cast<intptr_t>(ReadULeb128(p));
            break;
        case 0x13:   // DW_CFA_def_cfa_offset_sf
            rules.cfaOffset = ReadSLeb128(p) * cie.dataAlignment;
            break;
        case 0x2e:   // DW_CFA_GNU_args_size
            argsSize = ReadULeb128(p);
            break;
        default:   // expressions, register-to-register rules: not written for the program's frames
            return false;
        }
    }
    return true;
}

}  // namespace

// Loads a frame's registers and jumps to its landing pad (below, with the entry points).
extern "C" [[noreturn]] void VelmorraInstallRegisters(const Registers* registers);

// What the personality routine sees of one frame.
struct _Unwind_Context {
    Registers registers;     // as they are in this frame at its call
    uintptr_t cfa = 0;       // the frame's address: its caller's stack pointer; names the frame
    uintptr_t regionStart = 0;
    uintptr_t lsda = 0;
    uintptr_t argsSize = 0;
    FrameRules rules;
    _Unwind_Personality_Fn personality = nullptr;
};

namespace {

// Reads the description of the frame whose registers the context holds: its rows at its pc,
// its address, its personality routine and handler table. False where the walk must end.
bool DescribeFrame(_Unwind_Context& frame)
{
    const uintptr_t pc = frame.registers.value[kEip];
    dwarf_eh_bases bases{};
    // The return address may be the next function's first byte, after a call that never
    // returns: look up the call itself.
    const auto* fde = static_cast<const uint8_t*>(_Unwind_Find_FDE(reinterpret_cast<void*>(pc - 1), &bases));
    CommonEntry cie;
    if (!fde || !ReadCommonEntry(fde + 4 - ReadU32(fde + 4), cie)) return false;
    uintptr_t unusedArgsSize = 0;
    if (!RunRows(cie.instructions, cie.end, cie, 0, 0, cie.initial, cie.initial, unusedArgsSize)) return false;

    const uint8_t* p = fde + 8;
    const uint8_t* end = fde + 4 + ReadU32(fde);
    uintptr_t begin, range;
    if (!ReadEncoded(cie.addressEncoding, p, begin) || !ReadEncoded(cie.addressEncoding & kFormatBits, p, range))
        return false;
    frame.lsda = 0;
    if (cie.augmentationData) {
        const uintptr_t length = ReadULeb128(p);
        const uint8_t* data = p;
        p += length;
        if (cie.lsdaEncoding != kOmitted && !ReadPointer(cie.lsdaEncoding, data, frame.lsda)) return false;
    }
    frame.regionStart = begin;
    frame.personality = cie.personality;
    frame.rules = cie.initial;
    frame.argsSize = 0;
    if (!RunRows(p, end, cie, begin, pc, cie.initial, frame.rules, frame.argsSize)) return false;
    if (frame.rules.cfaRegister >= kRegisters || !frame.rules.rule[kEip].saved) return false;
    frame.cfa = frame.registers.value[frame.rules.cfaRegister] + frame.rules.cfaOffset;
    return true;
}

// Moves the context to the caller of its frame. False where the stack ends or makes no sense.
bool StepToCaller(_Unwind_Context& frame)
{
    Registers caller = frame.registers;
    for (unsigned reg = 0; reg < kRegisters; ++reg) {
        const Rule& rule = frame.rules.rule[reg];
        if (rule.saved) caller.value[reg] = *reinterpret_cast<const uintptr_t*>(frame.cfa + rule.offset);
    }
    caller.value[kEsp] = frame.cfa;
    // Every caller's frame lies above its callee's: anything else is a broken stack.
    if (caller.value[kEsp] <= frame.registers.value[kEsp] || !caller.value[kEip]) return false;
    frame.registers = caller;
    return true;
}

// Runs every cleanup from the frame given down to the handler's frame, and jumps to the first
// landing pad. Returns only when the walk fails.
_Unwind_Reason_Code CleanUpTo(_Unwind_Exception* exception, _Unwind_Context frame)
{
    for (;;) {
        if (!DescribeFrame(frame)) return _URC_FATAL_PHASE2_ERROR;
        const bool handlerFrame = frame.cfa == exception->private_2;
        if (frame.personality) {
            const _Unwind_Action action = _UA_CLEANUP_PHASE | (handlerFrame ? _UA_HANDLER_FRAME : 0);
            const _Unwind_Reason_Code code =
                frame.personality(1, action, exception->exception_class, exception, &frame);
            if (code == _URC_INSTALL_CONTEXT) {
                // The landing pad runs with the frame's registers, its pushed arguments popped.
                Registers target = frame.registers;
                target.value[kEsp] += frame.argsSize;
                VelmorraInstallRegisters(&target);
            }
            if (code != _URC_CONTINUE_UNWIND) return _URC_FATAL_PHASE2_ERROR;
        }
        if (handlerFrame || !StepToCaller(frame)) return _URC_FATAL_PHASE2_ERROR;
    }
}

}  // namespace

extern "C" {

// The entry points below save the registers at their caller's call and pass them here.
_Unwind_Reason_Code VelmorraRaiseFrom(_Unwind_Exception* exception, const Registers* atCall)
{
    _Unwind_Context frame;
    frame.registers = *atCall;
    for (;;) {   // find the handler; nothing runs yet
        if (!DescribeFrame(frame)) return _URC_END_OF_STACK;
        if (frame.personality) {
            const _Unwind_Reason_Code code =
                frame.personality(1, _UA_SEARCH_PHASE, exception->exception_class, exception, &frame);
            if (code == _URC_HANDLER_FOUND) break;
            if (code != _URC_CONTINUE_UNWIND) return _URC_FATAL_PHASE1_ERROR;
        }
        if (!StepToCaller(frame)) return _URC_END_OF_STACK;
    }
    exception->private_1 = 0;
    exception->private_2 = frame.cfa;
    _Unwind_Context start;
    start.registers = *atCall;
    return CleanUpTo(exception, start);
}

// A cleanup's landing pad has run: go on to the handler found before.
[[noreturn]] void VelmorraResumeFrom(_Unwind_Exception* exception, const Registers* atCall)
{
    _Unwind_Context start;
    start.registers = *atCall;
    CleanUpTo(exception, start);
    std::abort();
}

void _Unwind_DeleteException(_Unwind_Exception* exception)
{
    if (exception->exception_cleanup) exception->exception_cleanup(_URC_FOREIGN_EXCEPTION_CAUGHT, exception);
}

void* _Unwind_GetLanguageSpecificData(_Unwind_Context* context)
{
    return reinterpret_cast<void*>(context->lsda);
}

_Unwind_Ptr _Unwind_GetRegionStart(_Unwind_Context* context)
{
    return context->regionStart;
}

_Unwind_Ptr _Unwind_GetIPInfo(_Unwind_Context* context, int* ipBeforeInstruction)
{
    *ipBeforeInstruction = 0;   // a return address: the call is the byte before
    return context->registers.value[kEip];
}

void _Unwind_SetIP(_Unwind_Context* context, _Unwind_Ptr value)
{
    context->registers.value[kEip] = value;
}

void _Unwind_SetGR(_Unwind_Context* context, int index, _Unwind_Word value)
{
    if (index < 0 || index >= kRegisters) std::abort();
    context->registers.value[index] = value;
}

// The program's tables are not relative to a text or data base.
_Unwind_Ptr _Unwind_GetTextRelBase(_Unwind_Context*)
{
    return 0;
}

_Unwind_Ptr _Unwind_GetDataRelBase(_Unwind_Context*)
{
    return 0;
}

}  // extern "C"

// _Unwind_RaiseException and _Unwind_Resume_or_Rethrow (this program never unwinds by force, so
// rethrowing is raising again), and _Unwind_Resume: each saves the registers as they are at its
// caller's call (Registers, by DWARF number) and passes them on with the exception.
// VelmorraInstallRegisters loads a frame's registers and jumps to its landing pad.
asm(R"(
    .text
    .p2align 4
    .globl __Unwind_RaiseException
    .globl __Unwind_Resume_or_Rethrow
    .globl __Unwind_Resume
    .globl _VelmorraInstallRegisters
__Unwind_RaiseException:
__Unwind_Resume_or_Rethrow:
    movl $_VelmorraRaiseFrom, %eax
    jmp 1f
__Unwind_Resume:
    movl $_VelmorraResumeFrom, %eax
1:
    subl $36, %esp
    movl $0, 0(%esp)
    movl %ecx, 4(%esp)
    movl %edx, 8(%esp)
    movl %ebx, 12(%esp)
    leal 40(%esp), %ecx
    movl %ecx, 16(%esp)
    movl %ebp, 20(%esp)
    movl %esi, 24(%esp)
    movl %edi, 28(%esp)
    movl 36(%esp), %ecx
    movl %ecx, 32(%esp)
    movl %esp, %ecx
    pushl %ecx
    pushl 44(%esp)
    call *%eax
    addl $44, %esp
    ret

_VelmorraInstallRegisters:
    movl 4(%esp), %ecx
    movl 0(%ecx), %eax
    movl 8(%ecx), %edx
    movl 12(%ecx), %ebx
    movl 20(%ecx), %ebp
    movl 24(%ecx), %esi
    movl 28(%ecx), %edi
    movl 16(%ecx), %esp
    jmp *32(%ecx)
)");
