#pragma once

#include <optional>
#include <string_view>

namespace render {

/// Every kind of file the renderer writes, as its name's extension asks for it.
enum class OutputFormat { Png, Jpeg, Svg, Pdf };

/// The format by the name's extension (any case; .jpg and .jpeg alike); nothing for a name
/// without one of the known extensions.
[[nodiscard]] std::optional<OutputFormat> OutputFormatForName(std::string_view path);

} // namespace render
