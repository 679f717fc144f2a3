#include "TavoriKit/base/FileSystemCalls.h"

#include <fcntl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>

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

// TAVORI_KILL_AFTER_RENAME=N ends the process, as a power cut or kill -9 would, right after the N-th
// successful rename or link: the deterministic way to test that no interruption loses a file or its row.
int renamedOrKilled(int result) {
    static const long killAfter = [] {
        const char* value = std::getenv("TAVORI_KILL_AFTER_RENAME");
        return value ? std::strtol(value, nullptr, 10) : 0L;
    }();
    static std::atomic<long> renames{0};
    if (result == 0 && killAfter > 0 && ++renames == killAfter) std::raise(SIGKILL);
    return result;
}

}  // namespace

const FileSystemCalls& FileSystemCalls::posix() {
    static const FileSystemCalls calls{
        .open = [](const char* path, int flags, mode_t mode) { return ::open(path, flags, mode); },
        .write = [](int fd, const void* data, std::size_t size) { return ::write(fd, data, size); },
        .fsync = [](int fd) { return ::fsync(fd); },
        .renameNoReplace = [](const char* from,
                              const char* to) { return renamedOrKilled(renameWithoutReplacing(from, to)); },
        .rename = [](const char* from, const char* to) { return renamedOrKilled(std::rename(from, to)); },
        .link = [](const char* from, const char* to) { return renamedOrKilled(::link(from, to)); },
        .unlink = [](const char* path) { return ::unlink(path); },
    };
    return calls;
}

}  // namespace tavori
