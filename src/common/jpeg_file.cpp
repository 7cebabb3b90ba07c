#include "jpeg_file.h"

#include "atomic_file.h"

#include <cerrno>
#include <csetjmp>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <utility>

#include <sys/stat.h>

#include <jpeglib.h>
// After jpeglib.h, which it builds on.
#include <jerror.h>

namespace {

// libjpeg reports fatal errors through error_exit, which must not return. We longjmp back into
// the function that called the library; `pub` comes first because the library hands the
// callbacks a pointer to it.
struct ErrorState {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
    bool hasMessage;
    bool warned;
};

// libjpeg's own stdio source calls fread again for every byte it wants past the end, which a
// damaged length field turns into tens of thousands of system calls; it also cannot tell a read
// error from the end of the file. This one remembers both.
struct FileSource {
    jpeg_source_mgr pub;
    std::FILE* file;
    bool startOfFile;
    bool atEnd;
    int readError; // errno of a failed read, 0 if none
    JOCTET buffer[16384];
};

const JOCTET kFakeEndMarker[2] = {0xFF, JPEG_EOI};

void CopyMessage(char* out, std::size_t outSize, const char* text) {
    std::snprintf(out, outSize, "%s", text);
}

} // namespace

extern "C" {

// The first problem reported is kept: for a truncated file, "Premature end of JPEG file" says
// more than whatever error follows from the missing data.
static void FractalsJpegErrorExit(j_common_ptr cinfo) {
    auto* state = reinterpret_cast<ErrorState*>(cinfo->err);
    if (!state->hasMessage) {
        (*cinfo->err->format_message)(cinfo, state->message);
        state->hasMessage = true;
    }
    std::longjmp(state->jump, 1);
}

// The library would print to stderr; the caller shows our message instead.
static void FractalsJpegOutputMessage(j_common_ptr) {}

// A warning means the data is damaged (most often truncated) and the library filled the gap
// with grey; we refuse such a picture rather than show it as if it were whole.
static void FractalsJpegEmitMessage(j_common_ptr cinfo, int msgLevel) {
    if (msgLevel >= 0) {
        return;
    }
    auto* state = reinterpret_cast<ErrorState*>(cinfo->err);
    if (!state->hasMessage) {
        (*cinfo->err->format_message)(cinfo, state->message);
        state->hasMessage = true;
    }
    state->warned = true;
    cinfo->err->num_warnings++;
}

static void FractalsJpegInitSource(j_decompress_ptr) {}

static void FractalsJpegTermSource(j_decompress_ptr) {}

static boolean FractalsJpegFillInput(j_decompress_ptr cinfo) {
    auto* source = reinterpret_cast<FileSource*>(cinfo->src);
    if (!source->atEnd) {
        const std::size_t count = std::fread(source->buffer, 1, sizeof source->buffer, source->file);
        if (count > 0) {
            source->pub.next_input_byte = source->buffer;
            source->pub.bytes_in_buffer = count;
            source->startOfFile = false;
            return TRUE;
        }
        if (std::ferror(source->file)) {
            source->readError = errno != 0 ? errno : EIO;
            ERREXIT(cinfo, JERR_FILE_READ);
        }
        if (source->startOfFile) {
            ERREXIT(cinfo, JERR_INPUT_EMPTY);
        }
        source->atEnd = true;
        WARNMS(cinfo, JWRN_JPEG_EOF);
    }
    // An end marker lets the library wind down cleanly; the warning above already marks the
    // picture as damaged.
    source->pub.next_input_byte = kFakeEndMarker;
    source->pub.bytes_in_buffer = sizeof kFakeEndMarker;
    return TRUE;
}

static void FractalsJpegSkipInput(j_decompress_ptr cinfo, long count) {
    auto* source = reinterpret_cast<FileSource*>(cinfo->src);
    while (count > static_cast<long>(source->pub.bytes_in_buffer)) {
        count -= static_cast<long>(source->pub.bytes_in_buffer);
        FractalsJpegFillInput(cinfo);
        if (source->atEnd) {
            return; // nothing left to skip; the end marker stays in place
        }
    }
    if (count > 0) {
        source->pub.next_input_byte += count;
        source->pub.bytes_in_buffer -= static_cast<std::size_t>(count);
    }
}

} // extern "C"

namespace {

void InitFileSource(FileSource& source, std::FILE* file) {
    source.pub.init_source = FractalsJpegInitSource;
    source.pub.fill_input_buffer = FractalsJpegFillInput;
    source.pub.skip_input_data = FractalsJpegSkipInput;
    source.pub.resync_to_restart = jpeg_resync_to_restart;
    source.pub.term_source = FractalsJpegTermSource;
    source.pub.next_input_byte = nullptr;
    source.pub.bytes_in_buffer = 0;
    source.file = file;
    source.startOfFile = true;
    source.atEnd = false;
    source.readError = 0;
}

void InitErrorState(ErrorState& state) {
    jpeg_std_error(&state.pub);
    state.pub.error_exit = FractalsJpegErrorExit;
    state.pub.output_message = FractalsJpegOutputMessage;
    state.pub.emit_message = FractalsJpegEmitMessage;
    state.message[0] = '\0';
    state.hasMessage = false;
    state.warned = false;
}

// Kept out of Decode so that no allocation (or its bad_alloc) happens in the frame holding the
// jump buffer.
bool AllocatePixels(common::RgbImage* image, int width, int height) noexcept {
    try {
        image->pixels.assign(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 3, 0);
    } catch (const std::bad_alloc&) {
        return false;
    }
    image->width = width;
    image->height = height;
    return true;
}

// Between setjmp and the last library call this frame holds only C objects: a longjmp skips
// destructors, so a std::string here would leak or worse.
bool Decode(std::FILE* file, common::RgbImage* image, char* message, std::size_t messageSize) {
    jpeg_decompress_struct cinfo{};
    ErrorState state;
    InitErrorState(state);
    FileSource source;
    InitFileSource(source, file);
    cinfo.err = &state.pub;
    if (setjmp(state.jump) != 0) {
        jpeg_destroy_decompress(&cinfo);
        CopyMessage(message, messageSize,
                    source.readError != 0 ? std::strerror(source.readError) : state.message);
        return false;
    }
    jpeg_create_decompress(&cinfo);
    cinfo.src = &source.pub;
    jpeg_read_header(&cinfo, TRUE);

    // The header alone can claim up to 65500 x 65500; refuse before the library sizes its row
    // buffers or we size the picture.
    const long long width = cinfo.image_width;
    const long long height = cinfo.image_height;
    if (width > common::kMaxJpegSide || height > common::kMaxJpegSide ||
        width * height > common::kMaxJpegPixels) {
        std::snprintf(message, messageSize,
                      "JPEG picture is too large: %lld x %lld pixels (at most %d a side and %lld in all)",
                      width, height, common::kMaxJpegSide, common::kMaxJpegPixels);
        jpeg_destroy_decompress(&cinfo);
        return false;
    }

    cinfo.out_color_space = JCS_RGB;
    jpeg_start_decompress(&cinfo);
    if (cinfo.output_components != 3) {
        std::snprintf(message, messageSize, "JPEG picture decodes to %d components instead of 3",
                      cinfo.output_components);
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    const int outWidth = static_cast<int>(cinfo.output_width);
    const int outHeight = static_cast<int>(cinfo.output_height);
    if (!AllocatePixels(image, outWidth, outHeight)) {
        std::snprintf(message, messageSize, "Not enough memory for a %d x %d picture", outWidth, outHeight);
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    const std::size_t rowBytes = static_cast<std::size_t>(outWidth) * 3;
    while (cinfo.output_scanline < cinfo.output_height) {
        JSAMPROW row = image->pixels.data() + static_cast<std::size_t>(cinfo.output_scanline) * rowBytes;
        jpeg_read_scanlines(&cinfo, &row, 1);
    }
    // Reads on to the end marker, so a file cut short after the last row still warns.
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    if (state.warned) {
        CopyMessage(message, messageSize, state.message);
        return false;
    }
    return true;
}

// The writer's library state. Each step below calls the library from a frame of its own that
// holds its jump buffer and, like Decode, nothing with a destructor.
struct CompressState {
    jpeg_compress_struct cinfo;
    ErrorState state;
    bool created;
    char message[JMSG_LENGTH_MAX + 64];
};

bool StartCompress(CompressState& d, std::FILE* file, int width, int height, const char* record,
                   std::size_t recordSize) {
    InitErrorState(d.state);
    d.cinfo.err = &d.state.pub;
    if (setjmp(d.state.jump) != 0) {
        jpeg_destroy_compress(&d.cinfo);
        d.created = false;
        CopyMessage(d.message, sizeof d.message, d.state.message);
        return false;
    }
    jpeg_create_compress(&d.cinfo);
    d.created = true;
    jpeg_stdio_dest(&d.cinfo, file);
    d.cinfo.image_width = static_cast<JDIMENSION>(width);
    d.cinfo.image_height = static_cast<JDIMENSION>(height);
    d.cinfo.input_components = 3;
    d.cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&d.cinfo);
    jpeg_set_quality(&d.cinfo, 100, TRUE);
    jpeg_start_compress(&d.cinfo, TRUE);
    if (recordSize > 0) {
        jpeg_write_marker(&d.cinfo, JPEG_COM, reinterpret_cast<const JOCTET*>(record),
                          static_cast<unsigned int>(recordSize));
    }
    return true;
}

bool WriteScanlines(CompressState& d, const std::uint8_t* rows, int count) {
    if (setjmp(d.state.jump) != 0) {
        jpeg_destroy_compress(&d.cinfo);
        d.created = false;
        CopyMessage(d.message, sizeof d.message, d.state.message);
        return false;
    }
    const std::size_t rowBytes = static_cast<std::size_t>(d.cinfo.image_width) * 3;
    for (int i = 0; i < count; ++i) {
        // The library only reads the rows; its interface just lacks const.
        JSAMPROW row = const_cast<JSAMPLE*>(rows) + static_cast<std::size_t>(i) * rowBytes;
        jpeg_write_scanlines(&d.cinfo, &row, 1);
    }
    return true;
}

bool FinishCompress(CompressState& d) {
    if (setjmp(d.state.jump) != 0) {
        jpeg_destroy_compress(&d.cinfo);
        d.created = false;
        CopyMessage(d.message, sizeof d.message, d.state.message);
        return false;
    }
    jpeg_finish_compress(&d.cinfo);
    jpeg_destroy_compress(&d.cinfo);
    d.created = false;
    if (d.state.warned) {
        CopyMessage(d.message, sizeof d.message, d.state.message);
        return false;
    }
    return true;
}

// Reads the headers only and copies the first comment that starts like a picture record into
// `out`. Same rule as Decode: nothing with a destructor lives in this frame.
bool ReadRecordComment(std::FILE* file, char* out, std::size_t outSize, std::size_t* outLength, bool* found,
                       char* message, std::size_t messageSize) {
    jpeg_decompress_struct cinfo{};
    ErrorState state;
    InitErrorState(state);
    FileSource source;
    InitFileSource(source, file);
    cinfo.err = &state.pub;
    *found = false;
    if (setjmp(state.jump) != 0) {
        jpeg_destroy_decompress(&cinfo);
        CopyMessage(message, messageSize,
                    source.readError != 0 ? std::strerror(source.readError) : state.message);
        return false;
    }
    jpeg_create_decompress(&cinfo);
    cinfo.src = &source.pub;
    jpeg_save_markers(&cinfo, JPEG_COM, 0xFFFF);
    jpeg_read_header(&cinfo, TRUE);
    for (jpeg_saved_marker_ptr marker = cinfo.marker_list; marker != nullptr; marker = marker->next) {
        const std::string_view bytes(reinterpret_cast<const char*>(marker->data), marker->data_length);
        if (marker->marker == JPEG_COM && common::LooksLikePictureRecord(bytes) && bytes.size() <= outSize) {
            std::memcpy(out, bytes.data(), bytes.size());
            *outLength = bytes.size();
            *found = true;
            break;
        }
    }
    jpeg_destroy_decompress(&cinfo);
    return true;
}

common::JpegResult Failure(std::string message) {
    return {false, std::move(message)};
}

} // namespace

namespace common {

JpegResult WriteJpeg(const std::string& path, const RgbImage& image, std::string_view record) {
    if (image.empty()) {
        return Failure("Cannot write an empty picture (" + std::to_string(image.width) + " x " +
                       std::to_string(image.height) + " pixels) as JPEG");
    }
    if (image.pixels.size() != image.rowBytes() * static_cast<std::size_t>(image.height)) {
        return Failure("Picture data does not match its size of " + std::to_string(image.width) + " x " +
                       std::to_string(image.height) + " pixels");
    }
    if (record.size() > kMaxJpegCommentBytes) {
        return Failure("The picture record is too long for a JPEG comment");
    }
    AtomicFile output;
    std::string message;
    if (!output.open(path, message)) {
        return Failure(message);
    }
    JpegStreamWriter writer;
    if (!writer.start(output.file(), image.width, image.height, record, message) ||
        !writer.writeRows(image.pixels.data(), image.height, message) || !writer.finish(message) ||
        !output.commit(message)) {
        return Failure(message);
    }
    return {true, {}};
}

JpegReadResult ReadJpeg(const std::string& path) {
    JpegReadResult result;
    std::FILE* file = std::fopen(path.c_str(), "rbe");
    if (file == nullptr) {
        result.error = std::strerror(errno);
        return result;
    }
    // Opening a folder for reading succeeds; say so plainly instead of waiting for the first read
    // to fail in the middle of the library.
    struct stat info {};
    if (::fstat(::fileno(file), &info) != 0) {
        result.error = std::strerror(errno);
        std::fclose(file);
        return result;
    }
    if (S_ISDIR(info.st_mode)) {
        result.error = std::strerror(EISDIR);
        std::fclose(file);
        return result;
    }

    char message[JMSG_LENGTH_MAX + 128];
    const bool ok = Decode(file, &result.image, message, sizeof message);
    std::fclose(file);
    if (!ok) {
        result.image = RgbImage();
        result.error = message[0] != '\0' ? message : "Unreadable JPEG file";
    }
    return result;
}

struct JpegStreamWriter::Impl : CompressState {};

JpegStreamWriter::JpegStreamWriter() : m_impl(std::make_unique<Impl>()) {
    m_impl->created = false;
    m_impl->message[0] = '\0';
}

JpegStreamWriter::~JpegStreamWriter() {
    if (m_impl->created) {
        jpeg_destroy_compress(&m_impl->cinfo);
    }
}

bool JpegStreamWriter::start(std::FILE* file, int width, int height, std::string_view record,
                             std::string& error) {
    if (width <= 0 || height <= 0 || width > JPEG_MAX_DIMENSION || height > JPEG_MAX_DIMENSION) {
        error = "JPEG pictures are 1 to " + std::to_string(JPEG_MAX_DIMENSION) + " pixels a side, not " +
                std::to_string(width) + " x " + std::to_string(height);
        return false;
    }
    if (record.size() > kMaxJpegCommentBytes) {
        error = "The picture record is too long for a JPEG comment";
        return false;
    }
    if (m_impl->created) {
        error = "The JPEG writer was already started";
        return false;
    }
    if (!StartCompress(*m_impl, file, width, height, record.data(), record.size())) {
        error = m_impl->message;
        return false;
    }
    return true;
}

bool JpegStreamWriter::writeRows(const std::uint8_t* rows, int count, std::string& error) {
    if (!m_impl->created) {
        error = "The JPEG writer is not running";
        return false;
    }
    if (count < 0 ||
        m_impl->cinfo.next_scanline + static_cast<JDIMENSION>(count) > m_impl->cinfo.image_height) {
        error = "More rows than the JPEG picture holds";
        return false;
    }
    if (!WriteScanlines(*m_impl, rows, count)) {
        error = m_impl->message;
        return false;
    }
    return true;
}

bool JpegStreamWriter::finish(std::string& error) {
    if (!m_impl->created) {
        error = "The JPEG writer is not running";
        return false;
    }
    if (m_impl->cinfo.next_scanline != m_impl->cinfo.image_height) {
        error = "The JPEG picture is missing rows";
        return false;
    }
    if (!FinishCompress(*m_impl)) {
        error = m_impl->message;
        return false;
    }
    return true;
}

JpegRecordText ReadJpegRecord(const std::string& path) {
    JpegRecordText result;
    // Opening a pipe for reading waits for a writer; a folder or a device holds no picture.
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        result.error = std::strerror(errno);
        return result;
    }
    if (!S_ISREG(info.st_mode)) {
        result.error = S_ISDIR(info.st_mode) ? std::strerror(EISDIR) : "Not a regular file";
        return result;
    }
    std::FILE* file = std::fopen(path.c_str(), "rbe");
    if (file == nullptr) {
        result.error = std::strerror(errno);
        return result;
    }
    std::unique_ptr<char[]> text = std::make_unique<char[]>(kMaxJpegCommentBytes + 2);
    std::size_t length = 0;
    bool found = false;
    char message[JMSG_LENGTH_MAX + 128];
    message[0] = '\0';
    const bool ok = ReadRecordComment(file, text.get(), kMaxJpegCommentBytes + 2, &length, &found, message,
                                      sizeof message);
    std::fclose(file);
    if (!ok) {
        result.error = message[0] != '\0' ? message : "Unreadable JPEG file";
    } else if (found) {
        result.text = std::string(text.get(), length);
    }
    return result;
}

std::optional<PictureRecord> ReadPictureRecord(const std::string& path) {
    const JpegRecordText found = ReadJpegRecord(path);
    if (!found.ok() || !found.text) {
        return std::nullopt;
    }
    return ParsePictureRecord(*found.text);
}

} // namespace common
