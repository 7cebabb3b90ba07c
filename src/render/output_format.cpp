#include "output_format.h"

#include <string>

namespace render {

std::optional<OutputFormat> OutputFormatForName(std::string_view path) {
    const std::size_t dot = path.rfind('.');
    const std::size_t slash = path.rfind('/');
    if (dot == std::string_view::npos || (slash != std::string_view::npos && dot < slash)) {
        return std::nullopt;
    }
    std::string extension(path.substr(dot + 1));
    for (char& c : extension) {
        c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    }
    if (extension == "png") {
        return OutputFormat::Png;
    }
    if (extension == "jpg" || extension == "jpeg") {
        return OutputFormat::Jpeg;
    }
    if (extension == "svg") {
        return OutputFormat::Svg;
    }
    if (extension == "pdf") {
        return OutputFormat::Pdf;
    }
    return std::nullopt;
}

} // namespace render
