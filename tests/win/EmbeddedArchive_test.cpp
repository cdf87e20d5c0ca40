// The built VelmorraSetup.exe carries its payload: every entry of its own "FILES" resource
// extracts to the bytes and the date (two-second precision, local time) of the payload file.
#include <string>
#include <vector>

#include "RealMachine.h"
#include "engine/AttachFiles.h"
#include "engine/InstallThread.h"
#include "instutils/InstallLog.h"

namespace {

// Every file below folder, as "Sub\\name" paths relative to it.
void ListFiles(const std::string& folder, const std::string& relative, std::vector<std::string>& names)
{
    for (const FoundFile& entry : Sys().FindFiles(folder + relative + "*.*")) {
        if (entry.name == "." || entry.name == "..") continue;
        if (entry.attributes & kAttrDirectory)
            ListFiles(folder, relative + entry.name + "\\", names);
        else
            names.push_back(relative + entry.name);
    }
}

class ModuleData {
public:
    explicit ModuleData(const std::string& file)
        : module_(::LoadLibraryExA(file.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE)) {}
    ~ModuleData()
    {
        if (module_) ::FreeLibrary(module_);
    }
    ModuleData(const ModuleData&) = delete;
    ModuleData& operator=(const ModuleData&) = delete;
    HMODULE Get() const { return module_; }

private:
    HMODULE module_;
};

}  // namespace

using EmbeddedArchive = RealMachineTest;

TEST_F(EmbeddedArchive, EveryEntryExtractsWithThePayloadBytesAndDate)
{
    const std::string exe = EnvironmentText("VELMORRA_SETUP_EXE");
    std::string payload = EnvironmentText("VELMORRA_PAYLOAD_DIR");
    if (exe.empty() || payload.empty())
        GTEST_SKIP() << "set VELMORRA_SETUP_EXE and VELMORRA_PAYLOAD_DIR to check the built program's archive";
    if (payload.back() != '\\') payload += '\\';

    ModuleData module(exe);
    ASSERT_NE(nullptr, module.Get()) << exe;
    HRSRC info = ::FindResourceA(module.Get(), "FILES", "FILES");
    ASSERT_NE(nullptr, info) << "no FILES resource in " << exe;
    HGLOBAL loaded = ::LoadResource(module.Get(), info);
    ASSERT_NE(nullptr, loaded);
    const auto* compressed = static_cast<const uint8_t*>(::LockResource(loaded));
    InstallLog log;
    TAttachedFiles files(compressed, ::SizeofResource(module.Get(), info));
    files.Log = &log;
    std::vector<std::string> payloadFiles;
    ListFiles(payload, "", payloadFiles);
    EXPECT_EQ(payloadFiles.size(), files.Entries.size());

    for (const auto& entry : files.Entries) {
        SCOPED_TRACE(entry->Name);
        const std::string target = scratch + "out\\" + entry->Name;
        ASSERT_TRUE(files.ExtractFile(entry.get(), "", target));
        std::string extracted, original;
        ASSERT_TRUE(Sys().ReadWholeFile(target, extracted));
        ASSERT_TRUE(Sys().ReadWholeFile(payload + entry->Name, original)) << "not in the payload folder";
        EXPECT_TRUE(extracted == original) << "contents differ";
        uint32_t extractedTime = 0, originalTime = 0;
        ASSERT_TRUE(Sys().GetLastWriteDos(target, extractedTime));
        ASSERT_TRUE(Sys().GetLastWriteDos(payload + entry->Name, originalTime));
        EXPECT_EQ(originalTime, extractedTime);
    }
}
