#include "instutils/DiskSpace.h"

#include <cstdint>
#include <limits>

#include "instutils/SafeFiles.h"
#include "platform/Platform.h"

namespace {

std::string GroupDigits(int64_t value) {
    std::string digits = DecimalText(value);
    std::string sign;
    if (!digits.empty() && digits[0] == '-') {
        sign = "-";
        digits.erase(0, 1);
    }
    for (int p = static_cast<int>(digits.size()) - 2; p > 1; p -= 3) digits.insert(p - 1, 1, ' ');
    return sign + digits;
}

}  // namespace

int32_t ClusterSize(const std::string& folder) {
    CurrentDirectoryGuard guard;
    uint32_t sectorsPerCluster = 0, bytesPerSector = 0;
    bool answered;
    if (Sys().SetCurrentDir(folder))
        answered = Sys().DiskGeometry("", sectorsPerCluster, bytesPerSector);
    else   // a destination not made yet: ask its drive
        answered = Sys().DiskGeometry(DrivePart(folder) + "\\", sectorsPerCluster, bytesPerSector);
    uint64_t bytes = uint64_t{sectorsPerCluster} * bytesPerSector;
    if (!answered || bytes > static_cast<uint64_t>(std::numeric_limits<int32_t>::max())) return 0;
    return static_cast<int32_t>(bytes);
}

// Without a cluster size the size is shown as it is rather than divided by zero.
int32_t RoundUpToCluster(const std::string& folder, int32_t size) { return RoundUpToClusterSize(ClusterSize(folder), size); }

int32_t RoundUpToClusterSize(int32_t cluster, int32_t size) {
    if (cluster <= 0 || size % cluster == 0) return size;
    int64_t rounded = (int64_t{size / cluster} + 1) * cluster;
    return rounded > std::numeric_limits<int32_t>::max() ? std::numeric_limits<int32_t>::max()
                                                         : static_cast<int32_t>(rounded);
}

std::string FormatSize(int64_t bytes) {
    const int64_t mo = 1048576;
    int64_t m = bytes >> 20;   // floor, then round half to even
    int64_t rest = bytes - (m << 20);
    if (rest > mo / 2 || (rest == mo / 2 && (m & 1))) ++m;
    if (bytes >= 16777215 || (bytes != 0 && m * mo == bytes)) return GroupDigits(m) + " Mo";
    return GroupDigits(bytes / 1024) + " Ko";
}

std::string GroupThousands(int32_t value) { return GroupDigits(value); }

unsigned DriveTypeOf(const std::string& path) {
    std::string root = DrivePart(path);
    WithTrailingBackslash(root);
    return Sys().DriveType(root);
}

bool IsRemovableDrive(const std::string& path) {
    unsigned type = DriveTypeOf(path);
    if (type == kDriveRemovable) return true;
    if (type != kDriveFixed) return false;
    // USB and FireWire disks report themselves as fixed; the bus tells them apart.
    StorageAnswer answer = Sys().QueryStorageDevice("\\\\.\\" + DrivePart(path));
    if (!answer.opened || !answer.answered) return false;
    return answer.busType == 4 || answer.busType == 7 || answer.removableMedia != 0;
}
