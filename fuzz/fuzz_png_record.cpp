// The record reader of PNG pictures (fractal-render's --from): the picture may come from
// anywhere, damaged, cut short or made to mislead.
#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include <zlib.h>

#include "fuzz_support.h"
#include "png_file.h"

namespace {

constexpr std::size_t kSignatureSize = 8;
constexpr std::size_t kMaxRecordBytes = 1 << 16; // what the reader keeps at most

std::uint32_t ReadBigEndian(const std::uint8_t* p) {
    return std::uint32_t{p[0]} << 24 | std::uint32_t{p[1]} << 16 | std::uint32_t{p[2]} << 8 | p[3];
}

void WriteBigEndian(std::uint8_t* p, std::uint32_t v) {
    p[0] = static_cast<std::uint8_t>(v >> 24);
    p[1] = static_cast<std::uint8_t>(v >> 16);
    p[2] = static_cast<std::uint8_t>(v >> 8);
    p[3] = static_cast<std::uint8_t>(v);
}

// libpng refuses a chunk whose checksum is wrong before it looks at its content, and no
// mutation keeps a checksum right; so half the inputs (the even-sized ones) get every whole
// chunk's checksum put right, and the fuzzer reaches the chunk readers behind the check.
void FixChecksums(std::vector<std::uint8_t>& bytes) {
    std::size_t at = kSignatureSize;
    while (at + 12 <= bytes.size()) {
        const std::size_t length = ReadBigEndian(&bytes[at]);
        if (length > bytes.size() - at - 12) {
            return;
        }
        const std::uint8_t* typeAndData = &bytes[at + 4];
        const auto crc = static_cast<std::uint32_t>(
            crc32(crc32(0L, Z_NULL, 0), typeAndData, static_cast<uInt>(length + 4)));
        WriteBigEndian(&bytes[at + 8 + length], crc);
        at += length + 12;
    }
}

// Whether a zTXt chunk or a compressed iTXt chunk is among the whole chunks of the file.
bool HasCompressedText(const std::vector<std::uint8_t>& bytes) {
    std::size_t at = kSignatureSize;
    while (at + 12 <= bytes.size()) {
        const std::size_t length = ReadBigEndian(&bytes[at]);
        if (length > bytes.size() - at - 12) {
            // libpng stops at a cut chunk, so a record can only come from the chunks before.
            return false;
        }
        const std::string_view type(reinterpret_cast<const char*>(&bytes[at + 4]), 4);
        const std::string_view chunk(reinterpret_cast<const char*>(&bytes[at + 8]), length);
        if (type == "zTXt") {
            return true;
        }
        if (type == "iTXt") {
            const std::size_t nul = chunk.find('\0');
            if (nul == std::string_view::npos || nul + 1 >= chunk.size() || chunk[nul + 1] != 0) {
                return true;
            }
        }
        at += length + 12;
    }
    return false;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::string path = fuzz_support::PrivateFolder() + "/input.png";
    std::vector<std::uint8_t> bytes(data, data + size);
    if (size % 2 == 0) {
        FixChecksums(bytes);
    }
    fuzz_support::WriteWholeFile(path, bytes.data(), bytes.size());

    const render::PngRecordText read = render::ReadPngRecord(path);
    if (!read.ok()) {
        // A refused file gives no half-read record.
        FUZZ_CHECK(!read.text.has_value());
        return 0;
    }
    // Nothing but a PNG file is read as one.
    static const std::uint8_t kSignature[kSignatureSize] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    FUZZ_CHECK(size >= kSignatureSize && std::equal(kSignature, kSignature + kSignatureSize, data));
    if (read.text) {
        FUZZ_CHECK(read.text->size() <= kMaxRecordBytes);
        // Found under its own keyword, which every kind of text chunk stores uncompressed.
        const std::string_view file(reinterpret_cast<const char*>(bytes.data()), bytes.size());
        FUZZ_CHECK(file.find(render::kPngRecordKeyword) != std::string_view::npos);
        // From an uncompressed chunk the record is the chunk's bytes as they stand.
        if (!HasCompressedText(bytes)) {
            FUZZ_CHECK(file.find(*read.text) != std::string_view::npos);
        }
    }
    return 0;
}
