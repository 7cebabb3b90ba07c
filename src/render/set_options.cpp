#include "set_options.h"

#include <algorithm>
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

/// The exact value of the shortest text that reads back to the double: what a record of the
/// double view shows, and what the explorer's start-point list shows.
deep::ExactDecimal ExactOf(double v) {
    char buffer[64];
    const auto [ptr, ec] = std::to_chars(buffer, buffer + sizeof buffer, v);
    return deep::ParseExactDecimal(std::string_view(buffer, ec == std::errc{} ? ptr : buffer))
        .value_or(deep::ExactDecimal{});
}

std::optional<deep::ExactDecimal> ParseExact(std::string_view text) {
    return deep::ParseExactDecimal(Trim(text));
}

/// Whether the text has the form of a decimal, whatever its size: ParseExactDecimal() also
/// refuses values past its range, and those deserve a message about the range, not the form.
bool HasDecimalForm(std::string_view text) {
    text = Trim(text);
    std::size_t i = 0;
    const auto digits = [&] {
        const std::size_t from = i;
        while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
            ++i;
        }
        return i - from;
    };
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        ++i;
    }
    std::size_t mantissa = digits();
    if (i < text.size() && text[i] == '.') {
        ++i;
        mantissa += digits();
    }
    if (mantissa == 0) {
        return false;
    }
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
            ++i;
        }
        if (digits() == 0) {
            return false;
        }
    }
    return i == text.size();
}

/// The message for a radius text that ParseExact() refused.
std::string RadiusError(const std::string& text) {
    if (HasDecimalForm(text)) {
        const std::string_view trimmed = Trim(text);
        if (trimmed.starts_with('-')) {
            return "--radius: the half-height of the view must be above zero, not " + Quoted(text);
        }
        if (trimmed.find("e-") != std::string_view::npos || trimmed.find("E-") != std::string_view::npos) {
            return "--radius " + Quoted(text) +
                   " is beyond the deepest view the renderer draws (radius 1e-100000)";
        }
        return "--radius: " + Quoted(text) + " has more than " + std::to_string(deep::kMaxDecimalDigits) +
               " digits or lies beyond 1e" + std::to_string(deep::kMaxDecimalMagnitude);
    }
    return "--radius: expected a decimal above zero such as 1e-30, not " + Quoted(text);
}

/// Fills in the deep part of the picture from the options; empty or the message.
std::string ResolveDeep(const SetOptions& o, bool kindChanged, SetPicture& p) {
    if (!p.deepView) {
        p.deepView = deep::DeepView{};
        DefaultDeepCentre(p.kind, *p.deepView);
        // A double view's Julia constant carries over as the decimal its record shows.
        p.deepView->juliaRe = ExactOf(p.juliaC.Re);
        p.deepView->juliaIm = ExactOf(p.juliaC.Im);
    } else if (kindChanged) {
        DefaultDeepCentre(p.kind, *p.deepView);
    }
    deep::DeepView& v = *p.deepView;
    v.julia = p.kind == explorer::SetKind::Julia;
    if (!v.julia) {
        v.juliaRe = {};
        v.juliaIm = {};
    }
    if (!o.centre.empty()) {
        deep::ExactDecimal* parts[] = {&v.re, &v.im};
        for (std::size_t i = 0; i < 2; ++i) {
            std::optional<deep::ExactDecimal> value = ParseExact(o.centre[i]);
            if (!value) {
                return "--centre: RE IM are decimals such as -0.75 or 1.5e-3, not " + Quoted(o.centre[i]);
            }
            *parts[i] = std::move(*value);
        }
    }
    if (!o.radius.empty()) {
        std::optional<deep::ExactDecimal> radius = ParseExact(o.radius);
        if (!radius) {
            return RadiusError(o.radius);
        }
        if (radius->negative || radius->digits == "0") {
            return "--radius: the half-height of the view must be above zero, not " + Quoted(o.radius);
        }
        v.radius = std::move(*radius);
    }
    const std::string radiusName =
        o.radius.empty() ? std::string("the stored picture's radius") : "--radius " + Quoted(o.radius);
    const std::int64_t radiusMagnitude = deep::DecimalMagnitude(v.radius);
    if (radiusMagnitude < kMinRadiusMagnitude) {
        return radiusName + " is beyond the deepest view the renderer draws (radius 1e-100000)";
    }
    // The precision follows the decades from the larger centre coordinate down to the radius.
    const std::int64_t centreMagnitude = std::max(deep::DecimalMagnitude(v.re), deep::DecimalMagnitude(v.im));
    if (centreMagnitude > 0 && radiusMagnitude - centreMagnitude < kMinRadiusMagnitude) {
        return radiusName + " is beyond the deepest view the renderer draws at a centre of magnitude 1e" +
               std::to_string(centreMagnitude) + ": the radius must be at least 1e-100000 times the larger " +
               "centre coordinate";
    }
    if (!o.iterations.empty()) {
        const std::optional<std::int64_t> n = ParseCount(o.iterations);
        if (!n || *n > deep::kMaxDeepIterations) {
            return "--iterations: expected a whole number from 1 to " +
                   std::to_string(deep::kMaxDeepIterations) + ", not " + Quoted(o.iterations);
        }
        v.iterations = *n;
    }
    return {};
}

} // namespace

void DefaultDeepCentre(explorer::SetKind kind, deep::DeepView& v) {
    v.re = kind == explorer::SetKind::Julia ? deep::ExactDecimal{} : deep::ExactDecimal{true, "5", -1};
    v.im = deep::ExactDecimal{};
    v.radius = deep::ExactDecimal{false, "15", -1};
}

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

common::PictureRecord ToRecord(const SetPicture& p) {
    if (p.deepView) {
        const deep::DeepView& v = *p.deepView;
        common::DeepSetRecord r;
        r.julia = v.julia;
        r.re = v.re;
        r.im = v.im;
        r.radius = v.radius;
        r.iterations = v.iterations;
        r.juliaRe = v.juliaRe;
        r.juliaIm = v.juliaIm;
        r.border = {p.colours.BorderR, p.colours.BorderG, p.colours.BorderB};
        r.main = {p.colours.MainR, p.colours.MainG, p.colours.MainB};
        r.additive = p.colours.AdditiveMix;
        r.width = p.width;
        r.height = p.height;
        return r;
    }
    // ResolveSet lets no view through that a record may not hold, and a flight between two
    // such views passes none either.
    return explorer::SetRecordOf(JobFor(p), p.colours).value();
}

SetPicture FromRecord(const common::DeepSetRecord& r) {
    SetPicture p;
    p.kind = r.julia ? explorer::SetKind::Julia : explorer::SetKind::Mandelbrot;
    p.colours = {r.border[0], r.border[1], r.border[2], r.main[0], r.main[1], r.main[2], r.additive};
    p.width = r.width;
    p.height = r.height;
    deep::DeepView v;
    v.julia = r.julia;
    v.re = r.re;
    v.im = r.im;
    v.radius = r.radius;
    v.iterations = r.iterations;
    v.juliaRe = r.juliaRe;
    v.juliaIm = r.juliaIm;
    p.deepView = v;
    return p;
}

common::Colour DeepCountColour(const explorer::ColourScheme& colours, std::int64_t n,
                               std::int64_t iterations) {
    if (n == iterations) {
        return explorer::PixelColour(colours, 256);
    }
    // Each channel is n times a step, or a step minus n, taken modulo 256: only n modulo 256
    // matters, and LevelColour takes that as an int whatever N is.
    return explorer::LevelColour(colours, static_cast<int>(n & 0xFF));
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

ResolvedSet ResolveSet(const SetOptions& o, const std::optional<common::PictureRecord>& record,
                       ImageFormat format) {
    ResolvedSet result;
    SetPicture& p = result.picture;
    const common::SetRecord* viewRecord = record ? std::get_if<common::SetRecord>(&*record) : nullptr;
    const common::DeepSetRecord* deepRecord = record ? std::get_if<common::DeepSetRecord>(&*record) : nullptr;
    if (viewRecord != nullptr) {
        p = FromRecord(*viewRecord);
    } else if (deepRecord != nullptr) {
        p = FromRecord(*deepRecord);
    }
    const bool fromRecord = viewRecord != nullptr || deepRecord != nullptr;
    const explorer::SetKind recordKind = p.kind;
    bool haveConstant = fromRecord && p.kind == explorer::SetKind::Julia;

    // Checked here rather than by the parser, whose message would name either option by chance.
    if (!o.view.empty() && (!o.centre.empty() || !o.radius.empty())) {
        result.error = "--view cannot go with --centre and --radius: a view is given either way, not both";
        return result;
    }
    if (o.centre.empty() != o.radius.empty()) {
        result.error = o.centre.empty() ? "--radius needs --centre RE IM, the middle of the view"
                                        : "--centre needs --radius R, the half-height of the view";
        return result;
    }
    const bool deepWanted = !o.centre.empty() || deepRecord != nullptr;
    if (!o.view.empty() && deepWanted) {
        result.error = "--view cannot go with a deep view's record; give --centre and --radius";
        return result;
    }
    if (!o.iterations.empty() && !deepWanted) {
        result.error = "--iterations goes with --centre and --radius (or --from of a deep view's picture)";
        return result;
    }

    if (!o.kind.empty()) {
        p.kind = o.kind == "julia" ? explorer::SetKind::Julia : explorer::SetKind::Mandelbrot;
    }
    std::optional<std::array<deep::ExactDecimal, 2>> exactConstant;
    if (!o.julia.empty() && deepWanted) {
        // A deep Julia set's constant is kept to its last digit.
        const std::size_t slash = o.julia.find('/');
        std::optional<deep::ExactDecimal> re;
        std::optional<deep::ExactDecimal> im;
        if (slash != std::string::npos) {
            re = ParseExact(std::string_view(o.julia).substr(0, slash));
            im = ParseExact(std::string_view(o.julia).substr(slash + 1));
        }
        if (re && im) {
            exactConstant = std::array<deep::ExactDecimal, 2>{std::move(*re), std::move(*im)};
        }
    }
    if (!o.julia.empty()) {
        const std::optional<explorer::TComplex> c =
            exactConstant ? std::optional<explorer::TComplex>(explorer::TComplex{})
                          : ParseJuliaConstant(o.julia);
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

    if (deepWanted) {
        const bool kindChanged = fromRecord && p.kind != recordKind;
        result.error = ResolveDeep(o, kindChanged, p);
        if (!result.error.empty()) {
            return result;
        }
        if (exactConstant) {
            p.deepView->juliaRe = (*exactConstant)[0];
            p.deepView->juliaIm = (*exactConstant)[1];
        }
    } else if (!o.view.empty()) {
        // A stored view belongs to its kind: the explorer never applies a Mandelbrot zoom to a
        // Julia set, so a changed kind starts from its own default view.
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
        // A deep view has the picture's aspect: the stored one, or square.
        const std::optional<std::int64_t> h = p.deepView ? std::optional<std::int64_t>(std::max<std::int64_t>(
                                                               1, (*w * p.height + p.width / 2) / p.width))
                                                         : HeightForWidth(*w, p.view);
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
    if (p.deepView) {
        p.deepView->width = p.width;
        p.deepView->height = p.height;
    }
    return result;
}

} // namespace render
