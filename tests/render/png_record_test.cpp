// The record reader of PNG pictures, on files made chunk by chunk: where the record may stand,
// in which kind of text chunk, and what a file that lies about its chunks costs.
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

#include "png_file.h"
#include "test_files.h"

namespace {

const std::string kRecord = "fractals-picture-record\nversion 1\nkind lsystem\n";

std::string BigEndian(std::uint32_t v) {
    return {static_cast<char>(v >> 24), static_cast<char>(v >> 16), static_cast<char>(v >> 8),
            static_cast<char>(v)};
}

std::string Chunk(const std::string& type, const std::string& data) {
    const std::string typeAndData = type + data;
    const auto crc = crc32(crc32(0L, Z_NULL, 0), reinterpret_cast<const Bytef*>(typeAndData.data()),
                           static_cast<uInt>(typeAndData.size()));
    return BigEndian(static_cast<std::uint32_t>(data.size())) + typeAndData +
           BigEndian(static_cast<std::uint32_t>(crc));
}

std::string Deflated(const std::string& text) {
    uLongf size = compressBound(static_cast<uLong>(text.size()));
    std::string out(size, '\0');
    compress(reinterpret_cast<Bytef*>(out.data()), &size, reinterpret_cast<const Bytef*>(text.data()),
             static_cast<uLong>(text.size()));
    out.resize(size);
    return out;
}

const std::string kSignature = "\x89PNG\r\n\x1a\n";
// One grey pixel.
const std::string kHeader =
    Chunk("IHDR", BigEndian(1) + BigEndian(1) + std::string("\x08\x00\x00\x00\x00", 5));
const std::string kPixels = Chunk("IDAT", Deflated(std::string(2, '\0')));
const std::string kEnd = Chunk("IEND", "");
const std::string kKey = std::string("fractals-picture-record") + '\0';

std::string Picture(const std::string& beforePixels, const std::string& afterPixels = "") {
    return kSignature + kHeader + beforePixels + kPixels + afterPixels + kEnd;
}

/// A folder of its own, removed at the end.
class Folder {
public:
    [[nodiscard]] std::filesystem::path file(const char* name) const { return m_scratch.path() / name; }

private:
    testing_support::TemporaryFolder m_scratch{"png_record_test"};
};

struct RecordRow {
    const char* name;
    std::string file;
    std::optional<std::string> record; // nothing: read without a record
};

class PngRecordTest : public testing::TestWithParam<RecordRow> {};

TEST_P(PngRecordTest, FindsTheRecordWhereAWriterMayPutIt) {
    const Folder folder;
    const std::filesystem::path path = folder.file("picture.png");
    testing_support::WriteFileBytes(path, GetParam().file);
    const render::PngRecordText read = render::ReadPngRecord(path.string());
    ASSERT_TRUE(read.ok()) << read.error;
    EXPECT_EQ(read.text, GetParam().record);
}

INSTANTIATE_TEST_SUITE_P(
    Render, PngRecordTest,
    testing::Values(
        RecordRow{"international_text", Picture(Chunk("iTXt", kKey + std::string(3, '\0') + '\0' + kRecord)),
                  kRecord},
        RecordRow{"compressed_international_text",
                  Picture(Chunk("iTXt", kKey + std::string("\x01\x00\x00\x00", 4) + Deflated(kRecord))),
                  kRecord},
        RecordRow{"plain_text", Picture(Chunk("tEXt", kKey + kRecord)), kRecord},
        RecordRow{"compressed_text", Picture(Chunk("zTXt", kKey + '\0' + Deflated(kRecord))), kRecord},
        // A large profile or comment of another program does not hide the record.
        RecordRow{"after_a_large_comment",
                  Picture(Chunk("tEXt", std::string("Comment") + '\0' + std::string(300000, 'x')) +
                          Chunk("tEXt", kKey + kRecord)),
                  kRecord},
        RecordRow{"other_keyword", Picture(Chunk("tEXt", std::string("Comment") + '\0' + kRecord)),
                  std::nullopt},
        RecordRow{"after_the_pixels", Picture("", Chunk("tEXt", kKey + kRecord)), std::nullopt},
        RecordRow{"no_text", Picture(""), std::nullopt}),
    [](const testing::TestParamInfo<RecordRow>& info) { return std::string(info.param.name); });

std::int64_t StatusKilobytes(const char* field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.starts_with(field)) {
            return std::stoll(line.substr(std::string(field).size()));
        }
    }
    return -1;
}

// A chunk header may claim up to 2 GB; a few hundred bytes of file claiming that must not make
// the reader reserve it. Run in a child of its own, whose peak address-space size starts at
// what it has, so the peak shows what the one read took.
TEST(PngRecordMemoryTest, ChunkLongerThanTheFileIsRefusedWithoutReservingItsLength) {
    const Folder folder;
    const std::filesystem::path path = folder.file("liar.png");
    const std::string claim = BigEndian(0x7FFFFF00) + "iTXt" + kKey + std::string(40, 'x');
    testing_support::WriteFileBytes(path, kSignature + kHeader + claim);

    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        const std::int64_t before = StatusKilobytes("VmSize:");
        const render::PngRecordText read = render::ReadPngRecord(path.string());
        const std::int64_t grown = StatusKilobytes("VmPeak:") - before;
        ::_exit(read.ok() ? 2 : grown > 256 * 1024 ? 3 : 0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_NE(WEXITSTATUS(status), 2) << "the damaged file was read as a picture";
    EXPECT_NE(WEXITSTATUS(status), 3) << "reading it reserved more than 256 MB";
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

} // namespace
