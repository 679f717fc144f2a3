#include "TavoriKit/base/FileSystemCalls.h"

#include <fcntl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#ifndef RENAME_NOREPLACE
#define RENAME_NOREPLACE (1 << 0)
#endif

namespace tavori {

namespace {

int renameWithoutReplacing(const char* from, const char* to) {
#if defined(SYS_renameat2)
    // Called directly: older C libraries have no wrapper for it.
    return static_cast<int>(::syscall(SYS_renameat2, AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE));
#else
    (void)from;
    (void)to;
    errno = ENOSYS;
    return -1;
#endif
}

}  // namespace

const FileSystemCalls& FileSystemCalls::posix() {
    static const FileSystemCalls calls{
        .open = [](const char* path, int flags, mode_t mode) { return ::open(path, flags, mode); },
        .write = [](int fd, const void* data, std::size_t size) { return ::write(fd, data, size); },
        .fsync = [](int fd) { return ::fsync(fd); },
        .renameNoReplace = renameWithoutReplacing,
        .rename = [](const char* from, const char* to) { return std::rename(from, to); },
        .link = [](const char* from, const char* to) { return ::link(from, to); },
        .unlink = [](const char* path) { return ::unlink(path); },
    };
    return calls;
}

}  // namespace tavori
