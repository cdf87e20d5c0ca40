#include "packer/Packer.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <iconv.h>
#include <iterator>
#include <map>
#include <sys/stat.h>
#include <zlib.h>

namespace fs = std::filesystem;

namespace packer {
namespace {

const double kUnixEpochDay = 25569;  // 1970-01-01 counted from 1899-12-30

// Days from 1970-01-01 to a civil date (proleptic Gregorian).
int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

std::string ToWindows1252(const std::string& utf8, const std::string& shownName) {
    iconv_t cd = iconv_open("WINDOWS-1252", "UTF-8");
    if (cd == reinterpret_cast<iconv_t>(-1))
        throw PackError("cannot convert names: iconv has no WINDOWS-1252");
    std::string in = utf8;
    std::string out(in.size() + 1, '\0');
    char* inPtr = in.data();
    size_t inLeft = in.size();
    char* outPtr = out.data();
    size_t outLeft = out.size();
    const size_t rc = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
    iconv_close(cd);
    if (rc == static_cast<size_t>(-1) || inLeft != 0)
        throw PackError(shownName + ": name has characters that Windows-1252 cannot hold");
    out.resize(out.size() - outLeft);
    return out;
}

// Characters Windows refuses in a file name; a "\" would silently split the name.
void CheckWindowsCharacters(const std::string& utf8) {
    for (unsigned char c : utf8) {
        if (c < 0x20 || std::strchr("<>:\"|?*\\", c) != nullptr)
            throw PackError(utf8 + ": name has a character that Windows does not allow in file names");
    }
}

// Windows-1252 upper case, as the setup program compares names.
std::string UpperCase1252(std::string s) {
    for (char& ch : s) {
        const unsigned char c = static_cast<unsigned char>(ch);
        if ((c >= 'a' && c <= 'z') || (c >= 0xE0 && c <= 0xFE && c != 0xF7))
            ch = static_cast<char>(c - 0x20);
        else if (c == 0x9A || c == 0x9C || c == 0x9E)
            ch = static_cast<char>(c - 0x10);
        else if (c == 0xFF)
            ch = static_cast<char>(0x9F);
    }
    return s;
}

std::string ReadWholeFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw PackError(path.string() + ": cannot be read");
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad())
        throw PackError(path.string() + ": cannot be read");
    return bytes;
}

void PutLittleEndian(std::string& out, uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i)
        out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

}  // namespace

std::string ArchiveName(const std::string& utf8RelativePath) {
    std::string name;
    size_t start = 0;
    while (start <= utf8RelativePath.size()) {
        size_t slash = utf8RelativePath.find('/', start);
        if (slash == std::string::npos)
            slash = utf8RelativePath.size();
        const std::string part = utf8RelativePath.substr(start, slash - start);
        if (part.empty())
            throw PackError(utf8RelativePath + ": empty part in name");
        CheckWindowsCharacters(part);
        if (!name.empty())
            name += '\\';
        name += ToWindows1252(part, utf8RelativePath);
        start = slash + 1;
    }
    if (name.size() > 255)
        throw PackError(utf8RelativePath + ": name is " + std::to_string(name.size()) +
                        " bytes long in Windows-1252, more than the archive's 255");
    return name;
}

double ArchiveDate(std::time_t t) {
    t -= ((t % 2) + 2) % 2;
    std::tm local{};
    localtime_r(&t, &local);
    const int64_t days = DaysFromCivil(local.tm_year + 1900, static_cast<unsigned>(local.tm_mon + 1),
                                       static_cast<unsigned>(local.tm_mday));
    const int seconds = local.tm_hour * 3600 + local.tm_min * 60 + local.tm_sec;
    return static_cast<double>(days + kUnixEpochDay) + seconds / 86400.0;
}

std::vector<PackItem> CollectItems(const fs::path& folder) {
    std::error_code ec;
    if (!fs::is_directory(folder, ec))
        throw PackError(folder.string() + ": not a folder");
    std::vector<PackItem> items;
    fs::recursive_directory_iterator it(folder, ec), end;
    if (ec)
        throw PackError(folder.string() + ": " + ec.message());
    for (; it != end; it.increment(ec)) {
        if (ec)
            throw PackError(folder.string() + ": " + ec.message());
        if (!it->is_regular_file(ec))
            continue;  // folders get no records of their own
        const std::string relative = it->path().lexically_relative(folder).generic_string();
        struct stat st {};
        if (::stat(it->path().c_str(), &st) != 0)
            throw PackError(relative + ": " + std::strerror(errno));
        items.push_back({ArchiveName(relative), it->path(), ArchiveDate(st.st_mtime)});
    }

    std::sort(items.begin(), items.end(), [](const PackItem& a, const PackItem& b) {
        const bool aFirst = UpperCase1252(a.name) == "VLM.EXE", bFirst = UpperCase1252(b.name) == "VLM.EXE";
        if (aFirst != bFirst)
            return aFirst;
        return a.name < b.name;
    });

    // The setup program finds entries by name without regard to case: two such names
    // would land in the same file on Windows.
    std::map<std::string, const PackItem*> seen;
    for (const PackItem& item : items) {
        auto [pos, inserted] = seen.emplace(UpperCase1252(item.name), &item);
        if (!inserted)
            throw PackError(item.source.string() + " and " + pos->second->source.string() +
                            ": names differ only in case");
    }
    return items;
}

void AppendRecord(std::string& archive, const std::string& name, double date, const std::string& bytes) {
    if (name.size() > 255)
        throw PackError(name + ": name longer than 255 bytes");
    if (bytes.size() > static_cast<size_t>(INT32_MAX))
        throw PackError(name + ": file larger than 2 GB");
    archive.push_back(static_cast<char>(name.size()));
    archive += name;
    uint64_t dateBits;
    static_assert(sizeof dateBits == sizeof date);
    std::memcpy(&dateBits, &date, sizeof date);
    PutLittleEndian(archive, dateBits, 8);
    PutLittleEndian(archive, bytes.size(), 4);
    archive += bytes;
}

std::string BuildArchive(const std::vector<PackItem>& items) {
    std::string archive;
    for (const PackItem& item : items)
        AppendRecord(archive, item.name, item.date, ReadWholeFile(item.source));
    return archive;
}

std::string Compress(const std::string& data) {
    uLongf size = compressBound(static_cast<uLong>(data.size()));
    std::string out(size, '\0');
    const int rc = compress2(reinterpret_cast<Bytef*>(out.data()), &size,
                             reinterpret_cast<const Bytef*>(data.data()), static_cast<uLong>(data.size()),
                             Z_BEST_COMPRESSION);
    if (rc != Z_OK)
        throw PackError(std::string("zlib failed: ") + zError(rc));
    out.resize(size);
    return out;
}

size_t PackFolder(const fs::path& folder, const fs::path& outFile) {
    const std::vector<PackItem> items = CollectItems(folder);
    if (items.empty())
        throw PackError(folder.string() + ": no files to pack");
    const std::string stream = Compress(BuildArchive(items));
    // Write beside the target, then rename, so a failed run never leaves half an archive.
    const fs::path temp = outFile.string() + ".part";
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        out.write(stream.data(), static_cast<std::streamsize>(stream.size()));
        out.close();
        if (!out)
            throw PackError(temp.string() + ": cannot be written");
    }
    std::error_code ec;
    fs::rename(temp, outFile, ec);
    if (ec)
        throw PackError(outFile.string() + ": " + ec.message());
    return items.size();
}

}  // namespace packer
