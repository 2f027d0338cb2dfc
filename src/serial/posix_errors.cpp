#include "serial/posix_errors.h"

#include <dirent.h>
#include <grp.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <string>

DeviceFault OpenFault(int error) {
    switch (error) {
        case EBUSY:
        case EWOULDBLOCK:  // flock: another open file description holds the lock
            return DeviceFault::kBusy;
        case EACCES:
        case EPERM:
        case EROFS:
            return DeviceFault::kPermissionDenied;
        case ENOENT:
        case ENODEV:
        case ENXIO:
        case ENOTDIR:
            return DeviceFault::kNoSuchDevice;
        default:
            return DeviceFault::kOther;
    }
}

DeviceFault IoFault(int error) {
    switch (error) {
        case EAGAIN:
            return DeviceFault::kWouldBlock;
        case EIO:  // hang-up: a closed pseudo-terminal master, a pulled USB adapter
        case ENXIO:
        case ENODEV:
            return DeviceFault::kGone;
        default:
            return DeviceFault::kOther;
    }
}

namespace {

bool IsNumber(const char* text) {
    if (*text == '\0') return false;
    for (; *text != '\0'; ++text) {
        if (*text < '0' || *text > '9') return false;
    }
    return true;
}

std::string CommandOf(const std::string& pid) {
    std::ifstream comm("/proc/" + pid + "/comm");
    std::string command;
    std::getline(comm, command);
    return command;
}

bool HoldsDevice(const std::string& pid, dev_t device) {
    const std::string fdDir = "/proc/" + pid + "/fd";
    DIR* fds = opendir(fdDir.c_str());
    if (fds == nullptr) return false;
    bool holds = false;
    while (const dirent* fd = readdir(fds)) {
        struct stat target {};
        if (!IsNumber(fd->d_name)) continue;
        if (stat((fdDir + "/" + fd->d_name).c_str(), &target) == 0 && S_ISCHR(target.st_mode) &&
            target.st_rdev == device) {
            holds = true;
            break;
        }
    }
    closedir(fds);
    return holds;
}

std::string GroupOf(const std::string& path) {
    struct stat info {};
    if (stat(path.c_str(), &info) != 0) return {};
    if (const group* owner = getgrgid(info.st_gid)) return owner->gr_name;
    return std::to_string(info.st_gid);
}

}  // namespace

std::vector<DeviceHolder> FindDeviceHolders(const std::string& path) {
    std::vector<DeviceHolder> holders;
    struct stat device {};
    if (stat(path.c_str(), &device) != 0 || !S_ISCHR(device.st_mode)) return holders;
    DIR* proc = opendir("/proc");
    if (proc == nullptr) return holders;
    while (const dirent* entry = readdir(proc)) {
        if (IsNumber(entry->d_name) && HoldsDevice(entry->d_name, device.st_rdev)) {
            holders.push_back(
                {static_cast<pid_t>(std::stol(entry->d_name)), CommandOf(entry->d_name)});
        }
    }
    closedir(proc);
    return holders;
}

std::string DescribeOpenError(const std::string& path, const std::string& description,
                              const DeviceStatus& status) {
    std::string text = path;
    if (!description.empty()) text += " (" + description + ")";
    text += std::string(": ") + status.call + " failed";
    if (status.error != 0) {
        text +=
            " (errno " + std::to_string(status.error) + ", " + std::strerror(status.error) + ")";
    }
    switch (status.fault) {
        case DeviceFault::kBusy: {
            text += ": the port is busy";
            const std::vector<DeviceHolder> holders = FindDeviceHolders(path);
            for (size_t i = 0; i < holders.size(); ++i) {
                text += i == 0 ? ", held by " : ", ";
                text +=
                    "process " + std::to_string(holders[i].pid) + " (" + holders[i].command + ")";
            }
            break;
        }
        case DeviceFault::kPermissionDenied: {
            text += ": permission denied";
            const std::string group = GroupOf(path);
            if (!group.empty()) text += "; the device belongs to group \"" + group + "\"";
            break;
        }
        case DeviceFault::kNoSuchDevice:
            text += ": no such device";
            break;
        case DeviceFault::kGone:
            text += ": the device went away";
            break;
        case DeviceFault::kNone:
        case DeviceFault::kWouldBlock:
        case DeviceFault::kStuck:
        case DeviceFault::kOther:
            break;
    }
    return text;
}
