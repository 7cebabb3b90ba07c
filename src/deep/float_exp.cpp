#include "float_exp.h"

#include <cinttypes>
#include <cstdio>
#include <ostream>

namespace deep {

std::string FloatExp::toString() const {
    if (m_mantissa == 0.0 || !isFinite()) {
        char text[32];
        std::snprintf(text, sizeof text, "%g", m_mantissa);
        return text;
    }
    char text[64];
    std::snprintf(text, sizeof text, "%.17g*2^%" PRId64, m_mantissa, m_exponent);
    return text;
}

void PrintTo(const FloatExp& value, std::ostream* out) {
    *out << value.toString();
}

} // namespace deep
