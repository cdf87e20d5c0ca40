#include "instutils/PathText.h"

#include "platform/Platform.h"

void WithTrailingBackslash(std::string& path) {
    if (path.empty()) return;
    if (path.back() == '/') path.back() = '\\';
    else if (path.back() != '\\') path += '\\';
}

std::string JoinPath(const std::string& folder, const std::string& name) {
    std::string path = folder;
    WithTrailingBackslash(path);
    return path + name;
}

bool EqualNoCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    std::string ua = a, ub = b;
    Sys().UpperCase(ua);
    Sys().UpperCase(ub);
    return ua == ub;
}

bool StartsWithNoCase(const std::string& text, const std::string& prefix) {
    return text.size() >= prefix.size() && EqualNoCase(text.substr(0, prefix.size()), prefix);
}

bool IsAsciiLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

std::string UpToNul(std::string text) {
    size_t nul = text.find('\0');
    if (nul != std::string::npos) text.resize(nul);
    return text;
}

std::string DecimalText(int64_t value) {
    uint64_t magnitude = value < 0 ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
    char digits[21];
    char* first = digits + sizeof digits;
    do {
        *--first = static_cast<char>('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    if (value < 0) *--first = '-';
    return std::string(first, digits + sizeof digits);
}

char LastChar(const std::string& text) { return text.empty() ? '\0' : text.back(); }

void DropFirstChar(std::string& text) {
    if (!text.empty()) text.erase(0, 1);
}

void DropLastChar(std::string& text) {
    if (!text.empty()) text.pop_back();
}

std::string EscapeCaption(const std::string& text) {
    if (text == "-") return "- ";   // a lone hyphen would draw as a separator
    std::string out;
    for (char c : text) {
        out += c;
        if (c == '&') out += '&';
    }
    return out;
}

std::string DrivePart(const std::string& path) {
    if (path.size() >= 2 && path[1] == ':') return path.substr(0, 2);
    if (path.size() >= 2 && path[0] == '\\' && path[1] == '\\') {
        size_t serverEnd = path.find('\\', 2);
        if (serverEnd == std::string::npos) return path;
        return path.substr(0, path.find('\\', serverEnd + 1));
    }
    return "";
}

std::string FolderOf(const std::string& path) {
    size_t cut = path.find_last_of("\\:");
    return cut == std::string::npos ? std::string() : path.substr(0, cut + 1);
}
