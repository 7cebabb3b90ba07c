#include "stored_record.h"

#include <cstdio>
#include <memory>

#include "input_file.h"
#include "jpeg_file.h"
#include "png_file.h"
#include "vector_record.h"

namespace render {

PictureKind SniffPicture(std::string_view head) {
    if (head.starts_with("\xFF\xD8\xFF")) {
        return PictureKind::Jpeg;
    }
    if (head.starts_with("\x89PNG\r\n\x1A\n")) {
        return PictureKind::Png;
    }
    if (head.starts_with("%PDF-")) {
        return PictureKind::Pdf;
    }
    std::string_view text = head;
    if (text.starts_with("\xEF\xBB\xBF")) {
        text.remove_prefix(3);
    }
    const std::size_t first = text.find_first_not_of(" \t\r\n");
    if (first != std::string_view::npos && text[first] == '<' &&
        text.find("<svg") != std::string_view::npos) {
        return PictureKind::Svg;
    }
    return PictureKind::Other;
}

Outcome ReadStoredRecord(const std::string& path, std::optional<common::PictureRecord>& record) {
    std::string head(1024, '\0');
    {
        std::string error;
        std::FILE* file = OpenRegularFile(path, error);
        if (file == nullptr) {
            return Failure("cannot read " + path + ": " + error);
        }
        head.resize(std::fread(head.data(), 1, head.size(), file));
        std::fclose(file);
    }
    std::optional<std::string> text;
    std::string error;
    const auto take = [&text, &error](auto found) {
        text = std::move(found.text);
        error = std::move(found.error);
    };
    switch (SniffPicture(head)) {
    case PictureKind::Jpeg:
        take(common::ReadJpegRecord(path));
        break;
    case PictureKind::Png:
        take(ReadPngRecord(path));
        break;
    case PictureKind::Svg:
        take(ReadSvgRecord(path));
        break;
    case PictureKind::Pdf:
        take(ReadPdfRecord(path));
        break;
    case PictureKind::Other:
        return Failure("cannot read " + path +
                       (head.empty() ? ": the file is empty" : ": not a JPEG, PNG, SVG or PDF file"));
    }
    if (!error.empty()) {
        return Failure("cannot read " + path + ": " + error);
    }
    if (!text) {
        return Failure(path +
                       " holds no parameter record; only pictures stored by the fractal programs have one");
    }
    record = common::ParsePictureRecord(*text);
    if (!record) {
        return Failure(path + ": its parameter record is damaged or from a newer version of the programs");
    }
    return {};
}

Outcome ReadStoredSetRecord(const std::string& path, std::optional<common::PictureRecord>& record) {
    if (path.empty()) {
        return {};
    }
    if (Outcome read = ReadStoredRecord(path, record); !read.ok()) {
        return read;
    }
    if (std::holds_alternative<common::LsystemRecord>(*record)) {
        return Failure(path + " is a drawing of the L-system generator, not a Mandelbrot or Julia set");
    }
    return {};
}

} // namespace render
