#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sys/stat.h>
#include <utime.h>
#include <zlib.h>

#include "packer/Packer.h"

namespace fs = std::filesystem;
using packer::PackError;

namespace {

// UTF-8 bytes are spelled as escapes: plain literals are compiled to Windows-1252 here.
const char kModelesUtf8[] = "Mod\xC3\xA8les de document";

// 2024-03-15 is day 45366 counted from 1899-12-30.
const double kMarch15 = 45366;

std::time_t LocalTimeT(int year, int month, int day, int hour, int minute, int second) {
    std::tm tm{};
    tm.tm_year = year - 1900;
    tm.tm_mon = month - 1;
    tm.tm_mday = day;
    tm.tm_hour = hour;
    tm.tm_min = minute;
    tm.tm_sec = second;
    tm.tm_isdst = -1;
    return std::mktime(&tm);
}

class TempFolder {
public:
    TempFolder() {
        std::string pattern = (fs::temp_directory_path() / "packer-test-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr)
            throw std::runtime_error("mkdtemp failed");
        path_ = pattern;
    }
    ~TempFolder() {
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    const fs::path& path() const { return path_; }

    fs::path Write(const std::string& relative, const std::string& bytes, std::time_t mtime) {
        const fs::path file = path_ / relative;
        fs::create_directories(file.parent_path());
        std::ofstream(file, std::ios::binary) << bytes;
        utimbuf times{mtime, mtime};
        utime(file.c_str(), &times);
        return file;
    }

private:
    fs::path path_;
};

struct Record {
    std::string name;
    double date;
    int32_t size;
    std::string bytes;
};

std::string Inflate(const std::string& stream) {
    z_stream z{};
    EXPECT_EQ(inflateInit(&z), Z_OK);
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(stream.data()));
    z.avail_in = static_cast<uInt>(stream.size());
    std::string out;
    int rc = Z_OK;
    while (rc == Z_OK) {
        char chunk[16384];
        z.next_out = reinterpret_cast<Bytef*>(chunk);
        z.avail_out = sizeof chunk;
        rc = inflate(&z, Z_NO_FLUSH);
        out.append(chunk, sizeof chunk - z.avail_out);
    }
    EXPECT_EQ(rc, Z_STREAM_END);
    EXPECT_EQ(z.avail_in, 0u) << "bytes after the zlib stream";
    inflateEnd(&z);
    return out;
}

// Reads records exactly as the setup program does; fails the test on a record that overruns.
std::vector<Record> ParseArchive(const std::string& data) {
    std::vector<Record> records;
    size_t pos = 0;
    while (pos < data.size()) {
        Record r;
        const size_t n = static_cast<unsigned char>(data[pos]);
        r.name = data.substr(pos + 1, n);
        std::memcpy(&r.date, data.data() + pos + 1 + n, 8);
        std::memcpy(&r.size, data.data() + pos + 9 + n, 4);
        const size_t contents = pos + 13 + n;
        EXPECT_LE(contents + r.size, data.size()) << r.name;
        if (contents + r.size > data.size())
            break;
        r.bytes = data.substr(contents, r.size);
        records.push_back(r);
        pos = contents + r.size;
    }
    EXPECT_EQ(pos, data.size());
    return records;
}

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

}  // namespace

TEST(PackerNames, ConvertsUtf8ToWindows1252WithBackslashes) {
    EXPECT_EQ(packer::ArchiveName(std::string(kModelesUtf8) + "/Lettres/Lettre \xC3\xA0 en-t\xC3\xAAte.vmt"),
              "Modèles de document\\Lettres\\Lettre à en-tête.vmt");
    EXPECT_EQ(packer::ArchiveName("Collections d'inserts/Cadres/Fl\xC3\xA8" "che.vin"),
              "Collections d'inserts\\Cadres\\Flèche.vin");
    EXPECT_EQ(packer::ArchiveName("Euro \xE2\x82\xAC.txt"), "Euro \x80.txt");
}

TEST(PackerNames, CountsTheLimitInWindows1252Bytes) {
    std::string utf8;
    for (int i = 0; i < 255; ++i)
        utf8 += "\xC3\xA9";  // 510 bytes in UTF-8, 255 in Windows-1252
    EXPECT_EQ(packer::ArchiveName(utf8).size(), 255u);
    EXPECT_THROW(packer::ArchiveName(utf8 + "x"), PackError);
    EXPECT_THROW(packer::ArchiveName(std::string(128, 'a') + "/" + std::string(127, 'b')), PackError);
}

TEST(PackerNames, RefusesCharactersWindows1252CannotHold) {
    EXPECT_THROW(packer::ArchiveName("\xE6\x97\xA5\xE6\x9C\xAC.txt"), PackError);
    EXPECT_THROW(packer::ArchiveName("bad\xFFutf8.txt"), PackError);
    EXPECT_THROW(packer::ArchiveName("\xC2\x81.txt"), PackError);  // a hole in Windows-1252
}

TEST(PackerNames, RefusesCharactersWindowsForbidsInNames) {
    EXPECT_THROW(packer::ArchiveName("a\\b.txt"), PackError);
    EXPECT_THROW(packer::ArchiveName("what?.txt"), PackError);
    EXPECT_THROW(packer::ArchiveName("tab\there.txt"), PackError);
}

TEST(PackerDates, AreLocalDaysSince1899WithEvenSeconds) {
    const double expected = kMarch15 + (10 * 3600 + 20 * 60 + 30) / 86400.0;
    EXPECT_EQ(packer::ArchiveDate(LocalTimeT(2024, 3, 15, 10, 20, 30)), expected);
    EXPECT_EQ(packer::ArchiveDate(LocalTimeT(2024, 3, 15, 10, 20, 31)), expected);
    EXPECT_EQ(packer::ArchiveDate(LocalTimeT(2024, 3, 15, 0, 0, 0)), kMarch15);
    EXPECT_EQ(packer::ArchiveDate(LocalTimeT(2000, 1, 1, 0, 0, 0)), 36526);
}

TEST(PackerFolder, RoundTripsThroughZlibWithTheWordProcessorFirst) {
    TempFolder folder;
    const std::time_t when = LocalTimeT(2024, 3, 15, 10, 20, 30);
    folder.Write("Basic.asn", "sound", when);
    folder.Write(std::string(kModelesUtf8) + "/Fax/Fax \xC3\xA9l\xC3\xA9gant.vmt", "fax", when + 2);
    folder.Write("Empty.dat", "", when + 4);
    std::string binary(70000, '\0');
    for (size_t i = 0; i < binary.size(); ++i)
        binary[i] = static_cast<char>(i * 7 + (i >> 8));
    folder.Write("vlm.exe", binary, when + 6);
    fs::create_directories(folder.path() / "Empty folder");

    const fs::path out = folder.path() / ".." / (folder.path().filename().string() + ".bin");
    EXPECT_EQ(packer::PackFolder(folder.path(), out), 4u);
    const std::string stream = ReadFile(out);
    fs::remove(out);

    const std::vector<Record> records = ParseArchive(Inflate(stream));
    ASSERT_EQ(records.size(), 4u);
    EXPECT_EQ(records[0].name, "vlm.exe");
    EXPECT_EQ(records[0].bytes, binary);
    EXPECT_EQ(records[1].name, "Basic.asn");
    EXPECT_EQ(records[1].bytes, "sound");
    EXPECT_EQ(records[2].name, "Empty.dat");
    EXPECT_EQ(records[2].size, 0);
    EXPECT_EQ(records[3].name, "Modèles de document\\Fax\\Fax élégant.vmt");
    EXPECT_EQ(records[1].date, packer::ArchiveDate(when));
    EXPECT_EQ(records[3].date, packer::ArchiveDate(when + 2));
}

TEST(PackerFolder, RefusesNamesThatDifferOnlyInCase) {
    TempFolder folder;
    folder.Write("Lettre \xC3\xA9t\xC3\xA9.txt", "a", 0);
    folder.Write("LETTRE \xC3\x89T\xC3\x89.TXT", "b", 0);
    EXPECT_THROW(packer::CollectItems(folder.path()), PackError);
}

TEST(PackerFolder, RefusesAFolderWithoutFiles) {
    TempFolder folder;
    fs::create_directories(folder.path() / "only folders");
    EXPECT_THROW(packer::PackFolder(folder.path(), folder.path() / "out.bin"), PackError);
    EXPECT_FALSE(fs::exists(folder.path() / "out.bin"));
}

TEST(PackerFolder, RefusesAnOverlongNameWithoutWritingTheArchive) {
    TempFolder folder;
    folder.Write("vlm.exe", "x", 0);
    folder.Write(std::string(200, 'd') + "/" + std::string(60, 'f'), "y", 0);
    const fs::path out = folder.path().string() + ".bin";
    EXPECT_THROW(packer::PackFolder(folder.path(), out), PackError);
    EXPECT_FALSE(fs::exists(out));
}
