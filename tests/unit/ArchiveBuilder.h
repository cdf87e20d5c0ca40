// Builds "FILES" archives in memory for the tests: records laid end to end, zlib-compressed.
#pragma once
#include <bit>
#include <cstdint>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <zlib.h>

#include "engine/AttachFiles.h"

class ArchiveBuilder {
public:
    // 2004-03-10 12:00:00, a date with an exact DOS form.
    static constexpr double kDefaultDate = 38056.5;

    ArchiveBuilder& Add(const std::string& name, const std::string& content, double date = kDefaultDate)
    {
        return AddRecord(name, date, static_cast<int32_t>(content.size()), content);
    }
    // A record as written, whatever its fields say (for damaged archives).
    ArchiveBuilder& AddRecord(const std::string& name, double date, int32_t size, const std::string& content)
    {
        raw_ += static_cast<char>(name.size());
        raw_ += name;
        AppendLittleEndian(std::bit_cast<uint64_t>(date), 8);
        AppendLittleEndian(static_cast<uint32_t>(size), 4);
        raw_ += content;
        return *this;
    }
    ArchiveBuilder& AddBytes(const std::string& bytes)
    {
        raw_ += bytes;
        return *this;
    }

    const std::string& Raw() const { return raw_; }
    std::string Compressed() const { return Compress(raw_); }

    std::unique_ptr<TAttachedFiles> Open(InstallLog* log = nullptr) const
    {
        const std::string packed = Compressed();
        auto files = std::make_unique<TAttachedFiles>(reinterpret_cast<const uint8_t*>(packed.data()), packed.size());
        files->Log = log;
        return files;
    }

    static std::string Compress(const std::string& raw)
    {
        uLongf size = compressBound(static_cast<uLong>(raw.size()));
        std::string packed(size, '\0');
        if (compress2(reinterpret_cast<Bytef*>(packed.data()), &size, reinterpret_cast<const Bytef*>(raw.data()),
                      static_cast<uLong>(raw.size()), Z_BEST_COMPRESSION) != Z_OK)
            throw std::runtime_error("compress2 failed");
        packed.resize(size);
        return packed;
    }

private:
    void AppendLittleEndian(uint64_t value, int bytes)
    {
        for (int i = 0; i < bytes; ++i, value >>= 8) raw_ += static_cast<char>(value & 0xFF);
    }
    std::string raw_;
};

// Every name the catalogue asks for, plus two files in each of the two folders; each holds its
// name and " contents" unless given other contents.
inline ArchiveBuilder ProductArchive(const std::map<std::string, std::string>& contents = {})
{
    ArchiveBuilder a;
    for (const char* name : {"vlm.exe", "Licence.txt", "Velmorra.chm", "French.asc", "français.zlx",
                             "persodicfr.tlx", "English (American).asc", "English (British).asc", "english.zlx",
                             "us.zlx", "uk.zlx", "userdicen.tlx", "English (American).cache", "Coupe de mots.dat",
                             "Modèles de document\\Lettre.vlt", "Collections d'inserts\\Cartes.vci",
                             "Modèles de document\\Fax\\Fax.vlt", "Collections d'inserts\\Noël\\Sapin.vci",
                             "Basic.asn"}) {
        const auto given = contents.find(name);
        a.Add(name, given != contents.end() ? given->second : std::string(name) + " contents");
    }
    return a;
}
