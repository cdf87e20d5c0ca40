// An error whose text is for the user: whoever catches it shows what() as it is.
#pragma once
#include <exception>
#include <string>
#include <utility>

// Not std::runtime_error: the standard error classes bring the library's copy-on-write string
// into the setup program (about 50 KB).
class TextError : public std::exception {
public:
    explicit TextError(std::string text) : text_(std::move(text)) {}
    const char* what() const noexcept override { return text_.c_str(); }

private:
    std::string text_;
};
