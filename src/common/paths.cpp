#include "paths.h"

#include <algorithm>
#include <climits>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace common {

namespace {

// Owns a descriptor so that every early return closes the file.
class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    ~FileDescriptor() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    [[nodiscard]] int get() const { return fd_; }
    [[nodiscard]] bool valid() const { return fd_ >= 0; }

private:
    int fd_;
};

// Reads until `size` bytes have arrived; a short file or an error gives false.
bool ReadExactly(int fd, char* buffer, std::size_t size) {
    std::size_t done = 0;
    while (done < size) {
        const ssize_t got = ::read(fd, buffer + done, size - done);
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        if (got == 0) {
            return false;
        }
        done += static_cast<std::size_t>(got);
    }
    return true;
}

bool IsControl(char c) {
    return static_cast<unsigned char>(c) <= 32;
}

bool IsDirectory(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

} // namespace

std::string StripTrailingSlash(std::string_view path) {
    if (!path.empty() && path.back() == '/') {
        path.remove_suffix(1);
    }
    return std::string(path);
}

std::string TrimControls(std::string_view text) {
    std::size_t begin = 0;
    std::size_t end = text.size();
    while (begin < end && IsControl(text[begin])) {
        ++begin;
    }
    while (end > begin && IsControl(text[end - 1])) {
        --end;
    }
    return std::string(text.substr(begin, end - begin));
}

std::string GetTempFolder() {
    const char* value = std::getenv("TMPDIR");
    const std::string_view folder = (value != nullptr && *value != '\0') ? value : "/tmp";
    return StripTrailingSlash(TrimControls(folder));
}

std::optional<std::string> ReadPrefixedText(std::string_view folder, std::string_view fileName) {
    std::string path(folder);
    path += '/';
    path += fileName;

    // O_NONBLOCK keeps a FIFO from stalling the open; fstat then turns it (and directories) away.
    FileDescriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (!file.valid()) {
        return std::nullopt;
    }
    struct stat info {};
    if (::fstat(file.get(), &info) != 0 || !S_ISREG(info.st_mode)) {
        return std::nullopt;
    }

    unsigned char prefix[4];
    if (!ReadExactly(file.get(), reinterpret_cast<char*>(prefix), sizeof prefix)) {
        return std::nullopt;
    }
    const std::uint32_t raw =
        static_cast<std::uint32_t>(prefix[0]) | static_cast<std::uint32_t>(prefix[1]) << 8 |
        static_cast<std::uint32_t>(prefix[2]) << 16 | static_cast<std::uint32_t>(prefix[3]) << 24;
    const auto count = static_cast<std::int32_t>(raw);
    if (count < 0) {
        return std::nullopt;
    }
    if (count == 0) {
        return std::string();
    }
    // A damaged count must not make us reserve gigabytes for a file that holds a few bytes.
    const auto available = static_cast<std::int64_t>(info.st_size) - 4;
    if (available < count) {
        return std::nullopt;
    }

    std::string text(static_cast<std::size_t>(count), '\0');
    if (!ReadExactly(file.get(), text.data(), text.size())) {
        return std::nullopt;
    }
    return TrimControls(text);
}

void TakeOverStartFolder(std::string& workDir) {
    std::string folder = StripTrailingSlash(GetTempFolder());
    folder += '/';
    folder += kHandoverFolderName;
    if (!IsDirectory(folder)) {
        return;
    }
    std::optional<std::string> text = ReadPrefixedText(folder, kHandoverFileName);
    if (!text) {
        return;
    }
    workDir = *text;
    // The handed-over folder stays the work folder even when it cannot be entered, so the
    // user sees where the launcher wanted to start.
    (void)SetCurrentDirectory(*text);
}

std::string CurrentDirectory() {
    std::vector<char> buffer(256);
    for (;;) {
        if (::getcwd(buffer.data(), buffer.size()) != nullptr) {
            return std::string(buffer.data());
        }
        if (errno != ERANGE) {
            return {};
        }
        buffer.resize(buffer.size() * 2);
    }
}

bool SetCurrentDirectory(std::string_view path) {
    // A NUL inside would silently cut the path short and enter some other folder.
    if (path.empty() || path.find('\0') != std::string_view::npos) {
        return false;
    }
    const std::string owned(path);
    return ::chdir(owned.c_str()) == 0;
}

std::string TemporaryTemplateBeside(std::string_view path) {
    // The suffix added to a name near the length limit would make the temporary file's name, and
    // so every save of such a file, fail.
    constexpr std::string_view kSuffix = ".tmpXXXXXX";
    const std::size_t slash = path.rfind('/');
    const std::size_t nameStart = slash == std::string_view::npos ? 0 : slash + 1;
    const std::size_t nameKept = std::min(path.size() - nameStart, std::size_t{NAME_MAX} - kSuffix.size());
    std::string temp(path.substr(0, nameStart + nameKept));
    temp += kSuffix;
    return temp;
}

} // namespace common
