#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <utility>

#include "jpeg_file.h"
#include "png_file.h"
#include "set_options.h"
#include "strip_render.h"

namespace render {

/// Sends the rows of a picture to the JPEG or the PNG encoder.
class EncoderSink : public RowSink {
public:
    explicit EncoderSink(ImageFormat format) : m_format(format) {}

    /// A further text chunk beside the record (PNG only; a JPEG picture has one comment).
    void addPngText(std::string keyword, std::string text) {
        m_png.addText(std::move(keyword), std::move(text));
    }
    bool start(std::FILE* file, int width, int height, const std::string& record, std::string& error);
    bool writeRows(const std::uint8_t* rgb, int rows, std::string& error) override;
    bool finish(std::string& error);

private:
    ImageFormat m_format;
    common::JpegStreamWriter m_jpeg;
    PngStreamWriter m_png;
};

} // namespace render
