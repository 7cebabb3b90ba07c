#include "set_options.h"

#include <charconv>
#include <cmath>
#include <system_error>

#include "number_text.h"
#include "output_format.h"
#include "set_record.h"
#include "strip_render.h"

namespace render {

namespace {

std::string_view Trim(std::string_view s) {
    while (!s.empty() && static_cast<unsigned char>(s.front()) <= 32) {
        s.remove_prefix(1);
    }
    while (!s.empty() && static_cast<unsigned char>(s.back()) <= 32) {
        s.remove_suffix(1);
    }
    return s;
}

std::string Quoted(std::string_view text) {
    return "\"" + std::string(text) + "\"";
}

std::string ReadColour(const std::vector<std::string>& fields, std::string_view option, int& r, int& g,
                       int& b) {
    int* out[] = {&r, &g, &b};
    for (std::size_t i = 0; i < 3; ++i) {
        const std::optional<int> v = explorer::ParseColourField(Trim(fields[i]));
        if (!v || !explorer::InColourRange(*v)) {
            return std::string(option) + ": each of R G B is a whole number from 0 to 255, not " +
                   Quoted(fields[i]);
        }
        *out[i] = *v;
    }
    return {};
}

} // namespace

std::optional<std::int64_t> ParseCount(std::string_view text) {
    text = Trim(text);
    std::int64_t v = 0;
    const char* last = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), last, v);
    if (text.empty() || ec != std::errc{} || ptr != last || v < 1 || v > kMaxPngSide) {
        return std::nullopt;
    }
    return v;
}

std::optional<double> ParseNumber(std::string_view text) {
    text = Trim(text);
    const common::NumberPrefix n = common::ParseDecimalPrefix(text);
    if (text.empty() || !n.whole || !std::isfinite(n.value)) {
        return std::nullopt;
    }
    return n.value;
}

std::optional<explorer::TComplex> ParseJuliaConstant(std::string_view text) {
    const std::size_t slash = text.find('/');
    if (slash == std::string_view::npos) {
        return std::nullopt;
    }
    const std::optional<double> re = ParseNumber(text.substr(0, slash));
    const std::optional<double> im = ParseNumber(text.substr(slash + 1));
    if (!re || !im) {
        return std::nullopt;
    }
    return explorer::TComplex{*re, *im};
}

std::optional<std::array<std::int64_t, 2>> ParseSize(std::string_view text) {
    const std::size_t x = text.find_first_of("xX");
    if (x == std::string_view::npos) {
        return std::nullopt;
    }
    const std::optional<std::int64_t> w = ParseCount(text.substr(0, x));
    const std::optional<std::int64_t> h = ParseCount(text.substr(x + 1));
    if (!w || !h) {
        return std::nullopt;
    }
    return std::array<std::int64_t, 2>{*w, *h};
}

std::optional<std::int64_t> HeightForWidth(std::int64_t width, const explorer::ViewRect& view) {
    const double re = std::fabs(view.ReMax - view.ReMin);
    const double im = std::fabs(view.ImMax - view.ImMin);
    const double height = std::round(static_cast<double>(width) * im / re);
    if (!std::isfinite(height) || height < 1.0 || height > static_cast<double>(kMaxPngSide)) {
        return std::nullopt;
    }
    return static_cast<std::int64_t>(height);
}

common::SetRecord ToRecord(const SetPicture& p) {
    // ResolveSet lets no view through that a record may not hold, and a flight between two
    // such views passes none either.
    return explorer::SetRecordOf(JobFor(p), p.colours).value();
}

SetPicture FromRecord(const common::SetRecord& r) {
    SetPicture p;
    p.kind = r.julia ? explorer::SetKind::Julia : explorer::SetKind::Mandelbrot;
    p.view = {r.reMin, r.reMax, r.imMin, r.imMax};
    p.juliaC = {r.juliaRe, r.juliaIm};
    p.colours = {r.border[0], r.border[1], r.border[2], r.main[0], r.main[1], r.main[2], r.additive};
    p.width = r.width;
    p.height = r.height;
    return p;
}

std::string CheckSize(std::int64_t width, std::int64_t height, ImageFormat format) {
    const std::string size = std::to_string(width) + " x " + std::to_string(height);
    if (width < 1 || height < 1) {
        return "the picture size " + size + " has no pixels";
    }
    if (format == ImageFormat::Jpeg && (width > kMaxJpegSide || height > kMaxJpegSide)) {
        return "a JPEG picture is at most " + std::to_string(kMaxJpegSide) + " pixels a side, not " + size +
               " (PNG allows more)";
    }
    if (width > kMaxPngSide || height > kMaxPngSide) {
        return "a PNG picture is at most " + std::to_string(kMaxPngSide) + " pixels a side, not " + size;
    }
    if (width * height > kPixelBudget) {
        return "the picture size " + size + " is beyond the renderer's budget of " +
               std::to_string(kPixelBudget) + " pixels";
    }
    return {};
}

std::optional<ImageFormat> FormatForName(std::string_view path) {
    const std::optional<OutputFormat> format = OutputFormatForName(path);
    if (format == OutputFormat::Png) {
        return ImageFormat::Png;
    }
    if (format == OutputFormat::Jpeg) {
        return ImageFormat::Jpeg;
    }
    return std::nullopt;
}

ResolvedSet ResolveSet(const SetOptions& o, const std::optional<common::SetRecord>& record,
                       ImageFormat format) {
    ResolvedSet result;
    SetPicture& p = result.picture;
    if (record) {
        p = FromRecord(*record);
    }
    const explorer::SetKind recordKind = p.kind;
    bool haveConstant = record.has_value() && record->julia;

    if (!o.kind.empty()) {
        p.kind = o.kind == "julia" ? explorer::SetKind::Julia : explorer::SetKind::Mandelbrot;
    }
    if (!o.julia.empty()) {
        const std::optional<explorer::TComplex> c = ParseJuliaConstant(o.julia);
        if (!c) {
            result.error = "--julia: expected RE/IM such as -0.5/0.6, not " + Quoted(o.julia);
            return result;
        }
        if (o.kind == "mandelbrot") {
            result.error = "--julia gives a Julia set's constant and cannot go with --kind mandelbrot";
            return result;
        }
        p.kind = explorer::SetKind::Julia;
        p.juliaC = *c;
        haveConstant = true;
    }
    if (p.kind == explorer::SetKind::Julia && !haveConstant) {
        result.error = "a Julia set needs its constant: --julia RE/IM";
        return result;
    }

    // A stored view belongs to its kind: the explorer never applies a Mandelbrot zoom to a
    // Julia set, so a changed kind starts from its own default view.
    if (!o.view.empty()) {
        double* bounds[] = {&p.view.ReMin, &p.view.ReMax, &p.view.ImMin, &p.view.ImMax};
        for (std::size_t i = 0; i < 4; ++i) {
            const std::optional<double> v = ParseNumber(o.view[i]);
            if (!v) {
                result.error =
                    "--view: RE_MIN RE_MAX IM_MIN IM_MAX are numbers such as -1.5, not " + Quoted(o.view[i]);
                return result;
            }
            *bounds[i] = *v;
        }
        // A minimum above its maximum is allowed: the explorer draws such a mirrored view after
        // a band dragged leftwards or downwards.
        const double reExtent = p.view.ReMax - p.view.ReMin;
        const double imExtent = p.view.ImMax - p.view.ImMin;
        if (reExtent == 0.0) {
            result.error = "--view: RE_MIN and RE_MAX are equal, so the view has no width";
        } else if (imExtent == 0.0) {
            result.error = "--view: IM_MIN and IM_MAX are equal, so the view has no height";
        } else if (!std::isfinite(reExtent)) {
            result.error = "--view: the width RE_MAX - RE_MIN is beyond the range of a double";
        } else if (!std::isfinite(imExtent)) {
            result.error = "--view: the height IM_MAX - IM_MIN is beyond the range of a double";
        }
        if (!result.error.empty()) {
            return result;
        }
    } else if (!record || p.kind != recordKind) {
        p.view = explorer::DefaultView(p.kind);
    }

    if (!o.border.empty()) {
        result.error =
            ReadColour(o.border, "--border", p.colours.BorderR, p.colours.BorderG, p.colours.BorderB);
    }
    if (result.error.empty() && !o.main.empty()) {
        result.error = ReadColour(o.main, "--main", p.colours.MainR, p.colours.MainG, p.colours.MainB);
    }
    if (!result.error.empty()) {
        return result;
    }
    if (o.subtractive) {
        p.colours.AdditiveMix = false;
    }
    if (o.additive) {
        p.colours.AdditiveMix = true;
    }

    std::int64_t width = p.width;
    std::int64_t height = p.height;
    if (!o.size.empty()) {
        const auto size = ParseSize(o.size);
        if (!size) {
            result.error = "--size: expected WIDTHxHEIGHT such as 601x601, each from 1 to " +
                           std::to_string(kMaxPngSide) + ", not " + Quoted(o.size);
            return result;
        }
        width = (*size)[0];
        height = (*size)[1];
    } else if (!o.width.empty()) {
        const std::optional<std::int64_t> w = ParseCount(o.width);
        if (!w) {
            result.error = "--width: expected a whole number from 1 to " + std::to_string(kMaxPngSide) +
                           ", not " + Quoted(o.width);
            return result;
        }
        const std::optional<std::int64_t> h = HeightForWidth(*w, p.view);
        if (!h) {
            result.error = "--width: the view's aspect gives no usable height; give --size instead";
            return result;
        }
        width = *w;
        height = *h;
    }
    result.error = CheckSize(width, height, format);
    p.width = static_cast<int>(width);
    p.height = static_cast<int>(height);
    return result;
}

} // namespace render
