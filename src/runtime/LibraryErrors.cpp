// The C++ runtime's error pieces that the program links in place of the library's verbose ones.
// The libraries call them by name, and the linker takes a program's definition before an
// archive's; it refuses two definitions of one name, so the library's file of throwers is
// replaced whole or not at all.

#include <cstdarg>
#include <cstdlib>
#include <exception>
#include <new>
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

// What the library's containers and strings throw when misused (an index out of range, a size
// too large): the same text, behind std::exception. The library's own classes would bring in its
// copy-on-write string and every standard error class (about 50 KB). One function under the names
// of all the throwers that take a text.
extern "C" [[noreturn]] void velmorraThrowLibraryError(const char* text)
{
    throw TextError(text ? text : "");
}

namespace {

// The text of a formatted error, cut at its buffer's end.
class ErrorText {
public:
    void Add(char c)
    {
        if (length_ < sizeof text_ - 1) text_[length_++] = c;
    }
    void Add(const char* s)
    {
        while (s && *s) Add(*s++);
    }
    void AddDecimal(size_t value)
    {
        char digits[24];
        char* p = digits + sizeof digits;
        do {
            *--p = static_cast<char>('0' + value % 10);
            value /= 10;
        } while (value);
        while (p < digits + sizeof digits) Add(*p++);
    }
    const char* Text()
    {
        text_[length_] = '\0';
        return text_;
    }

private:
    char text_[256];
    size_t length_ = 0;
};

}  // namespace

// Every function of the library's file of throwers is defined here, so that file is never linked.
namespace std {

void __throw_bad_exception() { throw bad_exception(); }
void __throw_bad_alloc() { throw bad_alloc(); }
void __throw_bad_array_new_length() { throw bad_array_new_length(); }
void __throw_bad_cast() { throw bad_cast(); }
void __throw_bad_typeid() { throw bad_typeid(); }

#define VELMORRA_TEXT_THROWER(name) void name(const char*) __attribute__((alias("velmorraThrowLibraryError")));
VELMORRA_TEXT_THROWER(__throw_logic_error)
VELMORRA_TEXT_THROWER(__throw_domain_error)
VELMORRA_TEXT_THROWER(__throw_invalid_argument)
VELMORRA_TEXT_THROWER(__throw_length_error)
VELMORRA_TEXT_THROWER(__throw_out_of_range)
VELMORRA_TEXT_THROWER(__throw_runtime_error)
VELMORRA_TEXT_THROWER(__throw_range_error)
VELMORRA_TEXT_THROWER(__throw_overflow_error)
VELMORRA_TEXT_THROWER(__throw_underflow_error)
#undef VELMORRA_TEXT_THROWER

// The library formats only %s, %zu, %lu, %u and %% here.
void __throw_out_of_range_fmt(const char* format, ...)
{
    ErrorText text;
    va_list args;
    va_start(args, format);
    for (const char* p = format; p && *p; ++p) {
        if (*p != '%' || !p[1]) {
            text.Add(*p);
            continue;
        }
        ++p;
        if (*p == 's') {
            text.Add(va_arg(args, const char*));
        } else if (*p == 'z' || *p == 'l') {
            // On 64-bit Windows size_t is 64 bits and unsigned long 32: each read as itself.
            const bool isSize = *p == 'z';
            p += p[1] == 'u';
            text.AddDecimal(isSize ? va_arg(args, size_t) : va_arg(args, unsigned long));
        } else if (*p == 'u') {
            text.AddDecimal(va_arg(args, unsigned));
        } else {
            text.Add(*p);
        }
    }
    va_end(args);
    velmorraThrowLibraryError(text.Text());
}

}  // namespace std
