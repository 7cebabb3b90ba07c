#include "output_file.h"

#include <cerrno>
#include <cstring>

#include <sys/stat.h>
#include <unistd.h>

#include "paths.h"

namespace render {

OutputFile::~OutputFile() {
    discard();
}

bool OutputFile::open(const std::string& target, std::string& error) {
    discard();
    m_target = target;
    m_temp = common::TemporaryTemplateBeside(target);
    const int fd = ::mkstemp(m_temp.data());
    if (fd < 0) {
        error = std::strerror(errno);
        m_temp.clear();
        return false;
    }
    // mkstemp makes the file private; a picture gets the mode an ordinary new file would get.
    const mode_t mask = ::umask(022);
    ::umask(mask);
    ::fchmod(fd, 0666 & ~mask);
    m_file = ::fdopen(fd, "wb");
    if (m_file == nullptr) {
        error = std::strerror(errno);
        ::close(fd);
        ::unlink(m_temp.c_str());
        m_temp.clear();
        return false;
    }
    return true;
}

bool OutputFile::commit(std::string& error) {
    if (m_file == nullptr) {
        error = "no file is open";
        return false;
    }
    const bool flushed = std::fflush(m_file) == 0;
    int failure = flushed ? 0 : errno;
    if (std::fclose(m_file) != 0 && failure == 0) {
        failure = errno;
    }
    m_file = nullptr;
    if (failure == 0 && std::rename(m_temp.c_str(), m_target.c_str()) != 0) {
        failure = errno;
    }
    if (failure != 0) {
        error = std::strerror(failure);
        ::unlink(m_temp.c_str());
        m_temp.clear();
        return false;
    }
    m_temp.clear();
    return true;
}

void OutputFile::discard() {
    if (m_file != nullptr) {
        std::fclose(m_file);
        m_file = nullptr;
    }
    if (!m_temp.empty()) {
        ::unlink(m_temp.c_str());
        m_temp.clear();
    }
}

} // namespace render
