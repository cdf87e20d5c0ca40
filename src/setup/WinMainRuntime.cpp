// Pieces of the C and C++ runtimes that the program replaces with lean ones of its own.

#include <cstdarg>
#include <cstdlib>
#include <exception>
#include <new>
#include <string>
#include <typeinfo>

#include "instutils/TextError.h"

namespace __gnu_cxx {

// The library's handler names the uncaught exception's type on stderr before it aborts, which
// links in the whole symbol demangler and the printf family (some 75 KB). A windowed program
// has no stderr to show it on: end the same way, without the text.
void __verbose_terminate_handler()
{
    std::abort();
}

}  // namespace __gnu_cxx

namespace {

// What the library's containers and strings throw when misused (an index out of range, a size
// too large): the same text, behind std::exception. The library's own classes would bring in its
// copy-on-write string and every standard error class (about 50 KB).
[[noreturn]] void ThrowLibraryError(const char* text)
{
    throw TextError(text ? text : "");
}

// Its own digits: the program's functions are private to the program's unit.
void AppendDecimal(std::string& text, unsigned long value)
{
    char digits[12];
    char* p = digits + sizeof digits;
    do {
        *--p = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value);
    text.append(p, digits + sizeof digits);
}

}  // namespace

// Every function of the library's file of throwers is defined here, so that file is never linked.
namespace std {

void __throw_bad_exception() { throw bad_exception(); }
void __throw_bad_alloc() { throw bad_alloc(); }
void __throw_bad_array_new_length() { throw bad_array_new_length(); }
void __throw_bad_cast() { throw bad_cast(); }
void __throw_bad_typeid() { throw bad_typeid(); }
void __throw_logic_error(const char* text) { ThrowLibraryError(text); }
void __throw_domain_error(const char* text) { ThrowLibraryError(text); }
void __throw_invalid_argument(const char* text) { ThrowLibraryError(text); }
void __throw_length_error(const char* text) { ThrowLibraryError(text); }
void __throw_out_of_range(const char* text) { ThrowLibraryError(text); }
void __throw_runtime_error(const char* text) { ThrowLibraryError(text); }
void __throw_range_error(const char* text) { ThrowLibraryError(text); }
void __throw_overflow_error(const char* text) { ThrowLibraryError(text); }
void __throw_underflow_error(const char* text) { ThrowLibraryError(text); }

// The library formats only %s, %zu, %lu, %u and %% here.
void __throw_out_of_range_fmt(const char* format, ...)
{
    std::string text;
    va_list args;
    va_start(args, format);
    for (const char* p = format; p && *p; ++p) {
        if (*p != '%' || !p[1]) {
            text += *p;
            continue;
        }
        ++p;
        if (*p == 's') {
            const char* s = va_arg(args, const char*);
            text += s ? s : "";
        } else if (*p == 'z' || *p == 'l') {
            p += p[1] == 'u';
            AppendDecimal(text, va_arg(args, unsigned long));   // size_t is 32 bits here
        } else if (*p == 'u') {
            AppendDecimal(text, va_arg(args, unsigned));
        } else {
            text += *p;
        }
    }
    va_end(args);
    throw TextError(text);
}

}  // namespace std

extern "C" {

// The start-up code's relocator patches references to data that DLLs export and the code
// imported without saying so. The linker made none here, and the relocator with its section
// search costs 3 KB: a program linked with some must not start half patched.
extern char __RUNTIME_PSEUDO_RELOC_LIST__[];
extern char __RUNTIME_PSEUDO_RELOC_LIST_END__[];

void _pei386_runtime_relocator()
{
    if (__RUNTIME_PSEUDO_RELOC_LIST_END__ - __RUNTIME_PSEUDO_RELOC_LIST__ >= 8)
        std::abort();
}

// The start-up code's handler for math errors prints them on stderr, which a windowed program
// has not got; 0 leaves the error to the library's usual handling, as that handler does.
int _matherr(struct _exception*)
{
    return 0;
}

}  // extern "C"
