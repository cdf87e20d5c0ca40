#include "install/Settings.h"

#include <cstring>
#include "instutils/FileHelpers.h"
#include "instutils/SafeFiles.h"

namespace {

const char* const kInstallKey = "Software\\Velmorra Word Processor\\Install";
const char* const kInternalKey = "\\Software\\Velmorra Word Processor\\Internal";
const char* const kUninstallKey =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Velmorra Word Processor";

const char* const kMainDir = "MAINDIR";
const char* const kComps = "COMPS_FR (1.6.5.8)";
const char* const kInstallToAll = "INSTALLTOALL";
const char* const kExtensions = "EXTENSIONS";
const char* const kLaunch = "LAUNCH";
const char* const kLastRunVer = "LastRunVer";

}  // namespace

void SettingsRegistry::SetRoot(RegRoot root)
{
    CloseKey();
    root_ = root;
}

void SettingsRegistry::OpenKey(const std::string& path)
{
    std::string full;
    if (!path.empty() && path[0] == '\\')
        full = path.substr(1);
    else if (key_ && !path_.empty())
        full = path_ + "\\" + path;
    else
        full = path;
    CloseKey();
    key_ = Sys().OpenOrCreateKey(root_, full);
    if (key_)
        path_ = full;
}

void SettingsRegistry::CloseKey()
{
    key_.reset();
    path_.clear();
}

bool SettingsRegistry::ReadString(const std::string& name, std::string& value)
{
    RegType type = RegType::None;
    std::string bytes;
    if (!key_ || !key_->Query(name, type, bytes) || type != RegType::String)
        return false;
    value.assign(bytes.c_str(), std::strlen(bytes.c_str()));  // up to the first zero byte
    return true;
}

bool SettingsRegistry::ReadNumber(const std::string& name, uint32_t& value)
{
    RegType type = RegType::None;
    std::string bytes;
    if (!key_ || !key_->Query(name, type, bytes) || type != RegType::Dword || bytes.size() != 4)
        return false;
    std::memcpy(&value, bytes.data(), 4);
    return true;
}

void SettingsRegistry::WriteString(const std::string& name, const std::string& value)
{
    if (key_)
        key_->SetString(name, value);
}

void SettingsRegistry::WriteNumber(const std::string& name, uint32_t value)
{
    if (key_)
        key_->SetDword(name, value);
}

SavedSettings ReadSettings(const std::vector<std::string>& args)
{
    SavedSettings s;
    SettingsRegistry reg;
    reg.OpenKey(kInstallKey);
    if (!reg.ReadString(kMainDir, s.MainDir))
        s.MainDir.clear();
    if (s.MainDir.empty() || !FolderExists(s.MainDir))
        s.MainDir = JoinPath(SpecialFolder(CSIDL_PROGRAM_FILES), "Velmorra");
    if (!args.empty() && args[0].compare(0, 2, "-d") == 0)
        s.MainDir = args[0].substr(2);
    reg.ReadNumber(kComps, s.SavedComps);
    uint32_t number = 0;
    if (reg.ReadNumber(kInstallToAll, number))
        s.InstallToAll = number != 0;
    reg.ReadString(kExtensions, s.Extensions);
    if (reg.ReadNumber(kLaunch, number))
        s.Launch = number != 0;
    reg.OpenKey(kInternalKey);
    if (reg.ReadNumber(kLastRunVer, number))
        s.LastRunVer = static_cast<int32_t>(number);
    reg.CloseKey();
    return s;
}

void WriteSettings(const SavedSettings& s, bool portable)
{
    SettingsRegistry reg;
    reg.OpenKey(kInstallKey);
    reg.WriteString(kMainDir, s.MainDir);
    reg.WriteNumber(kComps, s.SavedComps);
    reg.WriteNumber(kInstallToAll, s.InstallToAll ? 1 : 0);
    reg.WriteString(kExtensions, s.Extensions);
    reg.WriteNumber(kLaunch, s.Launch ? 1 : 0);
    if (!portable) {
        reg.SetRoot(RegRoot::LocalMachine);
        reg.OpenKey(kUninstallKey);
        reg.WriteString("DisplayName", "Traitement de texte Velmorra");
        reg.WriteString("UninstallString", UninstallString(s.MainDir));
        reg.WriteString("QuietUninstallString", UninstallString(s.MainDir) + " /S");
        reg.WriteString("DisplayVersion", kProductVersion);
        reg.WriteString("Publisher", "Velmorra");
        reg.WriteString("DisplayIcon", JoinPath(s.MainDir, "vlm.exe"));
        reg.WriteString("InstallLocation", s.MainDir);
        reg.WriteNumber("EstimatedSize", s.InstalledKb);
        reg.WriteNumber("NoModify", 1);
        reg.WriteNumber("NoRepair", 1);
    }
    reg.CloseKey();
}

const char* const kProductVersion = "2.0.6.0";

uint32_t ComponentMask(uint32_t saved, const std::vector<bool>& rowChecked)
{
    uint32_t mask = saved;
    for (size_t i = 0; i < 8; ++i) {
        const uint32_t bit = 1u << i;
        if (i < rowChecked.size() && rowChecked[i])
            mask |= bit;
        else
            mask &= ~bit;
    }
    return mask;
}

std::string UninstallString(const std::string& mainDir)
{
    return "\"" + JoinPath(mainDir, "vlm.exe") + "\" -ui";
}
