// Paths and names Windows holds in UTF-16, carried into the program's ANSI code page without a
// best-fit look-alike: exactly, else by the short (8.3) form that names the same entry, else not.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "platform/Platform.h"

PathAnswer NarrowPath(const std::wstring& path, std::string& narrow);
PathAnswer WideCurrentDirectory(std::string& path);
PathAnswer WideTempPath(std::string& path);
PathAnswer WideModuleFileName(std::string& path);
std::vector<FoundFile> WideFindFiles(const std::string& pattern);
