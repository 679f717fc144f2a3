#include "TavoriKit/service/InboxLedger.h"

#include <fcntl.h>
#include <unistd.h>

#include "TavoriKit/base/FileDescriptor.h"

namespace fs = std::filesystem;

namespace tavori {
namespace {

// One line per file: size, modification time and the path, with the bytes that would end or split a line
// escaped (file names may hold any byte but "/" and NUL).
std::string line(const fs::path& source, const FileSignature& signature) {
    std::string out =
        std::to_string(signature.size) + '\t' + std::to_string(signature.modifiedNanoseconds) + '\t';
    static const char* digits = "0123456789ABCDEF";
    for (const unsigned char c : source.native()) {
        if (c == '%' || c == '\t' || c == '\n' || c == '\r') {
            out += '%';
            out += digits[c >> 4];
            out += digits[c & 0xF];
        } else {
            out += char(c);
        }
    }
    return out;
}

}  // namespace

InboxLedger::InboxLedger(fs::path folder) : folder_(std::move(folder)) {
    FileDescriptor fd(::open(path().c_str(), O_RDONLY | O_CLOEXEC));
    std::string text;
    if (fd.get() < 0 || FileIO::readAll(fd.get(), text) != 0) return;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        // A last line without its end was cut short by a crash and records nothing.
        if (end == std::string::npos) {
            cutShort_ = true;
            break;
        }
        lines_.insert(text.substr(start, end - start));
        start = end + 1;
    }
}

bool InboxLedger::contains(const fs::path& source, const FileSignature& signature) const {
    return lines_.count(line(source, signature)) > 0;
}

bool InboxLedger::record(const fs::path& source, const FileSignature& signature) {
    std::string text = line(source, signature);
    if (lines_.count(text)) return true;
    std::error_code ec;
    fs::create_directories(folder_, ec);
    FileDescriptor fd(::open(path().c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC | O_NOFOLLOW, 0600));
    if (fd.get() < 0) return false;
    // The next line must not be glued to a fragment that a crash left.
    const std::string appended = (cutShort_ ? "\n" : "") + text + '\n';
    if (FileIO::writeAll(FileSystemCalls::posix(), fd.get(), appended) != 0 || ::fsync(fd.get()) != 0 ||
        fd.close() != 0)
        return false;
    cutShort_ = false;
    lines_.insert(std::move(text));
    return true;
}

}  // namespace tavori
