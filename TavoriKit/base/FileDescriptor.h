#pragma once

#include <sys/types.h>

#include <filesystem>
#include <string>
#include <string_view>
#include <utility>

#include "TavoriKit/base/FileSystemCalls.h"

namespace tavori {

// Owns one open file descriptor and closes it once.
class FileDescriptor {
  public:
    explicit FileDescriptor(int fd = -1) : fd_(fd) {}
    ~FileDescriptor();
    FileDescriptor(FileDescriptor&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    FileDescriptor& operator=(FileDescriptor&& other) noexcept {
        std::swap(fd_, other.fd_);
        return *this;
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;

    int get() const { return fd_; }
    int release() { return std::exchange(fd_, -1); }
    // 0 or the errno of close, which is where some file systems report a failed write.
    int close();

  private:
    int fd_;
};

// The few whole-file operations that the rename service and the settings store share. Each returns 0 or the
// errno of what failed.
namespace FileIO {

// The file's whole content from its start.
int readAll(int fd, std::string& out);
int writeAll(const FileSystemCalls& calls, int fd, std::string_view data);
// Makes a rename inside `folder` durable; folders that cannot be synced are left as they are.
void syncFolder(const std::filesystem::path& folder);

struct Temporary {
    FileDescriptor fd;
    std::filesystem::path path;
    int error = 0;
};
// A new, exclusively created hidden file in `folder`, to be renamed into place on the same file system.
Temporary createTemporary(const FileSystemCalls& calls, const std::filesystem::path& folder, mode_t mode);

// `text` written under a temporary name beside `target`, synced, and renamed over it, so that a reader sees
// the old file or the new one, never a part. On failure nothing is left behind and `target` is unchanged.
int replaceAtomically(const std::filesystem::path& target, std::string_view text, mode_t mode,
                      const FileSystemCalls& calls = FileSystemCalls::posix());

}  // namespace FileIO

}  // namespace tavori
