#include "TavoriKit/base/FileDescriptor.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <random>

namespace tavori {

namespace fs = std::filesystem;

FileDescriptor::~FileDescriptor() {
    if (fd_ >= 0) ::close(fd_);
}

int FileDescriptor::close() {
    const int result = ::close(std::exchange(fd_, -1));
    return result == 0 ? 0 : errno;
}

namespace FileIO {

namespace {

fs::path usable(const fs::path& folder) {
    return folder.empty() ? fs::path(".") : folder;
}

std::string temporaryName() {
    thread_local std::mt19937_64 random{std::random_device{}()};
    char name[40];
    std::snprintf(name, sizeof name, ".tavori-%016llx.tmp", static_cast<unsigned long long>(random()));
    return name;
}

}  // namespace

int readAll(int fd, std::string& out) {
    char buffer[65536];
    for (off_t offset = 0;;) {
        const ssize_t got = ::pread(fd, buffer, sizeof buffer, offset);
        if (got < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        if (got == 0) return 0;
        out.append(buffer, static_cast<std::size_t>(got));
        offset += got;
    }
}

int writeAll(const FileSystemCalls& calls, int fd, std::string_view data) {
    while (!data.empty()) {
        const ssize_t written = calls.write(fd, data.data(), data.size());
        if (written < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        if (written == 0) return EIO;
        data.remove_prefix(static_cast<std::size_t>(written));
    }
    return 0;
}

void syncFolder(const fs::path& folder) {
    FileDescriptor fd(::open(usable(folder).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd.get() >= 0) ::fsync(fd.get());
}

Temporary createTemporary(const FileSystemCalls& calls, const fs::path& folder, mode_t mode) {
    Temporary temporary;
    for (int attempt = 0; attempt < 100; ++attempt) {
        temporary.path = usable(folder) / temporaryName();
        temporary.fd =
            FileDescriptor(calls.open(temporary.path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode));
        if (temporary.fd.get() >= 0) return temporary;
        temporary.error = errno;
        if (temporary.error != EEXIST) break;
    }
    return temporary;
}

int replaceAtomically(const fs::path& target, std::string_view text, mode_t mode,
                      const FileSystemCalls& calls) {
    Temporary temporary = createTemporary(calls, target.parent_path(), mode);
    if (temporary.fd.get() < 0) return temporary.error;
    // The umask must not narrow or widen the mode asked for.
    ::fchmod(temporary.fd.get(), mode);
    int error = writeAll(calls, temporary.fd.get(), text);
    if (!error && calls.fsync(temporary.fd.get()) != 0) error = errno;
    if (const int closeError = temporary.fd.close(); !error) error = closeError;
    if (!error && calls.rename(temporary.path.c_str(), target.c_str()) != 0) error = errno;
    if (error) {
        calls.unlink(temporary.path.c_str());
        return error;
    }
    syncFolder(target.parent_path());
    return 0;
}

}  // namespace FileIO

}  // namespace tavori
