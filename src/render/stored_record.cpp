#include "stored_record.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>

#include "jpeg_file.h"
#include "png_file.h"

namespace render {

PictureKind SniffPicture(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    unsigned char head[8] = {};
    in.read(reinterpret_cast<char*>(head), sizeof head);
    if (in.gcount() >= 3 && head[0] == 0xFF && head[1] == 0xD8 && head[2] == 0xFF) {
        return PictureKind::Jpeg;
    }
    static const unsigned char kPng[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    if (in.gcount() == 8 && std::equal(head, head + 8, kPng)) {
        return PictureKind::Png;
    }
    return PictureKind::Other;
}

Outcome ReadStoredRecord(const std::string& path, std::optional<common::PictureRecord>& record) {
    std::ifstream probe(path, std::ios::binary);
    if (!probe) {
        return Failure("cannot read " + path + ": " + std::strerror(errno));
    }
    std::optional<std::string> text;
    std::string error;
    switch (SniffPicture(path)) {
    case PictureKind::Jpeg: {
        common::JpegRecordText found = common::ReadJpegRecord(path);
        text = std::move(found.text);
        error = found.error;
        break;
    }
    case PictureKind::Png: {
        PngRecordText found = ReadPngRecord(path);
        text = std::move(found.text);
        error = found.error;
        break;
    }
    default:
        return Failure("cannot read " + path + ": not a JPEG or PNG picture");
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

} // namespace render
