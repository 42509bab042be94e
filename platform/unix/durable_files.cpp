#include "../durable_files.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <string>

#include "errors.h"
#include "fault_points.h"
#include "paths.h"

namespace {

bool SyncEach(const std::string& folder)
{
    const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return false;
    DIR* listing = fdopendir(dup(fd));
    bool synced = listing != nullptr;
    while (synced) {
        errno = 0;
        const dirent* item = readdir(listing);
        if (!item) {
            synced = errno == 0;
            break;
        }
        const std::string name = item->d_name;
        if (name == "." || name == "..") continue;
        const std::string path = folder + "/" + name;
        struct stat st;
        if (lstat(path.c_str(), &st) != 0) {
            synced = false;
        } else if (S_ISDIR(st.st_mode)) {
            synced = SyncEach(path);
        } else if (S_ISREG(st.st_mode)) {
            const int file = open(path.c_str(), O_RDONLY | O_CLOEXEC);
            synced = file >= 0 && fsync(file) == 0;
            if (file >= 0) close(file);
        }
    }
    if (listing) closedir(listing);
    synced = synced && fsync(fd) == 0;
    close(fd);
    return synced;
}

}  // namespace

BOOL FlushFolderFiles(LPCSTR folder)
{
    PLATFORM_FAULT_POINT(FlushFolderFiles);

    const std::string path = platform_unix::PosixPath(folder);
    platform_unix::ReachFlush();
    const int fd = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        platform_unix::SetLastErrorFromErrno(errno, ERROR_PATH_NOT_FOUND);
        return FALSE;
    }
    const bool synced = syncfs(fd) == 0;
    const int err = errno;
    close(fd);
    // A kernel without syncfs(2): each file and folder flushed on its own.
    if (!synced && (err != ENOSYS || !SyncEach(path))) {
        platform_unix::SetLastErrorFromErrno(err, ERROR_WRITE_FAULT);
        return FALSE;
    }
    platform_unix::NotePowerEvent("F syncfs", path);
    return TRUE;
}
