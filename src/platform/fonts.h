#pragma once

#include <QFont>
#include <QString>

namespace platform {

/// The windows were laid out for the fonts "MS Sans Serif", "Arial" and "Courier New"; this
/// maps them to free fonts with the same metrics where they are installed.
void SubstituteDesignFonts();

/// A font of the given family with its height in pixels (at least 1).
[[nodiscard]] QFont PixelFont(const QString& family, int pixels, bool bold);

} // namespace platform
