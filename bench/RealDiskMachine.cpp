#include "RealDiskMachine.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <utility>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

std::vector<std::string> SplitParts(const std::string& path)
{
    std::vector<std::string> parts;
    std::string part;
    for (char c : path) {
        if (c == '\\' || c == '/') {
            parts.push_back(part);
            part.clear();
        } else {
            part += c;
        }
    }
    parts.push_back(part);
    return parts;
}

class Timed {
public:
    Timed(CallProfile& profile, const char* name) : profile_(profile), name_(name), start_(Clock::now()) {}
    ~Timed()
    {
        if (!profile_.on) return;
        CallProfile::Entry& entry = profile_.entries[name_];
        ++entry.calls;
        entry.seconds += std::chrono::duration<double>(Clock::now() - start_).count();
    }

private:
    using Clock = std::chrono::steady_clock;
    CallProfile& profile_;
    const char* name_;
    Clock::time_point start_;
};

class RealHeldFolder : public HeldFolder {
public:
    explicit RealHeldFolder(int fd) : fd_(fd) {}
    ~RealHeldFolder() override { ::close(fd_); }
    int Fd() const { return fd_; }

private:
    int fd_;
};

// Every held folder of this machine is one of its own.
int FdOf(HeldFolder& folder) { return static_cast<RealHeldFolder&>(folder).Fd(); }

std::unique_ptr<HeldFolder> OpenFolderAt(int parent, const std::string& name)
{
    const int fd = ::openat(parent, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW);
    if (fd < 0) return nullptr;
    return std::make_unique<RealHeldFolder>(fd);
}

bool WriteAll(int fd, const void* data, size_t size)
{
    // One write, as the program makes; a short one is a failure, as on Windows.
    const ssize_t n = size ? ::write(fd, data, size) : 0;
    return n >= 0 && size_t(n) == size;
}

// The access and write times of a DOS date-time, the access time left as it is. glibc's
// mktime reads the zone file again on every call, which Windows' conversion never does: the
// last date converted is kept, since an archive's files mostly share one.
bool DosTimes(uint32_t dosDateTime, timespec (&times)[2])
{
    const uint16_t date = uint16_t(dosDateTime >> 16), time = uint16_t(dosDateTime);
    if (date == 0) return false;
    thread_local std::pair<uint32_t, time_t> last {0, 0};
    times[0] = {0, UTIME_OMIT};
    if (last.first == dosDateTime) {
        times[1] = {last.second, 0};
        return true;
    }
    std::tm local {};
    local.tm_year = (date >> 9) + 80;
    local.tm_mon = ((date >> 5) & 15) - 1;
    local.tm_mday = date & 31;
    local.tm_hour = time >> 11;
    local.tm_min = (time >> 5) & 63;
    local.tm_sec = (time & 31) * 2;
    local.tm_isdst = -1;
    last = {dosDateTime, std::mktime(&local)};
    times[1] = {last.second, 0};
    return true;
}

// Stamped through the same descriptor, as the program stamps through its handle.
bool StampAndClose(int fd, bool ok, uint32_t dosDateTime)
{
    timespec times[2];
    if (ok && dosDateTime && DosTimes(dosDateTime, times)) ok = ::futimens(fd, times) == 0;
    return ::close(fd) == 0 && ok;
}

}  // namespace

void CallProfile::Print(double totalSeconds, int runs) const
{
    double accounted = 0;
    for (const auto& [name, entry] : entries) {
        std::printf("           %-16s %6.1f calls %8.3f ms  (%.2f us each)\n", name.c_str(), double(entry.calls) / runs,
                    entry.seconds * 1e3 / runs, entry.seconds * 1e6 / double(entry.calls ? entry.calls : 1));
        accounted += entry.seconds;
    }
    std::printf("           the engine's own work between them: %.3f ms\n", (totalSeconds - accounted) * 1e3 / runs);
}

std::unique_ptr<HeldFolder> RealDiskMachine::HoldFolder(const std::string& path)
{
    Timed timed(profile, "HoldFolder");
    const int fd = ::open(HostPath(path).c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW);
    if (fd < 0) return nullptr;
    return std::make_unique<RealHeldFolder>(fd);
}

std::unique_ptr<HeldFolder> RealDiskMachine::HoldFolderIn(HeldFolder& parent, const std::string& name)
{
    Timed timed(profile, "HoldFolderIn");
    return OpenFolderAt(FdOf(parent), name);
}

std::unique_ptr<HeldFolder> RealDiskMachine::MakeFolderIn(HeldFolder& parent, const std::string& name)
{
    Timed timed(profile, "MakeFolderIn");
    if (::mkdirat(FdOf(parent), name.c_str(), 0755) != 0) return nullptr;
    return OpenFolderAt(FdOf(parent), name);
}

bool RealDiskMachine::CreateNewFileIn(HeldFolder& parent, const std::string& name, const void* data, size_t size,
                                      FileShare, uint32_t dosDateTime, Durability)
{
    Timed timed(profile, "CreateNewFileIn");
    const int folder = FdOf(parent);
    const int fd = ::openat(folder, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW, 0644);
    if (fd < 0) return false;
    if (StampAndClose(fd, WriteAll(fd, data, size), dosDateTime)) return true;
    ::unlinkat(folder, name.c_str(), 0);
    return false;
}

DeleteOutcome RealDiskMachine::DeleteEntryIn(HeldFolder& parent, const std::string& name, EntryKind kind)
{
    Timed timed(profile, "DeleteEntryIn");
    struct stat st {};
    if (::fstatat(FdOf(parent), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) return DeleteOutcome::Missing;
    const bool folder = S_ISDIR(st.st_mode);
    if ((kind == EntryKind::Folder) != folder || (kind == EntryKind::Link) != S_ISLNK(st.st_mode))
        return DeleteOutcome::Refused;
    return ::unlinkat(FdOf(parent), name.c_str(), folder ? AT_REMOVEDIR : 0) == 0 ? DeleteOutcome::Deleted
                                                                                  : DeleteOutcome::Failed;
}

RealDiskMachine::RealDiskMachine(std::string hostRoot) : root_(std::move(hostRoot))
{
    StandardSetup();
    ::mkdir(root_.c_str(), 0755);
    ::mkdir((root_ + "/C").c_str(), 0755);
}

std::string RealDiskMachine::Plain(const std::string& path) const
{
    std::string full = path;
    if (full.size() < 2 || full[1] != ':') full = currentDir_ + "\\" + full;
    std::vector<std::string> kept;
    const std::vector<std::string> parts = SplitParts(full.substr(2));
    for (const std::string& part : parts) {
        if (part.empty() || part == ".") continue;
        if (part == "..") {
            if (!kept.empty()) kept.pop_back();
            continue;
        }
        kept.push_back(part);
    }
    std::string plain = full.substr(0, 2);
    if (kept.empty()) return plain + "\\";
    for (const std::string& part : kept) plain += "\\" + part;
    return plain;
}

std::string RealDiskMachine::HostPath(const std::string& windowsPath) const
{
    const std::string plain = Plain(windowsPath);
    std::string host = root_ + "/" + plain.substr(0, 1);
    for (size_t i = 2; i < plain.size(); ++i) host += plain[i] == '\\' ? '/' : plain[i];
    while (host.size() > root_.size() + 2 && host.back() == '/') host.pop_back();
    return host;
}

std::string RealDiskMachine::GetCurrentDir()
{
    Timed timed(profile, "GetCurrentDir");
    return currentDir_;
}

bool RealDiskMachine::SetCurrentDir(const std::string& path)
{
    Timed timed(profile, "SetCurrentDir");
    struct stat st {};
    if (path.empty() || ::stat(HostPath(path).c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return false;
    currentDir_ = Plain(path);
    return true;
}

bool RealDiskMachine::CreateDir(const std::string& path)
{
    Timed timed(profile, "CreateDir");
    return ::mkdir(HostPath(path).c_str(), 0755) == 0;
}

bool RealDiskMachine::RemoveDir(const std::string& path) { return ::rmdir(HostPath(path).c_str()) == 0; }

bool RealDiskMachine::WriteNewFile(const std::string& path, const void* data, size_t size, FileShare)
{
    const int fd = ::open(HostPath(path).c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0) return false;
    const bool ok = WriteAll(fd, data, size);
    return ::close(fd) == 0 && ok;
}

bool RealDiskMachine::ReadWholeFile(const std::string& path, std::string& bytes)
{
    const int fd = ::open(HostPath(path).c_str(), O_RDONLY);
    if (fd < 0) return false;
    bytes.clear();
    char buffer[65536];
    ssize_t n;
    while ((n = ::read(fd, buffer, sizeof buffer)) > 0) bytes.append(buffer, size_t(n));
    ::close(fd);
    return n == 0;
}

bool RealDiskMachine::DeleteFileAt(const std::string& path) { return ::unlink(HostPath(path).c_str()) == 0; }

std::vector<FoundFile> RealDiskMachine::FindFiles(const std::string& pattern)
{
    Timed timed(profile, "FindFiles");
    std::vector<FoundFile> found;
    const size_t slash = pattern.find_last_of("\\/");
    const std::string name = slash == std::string::npos ? pattern : pattern.substr(slash + 1);
    if (name.find_first_of("*?") == std::string::npos) {
        struct stat st {};
        if (::stat(HostPath(pattern).c_str(), &st) == 0)
            found.push_back({name, S_ISDIR(st.st_mode) ? uint32_t(kAttrDirectory) : uint32_t(kAttrArchive)});
        return found;
    }
    // Any wildcard lists the whole folder: the program only ever asks for "*.*".
    const std::string folder = HostPath(pattern.substr(0, slash == std::string::npos ? 0 : slash + 1));
    DIR* dir = ::opendir(folder.c_str());
    if (!dir) return found;
    while (const dirent* e = ::readdir(dir)) {
        struct stat st {};
        ::stat((folder + "/" + e->d_name).c_str(), &st);
        found.push_back({e->d_name, S_ISDIR(st.st_mode) ? uint32_t(kAttrDirectory) : uint32_t(kAttrArchive)});
    }
    ::closedir(dir);
    return found;
}

bool RealDiskMachine::GetLastWriteDos(const std::string& path, uint32_t& dosDateTime)
{
    struct stat st {};
    if (::stat(HostPath(path).c_str(), &st) != 0) return false;
    std::tm local {};
    ::localtime_r(&st.st_mtime, &local);
    dosDateTime = PackDos({local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min,
                           local.tm_sec, 0});
    return dosDateTime != 0;
}

bool RealDiskMachine::SetLastWriteDos(const std::string& path, uint32_t dosDateTime)
{
    Timed timed(profile, "SetLastWriteDos");
    timespec times[2];
    if (!DosTimes(dosDateTime, times)) return false;
    // Opened again as the program does on Windows, then stamped through the handle.
    const int fd = ::open(HostPath(path).c_str(), O_WRONLY);
    if (fd < 0) return false;
    const bool ok = ::futimens(fd, times) == 0;
    ::close(fd);
    return ok;
}

bool RealDiskMachine::CreateNewFile(const std::string& path, const void* data, size_t size, FileShare,
                                    uint32_t dosDateTime, Durability)
{
    Timed timed(profile, "CreateNewFile");
    const std::string host = HostPath(path);
    const int fd = ::open(host.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW, 0644);
    if (fd < 0) return false;
    if (StampAndClose(fd, WriteAll(fd, data, size), dosDateTime)) return true;
    ::unlink(host.c_str());
    return false;
}

bool RealDiskMachine::MoveReplacing(const std::string& from, const std::string& to, Durability)
{
    return ::rename(HostPath(from).c_str(), HostPath(to).c_str()) == 0;
}
