#include "atomic_file.h"

#include "paths.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <functional>
#include <random>
#include <set>

#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

namespace common {

namespace {

std::uint64_t RandomBits() {
    std::uint64_t bits = 0;
    if (::getrandom(&bits, sizeof bits, GRND_NONBLOCK) == static_cast<ssize_t>(sizeof bits)) {
        return bits;
    }
    // Without the kernel's generator a clock and a counter still make clashes unlikely, and
    // every clash only costs another try.
    static std::atomic<std::uint64_t> counter{0};
    std::seed_seq seed{
        static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()),
        static_cast<std::uint64_t>(::getpid()), counter.fetch_add(1)};
    std::mt19937_64 generator(seed);
    return generator();
}

/// Fills the trailing "XXXXXX" of `pattern` with random letters and digits and calls `attempt`
/// with the name until it gives something other than EEXIST. Returns 0 or the errno of the
/// last attempt; `pattern` holds the name tried last.
int TryUniqueName(std::string& pattern, const std::function<int(const std::string&)>& attempt) {
    static constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    constexpr std::size_t kRandom = 6;
    const std::size_t start = pattern.size() - kRandom;
    int result = EEXIST;
    for (int tries = 0; tries < 100 && result == EEXIST; ++tries) {
        std::uint64_t bits = RandomBits();
        for (std::size_t i = 0; i < kRandom; ++i) {
            pattern[start + i] = kLetters[bits % (sizeof kLetters - 1)];
            bits /= sizeof kLetters - 1;
        }
        result = attempt(pattern);
    }
    return result;
}

std::string FolderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

// Makes renames in the folder durable; a failure here cannot undo them, so it is not reported.
void SyncFolder(const std::string& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

/// A hard link to `target` under a fresh name beside it, or, where the file system has no hard
/// links, `target` itself moved to that name. Either way the old file can be put back.
struct Backup {
    std::string name;
    bool moved = false; // the target's name is free until the new file takes it
};

int SetAside(const std::string& target, Backup& backup) {
    std::string name = TemporaryTemplateBeside(target);
    int result = TryUniqueName(name, [&target](const std::string& candidate) {
        return ::link(target.c_str(), candidate.c_str()) == 0 ? 0 : errno;
    });
    if (result == 0) {
        backup = {name, false};
        return 0;
    }
    if (result == EEXIST || result == ENOENT || result == EACCES || result == ENOSPC || result == EROFS) {
        return result;
    }
    // EPERM, EMLINK and the like: a name of our own that rename() may take over.
    result = TryUniqueName(name, [](const std::string& candidate) {
        const int fd = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0) {
            return errno;
        }
        ::close(fd);
        return 0;
    });
    if (result != 0) {
        return result;
    }
    if (::rename(target.c_str(), name.c_str()) != 0) {
        result = errno;
        ::unlink(name.c_str());
        return result;
    }
    backup = {name, true};
    return 0;
}

} // namespace

// --- AtomicFile

AtomicFile::~AtomicFile() {
    discard();
}

bool AtomicFile::open(const std::string& target, std::string& error) {
    discard();
    std::string temp = TemporaryTemplateBeside(target);
    int fd = -1;
    // mkstemp would make the file 0600 and leave us to guess the mode a new file gets; created
    // with 0666, the kernel applies the umask (or the folder's default ACL) itself.
    const int result = TryUniqueName(temp, [&fd](const std::string& candidate) {
        fd = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        return fd >= 0 ? 0 : errno;
    });
    if (result != 0) {
        error = std::strerror(result);
        return false;
    }
    m_file = ::fdopen(fd, "wb");
    if (m_file == nullptr) {
        error = std::strerror(errno);
        ::close(fd);
        ::unlink(temp.c_str());
        return false;
    }
    m_target = target;
    m_temp = std::move(temp);
    return true;
}

bool AtomicFile::seal(std::string& error) {
    if (m_file == nullptr) {
        error = "no file is open";
        return false;
    }
    int failure = 0;
    if (std::fflush(m_file) != 0) {
        failure = errno;
    }
    // An existing file keeps its permissions; a new one keeps what the kernel gave it.
    struct stat existing {};
    if (failure == 0 && ::stat(m_target.c_str(), &existing) == 0 && S_ISREG(existing.st_mode) &&
        ::fchmod(::fileno(m_file), existing.st_mode & 0777) != 0) {
        failure = errno;
    }
    if (failure == 0 && ::fsync(::fileno(m_file)) != 0) {
        failure = errno;
    }
    if (std::fclose(m_file) != 0 && failure == 0) {
        failure = errno;
    }
    m_file = nullptr;
    if (failure != 0) {
        error = std::strerror(failure);
        discard();
        return false;
    }
    return true;
}

bool AtomicFile::commit(std::string& error) {
    if (!seal(error)) {
        return false;
    }
    if (::rename(m_temp.c_str(), m_target.c_str()) != 0) {
        error = std::strerror(errno);
        discard();
        return false;
    }
    m_temp.clear();
    SyncFolder(FolderOf(m_target));
    return true;
}

void AtomicFile::discard() {
    if (m_file != nullptr) {
        std::fclose(m_file);
        m_file = nullptr;
    }
    if (!m_temp.empty()) {
        ::unlink(m_temp.c_str());
        m_temp.clear();
    }
}

// --- AtomicFileGroup

AtomicFileGroup::~AtomicFileGroup() {
    discard();
}

bool AtomicFileGroup::add(AtomicFile& file, std::string& error) {
    // Reserved first, so that the entry below cannot fail after the file is sealed.
    m_entries.reserve(m_entries.size() + 1);
    if (!file.seal(error)) {
        return false;
    }
    m_entries.push_back({std::move(file.m_temp), std::move(file.m_target)});
    file.m_temp.clear();
    file.m_target.clear();
    return true;
}

bool AtomicFileGroup::commit(std::string& error) {
    m_failedTarget.clear();
    std::vector<Backup> backups(m_entries.size());
    std::size_t renamed = 0;
    int failure = 0;
    for (; renamed < m_entries.size(); ++renamed) {
        const Entry& entry = m_entries[renamed];
        struct stat info {};
        if (::lstat(entry.target.c_str(), &info) == 0) {
            if (S_ISDIR(info.st_mode)) {
                failure = EISDIR;
                break;
            }
            failure = SetAside(entry.target, backups[renamed]);
        } else if (errno != ENOENT) {
            failure = errno;
        }
        if (failure == 0 && ::rename(entry.temp.c_str(), entry.target.c_str()) != 0) {
            failure = errno;
        }
        if (failure != 0) {
            break;
        }
    }

    std::set<std::string> folders;
    for (const Entry& entry : m_entries) {
        folders.insert(FolderOf(entry.target));
    }
    if (failure != 0) {
        m_failedTarget = m_entries[renamed].target;
        error = std::strerror(failure);
        // The one that failed may have been set aside already.
        const Backup& failed = backups[renamed];
        if (failed.moved) {
            ::rename(failed.name.c_str(), m_entries[renamed].target.c_str());
        } else if (!failed.name.empty()) {
            ::unlink(failed.name.c_str());
        }
        for (std::size_t i = renamed; i-- > 0;) {
            const Entry& entry = m_entries[i];
            if (!backups[i].name.empty()) {
                ::rename(backups[i].name.c_str(), entry.target.c_str());
            } else {
                ::unlink(entry.target.c_str());
            }
        }
        for (std::size_t i = renamed; i < m_entries.size(); ++i) {
            ::unlink(m_entries[i].temp.c_str());
        }
        m_entries.clear();
        for (const std::string& folder : folders) {
            SyncFolder(folder);
        }
        return false;
    }
    // The new files are durable before the old ones' last names go.
    for (const std::string& folder : folders) {
        SyncFolder(folder);
    }
    for (const Backup& backup : backups) {
        if (!backup.name.empty()) {
            ::unlink(backup.name.c_str());
        }
    }
    for (const std::string& folder : folders) {
        SyncFolder(folder);
    }
    m_entries.clear();
    return true;
}

void AtomicFileGroup::discard() {
    for (const Entry& entry : m_entries) {
        ::unlink(entry.temp.c_str());
    }
    m_entries.clear();
}

// --- MadeFolders

MadeFolders::~MadeFolders() {
    for (auto it = m_made.rbegin(); it != m_made.rend(); ++it) {
        ::rmdir(it->c_str());
    }
}

bool MadeFolders::make(const std::string& folder, std::string& error) {
    std::size_t from = 0;
    while (from < folder.size()) {
        const std::size_t slash = folder.find('/', from);
        const std::size_t end = slash == std::string::npos ? folder.size() : slash;
        if (end > from) {
            const std::string prefix = folder.substr(0, end);
            struct stat info {};
            int failure = 0;
            if (::stat(prefix.c_str(), &info) == 0) {
                failure = S_ISDIR(info.st_mode) ? 0 : ENOTDIR;
            } else if (errno != ENOENT) {
                failure = errno;
            } else if (::mkdir(prefix.c_str(), 0777) == 0) {
                m_made.push_back(prefix);
            } else if (errno != EEXIST) { // made by someone else meanwhile: fine
                failure = errno;
            }
            if (failure != 0) {
                error = prefix + ": " + std::strerror(failure);
                return false;
            }
        }
        from = end + 1;
    }
    return true;
}

} // namespace common
