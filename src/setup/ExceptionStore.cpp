// Where the C++ runtime keeps exceptions: the memory of each one thrown, and each thread's list
// of those being handled. The library's versions bring a 64 KB emergency pool behind a lock and
// the emulated thread-local storage, about 5 KB of code; these take the heap and one TLS slot.
// With all six functions defined here, the linker never brings in the library's two files.
#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <exception>

namespace {

// The runtime writes its record of an exception just before the thrown object (96 bytes in this
// compiler's runtime); 128 leaves it room to grow. A Win32 test holds the record to this room.
constexpr size_t kRecordRoom = 128;

// A few blocks in reserve, so that an exhausted heap still lets std::bad_alloc be thrown.
constexpr size_t kReserveBlock = 256;
constexpr int kReserveBlocks = 4;
alignas(16) char reserve[kReserveBlocks][kReserveBlock];
volatile LONG reserveTaken[kReserveBlocks];

void* AllocateZeroed(size_t size) noexcept
{
    if (void* block = std::calloc(1, size)) return block;
    for (int i = 0; size <= kReserveBlock && i < kReserveBlocks; ++i) {
        if (::InterlockedExchange(&reserveTaken[i], 1) == 0) {
            std::memset(reserve[i], 0, kReserveBlock);
            return reserve[i];
        }
    }
    std::terminate();
}

void Free(void* block) noexcept
{
    char* const p = static_cast<char*>(block);
    if (p >= reserve[0] && p < reserve[0] + sizeof reserve)
        ::InterlockedExchange(&reserveTaken[(p - reserve[0]) / kReserveBlock], 0);
    else
        std::free(block);
}

// The Itanium C++ ABI's per-thread record (__cxa_eh_globals).
struct ThreadExceptions {
    void* caughtExceptions;
    unsigned int uncaughtExceptions;
};

volatile LONG slot = static_cast<LONG>(TLS_OUT_OF_INDEXES);

DWORD Slot() noexcept
{
    const LONG known = slot;
    if (known != static_cast<LONG>(TLS_OUT_OF_INDEXES)) return static_cast<DWORD>(known);
    const DWORD made = ::TlsAlloc();
    if (made == TLS_OUT_OF_INDEXES) std::abort();
    const LONG first = ::InterlockedCompareExchange(&slot, static_cast<LONG>(made),
                                                    static_cast<LONG>(TLS_OUT_OF_INDEXES));
    if (first == static_cast<LONG>(TLS_OUT_OF_INDEXES)) return made;
    ::TlsFree(made);   // another thread's came first
    return static_cast<DWORD>(first);
}

// A thread's record is made when it first throws and freed when it ends. The last error is
// kept: a handler may still read the one that made it throw.
ThreadExceptions* ThisThreadsExceptions() noexcept
{
    const DWORD lastError = ::GetLastError();
    const DWORD index = Slot();
    auto* record = static_cast<ThreadExceptions*>(::TlsGetValue(index));
    if (!record) {
        record = static_cast<ThreadExceptions*>(::HeapAlloc(::GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof *record));
        if (!record || !::TlsSetValue(index, record)) std::abort();
    }
    ::SetLastError(lastError);
    return record;
}

void NTAPI FreeThreadsExceptions(PVOID, DWORD reason, PVOID)
{
    if (reason != DLL_THREAD_DETACH || slot == static_cast<LONG>(TLS_OUT_OF_INDEXES)) return;
    if (void* record = ::TlsGetValue(static_cast<DWORD>(slot))) {
        ::TlsSetValue(static_cast<DWORD>(slot), nullptr);
        ::HeapFree(::GetProcessHeap(), 0, record);
    }
}

}  // namespace

// The loader calls the image's TLS callbacks, listed between the start-up code's .CRT$XLA and
// .CRT$XLZ, as each thread ends.
extern "C" __attribute__((section(".CRT$XLV"), used))
const PIMAGE_TLS_CALLBACK velmorraFreeThreadsExceptions = FreeThreadsExceptions;

extern "C" {

void* __cxa_allocate_exception(size_t size) noexcept
{
    return static_cast<char*>(AllocateZeroed(size + kRecordRoom)) + kRecordRoom;
}

void __cxa_free_exception(void* object) noexcept
{
    Free(static_cast<char*>(object) - kRecordRoom);
}

// A rethrown std::exception_ptr's record, which points at the first exception's object.
void* __cxa_allocate_dependent_exception() noexcept
{
    return AllocateZeroed(kRecordRoom);
}

void __cxa_free_dependent_exception(void* record) noexcept
{
    Free(record);
}

ThreadExceptions* __cxa_get_globals() noexcept
{
    return ThisThreadsExceptions();
}

ThreadExceptions* __cxa_get_globals_fast() noexcept
{
    return ThisThreadsExceptions();
}

}  // extern "C"
