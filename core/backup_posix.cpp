// The backup folder on POSIX systems. Root writes here, so nothing in the path
// may be in another user's hands: every folder on the way must belong to the
// user or to root and be writable by nobody else (a sticky folder such as
// /tmp aside), links in the path must belong to the user or root, the folder
// itself is no link, and every file is made new, never opened by a name
// someone else could have prepared. All file work goes through the one
// descriptor of the checked folder.
#include "core/backup.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

int folderFd = -1;
std::string folderPath;

bool absolute(const char* path) {
    return path && path[0] == '/';
}

// Owned by the user or root, and writable by nobody else unless sticky.
bool trusted(const struct stat& info) {
    const bool owner = info.st_uid == ::geteuid() || info.st_uid == 0;
    const bool othersWrite = (info.st_mode & (S_IWGRP | S_IWOTH)) != 0;
    return owner && (!othersWrite || (info.st_mode & S_ISVTX));
}

using Kind = BackupFailure::Kind;

bool fail(BackupFailure& failure, Kind kind, const std::string& path, int error = 0) {
    failure = {kind, path, error};
    return false;
}

// Opens `name` in `parent` as a folder, making it (mode 0700) when `create`
// and it is missing; checks the folder and, for a link, the link. -1 with
// `error` on failure.
int stepInto(int parent, const std::string& name, const std::string& path, bool last, bool create,
             BackupFailure& failure) {
    struct stat link {};
    if (::fstatat(parent, name.c_str(), &link, AT_SYMLINK_NOFOLLOW) != 0) {
        if (errno != ENOENT || !create) return fail(failure, Kind::Missing, path), -1;
        if ((::mkdirat(parent, name.c_str(), 0700) != 0 && errno != EEXIST) ||
            ::fstatat(parent, name.c_str(), &link, AT_SYMLINK_NOFOLLOW) != 0)
            return fail(failure, Kind::CannotCreate, path, errno), -1;
    }
    if (S_ISLNK(link.st_mode) && last) return fail(failure, Kind::Link, path), -1;
    if (S_ISLNK(link.st_mode) && !(link.st_uid == ::geteuid() || link.st_uid == 0))
        return fail(failure, Kind::ForeignLink, path), -1;
    const int fd = ::openat(parent, name.c_str(),
                            O_RDONLY | O_DIRECTORY | O_CLOEXEC | (last ? O_NOFOLLOW : 0));
    if (fd < 0) return fail(failure, Kind::NotAFolder, path), -1;
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !trusted(info)) {
        ::close(fd);
        return fail(failure, Kind::Untrusted, path), -1;
    }
    return fd;
}

// Walks the path from / one folder at a time.
int openChecked(const std::string& path, bool create, BackupFailure& failure) {
    int fd = ::open("/", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    size_t at = 1;
    std::string sofar;
    while (fd >= 0 && at < path.size()) {
        size_t end = path.find('/', at);
        if (end == std::string::npos) end = path.size();
        const std::string name = path.substr(at, end - at);
        at = end + 1;
        if (name.empty() || name == ".") continue;
        sofar += "/" + name;
        if (name == "..") {
            ::close(fd);
            return fail(failure, Kind::Untrusted, path), -1;
        }
        const bool last = path.find_first_not_of('/', end) == std::string::npos;
        const int next = stepInto(fd, name, sofar, last, create, failure);
        ::close(fd);
        fd = next;
    }
    return fd;
}

bool isOwnTemporary(const std::string& name, pid_t& pid) {
    // veltra-...bak.<pid>.tmp
    if (!name.starts_with("veltra-") || !name.ends_with(".tmp")) return false;
    const size_t dot = name.rfind('.', name.size() - 5);
    if (dot == std::string::npos || name.compare(dot - 4, 4, ".bak") != 0) return false;
    pid = static_cast<pid_t>(std::atol(name.c_str() + dot + 1));
    return pid > 0;
}

} // namespace

std::string backupFolder() {
    // Only an absolute XDG_STATE_HOME counts; a relative or empty one is ignored.
    if (const char* state = std::getenv("XDG_STATE_HOME"); absolute(state))
        return std::string(state) + "/veltra";
    if (::geteuid() == 0) return "/var/backups/veltra";
    const char* home = std::getenv("HOME");
    return absolute(home) ? std::string(home) + "/.local/state/veltra" : std::string();
}

std::string backupPath(const std::string& name) {
    return backupFolder() + "/" + name;
}

bool openBackupFolder(bool create, BackupFailure& failure) {
    const std::string path = backupFolder();
    if (folderFd >= 0 && folderPath == path) return true;
    if (folderFd >= 0) ::close(folderFd);
    folderFd = -1;
    if (path.empty()) return fail(failure, Kind::NoFolder, path);
    folderFd = openChecked(path, create, failure);
    if (folderFd >= 0) folderPath = path;
    return folderFd >= 0;
}

void closeBackupFolder() {
    if (folderFd >= 0) ::close(folderFd);
    folderFd = -1;
    folderPath.clear();
}

NewFile writeNewBackupFile(const std::string& name, const std::vector<uint8_t>& bytes,
                           BackupFailure& failure) {
    const std::string temporary = name + "." + std::to_string(::getpid()) + ".tmp";
    const int fd = ::openat(folderFd, temporary.c_str(),
                            O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) {
        fail(failure, Kind::CannotCreate, backupPath(temporary), errno);
        return NewFile::Failed;
    }
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += static_cast<size_t>(n);
    }
    const bool written = done == bytes.size() && ::fsync(fd) == 0;
    const int writeErrno = errno;
    ::close(fd);
    if (!written) {
        ::unlinkat(folderFd, temporary.c_str(), 0);
        fail(failure, Kind::CannotWrite, backupPath(temporary), writeErrno);
        return NewFile::Failed;
    }
    // A hard link never replaces a file that has the name already.
    NewFile result = NewFile::Written;
    if (::linkat(folderFd, temporary.c_str(), folderFd, name.c_str(), 0) != 0) {
        result = errno == EEXIST ? NewFile::Exists : NewFile::Failed;
        if (result == NewFile::Failed) fail(failure, Kind::CannotCreate, backupPath(name), errno);
    }
    ::unlinkat(folderFd, temporary.c_str(), 0);
    if (result == NewFile::Written && ::fsync(folderFd) != 0) {
        fail(failure, Kind::CannotSync, backupFolder(), errno);
        return NewFile::Failed;
    }
    return result;
}

std::vector<std::string> backupFolderNames() {
    std::vector<std::string> names;
    if (folderFd < 0) return names;
    const int fd = ::openat(folderFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    DIR* dir = fd >= 0 ? ::fdopendir(fd) : nullptr;
    if (!dir) {
        if (fd >= 0) ::close(fd);
        return names;
    }
    while (dirent* entry = ::readdir(dir)) names.push_back(entry->d_name);
    ::closedir(dir);
    return names;
}

bool readFile(const std::string& path, bool inFolder, size_t limit, std::vector<uint8_t>& bytes,
              FileKey& key, BackupFileProblem& problem) {
    // Without blocking: a FIFO or a device never holds up the program.
    const int flags = O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY | (inFolder ? O_NOFOLLOW : 0);
    const int fd = inFolder ? ::openat(folderFd, path.c_str(), flags) : ::open(path.c_str(), flags);
    if (fd < 0) {
        problem = BackupFileProblem::Unreadable;
        return false;
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        problem = BackupFileProblem::NotRegular;
        return false;
    }
    key = {static_cast<uint64_t>(info.st_dev), static_cast<uint64_t>(info.st_ino)};
    bytes.assign(limit, 0);
    size_t done = 0;
    while (done < limit) {
        const ssize_t n = ::read(fd, bytes.data() + done, limit - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += static_cast<size_t>(n);
    }
    ::close(fd);
    bytes.resize(done);
    return true;
}

void removeBackupFile(const std::string& name) {
    if (folderFd >= 0) ::unlinkat(folderFd, name.c_str(), 0);
}

void removeStaleTemporaries() {
    for (const std::string& name : backupFolderNames()) {
        pid_t pid = 0;
        // Left by a program that no longer runs (killed while writing).
        if (isOwnTemporary(name, pid) && ::kill(pid, 0) != 0 && errno == ESRCH)
            removeBackupFile(name);
    }
}
