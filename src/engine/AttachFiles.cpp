#include "engine/AttachFiles.h"

#include <bit>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <new>
#include <zlib.h>

#include "instutils/DateTime.h"
#include "instutils/FileHelpers.h"
#include "instutils/InstallLog.h"
#include "instutils/SafeFiles.h"
#include "platform/Platform.h"

TAttachedFiles* AttachedFiles = nullptr;

namespace {

const char* const kArchiveMissing =
    "Les fichiers à installer sont introuvables dans ce programme d'installation.\r"
    "Veuillez télécharger à nouveau le programme d'installation.";
const char* const kArchiveDamaged =
    "Les fichiers à installer sont endommagés dans ce programme d'installation.\r"
    "Veuillez télécharger à nouveau le programme d'installation.";

[[noreturn]] void Refuse(const char* text) { throw ArchiveError(text); }

[[noreturn]] void RefuseName(const std::string& name)
{
    throw ArchiveError("Le programme d'installation contient un nom de fichier non autorisé :\r\"" + name +
                       "\".\rVeuillez télécharger à nouveau le programme d'installation.");
}

uint64_t ReadLittleEndian(const uint8_t* p, int bytes)
{
    uint64_t value = 0;
    for (int i = bytes - 1; i >= 0; --i) value = (value << 8) | p[i];
    return value;
}

// Windows drops trailing dots and spaces from a path part, so ". ." or "..." may walk up too.
bool IsParentPart(const std::string& part)
{
    if (part.find_first_not_of(". ") != std::string::npos) return false;
    size_t dots = 0;
    for (char c : part) dots += c == '.';
    return dots >= 2;
}

// Entry names are relative to the folder they are extracted into: nothing may lead out of it.
bool IsSafeName(const std::string& name)
{
    if (!name.empty() && (name[0] == '\\' || name[0] == '/')) return false;
    // The system would cut the path at a NUL: the file would not be the one checked and logged.
    if (name.find('\0') != std::string::npos) return false;
    if (name.find(':') != std::string::npos) return false;
    size_t start = 0;
    while (start <= name.size()) {
        size_t end = name.find_first_of("\\/", start);
        if (end == std::string::npos) end = name.size();
        if (IsParentPart(name.substr(start, end - start))) return false;
        start = end + 1;
    }
    return true;
}

}  // namespace

void TAttachedFiles::FreeBytes::operator()(uint8_t* p) const { std::free(p); }

TAttachedFiles::TAttachedFiles()
{
    const uint8_t* compressed = nullptr;
    size_t size = 0;
    if (!Sys().FindResourceData("FILES", "FILES", compressed, size)) Refuse(kArchiveMissing);
    Load(compressed, size);
}

TAttachedFiles::TAttachedFiles(const uint8_t* compressed, size_t size) { Load(compressed, size); }

TAttachedFiles::~TAttachedFiles() = default;

void TAttachedFiles::Load(const uint8_t* compressed, size_t size)
{
    if (!compressed || size == 0) Refuse(kArchiveMissing);
    // Every size must stay within DataSize's 32 bits.
    if (size > size_t(INT32_MAX) - 255) Refuse(kArchiveDamaged);
    const size_t step = (size + 255) & ~size_t(255);
    size_t capacity = size <= size_t(INT32_MAX) / 5 ? size * 5 : size_t(INT32_MAX);
    data_.reset(static_cast<uint8_t*>(std::malloc(capacity)));
    if (!data_) {
        // A large archive may still fit in steps where five times its size in one block does not.
        capacity = step;
        data_.reset(static_cast<uint8_t*>(std::malloc(capacity)));
    }
    if (!data_) throw std::bad_alloc();

    z_stream zs{};
    zs.next_in = const_cast<Bytef*>(compressed);
    zs.avail_in = static_cast<uInt>(size);
    zs.next_out = data_.get();
    zs.avail_out = static_cast<uInt>(capacity);
    if (inflateInit(&zs) != Z_OK) Refuse(kArchiveDamaged);
    struct StreamEnd {
        z_stream& zs;
        ~StreamEnd() { inflateEnd(&zs); }
    } streamEnd{zs};

    for (;;) {
        int rc = inflate(&zs, Z_NO_FLUSH);
        if (rc == Z_STREAM_END) break;
        if (rc == Z_MEM_ERROR) throw std::bad_alloc();
        if (rc != Z_OK && rc != Z_BUF_ERROR) Refuse(kArchiveDamaged);
        // Room left but no end: the input ran out, the stream is truncated.
        if (zs.avail_out != 0) Refuse(kArchiveDamaged);
        if (capacity > size_t(INT32_MAX) - step) Refuse(kArchiveDamaged);
        auto* grown = static_cast<uint8_t*>(std::realloc(data_.get(), capacity + step));
        if (!grown) throw std::bad_alloc();
        data_.release();
        data_.reset(grown);
        zs.next_out = grown + capacity;
        zs.avail_out = static_cast<uInt>(step);
        capacity += step;
    }

    const size_t produced = capacity - zs.avail_out;
    if (produced < capacity) {
        // Shrinking may fail harmlessly; the bigger block is then kept.
        if (auto* shrunk = static_cast<uint8_t*>(std::realloc(data_.get(), produced ? produced : 1))) {
            data_.release();
            data_.reset(shrunk);
        }
    }
    DataSize = static_cast<int32_t>(produced);
    Index();
}

void TAttachedFiles::Index()
{
    const uint8_t* d = data_.get();
    const int64_t size = DataSize;
    int64_t offset = 0;
    while (offset < size) {
        const int64_t nameLength = d[offset];
        if (offset + 1 + nameLength + 12 > size) Refuse(kArchiveDamaged);
        auto entry = std::make_unique<TAttachedFile>();
        entry->Name.assign(reinterpret_cast<const char*>(d + offset + 1), size_t(nameLength));
        entry->Date = std::bit_cast<double>(ReadLittleEndian(d + offset + 1 + nameLength, 8));
        entry->Size = static_cast<int32_t>(static_cast<uint32_t>(ReadLittleEndian(d + offset + 9 + nameLength, 4)));
        const int64_t dataOffset = offset + 13 + nameLength;
        if (entry->Size < 0 || entry->Size > size - dataOffset) Refuse(kArchiveDamaged);
        if (!IsSafeName(entry->Name)) RefuseName(entry->Name);
        entry->DataOffset = static_cast<int32_t>(dataOffset);
        offset = dataOffset + entry->Size;
        Entries.push_back(std::move(entry));
    }
}

const TAttachedFile* TAttachedFiles::FindEntry(const std::string& name) const
{
    for (auto it = Entries.rbegin(); it != Entries.rend(); ++it)
        if (EqualNoCase((*it)->Name, name)) return it->get();
    return nullptr;
}

bool TAttachedFiles::ExtractFile(const TAttachedFile* entry, const std::string& name, const std::string& target)
{
    if (!entry) entry = FindEntry(name);
    return entry && TryExtract(*entry, target);
}

// One attempt: folder, file, date, log line. False when the file could not be written.
Recorder& TAttachedFiles::Records()
{
    if (Log) return *Log;
    return noLog_;
}

bool TAttachedFiles::TryExtract(const TAttachedFile& entry, const std::string& target)
{
    // Nothing is caught here: exhausted memory is an error of the thread, not a file in use.
    const size_t slash = target.rfind('\\');
    const std::string folder = slash == std::string::npos ? std::string() : target.substr(0, slash + 1);
    // Most files go where the last one went: testing a folder (and looking for links on its
    // way) costs as much as writing the file, so it is done once, and holds while the
    // folder is held. A failed write lets it go, so Retry makes it again.
    if (!folder.empty() && !folder_.Holds(folder)) folder_.Adopt(folder, MakeFolderPath(folder, Shared, Records()));
    // Dates outside 1980..2099 have no DOS form; the file keeps the time it was written.
    auto write = [&] {
        return WriteWholeFile(folder_, target, data_.get() + entry.DataOffset, size_t(entry.Size), FileShare::None,
                              DateTimeToDos(entry.Date), Durability::Cached);
    };
    WriteOutcome outcome = write();
    // A folder written into as it is (it could not be held) may have gone: make it again, once.
    if (outcome == WriteOutcome::Failed && !folder.empty() && !FolderExists(folder)) {
        folder_.LetGo();
        folder_.Adopt(folder, MakeFolderPath(folder, Shared, Records()));
        outcome = write();
    }
    if (outcome != WriteOutcome::Written) {
        folder_.LetGo();
        return false;
    }
    Records().FileWritten(target);
    return true;
}
