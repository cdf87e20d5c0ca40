// Builds the setup program's "FILES" archive from a folder: one zlib stream holding
// records of [name length][name][date][size][bytes], names in Windows-1252 with "\".
#pragma once

#include <ctime>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

namespace packer {

// A file the archive cannot carry, or a folder that cannot be read; what() is for the user.
class PackError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct PackItem {
    std::string name;              // archive name: Windows-1252, "\" between parts
    std::filesystem::path source;  // the file on disk
    double date = 0;               // days since 1899-12-30, local time
};

// "a/b c/d.txt" (UTF-8, "/" between parts) -> "a\b c\d.txt" in Windows-1252.
// Throws PackError for a name over 255 bytes or one that Windows-1252 cannot hold.
std::string ArchiveName(const std::string& utf8RelativePath);

// A file time as the archive's date: local time, whole even seconds, since the
// installed file's time goes through a DOS date-time and must compare equal to it.
double ArchiveDate(std::time_t t);

// Every regular file under folder, in archive order: "vlm.exe" first (the word processor
// leads the archive), then by name. Throws PackError.
std::vector<PackItem> CollectItems(const std::filesystem::path& folder);

// Appends one record to an inflated archive.
void AppendRecord(std::string& archive, const std::string& name, double date, const std::string& bytes);

// The inflated archive of the items, in their order.
std::string BuildArchive(const std::vector<PackItem>& items);

// zlib stream (default window, best compression).
std::string Compress(const std::string& data);

// Packs folder into outFile; throws PackError. Returns the number of files packed.
size_t PackFolder(const std::filesystem::path& folder, const std::filesystem::path& outFile);

}  // namespace packer
