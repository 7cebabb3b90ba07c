#include "jpeg_file.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <ostream>
#include <set>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

// jpeglib.h needs FILE and size_t declared first.
#include <jpeglib.h>

#include <climits>

#include <gtest/gtest.h>

#include "test_files.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;
using common::Colour;
using common::RgbImage;

// ---------------------------------------------------------------------------------------------
// Helpers

/// A folder of its own for each test, removed afterwards even if a test made it read-only.
class TempFolder {
public:
    TempFolder() {
        std::string pattern = (fs::path(testing::TempDir()) / "jpeg_file_test.XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) {
            ADD_FAILURE() << "mkdtemp failed for " << pattern;
            return;
        }
        path_ = pattern;
    }
    ~TempFolder() {
        std::error_code ignored;
        if (path_.empty()) {
            return;
        }
        for (const auto& entry : fs::recursive_directory_iterator(path_, ignored)) {
            if (entry.is_directory(ignored)) {
                fs::permissions(entry.path(), fs::perms::owner_all, fs::perm_options::add, ignored);
            }
        }
        fs::remove_all(path_, ignored);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    [[nodiscard]] const fs::path& path() const { return path_; }

private:
    fs::path path_;
};

Bytes ReadBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteBytes(const fs::path& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    ASSERT_TRUE(out.good()) << "could not write " << path;
}

std::set<std::string> FolderEntries(const fs::path& folder) {
    std::set<std::string> names;
    std::error_code ignored;
    for (const auto& entry : fs::directory_iterator(folder, ignored)) {
        names.insert(entry.path().filename().string());
    }
    return names;
}

/// Smooth gradients in all three channels with hard edges across them: a white square, a black
/// stripe through the full height and a red block. The odd size leaves partial blocks on the
/// right and bottom.
RgbImage TestPicture(int width = 37, int height = 23) {
    RgbImage image(width, height);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            Colour c{static_cast<std::uint8_t>(x * 255 / (width - 1)),
                     static_cast<std::uint8_t>(y * 255 / (height - 1)),
                     static_cast<std::uint8_t>(255 - (x + y) * 255 / (width + height - 2))};
            if (x >= 5 && x < 13 && y >= 4 && y < 12) {
                c = common::kWhite;
            }
            if (x >= 20 && x < 23) {
                c = common::kBlack;
            }
            if (x >= 26 && x < 34 && y >= 14 && y < 21) {
                c = common::kRed;
            }
            image.set(x, y, c);
        }
    }
    return image;
}

int MaxChannelDiff(Colour a, Colour b) {
    return std::max({std::abs(a.r - b.r), std::abs(a.g - b.g), std::abs(a.b - b.b)});
}

void WritePpm(const fs::path& path, const RgbImage& image) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << "P6\n" << image.width << ' ' << image.height << "\n255\n";
    out.write(reinterpret_cast<const char*>(image.pixels.data()),
              static_cast<std::streamsize>(image.pixels.size()));
}

/// What the markers before the scan say about a JPEG file.
struct JpegLayout {
    std::vector<std::vector<int>> quantTables; // 64 entries each, in file order
    std::vector<int> frameMarkers;             // second byte of every SOFn marker
    int components = 0;
    int width = 0;
    int height = 0;
    std::size_t frameOffset = 0; // where the first SOFn marker's 0xFF is
    bool reachedScan = false;
    std::size_t scanOffset = 0; // where the SOS marker's 0xFF is
};

bool IsFrameMarker(int marker) {
    return marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
}

JpegLayout ParseLayout(const Bytes& file) {
    JpegLayout layout;
    if (file.size() < 4 || file[0] != 0xFF || file[1] != 0xD8) {
        ADD_FAILURE() << "file does not start with SOI";
        return layout;
    }
    std::size_t pos = 2;
    while (pos + 4 <= file.size()) {
        if (file[pos] != 0xFF) {
            ADD_FAILURE() << "expected a marker at offset " << pos;
            return layout;
        }
        const int marker = file[pos + 1];
        const std::size_t length = (std::size_t{file[pos + 2]} << 8) | file[pos + 3];
        const std::size_t body = pos + 4;
        const std::size_t end = pos + 2 + length;
        if (length < 2 || end > file.size()) {
            ADD_FAILURE() << "segment at offset " << pos << " runs past the end";
            return layout;
        }
        if (marker == 0xDA) {
            layout.reachedScan = true;
            layout.scanOffset = pos;
            return layout;
        }
        if (marker == 0xDB) {
            std::size_t p = body;
            while (p < end) {
                const bool sixteenBit = (file[p] >> 4) != 0;
                ++p;
                std::vector<int> table;
                for (int i = 0; i < 64 && p < end; ++i) {
                    table.push_back(sixteenBit ? (file[p] << 8) | file[p + 1] : file[p]);
                    p += sixteenBit ? 2 : 1;
                }
                layout.quantTables.push_back(table);
            }
        }
        if (IsFrameMarker(marker)) {
            if (layout.frameMarkers.empty()) {
                layout.frameOffset = pos;
                layout.height = (file[body + 1] << 8) | file[body + 2];
                layout.width = (file[body + 3] << 8) | file[body + 4];
                layout.components = file[body + 5];
            }
            layout.frameMarkers.push_back(marker);
        }
        pos = end;
    }
    ADD_FAILURE() << "no SOS marker found";
    return layout;
}

using testing_support::FileMode;
using testing_support::ScopedUmask;

// ---------------------------------------------------------------------------------------------
// Writing

class JpegWriteTest : public testing::Test {
protected:
    TempFolder folder_;
};

TEST_F(JpegWriteTest, WritesBaselineRgbAtQualityHundred) {
    const fs::path target = folder_.path() / "picture.jpg";
    const common::JpegResult written = common::WriteJpeg(target.string(), TestPicture());
    ASSERT_TRUE(written.ok) << written.error;
    EXPECT_TRUE(written.error.empty());

    const JpegLayout layout = ParseLayout(ReadBytes(target));
    ASSERT_TRUE(layout.reachedScan);
    EXPECT_EQ(layout.frameMarkers, std::vector<int>{0xC0}) << "expected exactly one SOF0 (baseline) frame";
    EXPECT_EQ(layout.components, 3);
    EXPECT_EQ(layout.width, 37);
    EXPECT_EQ(layout.height, 23);
    // One table for luminance, one for both chroma channels.
    ASSERT_EQ(layout.quantTables.size(), 2u);
    for (std::size_t t = 0; t < layout.quantTables.size(); ++t) {
        ASSERT_EQ(layout.quantTables[t].size(), 64u) << "table " << t;
        for (std::size_t i = 0; i < 64; ++i) {
            EXPECT_EQ(layout.quantTables[t][i], 1) << "table " << t << " entry " << i;
        }
    }
    EXPECT_EQ(FolderEntries(folder_.path()), std::set<std::string>{"picture.jpg"})
        << "the temporary file must be renamed, not copied";
}

// A name the folder takes must be writable, also when the temporary name beside it would be
// too long with its suffix appended.
TEST_F(JpegWriteTest, WritesUnderTheLongestNameTheFolderTakes) {
    const std::string name = std::string(NAME_MAX - 4, 'b') + ".jpg";
    const fs::path target = folder_.path() / name;
    const common::JpegResult written = common::WriteJpeg(target.string(), TestPicture());
    ASSERT_TRUE(written.ok) << written.error;
    EXPECT_EQ(FolderEntries(folder_.path()), std::set<std::string>{name});
}

// Chroma is stored at half resolution by libjpeg's defaults, so a hard colour edge smears over
// about two pixels however high the quality. The tolerances therefore split:
//  - pixels with no hard edge within 2 pixels: every channel within 10, mean within 1.5
//    (measured 8 and 0.93);
//  - every pixel: luma (BT.601 weights) within 20 (measured 15), which still catches any
//    shifted row, column or swapped channel at the edges.
TEST_F(JpegWriteTest, RoundTripStaysWithinTolerance) {
    constexpr int kFarMaxDiff = 10;
    constexpr double kFarMeanDiff = 1.5;
    constexpr double kLumaMaxDiff = 20.0;
    constexpr int kHardEdgeStep = 48; // larger than any 2-pixel step of the gradients
    constexpr int kReportedFailures = 10;

    const RgbImage expected = TestPicture();
    const fs::path target = folder_.path() / "round_trip.jpg";
    const common::JpegResult written = common::WriteJpeg(target.string(), expected);
    ASSERT_TRUE(written.ok) << written.error;
    const common::JpegReadResult read = common::ReadJpeg(target.string());
    ASSERT_TRUE(read.ok()) << read.error;
    ASSERT_EQ(read.image.width, expected.width);
    ASSERT_EQ(read.image.height, expected.height);
    ASSERT_EQ(read.image.pixels.size(), expected.pixels.size());

    auto nearHardEdge = [&](int x, int y) {
        for (int dy = -2; dy <= 2; ++dy) {
            for (int dx = -2; dx <= 2; ++dx) {
                const int nx = x + dx;
                const int ny = y + dy;
                if (nx >= 0 && ny >= 0 && nx < expected.width && ny < expected.height &&
                    MaxChannelDiff(expected.at(x, y), expected.at(nx, ny)) > kHardEdgeStep) {
                    return true;
                }
            }
        }
        return false;
    };

    int farPixels = 0;
    double farDiffSum = 0;
    int failures = 0;
    for (int y = 0; y < expected.height; ++y) {
        for (int x = 0; x < expected.width; ++x) {
            const Colour want = expected.at(x, y);
            const Colour got = read.image.at(x, y);
            const double luma =
                0.299 * (want.r - got.r) + 0.587 * (want.g - got.g) + 0.114 * (want.b - got.b);
            if (std::fabs(luma) > kLumaMaxDiff && ++failures <= kReportedFailures) {
                ADD_FAILURE() << "luma off by " << luma << " at (" << x << ", " << y << ")";
            }
            if (nearHardEdge(x, y)) {
                continue;
            }
            ++farPixels;
            farDiffSum += std::abs(want.r - got.r) + std::abs(want.g - got.g) + std::abs(want.b - got.b);
            if (MaxChannelDiff(want, got) > kFarMaxDiff && ++failures <= kReportedFailures) {
                ADD_FAILURE() << "channel off by " << MaxChannelDiff(want, got) << " at (" << x << ", " << y
                              << ")";
            }
        }
    }
    // The picture must keep enough smooth area for the strict check to mean something.
    EXPECT_GT(farPixels, expected.width * expected.height / 3);
    const double farMean = farPixels > 0 ? farDiffSum / (3.0 * farPixels) : 0.0;
    EXPECT_LE(farMean, kFarMeanDiff);
    EXPECT_EQ(failures, 0) << "pixels out of tolerance (the first " << kReportedFailures << " are listed)";
    if (failures > 0 || farMean > kFarMeanDiff) {
        const fs::path actualPpm = fs::absolute("jpeg_round_trip_actual.ppm");
        const fs::path expectedPpm = fs::absolute("jpeg_round_trip_expected.ppm");
        WritePpm(actualPpm, read.image);
        WritePpm(expectedPpm, expected);
        ADD_FAILURE() << "pictures written to " << actualPpm << " and " << expectedPpm;
    }
}

TEST_F(JpegWriteTest, ReplacesExistingFileAndKeepsItsMode) {
    const fs::path target = folder_.path() / "existing.jpg";
    WriteBytes(target, Bytes{'o', 'l', 'd'});
    ASSERT_EQ(::chmod(target.c_str(), 0640), 0);
    const ScopedUmask mask(077);

    const common::JpegResult written = common::WriteJpeg(target.string(), TestPicture(9, 5));
    ASSERT_TRUE(written.ok) << written.error;
    EXPECT_EQ(FileMode(target), 0640u);
    const common::JpegReadResult read = common::ReadJpeg(target.string());
    ASSERT_TRUE(read.ok()) << read.error;
    EXPECT_EQ(read.image.width, 9);
    EXPECT_EQ(read.image.height, 5);
    EXPECT_EQ(FolderEntries(folder_.path()), std::set<std::string>{"existing.jpg"});
}

struct UmaskRow {
    const char* name;
    mode_t umask;
    mode_t expectedMode;
};

// Names the row in failure output instead of dumping its bytes.
void PrintTo(const UmaskRow& row, std::ostream* out) {
    *out << row.name;
}

class JpegNewFileModeTest : public testing::TestWithParam<UmaskRow> {
protected:
    TempFolder folder_;
};

TEST_P(JpegNewFileModeTest, FollowsUmask) {
    const fs::path target = folder_.path() / "new.jpg";
    const ScopedUmask mask(GetParam().umask);
    const common::JpegResult written = common::WriteJpeg(target.string(), TestPicture(8, 8));
    ASSERT_TRUE(written.ok) << written.error;
    EXPECT_EQ(FileMode(target), GetParam().expectedMode);
}

INSTANTIATE_TEST_SUITE_P(Jpeg, JpegNewFileModeTest,
                         testing::Values(UmaskRow{"umask_022", 022, 0644}, UmaskRow{"umask_002", 002, 0664},
                                         UmaskRow{"umask_077", 077, 0600}, UmaskRow{"umask_000", 000, 0666}),
                         [](const testing::TestParamInfo<UmaskRow>& info) { return info.param.name; });

struct WriteFailureRow {
    const char* name;
    std::function<fs::path(const fs::path& folder)> target;
    std::function<RgbImage()> image;
    bool existingFile = false; // put a file at the target first; it must survive intact
    bool needsPermissions = false;
    int systemError = 0; // when set, the message must be the system's text for it
};

// Names the row in failure output instead of dumping its bytes.
void PrintTo(const WriteFailureRow& row, std::ostream* out) {
    *out << row.name;
}

class JpegWriteFailureTest : public testing::TestWithParam<WriteFailureRow> {
protected:
    TempFolder folder_;
};

TEST_P(JpegWriteFailureTest, FailsCleanly) {
    const WriteFailureRow& row = GetParam();
    if (row.needsPermissions && ::geteuid() == 0) {
        GTEST_SKIP() << "running as root: folder permissions do not apply";
    }
    const fs::path target = row.target(folder_.path());
    const Bytes previous{'k', 'e', 'e', 'p', ' ', 'm', 'e'};
    if (row.existingFile) {
        WriteBytes(target, previous);
    }
    const std::set<std::string> before = FolderEntries(folder_.path());
    const std::set<std::string> targetFolderBefore = FolderEntries(target.parent_path());

    const common::JpegResult written = common::WriteJpeg(target.string(), row.image());
    EXPECT_FALSE(written.ok);
    EXPECT_FALSE(written.error.empty());
    if (row.systemError != 0) {
        EXPECT_EQ(written.error, std::strerror(row.systemError));
    }

    EXPECT_EQ(FolderEntries(folder_.path()), before) << "a temporary or partial file was left behind";
    EXPECT_EQ(FolderEntries(target.parent_path()), targetFolderBefore)
        << "a temporary or partial file was left behind";
    if (row.existingFile) {
        EXPECT_EQ(ReadBytes(target), previous);
    }
}

fs::path InFolder(const fs::path& folder) {
    return folder / "out.jpg";
}

fs::path ReadOnlyFolder(const fs::path& folder) {
    const fs::path locked = folder / "locked";
    fs::create_directory(locked);
    fs::permissions(locked, fs::perms::owner_read | fs::perms::owner_exec);
    return locked / "out.jpg";
}

fs::path FolderAsTarget(const fs::path& folder) {
    fs::create_directory(folder / "taken.jpg");
    return folder / "taken.jpg";
}

RgbImage ShortPixelBuffer() {
    RgbImage image(4, 4);
    image.pixels.resize(10);
    return image;
}

RgbImage NoPixels() {
    return RgbImage();
}

RgbImage ZeroHeight() {
    return RgbImage(5, 0);
}

RgbImage Picture() {
    return TestPicture();
}

// Wider than JPEG allows: the library itself fails, after the temporary file exists.
RgbImage TooWideForJpeg() {
    return RgbImage(65501, 1);
}

fs::path InMissingFolder(const fs::path& folder) {
    return folder / "absent" / "out.jpg";
}

INSTANTIATE_TEST_SUITE_P(
    Jpeg, JpegWriteFailureTest,
    testing::Values(
        WriteFailureRow{.name = "empty_image", .target = InFolder, .image = NoPixels},
        WriteFailureRow{.name = "zero_height", .target = InFolder, .image = ZeroHeight},
        WriteFailureRow{.name = "pixels_short_of_size", .target = InFolder, .image = ShortPixelBuffer},
        WriteFailureRow{
            .name = "missing_folder", .target = InMissingFolder, .image = Picture, .systemError = ENOENT},
        WriteFailureRow{.name = "read_only_folder",
                        .target = ReadOnlyFolder,
                        .image = Picture,
                        .needsPermissions = true,
                        .systemError = EACCES},
        WriteFailureRow{
            .name = "target_is_folder", .target = FolderAsTarget, .image = Picture, .systemError = EISDIR},
        WriteFailureRow{.name = "too_wide_for_jpeg", .target = InFolder, .image = TooWideForJpeg},
        WriteFailureRow{
            .name = "empty_image_over_existing", .target = InFolder, .image = NoPixels, .existingFile = true},
        WriteFailureRow{.name = "library_error_over_existing",
                        .target = InFolder,
                        .image = TooWideForJpeg,
                        .existingFile = true}),
    [](const testing::TestParamInfo<WriteFailureRow>& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------------------------
// Reading

class JpegReadTest : public testing::Test {
protected:
    TempFolder folder_;
};

// The writer never makes one-channel files, so write it with the library directly.
void WriteGreyJpeg(const fs::path& path, int width, int height, std::uint8_t (*shade)(int x, int y)) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    ASSERT_NE(file, nullptr) << path;
    jpeg_compress_struct cinfo{};
    jpeg_error_mgr err{};
    cinfo.err = jpeg_std_error(&err);
    jpeg_create_compress(&cinfo);
    jpeg_stdio_dest(&cinfo, file);
    cinfo.image_width = static_cast<JDIMENSION>(width);
    cinfo.image_height = static_cast<JDIMENSION>(height);
    cinfo.input_components = 1;
    cinfo.in_color_space = JCS_GRAYSCALE;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, 100, TRUE);
    jpeg_start_compress(&cinfo, TRUE);
    std::vector<JSAMPLE> row(static_cast<std::size_t>(width));
    while (cinfo.next_scanline < cinfo.image_height) {
        for (int x = 0; x < width; ++x) {
            row[static_cast<std::size_t>(x)] = shade(x, static_cast<int>(cinfo.next_scanline));
        }
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&cinfo, rows, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    ASSERT_EQ(std::fclose(file), 0);
}

TEST_F(JpegReadTest, GreyScaleBecomesRgb) {
    auto shade = [](int x, int y) {
        return static_cast<std::uint8_t>(x * 12 + y * 5);
    };
    const fs::path path = folder_.path() / "grey.jpg";
    WriteGreyJpeg(path, 19, 11, shade);
    ASSERT_EQ(ParseLayout(ReadBytes(path)).components, 1) << "the test file should be one-channel";

    const common::JpegReadResult read = common::ReadJpeg(path.string());
    ASSERT_TRUE(read.ok()) << read.error;
    ASSERT_EQ(read.image.width, 19);
    ASSERT_EQ(read.image.height, 11);
    ASSERT_EQ(read.image.pixels.size(), 19u * 11u * 3u);
    for (int y = 0; y < 11; ++y) {
        for (int x = 0; x < 19; ++x) {
            const Colour c = read.image.at(x, y);
            EXPECT_TRUE(c.r == c.g && c.g == c.b) << "(" << x << ", " << y << ")";
            // Grey-scale at quality 100 loses at most rounding.
            EXPECT_NEAR(c.r, shade(x, y), 2) << "(" << x << ", " << y << ")";
        }
    }
}

Bytes Segment(std::uint8_t marker, std::size_t dataBytes) {
    const std::size_t length = dataBytes + 2;
    Bytes segment{0xFF, marker, static_cast<std::uint8_t>(length >> 8),
                  static_cast<std::uint8_t>(length & 0xFF)};
    for (std::size_t i = 0; i < dataBytes; ++i) {
        segment.push_back(static_cast<std::uint8_t>('a' + i % 26));
    }
    return segment;
}

struct ExtraSegmentsRow {
    const char* name;
    std::vector<Bytes> segments; // put right after SOI
};

// Names the row in failure output instead of dumping its bytes.
void PrintTo(const ExtraSegmentsRow& row, std::ostream* out) {
    *out << row.name;
}

class JpegExtraSegmentsTest : public testing::TestWithParam<ExtraSegmentsRow> {
protected:
    TempFolder folder_;
};

// Cameras and editors add comments and metadata the reader has to step over, some larger than
// one read buffer.
TEST_P(JpegExtraSegmentsTest, ReadsSamePicture) {
    const fs::path plain = folder_.path() / "plain.jpg";
    ASSERT_TRUE(common::WriteJpeg(plain.string(), TestPicture()).ok);
    const common::JpegReadResult expected = common::ReadJpeg(plain.string());
    ASSERT_TRUE(expected.ok()) << expected.error;

    const Bytes original = ReadBytes(plain);
    Bytes bytes(original.begin(), original.begin() + 2);
    for (const Bytes& segment : GetParam().segments) {
        bytes.insert(bytes.end(), segment.begin(), segment.end());
    }
    bytes.insert(bytes.end(), original.begin() + 2, original.end());
    const fs::path extended = folder_.path() / "extended.jpg";
    WriteBytes(extended, bytes);

    const common::JpegReadResult read = common::ReadJpeg(extended.string());
    ASSERT_TRUE(read.ok()) << read.error;
    EXPECT_EQ(read.image.width, expected.image.width);
    EXPECT_EQ(read.image.height, expected.image.height);
    EXPECT_EQ(read.image.pixels, expected.image.pixels);
}

INSTANTIATE_TEST_SUITE_P(
    Jpeg, JpegExtraSegmentsTest,
    testing::Values(ExtraSegmentsRow{"comment", {Segment(0xFE, 100)}},
                    ExtraSegmentsRow{"empty_comment", {Segment(0xFE, 0)}},
                    ExtraSegmentsRow{"metadata_larger_than_a_buffer", {Segment(0xE1, 40000)}},
                    ExtraSegmentsRow{"several",
                                     {Segment(0xE2, 65533), Segment(0xFE, 17), Segment(0xED, 30000)}}),
    [](const testing::TestParamInfo<ExtraSegmentsRow>& info) { return std::string(info.param.name); });

// Damage anywhere may decode to garbage or fail, but the result must stay self-consistent and
// nothing may crash; the sanitizer build is what makes this test bite.
TEST_F(JpegReadTest, CorruptedBytesNeverBreakTheReader) {
    const fs::path valid = folder_.path() / "valid.jpg";
    ASSERT_TRUE(common::WriteJpeg(valid.string(), TestPicture()).ok);
    const Bytes original = ReadBytes(valid);
    const JpegLayout layout = ParseLayout(original);
    ASSERT_TRUE(layout.reachedScan);
    // One byte at a time is changed in place and put back: rewriting the whole file each time
    // makes some filesystems flush on every close.
    const int fd = ::open(valid.c_str(), O_RDWR | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    auto poke = [&](std::size_t at, std::uint8_t value) {
        return ::pwrite(fd, &value, 1, static_cast<off_t>(at)) == 1;
    };
    // Every byte of the markers, where a bad length or size does the most harm, and a sample of
    // the entropy-coded data, whose bytes all fail alike; each set to a tiny and a huge value.
    for (std::size_t i = 2; i < original.size(); i += i < layout.scanOffset + 14 ? 1 : 3) {
        for (const std::uint8_t value : {std::uint8_t{0x00}, std::uint8_t{0xFF}}) {
            ASSERT_TRUE(poke(i, value));
            const common::JpegReadResult read = common::ReadJpeg(valid.string());
            ASSERT_TRUE(poke(i, original[i]));
            if (read.ok()) {
                EXPECT_GT(read.image.width, 0) << "byte " << i << " = " << int{value};
                EXPECT_GT(read.image.height, 0) << "byte " << i << " = " << int{value};
                EXPECT_EQ(read.image.pixels.size(), read.image.rowBytes() * read.image.height)
                    << "byte " << i << " = " << int{value};
            } else {
                EXPECT_TRUE(read.image.pixels.empty()) << "byte " << i << " = " << int{value};
            }
        }
    }
    ::close(fd);
    EXPECT_EQ(ReadBytes(valid), original);
}

struct ReadFailureRow {
    std::string name;
    // Makes the file to read from a valid JPEG's bytes; returns its path.
    std::function<fs::path(const fs::path& folder, const Bytes& valid)> make;
    std::vector<std::string> messageMentions = {};
    int systemError = 0; // when set, the message must be the system's text for it
};

// Names the row in failure output instead of dumping its bytes.
void PrintTo(const ReadFailureRow& row, std::ostream* out) {
    *out << row.name;
}

class JpegReadFailureTest : public testing::TestWithParam<ReadFailureRow> {
protected:
    TempFolder folder_;
};

TEST_P(JpegReadFailureTest, FailsWithMessage) {
    const fs::path validPath = folder_.path() / "valid.jpg";
    const common::JpegResult written = common::WriteJpeg(validPath.string(), TestPicture());
    ASSERT_TRUE(written.ok) << written.error;
    const Bytes valid = ReadBytes(validPath);
    ASSERT_TRUE(common::ReadJpeg(validPath.string()).ok()) << "the undamaged file must read";

    const fs::path path = GetParam().make(folder_.path(), valid);
    const common::JpegReadResult read = common::ReadJpeg(path.string());
    EXPECT_FALSE(read.ok());
    EXPECT_FALSE(read.error.empty());
    EXPECT_TRUE(read.image.pixels.empty());
    EXPECT_EQ(read.image.width, 0);
    for (const std::string& text : GetParam().messageMentions) {
        EXPECT_NE(read.error.find(text), std::string::npos) << "message: " << read.error;
    }
    if (GetParam().systemError != 0) {
        EXPECT_EQ(read.error, std::strerror(GetParam().systemError));
    }
}

fs::path WriteDamaged(const fs::path& folder, const Bytes& bytes) {
    const fs::path path = folder / "damaged.jpg";
    WriteBytes(path, bytes);
    return path;
}

ReadFailureRow Truncated(std::string name, std::function<std::size_t(std::size_t)> keep) {
    return {std::move(name),
            [keep](const fs::path& folder, const Bytes& valid) {
                const std::size_t length = keep(valid.size());
                EXPECT_LT(length, valid.size());
                return WriteDamaged(folder, Bytes(valid.begin(), valid.begin() + static_cast<long>(length)));
            },
            // libjpeg pads a short file with an end marker and warns; that warning is the cause.
            {"Premature end of JPEG file"}};
}

ReadFailureRow ClaimedSize(std::string name, int width, int height) {
    return {std::move(name),
            [width, height](const fs::path& folder, const Bytes& valid) {
                const JpegLayout layout = ParseLayout(valid);
                Bytes bytes = valid;
                const std::size_t at = layout.frameOffset + 5;
                bytes[at] = static_cast<std::uint8_t>(height >> 8);
                bytes[at + 1] = static_cast<std::uint8_t>(height & 0xFF);
                bytes[at + 2] = static_cast<std::uint8_t>(width >> 8);
                bytes[at + 3] = static_cast<std::uint8_t>(width & 0xFF);
                const fs::path path = WriteDamaged(folder, bytes);
                const JpegLayout patched = ParseLayout(bytes);
                EXPECT_EQ(patched.width, width);
                EXPECT_EQ(patched.height, height);
                return path;
            },
            {std::to_string(width), std::to_string(height)}};
}

fs::path MissingFile(const fs::path& folder, const Bytes&) {
    return folder / "absent.jpg";
}

fs::path Directory(const fs::path& folder, const Bytes&) {
    fs::create_directory(folder / "folder.jpg");
    return folder / "folder.jpg";
}

fs::path EmptyFile(const fs::path& folder, const Bytes&) {
    return WriteDamaged(folder, {});
}

fs::path TextFile(const fs::path& folder, const Bytes&) {
    const std::string text = "This is not a picture.\n";
    return WriteDamaged(folder, Bytes(text.begin(), text.end()));
}

static_assert(8000LL * 7000 > common::kMaxJpegPixels && 8000 <= common::kMaxJpegSide);

std::vector<ReadFailureRow> ReadFailureRows() {
    std::vector<ReadFailureRow> rows = {
        {.name = "missing_file", .make = MissingFile, .systemError = ENOENT},
        {.name = "directory", .make = Directory, .systemError = EISDIR},
        {.name = "empty_file", .make = EmptyFile, .messageMentions = {"Empty input file"}},
        {.name = "text_file", .make = TextFile, .messageMentions = {"Not a JPEG file"}},
        Truncated("one_byte", [](std::size_t) { return 1; }),
        Truncated("after_soi", [](std::size_t) { return 2; }),
        Truncated("inside_header", [](std::size_t) { return 40; }),
        Truncated("without_end_marker", [](std::size_t size) { return size - 2; }),
        Truncated("last_byte_missing", [](std::size_t size) { return size - 1; }),
        ClaimedSize("claims_60000_square", 60000, 60000),
        ClaimedSize("claims_too_wide", common::kMaxJpegSide + 1, 8),
        ClaimedSize("claims_too_tall", 8, common::kMaxJpegSide + 1),
        ClaimedSize("claims_too_many_pixels", 8000, 7000),
    };
    for (std::size_t eighth = 1; eighth < 8; ++eighth) {
        rows.push_back(Truncated("eighths_" + std::to_string(eighth),
                                 [eighth](std::size_t size) { return size * eighth / 8; }));
    }
    return rows;
}

INSTANTIATE_TEST_SUITE_P(Jpeg, JpegReadFailureTest, testing::ValuesIn(ReadFailureRows()),
                         [](const testing::TestParamInfo<ReadFailureRow>& info) { return info.param.name; });

// ---------------------------------------------------------------------------------------------
// The parameter record inside a picture

class JpegRecordTest : public testing::Test {
protected:
    TempFolder folder_;
};

common::SetRecord SampleSetRecord() {
    common::SetRecord r;
    r.julia = true;
    r.reMin = 0.1;
    r.reMax = -1.5e-300;
    r.imMin = -0.0;
    r.imMax = 1.5;
    r.juliaRe = -0.5;
    r.juliaIm = 0.6;
    r.border = {16, 2, 4};
    r.main = {255, 255, 0};
    r.width = 37;
    r.height = 23;
    return r;
}

// The record is one comment segment: cut it out and the file is byte for byte the one written
// without it, so the pixels, the tables and the baseline frame are untouched.
TEST_F(JpegRecordTest, RecordAddsOnlyOneCommentSegment) {
    const RgbImage picture = TestPicture();
    const std::string record = common::FormatPictureRecord(SampleSetRecord());
    const fs::path plain = folder_.path() / "plain.jpg";
    const fs::path marked = folder_.path() / "marked.jpg";
    ASSERT_TRUE(common::WriteJpeg(plain.string(), picture).ok);
    ASSERT_TRUE(common::WriteJpeg(marked.string(), picture, record).ok);

    const Bytes without = ReadBytes(plain);
    Bytes with = ReadBytes(marked);
    ASSERT_EQ(with.size(), without.size() + 4 + record.size());
    const Bytes comment = [&] {
        Bytes c{0xFF, 0xFE, static_cast<std::uint8_t>((record.size() + 2) >> 8),
                static_cast<std::uint8_t>((record.size() + 2) & 0xFF)};
        c.insert(c.end(), record.begin(), record.end());
        return c;
    }();
    const auto found = std::search(with.begin(), with.end(), comment.begin(), comment.end());
    ASSERT_NE(found, with.end());
    with.erase(found, found + static_cast<std::ptrdiff_t>(comment.size()));
    EXPECT_EQ(with, without);

    const common::JpegReadResult plainPixels = common::ReadJpeg(plain.string());
    const common::JpegReadResult markedPixels = common::ReadJpeg(marked.string());
    ASSERT_TRUE(markedPixels.ok()) << markedPixels.error;
    EXPECT_EQ(markedPixels.image.pixels, plainPixels.image.pixels);
}

TEST_F(JpegRecordTest, RecordReadsBackWithoutDecodingAndAbsentOneIsNoRecord) {
    const fs::path marked = folder_.path() / "marked.jpg";
    const fs::path plain = folder_.path() / "plain.jpg";
    ASSERT_TRUE(
        common::WriteJpeg(marked.string(), TestPicture(), common::FormatPictureRecord(SampleSetRecord())).ok);
    ASSERT_TRUE(common::WriteJpeg(plain.string(), TestPicture()).ok);

    const std::optional<common::PictureRecord> back = common::ReadPictureRecord(marked.string());
    ASSERT_TRUE(back.has_value());
    const auto& set = std::get<common::SetRecord>(*back);
    EXPECT_TRUE(std::signbit(set.imMin));
    EXPECT_EQ(set.reMax, -1.5e-300);
    EXPECT_EQ(common::FormatPictureRecord(*back), common::FormatPictureRecord(SampleSetRecord()));

    const common::JpegRecordText none = common::ReadJpegRecord(plain.string());
    EXPECT_TRUE(none.ok());
    EXPECT_FALSE(none.text.has_value());
    EXPECT_FALSE(common::ReadJpegRecord((folder_.path() / "absent.jpg").string()).ok());
    WriteBytes(folder_.path() / "text.jpg", Bytes{'n', 'o', 't', ' ', 'j', 'p', 'e', 'g'});
    EXPECT_FALSE(common::ReadJpegRecord((folder_.path() / "text.jpg").string()).ok());
}

// A damaged or newer record is no record to the windows, and the slide show still shows the
// picture; another program's comment before it does not hide it.
TEST_F(JpegRecordTest, DamagedOrNewerRecordIsIgnoredAndPictureStillReads) {
    const std::string good = common::FormatPictureRecord(SampleSetRecord());
    std::string newer = good;
    newer.replace(newer.find("version 1"), 9, "version " + std::to_string(common::kRecordVersion + 1));
    const std::string cut = good.substr(0, good.size() / 2);
    for (const std::string& text : {newer, cut}) {
        const fs::path path = folder_.path() / "odd.jpg";
        ASSERT_TRUE(common::WriteJpeg(path.string(), TestPicture(), text).ok);
        EXPECT_FALSE(common::ReadPictureRecord(path.string()).has_value()) << text;
        const common::JpegReadResult shown = common::ReadJpeg(path.string());
        EXPECT_TRUE(shown.ok()) << shown.error;
        EXPECT_EQ(shown.image.width, 37);
    }

    const fs::path plain = folder_.path() / "plain.jpg";
    ASSERT_TRUE(common::WriteJpeg(plain.string(), TestPicture(), good).ok);
    Bytes bytes = ReadBytes(plain);
    const Bytes foreign = Segment(0xFE, 12);
    bytes.insert(bytes.begin() + 2, foreign.begin(), foreign.end());
    WriteBytes(plain, bytes);
    EXPECT_TRUE(common::ReadPictureRecord(plain.string()).has_value());
}

// The longest record a comment holds reads back whole; one byte more is refused before any
// file exists, so the callers decide to leave it out.
TEST_F(JpegRecordTest, LongestCommentReadsBackAndALongerRecordIsRefused) {
    std::string record = "fractals-picture-record\n";
    record.resize(common::kMaxJpegCommentBytes, 'x');
    const fs::path longest = folder_.path() / "longest.jpg";
    ASSERT_TRUE(common::WriteJpeg(longest.string(), TestPicture(), record).ok);
    EXPECT_EQ(common::ReadJpegRecord(longest.string()).text, record);

    const fs::path longer = folder_.path() / "longer.jpg";
    const common::JpegResult refused = common::WriteJpeg(longer.string(), TestPicture(), record + 'x');
    EXPECT_FALSE(refused.ok);
    EXPECT_NE(refused.error.find("too long for a JPEG comment"), std::string::npos) << refused.error;
    EXPECT_FALSE(fs::exists(longer));
}

// A pipe is refused by its kind: opening it would wait for a writer, and with one holding it
// open the reader would take its bytes for a picture.
TEST_F(JpegRecordTest, PipeIsNoPictureAndIsNotOpened) {
    const fs::path pipe = folder_.path() / "pipe.jpg";
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    const int writer = ::open(pipe.c_str(), O_RDWR | O_NONBLOCK);
    ASSERT_GE(writer, 0);
    const std::string record = common::FormatPictureRecord(SampleSetRecord());
    const fs::path marked = folder_.path() / "marked.jpg";
    ASSERT_TRUE(common::WriteJpeg(marked.string(), TestPicture(), record).ok);
    const Bytes bytes = ReadBytes(marked);
    ASSERT_EQ(::write(writer, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    const common::JpegRecordText read = common::ReadJpegRecord(pipe.string());
    ::close(writer);
    EXPECT_FALSE(read.text.has_value());
    EXPECT_EQ(read.error, "Not a regular file");
}

TEST_F(JpegRecordTest, StreamWriterInStripsEqualsWholeWrite) {
    const RgbImage picture = TestPicture(70, 45);
    const std::string record = common::FormatPictureRecord(SampleSetRecord());
    const fs::path whole = folder_.path() / "whole.jpg";
    ASSERT_TRUE(common::WriteJpeg(whole.string(), picture, record).ok);

    const fs::path strips = folder_.path() / "strips.jpg";
    std::FILE* file = std::fopen(strips.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    common::JpegStreamWriter writer;
    std::string error;
    ASSERT_TRUE(writer.start(file, picture.width, picture.height, record, error)) << error;
    for (int y = 0; y < picture.height; y += 16) {
        const int count = std::min(16, picture.height - y);
        ASSERT_TRUE(writer.writeRows(picture.row(y).data(), count, error)) << error;
    }
    EXPECT_FALSE(writer.writeRows(picture.row(0).data(), 1, error)) << "a row beyond the height";
    ASSERT_TRUE(writer.finish(error)) << error;
    std::fclose(file);
    EXPECT_EQ(ReadBytes(strips), ReadBytes(whole));
}

} // namespace
