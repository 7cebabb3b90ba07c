#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace common {

/// A file that replaces its target whole or not at all. It is written under a temporary name
/// beside the target (so the rename stays within one file system) and renamed over the target
/// only when commit() has flushed it to the disk; a failure, a cancelled job or a crash never
/// leaves a half-written file under the target's name, and an existing target stays whole until
/// the new one is complete. Destroyed without commit(), the temporary file is removed.
///
/// The committed file gets the permissions of the file it replaces; a new one gets those any
/// ordinary new file gets there (0666 less the umask, or the folder's default ACL), because the
/// temporary file is created with 0666 and left to the kernel. The process's umask is never
/// touched, so other threads creating files meanwhile are not affected.
class AtomicFile {
public:
    AtomicFile() = default;
    ~AtomicFile();
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    /// Creates the temporary file beside `target`; false with the system's reason.
    bool open(const std::string& target, std::string& error);
    /// The temporary file while open, else nullptr.
    [[nodiscard]] std::FILE* file() const { return m_file; }
    /// The name of the temporary file while there is one, else empty.
    [[nodiscard]] const std::string& temporaryName() const { return m_temp; }
    /// Flushes and syncs the file, gives it its mode, renames it over the target and syncs the
    /// folder. False with the system's reason; the temporary file is then gone and the target
    /// is as it was.
    bool commit(std::string& error);
    /// Closes and removes the temporary file.
    void discard();

private:
    friend class AtomicFileGroup;
    /// Everything of commit() but the rename: the temporary file is complete and closed.
    bool seal(std::string& error);

    std::string m_target;
    std::string m_temp;
    std::FILE* m_file = nullptr;
};

/// Several files that replace their targets all together or not at all: each is written and
/// sealed under its temporary name first, and commit() renames them all. When a rename fails,
/// the ones already made are undone, so every target is as it was before. Destroyed without
/// commit(), the temporary files are removed.
class AtomicFileGroup {
public:
    AtomicFileGroup() = default;
    ~AtomicFileGroup();
    AtomicFileGroup(const AtomicFileGroup&) = delete;
    AtomicFileGroup& operator=(const AtomicFileGroup&) = delete;

    /// Seals the open file and takes over its temporary file; `file` is then empty. False with
    /// the system's reason; the file's temporary is then removed.
    bool add(AtomicFile& file, std::string& error);
    /// Renames every file over its target, in the order added. False with the system's reason
    /// and the target that failed (failedTarget()); every target is then as it was before.
    bool commit(std::string& error);
    /// Removes every temporary file.
    void discard();
    [[nodiscard]] const std::string& failedTarget() const { return m_failedTarget; }

private:
    struct Entry {
        std::string temp;
        std::string target;
    };
    std::vector<Entry> m_entries;
    std::string m_failedTarget;
};

/// The folders of a path that did not exist and were made for files about to be written, as
/// `mkdir -p` makes them (0777 less the umask). Unless keep() is called they are removed again
/// when this is destroyed, innermost first, and only while still empty.
class MadeFolders {
public:
    MadeFolders() = default;
    ~MadeFolders();
    MadeFolders(const MadeFolders&) = delete;
    MadeFolders& operator=(const MadeFolders&) = delete;

    /// Makes every missing folder of `folder`. False with the folder that could not be made
    /// and the system's reason in `error` ("a/b: Not a directory").
    bool make(const std::string& folder, std::string& error);
    /// The folders stay.
    void keep() { m_made.clear(); }
    /// The folders made, outermost first.
    [[nodiscard]] const std::vector<std::string>& made() const { return m_made; }

private:
    std::vector<std::string> m_made;
};

} // namespace common
