#include "FakeMachine.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

// ---------------------------------------------------------------- Windows-1252 text

char Cp1252Upper(char c) {
    auto u = static_cast<unsigned char>(c);
    if (u >= 'a' && u <= 'z') return static_cast<char>(u - 32);
    if (u >= 0xE0 && u <= 0xFE && u != 0xF7) return static_cast<char>(u - 32);
    switch (u) {
    case 0x9A: return static_cast<char>(0x8A);
    case 0x9C: return static_cast<char>(0x8C);
    case 0x9E: return static_cast<char>(0x8E);
    case 0xFF: return static_cast<char>(0x9F);
    }
    return c;
}

char Cp1252Lower(char c) {
    auto u = static_cast<unsigned char>(c);
    if (u >= 'A' && u <= 'Z') return static_cast<char>(u + 32);
    if (u >= 0xC0 && u <= 0xDE && u != 0xD7) return static_cast<char>(u + 32);
    switch (u) {
    case 0x8A: return static_cast<char>(0x9A);
    case 0x8C: return static_cast<char>(0x9C);
    case 0x8E: return static_cast<char>(0x9E);
    case 0x9F: return static_cast<char>(0xFF);
    }
    return c;
}

std::string Cp1252Upper(std::string text) {
    for (char& c : text) c = Cp1252Upper(c);
    return text;
}

namespace {

// Sort weights close to a French locale's: symbols, then digits, then letters, an accented
// letter sorting with its base letter; accents decide before letter case.
struct Weight {
    int primary, accent, upper;
};

Weight WeightOf(char ch) {
    auto c = static_cast<unsigned char>(Cp1252Upper(ch));
    int upper = (static_cast<unsigned char>(ch) == c && Cp1252Lower(ch) != ch) ? 1 : 0;
    auto letter = [&](char base, int accent) { return Weight{0x300 + (base - 'A'), accent, upper}; };
    if (c >= 'A' && c <= 'Z') return letter(static_cast<char>(c), 0);
    if (c >= '0' && c <= '9') return Weight{0x200 + (c - '0'), 0, 0};
    if (c >= 0xC0 && c <= 0xC6) return letter('A', c - 0xC0 + 1);
    if (c == 0xC7) return letter('C', 1);
    if (c >= 0xC8 && c <= 0xCB) return letter('E', c - 0xC8 + 1);
    if (c >= 0xCC && c <= 0xCF) return letter('I', c - 0xCC + 1);
    if (c == 0xD0) return letter('D', 1);
    if (c == 0xD1) return letter('N', 1);
    if ((c >= 0xD2 && c <= 0xD6) || c == 0xD8 || c == 0x8C) return letter('O', c == 0x8C ? 9 : c - 0xD2 + 1);
    if (c >= 0xD9 && c <= 0xDC) return letter('U', c - 0xD9 + 1);
    if (c == 0xDD || c == 0x9F) return letter('Y', c == 0xDD ? 1 : 2);
    if (c == 0x8A || c == 0xDF) return letter('S', c == 0x8A ? 1 : 2);
    if (c == 0x8E) return letter('Z', 1);
    if (c == 0xDE) return Weight{0x300 + 26, 0, upper};
    return Weight{c, 0, 0};
}

// CompareStringA in miniature: word sort ignores hyphens and apostrophes until the end.
int CompareText(const std::string& a, const std::string& b, bool ignoreCase, bool wordSort) {
    auto keep = [&](char c) { return !(wordSort && (c == '-' || c == '\'')); };
    std::vector<Weight> wa, wb;
    for (char c : a) if (keep(c)) wa.push_back(WeightOf(c));
    for (char c : b) if (keep(c)) wb.push_back(WeightOf(c));
    auto level = [&](auto field) {
        size_t n = std::min(wa.size(), wb.size());
        for (size_t i = 0; i < n; ++i) {
            int x = field(wa[i]), y = field(wb[i]);
            if (x != y) return x < y ? -1 : 1;
        }
        if (wa.size() != wb.size()) return wa.size() < wb.size() ? -1 : 1;
        return 0;
    };
    if (int r = level([](const Weight& w) { return w.primary; })) return r;
    if (int r = level([](const Weight& w) { return w.accent; })) return r;
    if (!ignoreCase)
        if (int r = level([](const Weight& w) { return w.upper; })) return r;
    std::string ra = ignoreCase ? Cp1252Upper(a) : a, rb = ignoreCase ? Cp1252Upper(b) : b;
    return ra == rb ? 0 : (ra < rb ? -1 : 1);
}

bool HasWildcard(const std::string& s) { return s.find_first_of("*?") != std::string::npos; }

bool GlobMatch(const char* p, const char* s) {
    for (; *p; ++p) {
        if (*p == '*') {
            while (p[1] == '*') ++p;
            if (!p[1]) return true;
            for (const char* t = s; *t; ++t)
                if (GlobMatch(p + 1, t)) return true;
            return GlobMatch(p + 1, s + std::strlen(s));
        }
        if (!*s) return false;
        if (*p != '?' && *p != *s) return false;
        ++s;
    }
    return !*s;
}

// DOS rules: "*.*" matches every name, and "x.*" also matches "x".
bool NameMatches(const std::string& pattern, const std::string& name) {
    std::string p = Cp1252Upper(pattern), n = Cp1252Upper(name);
    if (GlobMatch(p.c_str(), n.c_str())) return true;
    if (p.size() >= 2 && p.compare(p.size() - 2, 2, ".*") == 0 && n.find('.') == std::string::npos)
        return GlobMatch(p.substr(0, p.size() - 2).c_str(), n.c_str());
    return false;
}

std::string RootKeyOf(const std::string& root) {
    std::string r = root;
    if (!r.empty() && r.back() == '\\' && r.size() > 2) r.pop_back();
    return Cp1252Upper(r);
}

const char* const kLinkHeader = "[Fake shell link]\r\n";

}  // namespace

uint32_t PackDos(const LocalTime& t) {
    if (t.year < 1980 || t.year > 2107) return 0;
    return (static_cast<uint32_t>(t.year - 1980) << 25) | (static_cast<uint32_t>(t.month) << 21) |
           (static_cast<uint32_t>(t.day) << 16) | (static_cast<uint32_t>(t.hour) << 11) |
           (static_cast<uint32_t>(t.minute) << 5) | static_cast<uint32_t>(t.second / 2);
}

uint32_t Dos(int year, int month, int day, int hour, int minute, int second) {
    return PackDos(LocalTime{year, month, day, hour, minute, second, 0});
}

// ---------------------------------------------------------------- paths

std::string FakeMachine::FullPath::Text() const {
    std::string s = root + "\\";
    for (size_t i = 0; i < parts.size(); ++i) {
        if (i) s += '\\';
        s += parts[i];
    }
    return s;
}

std::string FakeMachine::FullPath::Key() const {
    std::string s = Cp1252Upper(root);
    for (const auto& p : parts) s += "\\" + Cp1252Upper(p);
    return s;
}

// GetFullPathNameA's rules: "/" is "\", empty, "." and ".." parts resolved, trailing dots
// and spaces of the last part dropped, relative paths taken from the current directory.
FakeMachine::FullPath FakeMachine::Lexical(const std::string& path) const {
    FullPath r;
    std::string s = path;
    std::replace(s.begin(), s.end(), '/', '\\');
    if (s.empty()) return r;
    std::string rest;
    auto fromCurrent = [&]() {
        FullPath cur = Lexical(currentDir_);
        r.root = cur.root;
        r.parts = cur.parts;
    };
    if (s.size() >= 2 && s[0] == '\\' && s[1] == '\\') {
        size_t serverEnd = s.find('\\', 2);
        if (serverEnd == std::string::npos || serverEnd == 2) return r;
        size_t shareEnd = s.find('\\', serverEnd + 1);
        if (shareEnd == std::string::npos) shareEnd = s.size();
        if (shareEnd == serverEnd + 1) return r;
        r.root = s.substr(0, shareEnd);
        rest = shareEnd < s.size() ? s.substr(shareEnd + 1) : "";
    } else if (s.size() >= 2 && s[1] == ':' && std::isalpha(static_cast<unsigned char>(s[0]))) {
        r.root = s.substr(0, 2);
        if (s.size() >= 3 && s[2] == '\\') {
            rest = s.substr(3);
        } else {
            FullPath cur = Lexical(currentDir_);
            if (Cp1252Upper(cur.root) == Cp1252Upper(r.root)) r.parts = cur.parts;
            rest = s.substr(2);
        }
    } else if (s[0] == '\\') {
        fromCurrent();
        r.parts.clear();
        rest = s.substr(1);
    } else {
        fromCurrent();
        rest = s;
    }
    std::vector<std::string> pieces;
    size_t start = 0;
    while (start <= rest.size()) {
        size_t end = rest.find('\\', start);
        if (end == std::string::npos) end = rest.size();
        pieces.push_back(rest.substr(start, end - start));
        start = end + 1;
    }
    std::string& last = pieces.back();
    if (last != "." && last != "..")
        while (!last.empty() && (last.back() == '.' || last.back() == ' ')) last.pop_back();
    for (const auto& piece : pieces) {
        if (piece.empty() || piece == ".") continue;
        if (piece == "..") {
            if (!r.parts.empty()) r.parts.pop_back();
            continue;
        }
        r.parts.push_back(piece);
    }
    r.valid = true;
    return r;
}

FakeMachine::Node* FakeMachine::Find(const FullPath& p) {
    if (!p.valid) return nullptr;
    auto it = tree_.find(p.Key());
    return it == tree_.end() ? nullptr : &it->second;
}

FakeMachine::Node* FakeMachine::Find(const std::string& path) { return Find(Resolve(path)); }

FakeMachine::Drive* FakeMachine::DriveOf(const std::string& root) {
    auto it = drives_.find(Cp1252Upper(root));
    return it == drives_.end() ? nullptr : &it->second;
}

bool FakeMachine::Readable(const FullPath& p) {
    if (!p.valid) return false;
    Drive* d = DriveOf(p.root);
    return d && !d->unreadable;
}

std::string FakeMachine::ParentKey(const std::string& key) const {
    size_t slash = key.rfind('\\');
    return slash == std::string::npos ? std::string() : key.substr(0, slash);
}

std::vector<std::pair<std::string, FakeMachine::Node*>> FakeMachine::ChildrenOf(const std::string& key) {
    std::vector<std::pair<std::string, Node*>> out;
    std::string prefix = key + "\\";
    for (auto it = tree_.lower_bound(prefix); it != tree_.end(); ++it) {
        if (it->first.compare(0, prefix.size(), prefix) != 0) break;
        if (it->first.find('\\', prefix.size()) == std::string::npos) out.emplace_back(it->first, &it->second);
    }
    return out;
}

void FakeMachine::MakeFolderLocked(const FullPath& p) {
    FullPath walk = p;
    walk.parts.clear();
    for (const auto& part : p.parts) {
        walk.parts.push_back(part);
        Node& n = tree_[walk.Key()];
        if (n.name.empty()) {
            n.name = part;
            n.folder = true;
            n.attributes = kAttrDirectory;
            n.lastWrite = NowDos();
        }
    }
}

uint32_t FakeMachine::NowDos() { return PackDos(clock_); }

// ---------------------------------------------------------------- set-up helpers

FakeMachine::FakeMachine() : mainThread_(std::this_thread::get_id()) {}
FakeMachine::~FakeMachine() = default;

void FakeMachine::StandardSetup() {
    AddDrive('C').label = "SYSTEME";
    const std::string profile = "C:\\Documents and Settings\\Jean\\";
    const std::string allUsers = "C:\\Documents and Settings\\All Users\\";
    MakeFolder("C:\\WINNT");
    SetSpecialFolder(2, profile + "Menu Démarrer\\Programmes");
    SetSpecialFolder(5, profile + "Mes documents");
    SetSpecialFolder(16, profile + "Bureau");
    SetSpecialFolder(23, allUsers + "Menu Démarrer\\Programmes");
    SetSpecialFolder(25, allUsers + "Bureau");
    SetSpecialFolder(26, profile + "Application Data");
    SetSpecialFolder(35, allUsers + "Application Data");
    SetSpecialFolder(38, "C:\\Program Files");
    for (const auto& [csidl, path] : specialFolders_) MakeFolder(path);
    MakeFolder(profile + "Local Settings\\Temp");
    SetTempPath(profile + "Local Settings\\Temp\\");
    SetCurrentDir("C:\\");
}

FakeMachine::Drive& FakeMachine::AddDrive(char letter, unsigned type, uint32_t clusterBytes, uint64_t freeBytes) {
    std::lock_guard g(mutex_);
    std::string root = std::string(1, Cp1252Upper(letter)) + ":";
    Drive& d = drives_[root];
    d = Drive{};
    d.type = type;
    d.bytesPerSector = 512;
    d.sectorsPerCluster = clusterBytes / 512;
    d.freeBytes = freeBytes;
    d.label.clear();
    if (type == kDriveRemovable) d.storage.removableMedia = 1;
    if (type == kDriveRemote) d.storage = StorageAnswer{};
    Node& n = tree_[root];
    n.name = root;
    n.folder = true;
    n.attributes = kAttrDirectory;
    return d;
}

FakeMachine::Drive& FakeMachine::AddShare(const std::string& unc) {
    std::lock_guard g(mutex_);
    std::string key = RootKeyOf(unc);
    Drive& d = drives_[key];
    d = Drive{};
    d.type = kDriveRemote;
    d.storage = StorageAnswer{};
    d.label.clear();
    Node& n = tree_[key];
    n.name = unc.back() == '\\' ? unc.substr(0, unc.size() - 1) : unc;
    n.folder = true;
    n.attributes = kAttrDirectory;
    return d;
}

FakeMachine::Drive& FakeMachine::DriveAt(const std::string& root) {
    std::lock_guard g(mutex_);
    std::string key = RootKeyOf(root);
    if (key.size() == 1) key += ':';
    auto it = drives_.find(key);
    if (it == drives_.end()) {
        std::fprintf(stderr, "FakeMachine: no drive %s\n", root.c_str());
        std::abort();
    }
    return it->second;
}

void FakeMachine::RemoveDrive(char letter) {
    std::lock_guard g(mutex_);
    std::string root = std::string(1, Cp1252Upper(letter)) + ":";
    drives_.erase(root);
    for (auto it = tree_.begin(); it != tree_.end();) {
        if (it->first == root || it->first.compare(0, root.size() + 1, root + "\\") == 0)
            it = tree_.erase(it);
        else
            ++it;
    }
}

void FakeMachine::MakeFolder(const std::string& path) {
    std::lock_guard g(mutex_);
    FullPath p = Resolve(path);
    if (p.valid && DriveOf(p.root)) MakeFolderLocked(p);
}

void FakeMachine::PutFile(const std::string& path, const std::string& bytes, uint32_t dosTime) {
    std::lock_guard g(mutex_);
    FullPath p = Resolve(path);
    if (!p.valid || p.parts.empty() || !DriveOf(p.root)) return;
    FullPath parent = p;
    parent.parts.pop_back();
    MakeFolderLocked(parent);
    Node& n = tree_[p.Key()];
    if (n.name.empty()) n.name = p.parts.back();
    n.folder = false;
    n.bytes = bytes;
    n.attributes = kAttrArchive;
    n.lastWrite = dosTime ? dosTime : NowDos();
}

bool FakeMachine::Exists(const std::string& path) {
    std::lock_guard g(mutex_);
    return Find(path) != nullptr;
}

bool FakeMachine::IsFolder(const std::string& path) {
    std::lock_guard g(mutex_);
    Node* n = Find(path);
    return n && n->folder;
}

bool FakeMachine::IsFile(const std::string& path) {
    std::lock_guard g(mutex_);
    Node* n = Find(path);
    return n && !n->folder;
}

std::string FakeMachine::FileBytes(const std::string& path) {
    std::lock_guard g(mutex_);
    Node* n = Find(path);
    return n && !n->folder ? n->bytes : std::string();
}

uint32_t FakeMachine::Attributes(const std::string& path) {
    std::lock_guard g(mutex_);
    Node* n = Find(path);
    return n ? n->attributes : 0;
}

void FakeMachine::SetAttributes(const std::string& path, uint32_t attributes) {
    std::lock_guard g(mutex_);
    if (Node* n = Find(path)) n->attributes = n->folder ? (attributes | kAttrDirectory) : (attributes & ~kAttrDirectory);
}

uint32_t FakeMachine::LastWrite(const std::string& path) {
    std::lock_guard g(mutex_);
    Node* n = Find(path);
    return n ? n->lastWrite : 0;
}

std::string FakeMachine::StoredPath(const std::string& path) {
    std::lock_guard g(mutex_);
    FullPath p = Resolve(path, false);
    if (!Find(p)) return "";
    FullPath walk = p;
    walk.parts.clear();
    std::string out = tree_[Cp1252Upper(p.root)].name + "\\";
    for (size_t i = 0; i < p.parts.size(); ++i) {
        walk.parts.push_back(p.parts[i]);
        if (i) out += '\\';
        out += tree_[walk.Key()].name;
    }
    return out;
}

std::vector<std::string> FakeMachine::Children(const std::string& folder) {
    std::lock_guard g(mutex_);
    std::vector<std::string> out;
    Node* n = Find(folder);
    if (!n || !n->folder) return out;
    for (auto& [key, child] : ChildrenOf(Resolve(folder).Key())) out.push_back(child->name);
    return out;
}

// Each level's stored name, read by its key: a name is never looked up again, so a name
// the path rules would trim (trailing dots or spaces) is listed as it was made.
std::vector<std::string> FakeMachine::AllPaths() {
    std::lock_guard g(mutex_);
    std::vector<std::string> out;
    for (auto& [key, node] : tree_) {
        if (drives_.count(key)) continue;
        std::string root = key.substr(0, key.find('\\'));
        for (const auto& [drive, unused] : drives_)
            if (key.compare(0, drive.size() + 1, drive + "\\") == 0) root = drive;
        auto nameAt = [&, &key = key](size_t begin, size_t end) {
            auto level = tree_.find(key.substr(0, end));
            return level != tree_.end() ? level->second.name : key.substr(begin, end - begin);
        };
        std::string path = nameAt(0, root.size());
        for (size_t end = root.size(); end < key.size();) {
            const size_t begin = end + 1;
            end = std::min(key.find('\\', begin), key.size());
            path += "\\" + nameAt(begin, end);
        }
        out.push_back(path + (node.folder ? "\\" : ""));
    }
    std::sort(out.begin(), out.end());
    return out;
}

void FakeMachine::LockFile(const std::string& path) {
    std::lock_guard g(mutex_);
    locked_.insert(Resolve(path).Key());
}

void FakeMachine::ReleaseFile(const std::string& path) {
    std::lock_guard g(mutex_);
    locked_.erase(Resolve(path).Key());
}

void FakeMachine::SetClock(const LocalTime& now) {
    std::lock_guard g(mutex_);
    clock_ = now;
}

void FakeMachine::SetClock(int year, int month, int day, int hour, int minute, int second) {
    SetClock(LocalTime{year, month, day, hour, minute, second, 0});
}

void FakeMachine::SetVersion(unsigned platformId, unsigned major) {
    std::lock_guard g(mutex_);
    platformId_ = platformId;
    major_ = major;
}

void FakeMachine::SetTempPath(const std::string& path) {
    std::lock_guard g(mutex_);
    tempPath_ = path;
}

void FakeMachine::SetSpecialFolder(int csidl, const std::string& path) {
    std::lock_guard g(mutex_);
    specialFolders_[csidl] = path;
}

void FakeMachine::RemoveSpecialFolder(int csidl) {
    std::lock_guard g(mutex_);
    specialFolders_.erase(csidl);
}

void FakeMachine::SetDbcs(bool dbcs) {
    std::lock_guard g(mutex_);
    dbcs_ = dbcs;
}

void FakeMachine::SetResource(const std::string& type, const std::string& name, std::string bytes) {
    std::lock_guard g(mutex_);
    resources_[Cp1252Upper(type) + "\n" + Cp1252Upper(name)] = std::move(bytes);
}

void FakeMachine::SetMessageBoxAnswer(int answer) {
    std::lock_guard g(mutex_);
    messageBoxAnswer_ = answer;
}

std::vector<FakeMachine::MessageBoxCall> FakeMachine::MessageBoxes() {
    std::lock_guard g(mutex_);
    return messageBoxes_;
}

unsigned FakeMachine::SleepCalls() {
    std::lock_guard g(mutex_);
    return sleepCalls_;
}

unsigned FakeMachine::ErrorMode() {
    std::lock_guard g(mutex_);
    return errorMode_;
}

void FakeMachine::SetShellLinksAvailable(bool available) {
    std::lock_guard g(mutex_);
    shellLinks_ = available;
}

std::optional<FakeMachine::LinkRecord> FakeMachine::ReadLink(const std::string& linkFile) {
    std::string text = FileBytes(linkFile);
    if (text.rfind(kLinkHeader, 0) != 0) return std::nullopt;
    LinkRecord r;
    size_t pos = std::strlen(kLinkHeader);
    while (pos < text.size()) {
        size_t end = text.find("\r\n", pos);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(pos, end - pos);
        size_t eq = line.find('=');
        std::string key = line.substr(0, eq), value = eq == std::string::npos ? "" : line.substr(eq + 1);
        if (key == "Target") r.target = value;
        if (key == "WorkingDirectory") r.workingFolder = value;
        if (key == "Description") r.description = value;
        pos = end + 2;
    }
    return r;
}

std::vector<std::string> FakeMachine::OpenedDevices() {
    std::lock_guard g(mutex_);
    return openedDevices_;
}

uintptr_t FakeMachine::AddWindow(const std::vector<std::string>& properties) {
    std::lock_guard g(mutex_);
    uintptr_t h = nextWindow_;
    nextWindow_ += 4;
    windows_[h] = properties;
    return h;
}

void FakeMachine::RemoveWindow(uintptr_t window) {
    std::lock_guard g(mutex_);
    windows_.erase(window);
}

std::vector<FakeMachine::StartedProgram> FakeMachine::StartedPrograms() {
    std::lock_guard g(mutex_);
    return started_;
}

void FakeMachine::HoldGuard(const std::string& ownerSid) {
    std::lock_guard g(mutex_);
    guardOwner_ = ownerSid;
    guardOurs_ = false;   // another process's now, whoever made it before
}

bool FakeMachine::GuardHeldByUs() {
    std::lock_guard g(mutex_);
    return guardOurs_;
}

GuardClaim FakeMachine::ClaimGuard(const std::string&) {
    std::lock_guard g(mutex_);
    if (guardOurs_) return GuardClaim{true, ""};   // this process's own, claimed again
    if (guardOwner_) return GuardClaim{false, *guardOwner_};
    guardOwner_ = UserSid();
    guardOurs_ = true;
    return GuardClaim{true, ""};
}

std::string FakeMachine::UserSid() { return "S-1-5-21-1-2-3-1001"; }

void FakeMachine::SetDesktopShellAvailable(bool available) {
    std::lock_guard g(mutex_);
    desktopShell_ = available;
}

// Recorded with the command line a direct start would have had.
bool FakeMachine::StartProgramAsDesktopUser(const std::string& application, const std::string& arguments,
                                            const std::string& currentDir, unsigned showMode) {
    std::lock_guard g(mutex_);
    if (!desktopShell_) return false;
    const std::string line = "\"" + application + "\"" + (arguments.empty() ? "" : " " + arguments);
    started_.push_back(StartedProgram{application, line, currentDir, showMode, true});
    return true;
}

void FakeMachine::SetStartProgramResult(bool ok) {
    std::lock_guard g(mutex_);
    startResult_ = ok;
}

// ---------------------------------------------------------------- registry

std::string FakeMachine::RegKeyName(RegRoot root, const std::string& key) const {
    std::string k = Cp1252Upper(key);
    while (!k.empty() && k.back() == '\\') k.pop_back();
    return std::string(root == RegRoot::CurrentUser ? "HKCU" : "HKLM") + (k.empty() ? "" : "\\" + k);
}

class FakeMachine::FakeKey : public RegistryKey {
public:
    FakeKey(FakeMachine& m, std::string key) : m_(m), key_(std::move(key)) {}
    bool Query(const std::string& name, RegType& type, std::string& bytes) override {
        std::lock_guard g(m_.mutex_);
        auto& values = m_.registry_[key_].values;
        auto it = values.find(Cp1252Upper(name));
        if (it == values.end()) return false;
        type = it->second.second.type;
        bytes = it->second.second.bytes;
        return true;
    }
    void SetString(const std::string& name, const std::string& value) override {
        Set(name, RegType::String, value + std::string(1, '\0'));
    }
    void SetDword(const std::string& name, uint32_t value) override {
        std::string bytes(4, '\0');
        for (int i = 0; i < 4; ++i) bytes[i] = static_cast<char>((value >> (8 * i)) & 0xFF);
        Set(name, RegType::Dword, bytes);
    }

private:
    void Set(const std::string& name, RegType type, const std::string& bytes) {
        std::lock_guard g(m_.mutex_);
        m_.registry_[key_].values[Cp1252Upper(name)] = {name, RegValue{type, bytes}};
    }
    FakeMachine& m_;
    std::string key_;
};

void FakeMachine::DenyRegistry(RegRoot root, bool deny) {
    std::lock_guard g(mutex_);
    if (deny) deniedRoots_.insert(root);
    else deniedRoots_.erase(root);
}

bool FakeMachine::KeyExists(RegRoot root, const std::string& key) {
    std::lock_guard g(mutex_);
    return registry_.count(RegKeyName(root, key)) != 0;
}

std::optional<FakeMachine::RegValue> FakeMachine::ReadValue(RegRoot root, const std::string& key,
                                                            const std::string& name) {
    std::lock_guard g(mutex_);
    auto k = registry_.find(RegKeyName(root, key));
    if (k == registry_.end()) return std::nullopt;
    auto v = k->second.values.find(Cp1252Upper(name));
    if (v == k->second.values.end()) return std::nullopt;
    return v->second.second;
}

std::optional<std::string> FakeMachine::ReadString(RegRoot root, const std::string& key, const std::string& name) {
    auto v = ReadValue(root, key, name);
    if (!v || v->type != RegType::String) return std::nullopt;
    return v->bytes.substr(0, v->bytes.find('\0'));
}

std::optional<uint32_t> FakeMachine::ReadDword(RegRoot root, const std::string& key, const std::string& name) {
    auto v = ReadValue(root, key, name);
    if (!v || v->type != RegType::Dword || v->bytes.size() != 4) return std::nullopt;
    uint32_t x = 0;
    for (int i = 3; i >= 0; --i) x = (x << 8) | static_cast<unsigned char>(v->bytes[i]);
    return x;
}

void FakeMachine::WriteValue(RegRoot root, const std::string& key, const std::string& name, RegType type,
                             const std::string& bytes) {
    std::lock_guard g(mutex_);
    std::string full = RegKeyName(root, key);
    MakeRegKey(full);
    registry_[full].values[Cp1252Upper(name)] = {name, RegValue{type, bytes}};
}

void FakeMachine::WriteString(RegRoot root, const std::string& key, const std::string& name,
                              const std::string& value) {
    WriteValue(root, key, name, RegType::String, value + std::string(1, '\0'));
}

void FakeMachine::WriteDword(RegRoot root, const std::string& key, const std::string& name, uint32_t value) {
    std::string bytes(4, '\0');
    for (int i = 0; i < 4; ++i) bytes[i] = static_cast<char>((value >> (8 * i)) & 0xFF);
    WriteValue(root, key, name, RegType::Dword, bytes);
}

void FakeMachine::MakeRegKey(const std::string& full) {
    for (size_t slash = full.find('\\'); slash != std::string::npos; slash = full.find('\\', slash + 1))
        registry_[full.substr(0, slash)];
    registry_[full];
}

// RegCreateKeyExA: missing keys on the way are made; a leading backslash is refused.
std::unique_ptr<RegistryKey> FakeMachine::OpenOrCreateKey(RegRoot root, const std::string& path) {
    std::lock_guard g(mutex_);
    if (deniedRoots_.count(root) || (!path.empty() && path[0] == '\\')) return nullptr;
    std::string full = RegKeyName(root, path);
    MakeRegKey(full);
    return std::make_unique<FakeKey>(*this, full);
}

// ---------------------------------------------------------------- system

namespace {

class FakeLock : public Lock {
public:
    void Acquire() override { mutex_.lock(); }
    void Release() override { mutex_.unlock(); }

private:
    std::recursive_mutex mutex_;
};

class FakeThread : public Thread {
public:
    explicit FakeThread(std::function<void()> body)
        : done_(std::make_shared<std::atomic<bool>>(false)) {
        auto done = done_;
        thread_ = std::thread([body = std::move(body), done] {
            body();
            *done = true;
        });
    }
    ~FakeThread() override { Join(); }
    void Join() override {
        std::lock_guard g(joinMutex_);
        if (thread_.joinable()) thread_.join();
    }
    bool Finished() override { return *done_; }

private:
    std::shared_ptr<std::atomic<bool>> done_;
    std::mutex joinMutex_;
    std::thread thread_;
};

}  // namespace

bool FakeMachine::GetVersion(unsigned& platformId, unsigned& major) {
    std::lock_guard g(mutex_);
    platformId = platformId_;
    major = major_;
    return true;
}

LocalTime FakeMachine::Now() {
    std::lock_guard g(mutex_);
    return clock_;
}

void FakeMachine::SleepMs(unsigned ms) {
    {
        std::lock_guard g(mutex_);
        ++sleepCalls_;
        if (sleepsSkipped_ && std::this_thread::get_id() == mainThread_) return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

void FakeMachine::SkipMainThreadSleeps() {
    std::lock_guard g(mutex_);
    sleepsSkipped_ = true;
}

bool FakeMachine::IsMainThread() { return std::this_thread::get_id() == mainThread_; }

std::unique_ptr<Lock> FakeMachine::NewLock() { return std::make_unique<FakeLock>(); }

std::unique_ptr<Thread> FakeMachine::StartThread(std::function<void()> body) {
    return std::make_unique<FakeThread>(std::move(body));
}

bool FakeMachine::FindResourceData(const std::string& type, const std::string& name, const uint8_t*& data,
                                   size_t& size) {
    std::lock_guard g(mutex_);
    auto it = resources_.find(Cp1252Upper(type) + "\n" + Cp1252Upper(name));
    if (it == resources_.end()) return false;
    data = reinterpret_cast<const uint8_t*>(it->second.data());
    size = it->second.size();
    return true;
}

int FakeMachine::ShowMessageBox(const std::string& text, const std::string& caption, unsigned flags) {
    std::lock_guard g(mutex_);
    messageBoxes_.push_back({text, caption, flags});
    return messageBoxAnswer_;
}

// ---------------------------------------------------------------- current directory and folders

std::string FakeMachine::GetCurrentDir() {
    std::lock_guard g(mutex_);
    return currentDir_;
}

// Like Windows, the current directory keeps the case the caller wrote.
bool FakeMachine::SetCurrentDir(const std::string& path) {
    std::lock_guard g(mutex_);
    FullPath p = Resolve(path);
    if (!Readable(p)) return false;
    Node* n = Find(p);
    if (!n || !n->folder) return false;
    currentDir_ = Lexical(path).Text();   // a path through a link reads back as written
    return true;
}

bool FakeMachine::CreateDir(const std::string& path) {
    std::lock_guard g(mutex_);
    FullPath p = Resolve(path, false);
    if (!Readable(p) || p.parts.empty() || Find(p) || locked_.count(p.Key())) return false;
    FullPath parent = p;
    parent.parts.pop_back();
    Node* up = Find(parent);
    if (!up || !up->folder) return false;
    Node& n = tree_[p.Key()];
    n.name = p.parts.back();
    n.folder = true;
    n.attributes = kAttrDirectory;
    n.lastWrite = NowDos();
    return true;
}

// Fails on a file, a root, a folder that is not empty or that is the current directory.
bool FakeMachine::RemoveDir(const std::string& path) {
    std::lock_guard g(mutex_);
    FullPath p = Resolve(path, false);
    if (!Readable(p) || p.parts.empty()) return false;
    Node* n = Find(p);
    if (!n || !n->folder || held_.count(p.Key())) return false;
    std::string key = p.Key();
    if (!ChildrenOf(key).empty()) return false;
    std::string cur = Resolve(currentDir_).Key();
    if (cur == key || cur.compare(0, key.size() + 1, key + "\\") == 0) return false;
    tree_.erase(key);
    return true;
}

PathAnswer FakeMachine::TempPath(std::string& path) {
    std::lock_guard g(mutex_);
    path = tempPath_;
    return path.empty() ? PathAnswer::Missing : PathAnswer::Found;
}

// ---------------------------------------------------------------- files

// CreateFileA with CREATE_ALWAYS: fails on a folder, a read-only, hidden or system file
// (FILE_ATTRIBUTE_NORMAL asks for none of those), a locked file or a missing parent folder.
bool FakeMachine::WriteNewFile(const std::string& path, const void* data, size_t size, FileShare) {
    std::lock_guard g(mutex_);
    FullPath p = FileAt(path, true);
    if (!Readable(p) || p.parts.empty() || locked_.count(p.Key())) return false;
    FullPath parent = p;
    parent.parts.pop_back();
    Node* up = Find(parent);
    if (!up || !up->folder) return false;
    Node* existing = Find(p);
    if (existing && (existing->folder || (existing->attributes & (kAttrReadOnly | kAttrHidden | kAttrSystem))))
        return false;
    Node& n = tree_[p.Key()];
    if (n.name.empty()) n.name = p.parts.back();
    n.folder = false;
    n.attributes = kAttrArchive;
    n.lastWrite = NowDos();
    const char* bytes = static_cast<const char*>(data);
    Drive& drive = *DriveOf(p.root);
    bool full = drive.full && size > 0;
    n.bytes.assign(bytes, full ? size / 2 : size);
    if (full) drive.freeBytes = 0;   // the write took what was left
    return !full;
}

bool FakeMachine::ReadWholeFile(const std::string& path, std::string& bytes) {
    std::lock_guard g(mutex_);
    FullPath p = Resolve(path);
    if (!Readable(p) || unreadable_.count(p.Key())) return false;
    Node* n = Find(p);
    if (!n || n->folder) return false;
    bytes = n->bytes;
    return true;
}

bool FakeMachine::DeleteFileAt(const std::string& path) {
    std::lock_guard g(mutex_);
    FullPath p = Resolve(path, false);
    if (!Readable(p) || locked_.count(p.Key())) return false;
    Node* n = Find(p);
    if (!n || n->folder || (n->attributes & kAttrReadOnly)) return false;
    tree_.erase(p.Key());
    AfterDelete(p.Key());
    return true;
}

// FindFirstFileA/FindNextFileA: a pattern in the last part, or an exact name. As on Windows,
// a root folder has no "." and ".." entries, and a pattern ending in "\" finds nothing.
std::vector<FoundFile> FakeMachine::FindFiles(const std::string& pattern) {
    std::lock_guard g(mutex_);
    std::vector<FoundFile> out;
    std::string s = pattern;
    std::replace(s.begin(), s.end(), '/', '\\');
    size_t cut = s.rfind('\\');
    if (cut == std::string::npos && s.size() >= 2 && s[1] == ':') cut = 1;
    std::string name = cut == std::string::npos ? s : s.substr(cut + 1);
    std::string folderText = cut == std::string::npos ? std::string(".") : s.substr(0, cut + 1);
    if (name.empty()) return out;
    FullPath folder = Resolve(folderText);
    if (!Readable(folder)) return out;
    Node* dir = Find(folder);
    if (!dir || !dir->folder) return out;
    bool wild = HasWildcard(name);
    if (wild && !folder.parts.empty()) {
        for (const char* dots : {".", ".."})
            if (NameMatches(name, dots)) out.push_back({dots, kAttrDirectory});
    }
    for (auto& [key, child] : ChildrenOf(folder.Key())) {
        if (wild ? NameMatches(name, child->name) : Cp1252Upper(name) == Cp1252Upper(child->name))
            out.push_back({child->name, child->attributes});
    }
    return out;
}

bool FakeMachine::GetLastWriteDos(const std::string& path, uint32_t& dosDateTime) {
    std::lock_guard g(mutex_);
    FullPath p = Resolve(path);
    if (!Readable(p) || p.parts.empty()) return false;
    Node* n = Find(p);
    if (!n) return false;
    dosDateTime = n->lastWrite;
    return true;
}

bool FakeMachine::SetLastWriteDos(const std::string& path, uint32_t dosDateTime) {
    std::lock_guard g(mutex_);
    FullPath p = Resolve(path);
    if (!Readable(p) || locked_.count(p.Key())) return false;
    Node* n = Find(p);
    if (!n || n->folder || (n->attributes & kAttrReadOnly)) return false;
    // As DosDateTimeToFileTime: a date without a month or a day is no date.
    const uint32_t date = dosDateTime >> 16;
    if ((date & 0x1F) == 0 || ((date >> 5) & 0xF) == 0) return false;
    n->lastWrite = dosDateTime;
    return true;
}

// ---------------------------------------------------------------- drives

uint32_t FakeMachine::LogicalDrives() {
    std::lock_guard g(mutex_);
    uint32_t mask = 0;
    for (auto& [root, d] : drives_)
        if (root.size() == 2 && root[1] == ':') mask |= 1u << (root[0] - 'A');
    return mask;
}

// GetDriveTypeA takes a root ("C:\", "C:" or "\\server\share\"); anything else has no root.
unsigned FakeMachine::DriveType(const std::string& root) {
    std::lock_guard g(mutex_);
    Drive* d = DriveOf(RootKeyOf(root));
    return d ? d->type : kDriveNoRoot;
}

bool FakeMachine::VolumeInfo(const std::string& root, std::string& label, uint32_t& fsFlags) {
    std::lock_guard g(mutex_);
    Drive* d = DriveOf(RootKeyOf(root));
    if (!d || d->unreadable) return false;
    label = d->label;
    fsFlags = d->fsFlags;
    return true;
}

bool FakeMachine::DiskGeometry(const std::string& root, uint32_t& sectorsPerCluster, uint32_t& bytesPerSector) {
    std::lock_guard g(mutex_);
    FullPath p = Resolve(root.empty() ? currentDir_ : root);
    Drive* d = p.valid ? DriveOf(p.root) : nullptr;
    if (!d || d->unreadable || d->geometryFails) return false;
    sectorsPerCluster = d->sectorsPerCluster;
    bytesPerSector = d->bytesPerSector;
    return true;
}

bool FakeMachine::FreeBytesForUser(const std::string& root, uint64_t& bytes) {
    std::lock_guard g(mutex_);
    FullPath p = Resolve(root.empty() ? currentDir_ : root);
    Drive* d = p.valid ? DriveOf(p.root) : nullptr;
    if (!d || d->unreadable || d->freeSpaceFails) return false;
    bytes = d->freeBytes;
    return true;
}

// "\\.\C:": the drive's storage answer; a missing drive cannot be opened.
StorageAnswer FakeMachine::QueryStorageDevice(const std::string& devicePath) {
    std::lock_guard g(mutex_);
    openedDevices_.push_back(devicePath);
    if (devicePath.size() != 6 || devicePath.compare(0, 4, "\\\\.\\") != 0) return StorageAnswer{};
    Drive* d = DriveOf(devicePath.substr(4));
    return d ? d->storage : StorageAnswer{};
}

bool FakeMachine::NetworkConnection(const std::string& drive, std::string& remote) {
    std::lock_guard g(mutex_);
    Drive* d = DriveOf(RootKeyOf(drive));
    if (!d || d->remote.empty()) return false;
    remote = d->remote;
    return true;
}

unsigned FakeMachine::SetErrorMode(unsigned mode) {
    std::lock_guard g(mutex_);
    unsigned old = errorMode_;
    errorMode_ = mode;
    return old;
}

// ---------------------------------------------------------------- text

void FakeMachine::UpperCase(std::string& text) {
    for (char& c : text) c = Cp1252Upper(c);
}

void FakeMachine::LowerCase(std::string& text) {
    for (char& c : text) c = Cp1252Lower(c);
}

int FakeMachine::CompareIgnoreCase(const std::string& a, const std::string& b) {
    return CompareText(a, b, true, false);
}

int FakeMachine::CompareLocale(const std::string& a, const std::string& b) {
    return CompareText(a, b, false, true);
}

bool FakeMachine::IsDbcsSystem() {
    std::lock_guard g(mutex_);
    return dbcs_;
}

// A double-byte machine here uses the Shift-JIS lead bytes.
bool FakeMachine::IsLeadByte(unsigned char c) {
    std::lock_guard g(mutex_);
    return dbcs_ && ((c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC));
}

// ---------------------------------------------------------------- shell

PathAnswer FakeMachine::SpecialFolderPath(int csidl, std::string& path) {
    std::lock_guard g(mutex_);
    auto it = specialFolders_.find(csidl);
    if (it == specialFolders_.end()) return path.clear(), PathAnswer::Missing;
    path = it->second == "?" ? "" : it->second;
    return path.empty() ? PathAnswer::Unnameable : PathAnswer::Found;
}

// A link saves a readable record instead of the shell's binary format; ReadLink reads it back.
class FakeMachine::FakeLink : public ShellLink {
public:
    explicit FakeLink(FakeMachine& m) : m_(m) {}
    void SetPath(const std::string& target) override { target_ = target; }
    void SetWorkingDirectory(const std::string& folder) override { folder_ = folder; }
    void SetDescription(const std::string& text) override { description_ = text; }
    bool Save(const std::string& linkFile) override {
        std::string record = std::string(kLinkHeader) + "Target=" + target_ + "\r\nWorkingDirectory=" + folder_ +
                             "\r\nDescription=" + description_ + "\r\n";
        return m_.WriteNewFile(linkFile, record.data(), record.size(), FileShare::None);
    }

private:
    FakeMachine& m_;
    std::string target_, folder_, description_;
};

std::unique_ptr<ShellLink> FakeMachine::NewShellLink() {
    std::lock_guard g(mutex_);
    if (!shellLinks_) return nullptr;
    return std::make_unique<FakeLink>(*this);
}

// ---------------------------------------------------------------- windows and processes

void FakeMachine::EnumTopLevelWindows(FunctionRef<bool(uintptr_t window)> visit) {
    std::vector<uintptr_t> handles;
    {
        std::lock_guard g(mutex_);
        for (auto& [h, props] : windows_) handles.push_back(h);
    }
    for (uintptr_t h : handles)
        if (!visit(h)) break;
}

bool FakeMachine::WindowHasProperty(uintptr_t window, const std::string& property) {
    std::lock_guard g(mutex_);
    auto it = windows_.find(window);
    if (it == windows_.end()) return false;
    for (const auto& p : it->second)
        if (Cp1252Upper(p) == Cp1252Upper(property)) return true;
    return false;
}

bool FakeMachine::StartProgram(const std::string& application, const std::string& commandLine,
                               const std::string& currentDir, unsigned showMode) {
    std::lock_guard g(mutex_);
    started_.push_back({application, commandLine, currentDir, showMode});
    return startResult_;
}

// ---------------------------------------------------------------- fixture

UseFakeMachine::UseFakeMachine(FakeMachine& machine) {
    SetPlatform(&machine);
}

UseFakeMachine::~UseFakeMachine() {
    SetPlatform(nullptr);
}

// ---------------------------------------------------------------- removal of an installation

void FakeMachine::SetModuleFileName(const std::string& path) {
    std::lock_guard g(mutex_);
    modulePath_ = path;
}

std::vector<std::string> FakeMachine::DeletedAtRestart() {
    std::lock_guard g(mutex_);
    return deletedAtRestart_;
}

std::string FakeMachine::ModuleFileName() {
    std::lock_guard g(mutex_);
    return modulePath_;
}

std::unique_ptr<RegistryKey> FakeMachine::OpenExistingKey(RegRoot root, const std::string& path) {
    std::lock_guard g(mutex_);
    std::string full = RegKeyName(root, path);
    if (deniedRoots_.count(root) || !registry_.count(full)) return nullptr;
    return std::make_unique<FakeKey>(*this, full);
}

// RegDeleteKeyA on NT: a key with sub-keys stays.
bool FakeMachine::DeleteRegistryKey(RegRoot root, const std::string& path, bool onlyIfEmpty) {
    std::lock_guard g(mutex_);
    std::string full = RegKeyName(root, path);
    auto it = registry_.find(full);
    if (deniedRoots_.count(root) || path.empty() || it == registry_.end()) return false;
    auto sub = registry_.lower_bound(full + "\\");
    if (sub != registry_.end() && sub->first.compare(0, full.size() + 1, full + "\\") == 0) return false;
    if (onlyIfEmpty && !it->second.values.empty()) return false;
    registry_.erase(it);
    return true;
}

bool FakeMachine::DeleteRegistryValue(RegRoot root, const std::string& path, const std::string& name) {
    std::lock_guard g(mutex_);
    auto it = registry_.find(RegKeyName(root, path));
    if (deniedRoots_.count(root) || it == registry_.end()) return false;
    return it->second.values.erase(Cp1252Upper(name)) != 0;
}

bool FakeMachine::RunProgramDeletedOnExit(const std::string& program, const std::string& bytes,
                                          const std::string& arguments, uint32_t& code) {
    std::lock_guard g(mutex_);
    if (!CreateNewFileAt(FileAt(program, false), bytes.data(), bytes.size(), 0, Durability::Cached)) return false;
    const size_t slash = program.rfind('\\');
    const std::string folder = slash == std::string::npos ? "" : program.substr(0, slash);
    started_.push_back({program, "\"" + program + "\" " + arguments, folder, 5});
    code = copyCode_;
    return startResult_;
}

void FakeMachine::SetCopyCode(uint32_t code) {
    std::lock_guard g(mutex_);
    copyCode_ = code;
}

void FakeMachine::ReleaseStarter(uint32_t code) {
    std::lock_guard g(mutex_);
    starterReleasedWith_ = code;
}

std::optional<uint32_t> FakeMachine::StarterReleasedWith() {
    std::lock_guard g(mutex_);
    return starterReleasedWith_;
}

bool FakeMachine::MoveOwnFile(const std::string& to) {
    std::lock_guard g(mutex_);
    return !Find(Resolve(to, false)) && MoveReplacing(modulePath_, to);
}

bool FakeMachine::RunElevated(const std::string& program, const std::string& arguments, uint32_t& code) {
    std::lock_guard g(mutex_);
    if (elevationRefused_) return false;
    started_.push_back({program, "\"" + program + "\" " + arguments, "", 1});
    code = copyCode_;
    return true;
}

void FakeMachine::SetElevationRefused(bool refused) {
    std::lock_guard g(mutex_);
    elevationRefused_ = refused;
}

bool FakeMachine::DeleteAtRestart(const std::string& path) {
    std::lock_guard g(mutex_);
    deletedAtRestart_.push_back(path);
    return true;
}

// ---------------------------------------------------------------- links and safe writing

// CreateFileA and MoveFileExA refuse a file name that ends in a separator; the path rules
// alone would read it as the folder.
FakeMachine::FullPath FakeMachine::FileAt(const std::string& path, bool followLast) const {
    FullPath p = Resolve(path, followLast);
    if (!path.empty() && (path.back() == '\\' || path.back() == '/')) p.valid = false;
    return p;
}

FakeMachine::FullPath FakeMachine::Resolve(const std::string& path, bool followLast) const {
    FullPath p = Lexical(path);
    if (!hasLinks_ || !p.valid) return p;
    // Each link met on the way is replaced by its target, as the file system does.
    for (int hops = 0; hops < 32; ++hops) {
        const size_t limit = followLast || p.parts.empty() ? p.parts.size() : p.parts.size() - 1;
        FullPath walk = p;
        walk.parts.clear();
        bool moved = false;
        for (size_t i = 0; i < limit && !moved; ++i) {
            walk.parts.push_back(p.parts[i]);
            auto it = tree_.find(walk.Key());
            if (it == tree_.end()) break;
            if (it->second.linkTarget.empty()) continue;
            FullPath target = Lexical(it->second.linkTarget);
            target.parts.insert(target.parts.end(), p.parts.begin() + long(i) + 1, p.parts.end());
            p = target;
            moved = true;
        }
        if (!moved) return p;
    }
    p.valid = false;   // a loop of links
    return p;
}

void FakeMachine::MakeLink(const std::string& path, const std::string& target, bool folder) {
    std::lock_guard g(mutex_);
    FullPath p = Resolve(path, false);
    if (!p.valid || p.parts.empty() || !DriveOf(p.root) || held_.count(p.Key())) return;
    FullPath parent = p;
    parent.parts.pop_back();
    MakeFolderLocked(parent);
    Node& n = tree_[p.Key()];
    n = Node{};
    n.name = p.parts.back();
    n.folder = folder;
    n.attributes = kAttrReparsePoint | (folder ? kAttrDirectory : kAttrArchive);
    n.lastWrite = NowDos();
    n.linkTarget = Lexical(target).Text();
    hasLinks_ = true;
}

bool FakeMachine::IsLink(const std::string& path) {
    std::lock_guard g(mutex_);
    Node* n = Find(Resolve(path, false));
    return n && !n->linkTarget.empty();
}

void FakeMachine::DenyReading(const std::string& path, bool deny) {
    std::lock_guard g(mutex_);
    if (deny)
        unreadable_.insert(Resolve(path).Key());
    else
        unreadable_.erase(Resolve(path).Key());
}

// CREATE_NEW with FILE_FLAG_OPEN_REPARSE_POINT: any existing name, a link included, refuses.
bool FakeMachine::CreateNewFile(const std::string& path, const void* data, size_t size, FileShare,
                                uint32_t dosDateTime, Durability durability) {
    std::lock_guard g(mutex_);
    return CreateNewFileAt(FileAt(path, false), data, size, dosDateTime, durability);
}

bool FakeMachine::CreateNewFileAt(const FullPath& p, const void* data, size_t size, uint32_t dosDateTime,
                                  Durability durability) {
    if (!Readable(p) || p.parts.empty() || Find(p) || locked_.count(p.Key())) return false;
    FullPath parent = p;
    parent.parts.pop_back();
    Node* up = Find(parent);
    if (!up || !up->folder) return false;
    if (Drive& drive = *DriveOf(p.root); drive.full && size > 0) {
        drive.freeBytes = 0;   // the half-written file is removed again; the disk stays full
        return false;
    }
    Node& n = tree_[p.Key()];
    n.name = p.parts.back();
    n.attributes = kAttrArchive;
    n.lastWrite = dosDateTime ? dosDateTime : NowDos();
    n.bytes.assign(static_cast<const char*>(data), size);
    if (durability == Durability::Flushed) flushed_.insert(p.Key());
    else flushed_.erase(p.Key());
    owners_.erase(p.Key());
    return true;
}

// MoveFileExA with MOVEFILE_REPLACE_EXISTING: same volume, never onto a folder, a read-only or
// locked file; a link at to is replaced, not followed.
bool FakeMachine::MoveReplacing(const std::string& from, const std::string& to, Durability durability) {
    std::lock_guard g(mutex_);
    FullPath f = FileAt(from, false), t = FileAt(to, false);
    if (!Readable(f) || !Readable(t) || f.parts.empty() || t.parts.empty()) return false;
    if (Cp1252Upper(f.root) != Cp1252Upper(t.root) || locked_.count(f.Key()) || locked_.count(t.Key())) return false;
    Node* source = Find(f);
    if (!source || source->folder) return false;
    if (f.Key() == t.Key()) return true;
    FullPath parent = t;
    parent.parts.pop_back();
    Node* up = Find(parent);
    if (!up || !up->folder) return false;
    if (Node* existing = Find(t); existing && (existing->folder || (existing->attributes & kAttrReadOnly))) return false;
    Node moved = *source;
    moved.name = t.parts.back();
    tree_.erase(f.Key());
    tree_[t.Key()] = moved;
    owners_.erase(t.Key());
    const bool flushed = flushed_.erase(f.Key()) && durability == Durability::Flushed;
    if (flushed) flushed_.insert(t.Key());
    else flushed_.erase(t.Key());
    return true;
}

void FakeMachine::SetOwner(const std::string& path, const std::string& sid) {
    std::lock_guard g(mutex_);
    owners_[Resolve(path, false).Key()] = sid;
}

std::string FakeMachine::OwnerOf(const std::string& path) {
    std::lock_guard g(mutex_);
    FullPath p = Resolve(path, false);
    privileges_ = true;
    if (!Readable(p) || !Find(p)) return "";
    auto owner = owners_.find(p.Key());
    return owner == owners_.end() ? "S-1-5-32-544" : owner->second;
}

bool FakeMachine::TakeBack(const std::string& path) {
    std::lock_guard g(mutex_);
    FullPath p = Resolve(path, false);
    Node* n = Readable(p) ? Find(p) : nullptr;
    privileges_ = true;
    if (!n || !n->linkTarget.empty() || n->links > 1) return false;
    owners_.erase(p.Key());
    takenBack_.push_back(p.Text());
    return true;
}

bool FakeMachine::ProtectFolder(const std::string& path) {
    std::lock_guard g(mutex_);
    FullPath p = Resolve(path, false);
    Node* n = Readable(p) ? Find(p) : nullptr;
    privileges_ = true;
    if (!n || !n->folder || !n->linkTarget.empty()) return false;
    owners_.erase(p.Key());
    protected_.push_back(p.Text());
    return true;
}

std::vector<std::string> FakeMachine::Protected() {
    std::lock_guard g(mutex_);
    return protected_;
}

void FakeMachine::DropOwnershipPrivileges() {
    std::lock_guard g(mutex_);
    privileges_ = false;
}

bool FakeMachine::OwnershipPrivilegesEnabled() {
    std::lock_guard g(mutex_);
    return privileges_;
}

std::vector<std::string> FakeMachine::TakenBack() {
    std::lock_guard g(mutex_);
    return takenBack_;
}

bool FakeMachine::IsFlushed(const std::string& path) {
    std::lock_guard g(mutex_);
    return flushed_.count(Resolve(path, false).Key()) != 0;
}

// ---------------------------------------------------------------- links planted by another user

class FakeMachine::FakeHeldFolder : public HeldFolder {
public:
    FakeHeldFolder(FakeMachine& machine, FullPath path) : machine_(machine), path_(std::move(path)) {}
    ~FakeHeldFolder() override {
        std::lock_guard g(machine_.mutex_);
        machine_.held_.erase(machine_.held_.find(path_.Key()));
    }
    const FullPath& Path() const { return path_; }
    // An entry of the folder by the folder itself, whatever its name leads to now.
    FullPath Child(const std::string& name) const {
        FullPath child = path_;
        child.parts.push_back(name);
        child.valid = path_.valid && !name.empty() && name.find_first_of("\\/") == std::string::npos;
        return child;
    }

private:
    FakeMachine& machine_;
    FullPath path_;
};

// CreateFileA with FILE_FLAG_OPEN_REPARSE_POINT: links before the last part are followed.
std::unique_ptr<HeldFolder> FakeMachine::HoldFolder(const std::string& path) {
    std::lock_guard g(mutex_);
    return HoldAt(Resolve(path, false));
}

std::unique_ptr<HeldFolder> FakeMachine::HoldAt(const FullPath& p) {
    Node* n = Readable(p) ? Find(p) : nullptr;
    if (!n || !n->folder || !n->linkTarget.empty()) return nullptr;
    held_.insert(p.Key());
    return std::make_unique<FakeHeldFolder>(*this, p);
}

// As the disposition through a handle: a read-only or locked file, a folder not empty, held or
// current, stays.
DeleteOutcome FakeMachine::DeleteEntryNoLink(const std::string& path, bool folder) {
    std::lock_guard g(mutex_);
    return DeleteAt(Resolve(path, false), folder ? EntryKind::Folder : EntryKind::File);
}

DeleteOutcome FakeMachine::DeleteAt(const FullPath& p, EntryKind kind) {
    if (!Readable(p) || p.parts.empty()) return DeleteOutcome::Failed;
    Node* n = Find(p);
    if (!n) return DeleteOutcome::Missing;
    const bool link = !n->linkTarget.empty(), folder = kind == EntryKind::Folder;
    if (kind == EntryKind::Link ? !link : (link || n->folder != folder)) return DeleteOutcome::Refused;
    const std::string key = p.Key();
    const std::string cur = Resolve(currentDir_).Key();
    if (locked_.count(key) || held_.count(key) || (n->attributes & kAttrReadOnly) ||
        (folder && (!ChildrenOf(key).empty() || cur == key || cur.compare(0, key.size() + 1, key + "\\") == 0)))
        return DeleteOutcome::Failed;
    tree_.erase(key);
    AfterDelete(key);
    return DeleteOutcome::Deleted;
}

void FakeMachine::AfterDelete(const std::string& key) {
    if (auto action = afterDelete_.find(key); action != afterDelete_.end()) {
        const std::function<void()> act = std::move(action->second);
        afterDelete_.erase(action);
        act();
    }
}

void FakeMachine::WhenDeleted(const std::string& path, std::function<void()> action) {
    std::lock_guard g(mutex_);
    afterDelete_[Resolve(path, false).Key()] = std::move(action);
}

std::unique_ptr<HeldFolder> FakeMachine::HoldFolderIn(HeldFolder& parent, const std::string& name) {
    std::lock_guard g(mutex_);
    return HoldAt(static_cast<FakeHeldFolder&>(parent).Child(name));
}

std::unique_ptr<HeldFolder> FakeMachine::MakeFolderIn(HeldFolder& parent, const std::string& name) {
    std::lock_guard g(mutex_);
    const FullPath p = static_cast<FakeHeldFolder&>(parent).Child(name);
    if (!Readable(p) || Find(p) || locked_.count(p.Key())) return nullptr;
    Node& n = tree_[p.Key()];
    n.name = name;
    n.folder = true;
    n.attributes = kAttrDirectory;
    n.lastWrite = NowDos();
    return HoldAt(p);
}

bool FakeMachine::CreateNewFileIn(HeldFolder& parent, const std::string& name, const void* data, size_t size,
                                  FileShare, uint32_t dosDateTime, Durability durability) {
    std::lock_guard g(mutex_);
    return CreateNewFileAt(static_cast<FakeHeldFolder&>(parent).Child(name), data, size, dosDateTime, durability);
}

DeleteOutcome FakeMachine::DeleteEntryIn(HeldFolder& parent, const std::string& name, EntryKind kind) {
    std::lock_guard g(mutex_);
    return DeleteAt(static_cast<FakeHeldFolder&>(parent).Child(name), kind);
}

ReadOutcome FakeMachine::ReadPlainFile(const std::string& path, std::string& bytes) {
    std::lock_guard g(mutex_);
    FullPath p = Resolve(path, false);
    Node* n = Readable(p) ? Find(p) : nullptr;
    if (!n) return Readable(p) ? ReadOutcome::Missing : ReadOutcome::Failed;
    if (n->folder || !n->linkTarget.empty() || n->links > 1) return ReadOutcome::Refused;
    if (unreadable_.count(p.Key())) return ReadOutcome::Failed;
    bytes = n->bytes;
    return ReadOutcome::Read;
}

class FakeMachine::FakeOpenedFile : public OpenedFile {
public:
    FakeOpenedFile(FakeMachine& machine, std::string key) : machine_(machine), key_(std::move(key)) {}
    bool Append(const std::string& bytes) override {
        std::lock_guard g(machine_.mutex_);
        auto it = machine_.tree_.find(key_);
        if (it == machine_.tree_.end()) return false;
        it->second.bytes += bytes;
        machine_.flushed_.erase(key_);
        return true;
    }
    bool Flush() override {
        std::lock_guard g(machine_.mutex_);
        machine_.flushed_.insert(key_);
        return true;
    }

private:
    FakeMachine& machine_;
    std::string key_;
};

// CreateFileA with OPEN_ALWAYS and FILE_FLAG_OPEN_REPARSE_POINT, then emptied once checked.
std::unique_ptr<OpenedFile> FakeMachine::OpenLogFile(const std::string& path) {
    std::lock_guard g(mutex_);
    FullPath p = Resolve(path, false);
    if (!Readable(p) || p.parts.empty() || locked_.count(p.Key())) return nullptr;
    if (Node* n = Find(p)) {
        if (n->folder || !n->linkTarget.empty() || n->links > 1) return nullptr;
        n->bytes.clear();
    } else if (!CreateNewFileAt(p, "", 0, 0, Durability::Cached)) {
        return nullptr;
    }
    return std::make_unique<FakeOpenedFile>(*this, p.Key());
}

std::string FakeMachine::PathOf(HeldFolder& folder) {
    std::lock_guard g(mutex_);
    return static_cast<FakeHeldFolder&>(folder).Path().Text();
}

void FakeMachine::MakeHardLink(const std::string& path, const std::string& existing) {
    std::lock_guard g(mutex_);
    Node* n = Find(Resolve(existing, false));
    FullPath p = Resolve(path, false);
    if (!n || n->folder || !p.valid || p.parts.empty()) return;
    n->links = 2;
    Node copy = *n;
    copy.name = p.parts.back();
    tree_[p.Key()] = copy;
}

// Setting a reparse point needs no delete access, so a hold does not prevent it.
void FakeMachine::TurnIntoMountPoint(const std::string& folder, const std::string& target) {
    std::lock_guard g(mutex_);
    FullPath p = Resolve(folder, false);
    Node* n = Find(p);
    if (!n || !n->folder || !ChildrenOf(p.Key()).empty()) return;
    n->linkTarget = Lexical(target).Text();
    n->attributes |= kAttrReparsePoint;
    hasLinks_ = true;
}

bool FakeMachine::CreatePrivateDir(const std::string& path) { return CreateDir(path); }

bool FakeMachine::IsHeld(const std::string& path) {
    std::lock_guard g(mutex_);
    return held_.count(Resolve(path, false).Key()) != 0;
}

void FakeMachine::SetRandomNumber(uint32_t next) {
    std::lock_guard g(mutex_);
    nextRandom_ = next;
}

uint32_t FakeMachine::RandomNumber() {
    std::lock_guard g(mutex_);
    return nextRandom_++;
}

void FakeMachine::SetElevated(bool elevated) {
    std::lock_guard g(mutex_);
    elevated_ = elevated;
}

bool FakeMachine::IsElevated() {
    std::lock_guard g(mutex_);
    return elevated_;
}
