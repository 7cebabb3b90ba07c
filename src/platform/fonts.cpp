#include "fonts.h"

#include <QStringList>

#include <algorithm>

namespace platform {

void SubstituteDesignFonts() {
    const QStringList sans = {QStringLiteral("Liberation Sans"), QStringLiteral("DejaVu Sans")};
    QFont::insertSubstitutions(QStringLiteral("MS Sans Serif"), sans);
    QFont::insertSubstitutions(QStringLiteral("Arial"), sans);
    QFont::insertSubstitutions(QStringLiteral("Courier New"),
                               {QStringLiteral("Liberation Mono"), QStringLiteral("DejaVu Sans Mono")});
}

QFont PixelFont(const QString& family, int pixels, bool bold) {
    QFont font(family);
    font.setPixelSize(std::max(1, pixels));
    font.setBold(bold);
    font.setStyleHint(family == QStringLiteral("Courier New") ? QFont::TypeWriter : QFont::SansSerif);
    return font;
}

} // namespace platform
