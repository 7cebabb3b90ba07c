#include "services.h"

#include <cctype>

namespace common {

std::string defaultCaption(std::string_view programFileName) {
    const auto slash = programFileName.find_last_of('/');
    if (slash != std::string_view::npos) {
        programFileName.remove_prefix(slash + 1);
    }
    std::string caption(programFileName.substr(0, programFileName.find('.')));
    for (std::size_t i = 1; i < caption.size(); ++i) {
        caption[i] = static_cast<char>(std::tolower(static_cast<unsigned char>(caption[i])));
    }
    return caption;
}

} // namespace common
