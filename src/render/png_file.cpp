#include "png_file.h"

#include <cerrno>
#include <csetjmp>
#include <cstdlib>
#include <cstring>
#include <utility>
#include <vector>

#include <png.h>
#include <sys/stat.h>

#include "input_file.h"
#include "picture_record.h"

namespace render {

namespace {

// libpng reports errors through a callback that must not return; like the JPEG unit, each step
// jumps back into a frame of its own that holds nothing with a destructor.
struct PngErrorText {
    char message[256];
    char textWarning[256];
};

extern "C" void RenderPngError(png_structp png, png_const_charp text) {
    auto* state = static_cast<PngErrorText*>(png_get_error_ptr(png));
    std::snprintf(state->message, sizeof state->message, "%s", text);
    png_longjmp(png, 1);
}

// Warnings are dropped, except the first about a text chunk: libpng discards a text chunk it
// finds damaged with only a warning, which would make a damaged record look like none.
extern "C" void RenderPngWarning(png_structp png, png_const_charp text) {
    auto* state = static_cast<PngErrorText*>(png_get_error_ptr(png));
    if (state->textWarning[0] == '\0' && std::strncmp(text, "iTXt:", 5) == 0) {
        std::snprintf(state->textWarning, sizeof state->textWarning, "%s", text);
    }
}

// The renderer writes pictures up to 2^31 - 1 pixels a side and records of any size it makes;
// libpng's defaults stop at a million pixels a side and at 8 MB a chunk.
void RaiseLimits(png_structp png) {
    png_set_user_limits(png, 0x7FFFFFFF, 0x7FFFFFFF);
    png_set_chunk_malloc_max(png, common::kMaxPictureRecordBytes + 4096);
}

struct PngState {
    png_structp png = nullptr;
    png_infop info = nullptr;
    PngErrorText errors{};
    int width = 0;
    int height = 0;
    int rowsWritten = 0;

    void destroy() {
        if (png != nullptr) {
            png_destroy_write_struct(&png, &info);
        }
        png = nullptr;
        info = nullptr;
    }
};

// `texts` are the record and the other text chunks, made by the caller, since this frame may
// hold nothing with a destructor.
bool StartPng(PngState& d, std::FILE* file, png_text* texts, int textCount) {
    d.png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &d.errors, RenderPngError, RenderPngWarning);
    if (d.png == nullptr) {
        std::snprintf(d.errors.message, sizeof d.errors.message, "cannot start the PNG encoder");
        return false;
    }
    d.info = png_create_info_struct(d.png);
    if (d.info == nullptr) {
        std::snprintf(d.errors.message, sizeof d.errors.message, "cannot start the PNG encoder");
        d.destroy();
        return false;
    }
    if (setjmp(png_jmpbuf(d.png)) != 0) {
        d.destroy();
        return false;
    }
    png_init_io(d.png, file);
    RaiseLimits(d.png);
    png_set_IHDR(d.png, d.info, static_cast<png_uint_32>(d.width), static_cast<png_uint_32>(d.height), 8,
                 PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    // One filter for all rows: trying all five per row triples the encoder's time, and the
    // pictures are large areas of one colour, which every filter turns into runs of zeros.
    png_set_filter(d.png, PNG_FILTER_TYPE_BASE, PNG_FILTER_SUB);
    // zlib's fastest level: the encoder is single-threaded and sets the pace of a large render;
    // level 6 makes files a fifth smaller at half the speed.
    png_set_compression_level(d.png, 1);
    png_set_compression_buffer_size(d.png, 1 << 20);
    if (textCount > 0) {
        png_set_text(d.png, d.info, texts, textCount);
    }
    png_write_info(d.png, d.info);
    return true;
}

bool WritePngRows(PngState& d, const std::uint8_t* rows, int count) {
    if (setjmp(png_jmpbuf(d.png)) != 0) {
        d.destroy();
        return false;
    }
    const std::size_t rowBytes = static_cast<std::size_t>(d.width) * 3;
    for (int i = 0; i < count; ++i) {
        png_write_row(d.png, rows + static_cast<std::size_t>(i) * rowBytes);
    }
    return true;
}

bool FinishPng(PngState& d) {
    if (setjmp(png_jmpbuf(d.png)) != 0) {
        d.destroy();
        return false;
    }
    png_write_end(d.png, nullptr);
    d.destroy();
    return true;
}

// Reads up to the first pixel data. On success `*text` is the record's bytes in a buffer from
// malloc (the caller frees it), or null when the file has none. Nothing with a destructor lives
// in this frame.
bool ReadPngText(std::FILE* file, char** text, std::size_t* length, PngErrorText* errors) {
    *text = nullptr;
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, errors, RenderPngError, RenderPngWarning);
    if (png == nullptr) {
        std::snprintf(errors->message, sizeof errors->message, "cannot start the PNG decoder");
        return false;
    }
    png_infop info = png_create_info_struct(png);
    if (info == nullptr || setjmp(png_jmpbuf(png)) != 0) {
        png_destroy_read_struct(&png, &info, nullptr);
        return false;
    }
    png_init_io(png, file);
    RaiseLimits(png);
    // A checksum error in any chunk before the pixels is damage, not a chunk to drop quietly.
    png_set_crc_action(png, PNG_CRC_ERROR_QUIT, PNG_CRC_ERROR_QUIT);
    png_read_info(png, info);
    png_textp texts = nullptr;
    const int count = png_get_text(png, info, &texts, nullptr);
    for (int i = 0; i < count; ++i) {
        const std::size_t size =
            texts[i].compression >= PNG_ITXT_COMPRESSION_NONE ? texts[i].itxt_length : texts[i].text_length;
        if (std::strcmp(texts[i].key, kPngRecordKeyword) == 0) {
            *text = static_cast<char*>(std::malloc(size > 0 ? size : 1));
            if (*text == nullptr) {
                std::snprintf(errors->message, sizeof errors->message, "not enough memory for its record");
                png_destroy_read_struct(&png, &info, nullptr);
                return false;
            }
            std::memcpy(*text, texts[i].text, size);
            *length = size;
            break;
        }
    }
    png_destroy_read_struct(&png, &info, nullptr);
    return true;
}

// libpng reserves a text chunk's memory by the length its header claims, up to 2 GB, before it
// reads a byte of it (libpng's own limit on chunk memory does not cover text chunks), so a few
// hundred bytes of file could make it ask for that much. Every chunk up to the pixels must lie
// within the file, or the file is damaged anyway; checked here before libpng sees it.
bool ChunksFitTheFile(std::FILE* file) {
    struct stat info {};
    if (::fstat(::fileno(file), &info) != 0) {
        return false;
    }
    const auto fileSize = static_cast<std::uint64_t>(info.st_size);
    unsigned char header[8];
    static const unsigned char kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    if (std::fread(header, 1, sizeof header, file) != sizeof header ||
        std::memcmp(header, kSignature, sizeof header) != 0) {
        // Not a PNG file at all: libpng says so in its own words.
        return std::fseek(file, 0, SEEK_SET) == 0;
    }
    std::uint64_t at = sizeof kSignature;
    while (at + sizeof header <= fileSize) {
        if (std::fseek(file, static_cast<long>(at), SEEK_SET) != 0 ||
            std::fread(header, 1, sizeof header, file) != sizeof header) {
            return false;
        }
        const std::uint64_t length = std::uint64_t{header[0]} << 24 | std::uint64_t{header[1]} << 16 |
                                     std::uint64_t{header[2]} << 8 | header[3];
        if (at + 12 + length > fileSize) {
            return false;
        }
        if (std::memcmp(header + 4, "IDAT", 4) == 0 || std::memcmp(header + 4, "IEND", 4) == 0) {
            break;
        }
        at += 12 + length;
    }
    return std::fseek(file, 0, SEEK_SET) == 0;
}

struct PngReadState {
    png_structp png = nullptr;
    png_infop info = nullptr;
    std::FILE* file = nullptr;
    PngErrorText errors{};

    void destroy() {
        if (png != nullptr) {
            png_destroy_read_struct(&png, &info, nullptr);
        }
        png = nullptr;
        info = nullptr;
        if (file != nullptr) {
            std::fclose(file);
        }
        file = nullptr;
    }
};

bool StartPngRead(PngReadState& d) {
    d.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &d.errors, RenderPngError, RenderPngWarning);
    if (d.png == nullptr) {
        std::snprintf(d.errors.message, sizeof d.errors.message, "cannot start the PNG decoder");
        return false;
    }
    d.info = png_create_info_struct(d.png);
    if (d.info == nullptr || setjmp(png_jmpbuf(d.png)) != 0) {
        return false;
    }
    png_init_io(d.png, d.file);
    RaiseLimits(d.png);
    png_set_crc_action(d.png, PNG_CRC_ERROR_QUIT, PNG_CRC_ERROR_QUIT);
    png_read_info(d.png, d.info);
    return true;
}

bool ReadPngRows(PngReadState& d, std::uint8_t* rows, int count, std::size_t rowBytes) {
    if (setjmp(png_jmpbuf(d.png)) != 0) {
        return false;
    }
    for (int i = 0; i < count; ++i) {
        png_read_row(d.png, rows + static_cast<std::size_t>(i) * rowBytes, nullptr);
    }
    return true;
}

bool EndPngRead(PngReadState& d) {
    if (setjmp(png_jmpbuf(d.png)) != 0) {
        return false;
    }
    png_read_end(d.png, nullptr);
    return true;
}

} // namespace

struct PngStreamWriter::Impl : PngState {
    std::vector<std::pair<std::string, std::string>> texts; // keyword, text
};

PngStreamWriter::PngStreamWriter() : m_impl(std::make_unique<Impl>()) {}

PngStreamWriter::~PngStreamWriter() {
    m_impl->destroy();
}

bool PngStreamWriter::start(std::FILE* file, int width, int height, std::string_view record,
                            std::string& error) {
    if (width <= 0 || height <= 0) {
        error = "a PNG picture needs at least one pixel";
        return false;
    }
    m_impl->width = width;
    m_impl->height = height;
    std::vector<png_text> texts;
    const auto add = [&](const char* keyword, std::string_view text) {
        png_text chunk{};
        chunk.compression = PNG_ITXT_COMPRESSION_NONE;
        chunk.key = const_cast<char*>(keyword);
        chunk.text = const_cast<char*>(text.data());
        chunk.itxt_length = text.size();
        texts.push_back(chunk);
    };
    if (!record.empty()) {
        add(kPngRecordKeyword, record);
    }
    for (const auto& [keyword, text] : m_impl->texts) {
        add(keyword.c_str(), text);
    }
    if (!StartPng(*m_impl, file, texts.data(), static_cast<int>(texts.size()))) {
        error = m_impl->errors.message;
        return false;
    }
    return true;
}

void PngStreamWriter::addText(std::string keyword, std::string text) {
    m_impl->texts.emplace_back(std::move(keyword), std::move(text));
}

bool PngStreamWriter::writeRows(const std::uint8_t* rows, int count, std::string& error) {
    if (m_impl->png == nullptr || count < 0 || m_impl->rowsWritten + count > m_impl->height) {
        error = "more rows than the PNG picture holds";
        return false;
    }
    if (!WritePngRows(*m_impl, rows, count)) {
        error = m_impl->errors.message;
        return false;
    }
    m_impl->rowsWritten += count;
    return true;
}

bool PngStreamWriter::finish(std::string& error) {
    if (m_impl->png == nullptr || m_impl->rowsWritten != m_impl->height) {
        error = "the PNG picture is missing rows";
        return false;
    }
    if (!FinishPng(*m_impl)) {
        error = m_impl->errors.message;
        return false;
    }
    return true;
}

struct PngRowReader::Impl : PngReadState {
    int width = 0;
    int height = 0;
    int rowsRead = 0;
    std::vector<std::pair<std::string, std::string>> texts; // keyword, text
};

PngRowReader::PngRowReader() : m_impl(std::make_unique<Impl>()) {}

PngRowReader::~PngRowReader() {
    m_impl->destroy();
}

namespace {

std::string ReadFault(const PngReadState& d, const char* when) {
    // libpng's stdio reader says only "Read Error" for a file that ends too soon.
    if (d.file != nullptr && std::feof(d.file) != 0) {
        return std::string("the PNG file is truncated (it ends ") + when + ")";
    }
    return std::string("the PNG file is damaged (") +
           (d.errors.message[0] != '\0' ? d.errors.message : "unreadable") + ")";
}

} // namespace

bool PngRowReader::open(const std::string& path, std::string& error) {
    Impl& d = *m_impl;
    d.destroy();
    d.file = OpenRegularFile(path, error);
    if (d.file == nullptr) {
        return false;
    }
    if (!ChunksFitTheFile(d.file)) {
        error = "the PNG file is truncated (a chunk runs past its end)";
        d.destroy();
        return false;
    }
    if (!StartPngRead(d)) {
        error = ReadFault(d, "before its pixel data");
        d.destroy();
        return false;
    }
    png_uint_32 width = 0;
    png_uint_32 height = 0;
    int depth = 0;
    int colour = 0;
    int interlace = 0;
    png_get_IHDR(d.png, d.info, &width, &height, &depth, &colour, &interlace, nullptr, nullptr);
    if (depth != 8 || colour != PNG_COLOR_TYPE_RGB || interlace != PNG_INTERLACE_NONE) {
        error = "not a picture of this program (the PNG file is not 8-bit RGB without interlacing)";
        d.destroy();
        return false;
    }
    d.width = static_cast<int>(width);
    d.height = static_cast<int>(height);
    d.rowsRead = 0;
    d.texts.clear();
    png_textp texts = nullptr;
    const int count = png_get_text(d.png, d.info, &texts, nullptr);
    for (int i = 0; i < count; ++i) {
        const std::size_t size =
            texts[i].compression >= PNG_ITXT_COMPRESSION_NONE ? texts[i].itxt_length : texts[i].text_length;
        d.texts.emplace_back(texts[i].key, std::string(texts[i].text, size));
    }
    if (d.errors.textWarning[0] != '\0') {
        error = std::string("the PNG file is damaged (") + d.errors.textWarning + ")";
        d.destroy();
        return false;
    }
    return true;
}

int PngRowReader::width() const {
    return m_impl->width;
}

int PngRowReader::height() const {
    return m_impl->height;
}

std::optional<std::string> PngRowReader::text(std::string_view keyword) const {
    for (const auto& [key, text] : m_impl->texts) {
        if (key == keyword) {
            return text;
        }
    }
    return std::nullopt;
}

bool PngRowReader::readRows(std::uint8_t* rows, int count, std::string& error) {
    Impl& d = *m_impl;
    if (d.png == nullptr || count < 0 || d.rowsRead + count > d.height) {
        error = "more rows than the PNG picture holds";
        return false;
    }
    if (!ReadPngRows(d, rows, count, static_cast<std::size_t>(d.width) * 3)) {
        error = ReadFault(d, "inside its pixel data");
        d.destroy();
        return false;
    }
    d.rowsRead += count;
    return true;
}

bool PngRowReader::finish(std::string& error) {
    Impl& d = *m_impl;
    if (d.png == nullptr || d.rowsRead != d.height) {
        error = "the PNG picture's rows were not all read";
        return false;
    }
    const bool ok = EndPngRead(d);
    if (!ok) {
        error = ReadFault(d, "after its pixel data");
    }
    d.destroy();
    return ok;
}

PngRecordText ReadPngRecord(const std::string& path) {
    PngRecordText result;
    std::FILE* file = OpenRegularFile(path, result.error);
    if (file == nullptr) {
        return result;
    }
    if (!ChunksFitTheFile(file)) {
        std::fclose(file);
        result.error = "the PNG file is truncated (a chunk runs past its end)";
        return result;
    }
    char* text = nullptr;
    std::size_t length = 0;
    PngErrorText errors{};
    const bool ok = ReadPngText(file, &text, &length, &errors);
    // libpng's stdio reader says only "Read Error" for a file that ends too soon.
    const bool atEnd = std::feof(file) != 0;
    std::fclose(file);
    if (!ok) {
        if (atEnd) {
            result.error = "the PNG file is truncated (it ends before its pixel data)";
        } else {
            result.error = std::string("the PNG file is damaged (") +
                           (errors.message[0] != '\0' ? errors.message : "unreadable") + ")";
        }
    } else if (text != nullptr) {
        result.text = std::string(text, length);
        std::free(text);
    } else if (errors.textWarning[0] != '\0') {
        result.error = std::string("the PNG file is damaged (") + errors.textWarning + ")";
    }
    return result;
}

PngPicture ReadPng(const std::string& path) {
    PngPicture result;
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (png_image_begin_read_from_file(&image, path.c_str()) == 0) {
        result.error = image.message;
        return result;
    }
    image.format = PNG_FORMAT_RGB;
    result.pixels.resize(PNG_IMAGE_SIZE(image));
    if (png_image_finish_read(&image, nullptr, result.pixels.data(), 0, nullptr) == 0) {
        result.error = image.message;
        result.pixels.clear();
        return result;
    }
    result.width = static_cast<int>(image.width);
    result.height = static_cast<int>(image.height);
    return result;
}

} // namespace render
