// Path and number text: no file is touched.
#pragma once
#include <cstdint>
#include <string>

void WithTrailingBackslash(std::string& path);
std::string JoinPath(const std::string& folder, const std::string& name);
bool EqualNoCase(const std::string& a, const std::string& b);
bool StartsWithNoCase(const std::string& text, const std::string& prefix);
// Drive letters are ASCII: nothing else is a drive.
bool IsAsciiLetter(char c);
// The text before its first NUL, as the system's fixed buffers hand it back.
std::string UpToNul(std::string text);
// A number in decimal digits: one writer for every size and count the program shows or names.
std::string DecimalText(int64_t value);
char LastChar(const std::string& text);
void DropFirstChar(std::string& text);
void DropLastChar(std::string& text);
std::string EscapeCaption(const std::string& text);

// "C:" for "C:\x", "\\server\share" for a network path, empty otherwise.
std::string DrivePart(const std::string& path);
// The text up to and including its last backslash or colon.
std::string FolderOf(const std::string& path);
