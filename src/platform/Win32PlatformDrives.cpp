#include "platform/Win32Platform.h"

#include "platform/Win32PlatformInternal.h"

#include <cstring>

using namespace win32;

namespace {

std::string UpToNul(const char* text, size_t capacity) {
    return std::string(text, strnlen(text, capacity));
}

}  // namespace

// ---- drives and volumes --------------------------------------------------

uint32_t Win32Platform::LogicalDrives() { return ::GetLogicalDrives(); }

unsigned Win32Platform::DriveType(const std::string& root) { return ::GetDriveTypeA(root.c_str()); }

bool Win32Platform::VolumeInfo(const std::string& root, std::string& label, uint32_t& fsFlags) {
    char name[261] = {};
    DWORD flags = 0;
    if (!::GetVolumeInformationA(root.c_str(), name, sizeof name, nullptr, nullptr, &flags, nullptr, 0))
        return false;
    label = UpToNul(name, sizeof name);
    fsFlags = flags;
    return true;
}

bool Win32Platform::DiskGeometry(const std::string& root, uint32_t& sectorsPerCluster, uint32_t& bytesPerSector) {
    DWORD sectors = 0, bytes = 0, freeClusters = 0, clusters = 0;
    if (!::GetDiskFreeSpaceA(root.empty() ? nullptr : root.c_str(), &sectors, &bytes, &freeClusters, &clusters))
        return false;
    sectorsPerCluster = sectors;
    bytesPerSector = bytes;
    return true;
}

bool Win32Platform::FreeBytesForUser(const std::string& root, uint64_t& bytes) {
    ULARGE_INTEGER available, total, totalFree;
    if (!::GetDiskFreeSpaceExA(root.empty() ? nullptr : root.c_str(), &available, &total, &totalFree))
        return false;
    bytes = available.QuadPart;
    return true;
}

StorageAnswer Win32Platform::QueryStorageDevice(const std::string& devicePath) {
    StorageAnswer answer;
    FileHandle device(::CreateFileA(devicePath.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, OPEN_EXISTING, 0, nullptr));
    if (!device) return answer;
    answer.opened = true;

    // STORAGE_PROPERTY_QUERY: StorageDeviceProperty, PropertyStandardQuery, no parameters.
    uint8_t query[12] = {};
    // STORAGE_DEVICE_DESCRIPTOR with room for its strings; its Size field says how much.
    uint8_t descriptor[548] = {};
    const uint32_t declared = sizeof descriptor;
    std::memcpy(descriptor + 4, &declared, sizeof declared);
    const DWORD kQueryProperty = 0x2D1400;  // IOCTL_STORAGE_QUERY_PROPERTY
    DWORD returned = 0;
    if (::DeviceIoControl(device.Get(), kQueryProperty, query, sizeof query, descriptor, sizeof descriptor,
                          &returned, nullptr)) {
        answer.answered = true;
        answer.removableMedia = descriptor[10];
        std::memcpy(&answer.busType, descriptor + 28, sizeof answer.busType);
    }
    return answer;
}

bool Win32Platform::NetworkConnection(const std::string& drive, std::string& remote) {
    // mpr.dll is not one of the system's known DLLs, so it is loaded by full path, once.
    // Only the wizard's thread asks.
    if (!mprTried_) {
        mprTried_ = true;
        mprModule_ = LoadSystemLibrary("mpr.dll");
        if (mprModule_) getConnection_ = ProcAddress<GetConnectionFn>(mprModule_.Get(), "WNetGetConnectionA");
    }
    if (!getConnection_) return false;
    char name[261] = {};
    DWORD length = sizeof name;
    if (getConnection_(drive.c_str(), name, &length) != NO_ERROR) return false;
    remote = UpToNul(name, sizeof name);
    return true;
}
