#include "encoder_sink.h"

namespace render {

bool EncoderSink::start(std::FILE* file, int width, int height, const std::string& record,
                        std::string& error) {
    return m_format == ImageFormat::Jpeg ? m_jpeg.start(file, width, height, record, error)
                                         : m_png.start(file, width, height, record, error);
}

bool EncoderSink::writeRows(const std::uint8_t* rgb, int rows, std::string& error) {
    return m_format == ImageFormat::Jpeg ? m_jpeg.writeRows(rgb, rows, error)
                                         : m_png.writeRows(rgb, rows, error);
}

bool EncoderSink::finish(std::string& error) {
    return m_format == ImageFormat::Jpeg ? m_jpeg.finish(error) : m_png.finish(error);
}

} // namespace render
