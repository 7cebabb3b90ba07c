#include "float_exp.h"

#include <charconv>
#include <ostream>

namespace deep {

// to_chars rather than printf: test messages must read the same under any locale.
std::string FloatExp::toString() const {
    char text[64];
    const auto mantissaEnd = std::to_chars(text, text + sizeof text, m_mantissa);
    if (m_mantissa == 0.0 || !isFinite()) {
        return {text, mantissaEnd.ptr};
    }
    std::string result(text, mantissaEnd.ptr);
    result += "*2^";
    result += std::to_string(m_exponent);
    return result;
}

void PrintTo(const FloatExp& value, std::ostream* out) {
    *out << value.toString();
}

} // namespace deep
