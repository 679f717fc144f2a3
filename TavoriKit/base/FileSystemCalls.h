#pragma once

#include <sys/types.h>

#include <cstddef>
#include <functional>

namespace tavori {

// The few system calls through which the rename service changes the disk, as a table so that a test can make
// one of them fail the way a real disk does (full, read-only, a name taken at the last moment) while the rest
// still works on real files. Each entry follows the POSIX convention: -1 with errno set on failure.
struct FileSystemCalls {
    std::function<int(const char* path, int flags, mode_t mode)> open;
    std::function<ssize_t(int fd, const void* data, std::size_t size)> write;
    std::function<int(int fd)> fsync;
    // Fails with EEXIST instead of replacing `to`; EINVAL or ENOSYS where the file system cannot promise
    // that.
    std::function<int(const char* from, const char* to)> renameNoReplace;
    // Replaces `to` if it exists.
    std::function<int(const char* from, const char* to)> rename;
    std::function<int(const char* from, const char* to)> link;
    std::function<int(const char* path)> unlink;

    // The real calls.
    static const FileSystemCalls& posix();
};

}  // namespace tavori
