#include <QFile>
#include <QImage>
#include <QPrinter>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <string>
#include <system_error>
#include <unistd.h>
#include <variant>
#include <vector>

#include "explorer_help.h"
#include "explorer_window.h"
#include "fake_services.h"
#include "jpeg_file.h"
#include "picture_files.h"
#include "picture_record.h"
#include "qt_services.h"

namespace explorer {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;
using testing_support::FakeServices;
using testing_support::PrintOp;

const char* const kFilter = "JPG-Dateien |*.jpg";
const char* const kFileLog = "file: JPG-Dateien |*.jpg";

/// The integer nearest to num / den, an exact half going to the even one (num, den > 0).
long long RoundHalfEven(long long num, long long den) {
    const long long q = num / den;
    const long long twiceRest = 2 * (num % den);
    if (twiceRest > den || (twiceRest == den && q % 2 != 0)) {
        return q + 1;
    }
    return q;
}

double MeanAbsDiff(const common::RgbImage& a, const common::RgbImage& b) {
    if (a.width != b.width || a.height != b.height || a.pixels.empty()) {
        return 1e9;
    }
    double sum = 0;
    for (std::size_t i = 0; i < a.pixels.size(); ++i) {
        sum += std::abs(static_cast<int>(a.pixels[i]) - static_cast<int>(b.pixels[i]));
    }
    return sum / static_cast<double>(a.pixels.size());
}

/// Brightness alone: at quality 100 only the halved colour resolution loses much.
double MeanLumaDiff(const common::RgbImage& a, const common::RgbImage& b) {
    if (a.width != b.width || a.height != b.height || a.pixels.empty()) {
        return 1e9;
    }
    double sum = 0;
    for (std::size_t i = 0; i + 2 < a.pixels.size(); i += 3) {
        const auto luma = [](const common::RgbImage& m, std::size_t k) {
            return 0.299 * m.pixels[k] + 0.587 * m.pixels[k + 1] + 0.114 * m.pixels[k + 2];
        };
        sum += std::abs(luma(a, i) - luma(b, i));
    }
    return sum / static_cast<double>(a.pixels.size() / 3);
}

/// Every pixel different from its neighbours, so a shifted or scaled copy cannot pass.
common::RgbImage Gradient(int w, int h, int seed) {
    common::RgbImage image(w, h);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            image.set(x, y,
                      {static_cast<std::uint8_t>((x * 3 + seed) % 256),
                       static_cast<std::uint8_t>((y * 5 + seed) % 256),
                       static_cast<std::uint8_t>(64 + (x + y + seed) % 128)});
        }
    }
    return image;
}

Bytes ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteBytes(const std::string& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    ASSERT_TRUE(out.good()) << path;
}

/// What the markers before the first scan say about a JPEG file.
struct JpegLayout {
    bool baseline = false; // SOF0
    int otherFrames = 0;   // progressive, extended, lossless, ...
    int precision = 0;
    int width = 0;
    int height = 0;
    int components = 0;
    std::vector<int> quantisers; // every entry of every DQT table
};

JpegLayout ReadLayout(const Bytes& b) {
    JpegLayout layout;
    if (b.size() < 4 || b[0] != 0xFF || b[1] != 0xD8) {
        return layout;
    }
    std::size_t i = 2;
    while (i + 4 <= b.size() && b[i] == 0xFF) {
        const std::uint8_t marker = b[i + 1];
        if (marker == 0xFF) {
            ++i;
            continue;
        }
        if (marker == 0xDA || marker == 0xD9) {
            break;
        }
        const std::size_t length = (static_cast<std::size_t>(b[i + 2]) << 8) | b[i + 3];
        const std::size_t end = i + 2 + length;
        if (length < 2 || end > b.size()) {
            break;
        }
        if (marker == 0xDB) {
            std::size_t j = i + 4;
            while (j < end) {
                const bool wide = (b[j] >> 4) != 0;
                ++j;
                for (int k = 0; k < 64 && j + (wide ? 1 : 0) < end; ++k) {
                    layout.quantisers.push_back(wide ? (b[j] << 8) | b[j + 1] : b[j]);
                    j += wide ? 2 : 1;
                }
            }
        } else if (marker == 0xC0 && length >= 8) {
            layout.baseline = true;
            layout.precision = b[i + 4];
            layout.height = (b[i + 5] << 8) | b[i + 6];
            layout.width = (b[i + 7] << 8) | b[i + 8];
            layout.components = b[i + 9];
        } else if (marker >= 0xC1 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC) {
            ++layout.otherFrames;
        }
        i = end;
    }
    return layout;
}

class ExplorerFilesTest : public ::testing::Test {
protected:
    void SetUp() override {
        startDir = fs::current_path();
        std::string pattern = ::testing::TempDir() + "explorer_files_test.XXXXXX";
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr) << pattern;
        folder = fs::canonical(pattern).string();
        window = std::make_unique<ExplorerWindow>(fake);
        window->show();
        window->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
        ASSERT_EQ(window->width(), 601);
        ASSERT_EQ(window->height(), 601);
        s().PicDir = folder;
    }
    void TearDown() override {
        fake.onPump = nullptr;
        window.reset();
        std::error_code ignored;
        fs::current_path(startDir, ignored);
        if (!folder.empty()) {
            fs::remove_all(folder, ignored);
        }
    }

    ExplorerState& s() { return window->state(); }
    const common::Canvas& pic() { return window->picture(); }
    void key(int code) { window->FormKeyUp(window.get(), code); }
    std::string in(const std::string& name) const { return folder + "/" + name; }

    void forgetRecord() {
        fake.log.clear();
        fake.messages.clear();
        fake.inputs.clear();
        fake.fileDialogs.clear();
        fake.printJobs.clear();
        fake.printDialogs = 0;
        fake.printerSetups = 0;
    }
    bool allBlack() {
        for (int y = 0; y < pic().height(); ++y) {
            for (int x = 0; x < pic().width(); ++x) {
                if (pic().pixel(x, y) != common::kBlack) {
                    return false;
                }
            }
        }
        return true;
    }
    int errorReports() const {
        int n = 0;
        for (const common::MessageBoxRequest& box : fake.messages) {
            n += box.icon == common::MessageIcon::Stop ? 1 : 0;
        }
        return n;
    }
    /// The log against expected entries; an entry ending in "*" matches any entry it begins.
    ::testing::AssertionResult logIs(const std::vector<std::string>& want) {
        bool same = want.size() == fake.log.size();
        for (std::size_t i = 0; same && i < want.size(); ++i) {
            const std::string& w = want[i];
            same = !w.empty() && w.back() == '*' ? fake.log[i].rfind(w.substr(0, w.size() - 1), 0) == 0
                                                 : fake.log[i] == w;
        }
        if (same) {
            return ::testing::AssertionSuccess();
        }
        ::testing::AssertionResult failure = ::testing::AssertionFailure() << "log was:";
        for (const std::string& line : fake.log) {
            failure << "\n  " << line;
        }
        return failure;
    }
    common::RgbImage decoded(const std::string& path) {
        const common::JpegReadResult read = common::ReadJpeg(path);
        EXPECT_TRUE(read.ok()) << path << ": " << read.error;
        return read.image;
    }
    void writePicture(const std::string& name, const common::RgbImage& image) {
        const common::JpegResult written = common::WriteJpeg(in(name), image);
        ASSERT_TRUE(written.ok) << written.error;
    }

    /// The picture each time the show put a new one up, with the clock at that moment.
    struct Shown {
        std::uint32_t at;
        common::RgbImage image;
    };
    /// Runs B through its dialogs and the show, recording every picture shown; `during` runs
    /// in every pump after the record. A runaway wait is ended by closing the window.
    void runShow(const std::string& first, const std::string& last, const std::string& delay) {
        fake.fileAnswers = {in(first), in(last)};
        fake.inputAnswers = {delay};
        shown.clear();
        std::uint64_t generation = pic().generation();
        long pumps = 0;
        fake.onPump = [this, generation, pumps]() mutable {
            if (pic().generation() != generation) {
                generation = pic().generation();
                shown.push_back({fake.now, pic().image()});
            }
            if (during) {
                during();
            }
            if (++pumps > 20000) {
                ADD_FAILURE() << "the show does not end";
                window->close();
            }
        };
        key('B');
        fake.onPump = nullptr;
    }
    /// What the picture area shows for `picture` copied unscaled to the top-left on black.
    static common::RgbImage onBlack(const common::RgbImage& picture) {
        common::RgbImage area(601, 601);
        for (int y = 0; y < std::min(601, picture.height); ++y) {
            for (int x = 0; x < std::min(601, picture.width); ++x) {
                area.set(x, y, picture.at(x, y));
            }
        }
        return area;
    }
    /// Within what a quality-100 JPEG with halved colour resolution loses on a fractal.
    static ::testing::AssertionResult closeToSaved(const common::RgbImage& got,
                                                   const common::RgbImage& saved) {
        const double all = MeanAbsDiff(got, saved);
        const double luma = MeanLumaDiff(got, saved);
        if (all < 4.0 && luma < 1.0) {
            return ::testing::AssertionSuccess();
        }
        return ::testing::AssertionFailure() << "mean difference " << all << ", in brightness " << luma;
    }
    bool lastMessageIs(const std::string& text) const {
        return !fake.messages.empty() && fake.messages.back().text == text;
    }
    bool anyMessage(const std::string& text) const {
        for (const common::MessageBoxRequest& box : fake.messages) {
            if (box.text == text) {
                return true;
            }
        }
        return false;
    }

    FakeServices fake;
    std::unique_ptr<ExplorerWindow> window;
    fs::path startDir;
    std::string folder;
    std::vector<Shown> shown;
    std::function<void()> during;
};

// --- D: the folder, base name and start number

TEST_F(ExplorerFilesTest, FolderCommandTakesTheDialogAndBothAnswers) {
    using Answer = std::optional<std::string>;
    struct Row {
        const char* name;
        Answer file; // relative to the test folder
        Answer nameAnswer;
        Answer numberAnswer;
        std::int32_t startNumber;
        const char* wantBaseAfterDialog;
        const char* wantBase;
        std::int32_t wantNumber;
    };
    const Row rows[] = {
        {"confirmed_name_with_several_dots", "Serie.v2.jpg", std::nullopt, "0", 1, "Serie", "Serie", 1},
        {"confirmed_in_subfolder_answers_trimmed", "unter/Neu.jpg", "  Anders  ", " 12", 3, "Neu", "Anders",
         12},
        {"nothing_before_the_dot_empties_the_base", ".jpg", std::nullopt, "2", 1, "", "", 2},
        {"nothing_before_the_dot_then_a_name", " .v2.jpg", "Neu", "2", 1, "", "Neu", 2},
        {"cancelled_dialog_blank_name_keeps", std::nullopt, "   ", "-5", 3, "Bild", "Bild", 1},
        {"letters_as_number", std::nullopt, std::nullopt, "abc", 9, "Bild", "Bild", 1},
        {"empty_number", std::nullopt, std::nullopt, "", 9, "Bild", "Bild", 1},
        {"number_cancelled_keeps_it", std::nullopt, std::nullopt, std::nullopt, 7, "Bild", "Bild", 7},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        forgetRecord();
        fs::current_path("/");
        s().PicDir = folder;
        s().PicBaseName = "Bild";
        s().PicNumber = row.startNumber;
        s().ZoomPending = true;
        s().UseOriginalColours = false;
        fake.fileAnswers = {row.file ? Answer(in(*row.file)) : std::nullopt};
        fake.inputAnswers = {row.nameAnswer, row.numberAnswer};
        key('D');

        // The folder that was PicDir when D started is the current one now.
        EXPECT_EQ(fs::current_path(), fs::path(folder));
        std::string wantDir = folder;
        if (row.file) {
            wantDir = fs::path(in(*row.file)).parent_path().string() + "/";
        }
        EXPECT_EQ(s().PicDir, wantDir);
        EXPECT_EQ(s().PicBaseName, row.wantBase);
        EXPECT_EQ(s().PicNumber, row.wantNumber);
        EXPECT_TRUE(logIs({"message: Bitte zuerst einen Dateiordner auswählen !", kFileLog,
                           "message: Zielordner = " + wantDir, "input: Name der JPEG-Datei",
                           "input: Startnummer der JPEG-Datei (>0)"}));
        ASSERT_EQ(fake.fileDialogs.size(), 1u);
        const common::FileDialogRequest& dialog = fake.fileDialogs[0];
        EXPECT_EQ(dialog.kind, common::FileDialogKind::Save);
        EXPECT_EQ(dialog.initialFolder, folder);
        EXPECT_EQ(dialog.fileName, "Bild");
        EXPECT_EQ(dialog.filter, kFilter);
        EXPECT_EQ(dialog.defaultExtension, "jpg");
        ASSERT_EQ(fake.inputs.size(), 2u);
        EXPECT_EQ(fake.inputs[0].prompt, "");
        EXPECT_EQ(fake.inputs[0].defaultText, row.wantBaseAfterDialog);
        EXPECT_EQ(fake.inputs[1].prompt, " Die Dateien werden fortlaufend nummeriert");
        EXPECT_EQ(fake.inputs[1].defaultText, std::to_string(row.startNumber));
        EXPECT_FALSE(s().ZoomPending);
        EXPECT_TRUE(s().UseOriginalColours);
        EXPECT_EQ(s().LastKey, 'D');
        EXPECT_EQ(errorReports(), 0);
    }
    // An empty base still stores into the chosen folder, under the number alone.
    s().PicDir = folder + "/";
    s().PicBaseName = "";
    s().PicNumber = 4;
    key('S');
    EXPECT_EQ(errorReports(), 0);
    EXPECT_TRUE(fs::is_regular_file(in("_004.JPG")));
    EXPECT_EQ(s().PicNumber, 5);
}

TEST_F(ExplorerFilesTest, FolderCommandEndsWithAnErrorWhenTheFolderCannotBeEntered) {
    key('M');
    ASSERT_FALSE(allBlack());
    fs::current_path("/");
    s().PicDir = in("fehlt");
    s().PicNumber = 5;
    fake.fileAnswers = {in("Neu.jpg")};
    key('D');
    EXPECT_TRUE(logIs({"message: Bitte zuerst einen Dateiordner auswählen !", "error: *"}));
    EXPECT_EQ(errorReports(), 1);
    EXPECT_TRUE(fake.fileDialogs.empty());
    EXPECT_TRUE(fake.inputs.empty());
    EXPECT_EQ(s().PicDir, in("fehlt"));
    EXPECT_EQ(s().PicBaseName, "Bild");
    EXPECT_EQ(s().PicNumber, 5);
    EXPECT_EQ(fs::current_path(), fs::path("/"));
    EXPECT_TRUE(allBlack()); // cleared before the folder was tried
}

// --- S and B together

TEST_F(ExplorerFilesTest, SavedPicturesAreNumberedAndPlayBackInTheShow) {
    fake.fileAnswers = {in("Reihe.jpg")};
    fake.inputAnswers = {std::nullopt, "1"};
    key('D');
    ASSERT_EQ(s().PicDir, folder + "/");
    ASSERT_EQ(s().PicBaseName, "Reihe");

    std::vector<common::RgbImage> saved;
    std::vector<ColourScheme> schemes;
    const auto drawAndSave = [&](const ColourScheme& colours) {
        schemes.push_back(colours);
        s().UseOriginalColours = false;
        s().colours = colours;
        key('M');
        saved.push_back(pic().image());
        key('S');
    };
    drawAndSave(OriginalColours());
    drawAndSave({40, 10, 3, 0, 128, 255, true});
    // A folder in the way of number 3: the write fails, is reported once, the number is gone.
    fs::create_directory(in("Reihe_003.JPG"));
    forgetRecord();
    key('S');
    EXPECT_EQ(errorReports(), 1);
    ASSERT_EQ(fake.messages.size(), 1u);
    EXPECT_NE(fake.messages[0].text.find("Reihe_003.JPG"), std::string::npos) << fake.messages[0].text;
    EXPECT_EQ(s().PicNumber, 4);
    drawAndSave({7, 30, 20, 255, 0, 0, false});
    EXPECT_EQ(s().PicNumber, 5);

    const std::vector<std::string> names = {"Reihe_001.JPG", "Reihe_002.JPG", "Reihe_004.JPG"};
    for (std::size_t i = 0; i < names.size(); ++i) {
        SCOPED_TRACE(names[i]);
        ASSERT_TRUE(fs::is_regular_file(in(names[i])));
        const JpegLayout layout = ReadLayout(ReadBytes(in(names[i])));
        EXPECT_TRUE(layout.baseline);
        EXPECT_EQ(layout.otherFrames, 0);
        EXPECT_EQ(layout.precision, 8);
        EXPECT_EQ(layout.components, 3);
        EXPECT_EQ(layout.width, 601);
        EXPECT_EQ(layout.height, 601);
        ASSERT_EQ(layout.quantisers.size(), 128u); // one table for brightness, one for colour
        EXPECT_TRUE(std::all_of(layout.quantisers.begin(), layout.quantisers.end(), [](int q) {
            return q == 1;
        })) << "not quality 100";
        EXPECT_TRUE(closeToSaved(decoded(in(names[i])), saved[i]));
        // Each picture remembers how it was made.
        const std::optional<common::PictureRecord> record = common::ReadPictureRecord(in(names[i]));
        ASSERT_TRUE(record.has_value());
        const auto* set = std::get_if<common::SetRecord>(&*record);
        ASSERT_NE(set, nullptr);
        EXPECT_FALSE(set->julia);
        EXPECT_EQ(ViewRect({set->reMin, set->reMax, set->imMin, set->imMax}),
                  DefaultView(SetKind::Mandelbrot));
        EXPECT_EQ(set->main, (std::array<int, 3>{schemes[i].MainR, schemes[i].MainG, schemes[i].MainB}));
        EXPECT_EQ(set->border,
                  (std::array<int, 3>{schemes[i].BorderR, schemes[i].BorderG, schemes[i].BorderB}));
        EXPECT_EQ(set->additive, schemes[i].AdditiveMix);
        EXPECT_EQ(std::make_pair(set->width, set->height), std::make_pair(601, 601));
    }
    // A cleared picture is no drawing: stored without a record.
    key('C');
    key('S');
    EXPECT_FALSE(common::ReadPictureRecord(in("Reihe_005.JPG")).has_value());
    ASSERT_TRUE(fs::remove(in("Reihe_005.JPG")));
    // The pictures differ far beyond the JPEG tolerance, so no one of them passes for another.
    EXPECT_GT(MeanAbsDiff(saved[0], saved[1]), 20.0);
    EXPECT_GT(MeanAbsDiff(saved[1], saved[2]), 20.0);
    EXPECT_GT(MeanAbsDiff(saved[0], saved[2]), 20.0);

    forgetRecord();
    s().PicBaseName = "Bild";
    const std::uint32_t start = fake.now;
    runShow("Reihe_001.JPG", "Reihe_005.JPG", "3");
    EXPECT_TRUE(logIs({"message: Erste nummerierte Bilddatei auswählen", kFileLog,
                       "message: Letzte nummerierte Bilddatei auswählen", kFileLog,
                       "input: Wartezeit in Sekunden (1..60)", "message: Show \"Reihe\" von 1 bis 5",
                       "message: Show - Ende"}));
    ASSERT_EQ(shown.size(), 3u);
    for (std::size_t i = 0; i < shown.size(); ++i) {
        SCOPED_TRACE(names[i]);
        EXPECT_EQ(shown[i].image.pixels, decoded(in(names[i])).pixels);
        EXPECT_TRUE(closeToSaved(shown[i].image, saved[i]));
    }
    // Each picture stays for one wait of three seconds; 3 and 5 are skipped without one.
    EXPECT_EQ(shown[0].at, start);
    for (const std::uint32_t wait :
         {shown[1].at - shown[0].at, shown[2].at - shown[1].at, fake.now - shown[2].at}) {
        EXPECT_GE(wait, 3000u);
        EXPECT_LE(wait, 3001u);
    }
    EXPECT_TRUE(allBlack());
    EXPECT_EQ(window->windowTitle(), window->titleLine());
    EXPECT_EQ(s().PicBaseName, "Reihe");
}

// A record says how to make every pixel of the file again: a band drawn over the drawing is
// stored with the picture, so while one is on it the file holds the pixels and no record.
TEST_F(ExplorerFilesTest, StoredRecordOnlyWhileThePictureIsThePlainDrawing) {
    using Mouse = std::function<void(ExplorerWindow&)>;
    const auto press = [](QPoint at) {
        return [at](ExplorerWindow& w) {
            w.FormMouseDown(Qt::LeftButton, Qt::LeftButton, Qt::NoModifier, at);
        };
    };
    const auto move = [](QPoint at) {
        return [at](ExplorerWindow& w) {
            w.FormMouseMove(Qt::LeftButton, Qt::NoModifier, at);
        };
    };
    const Mouse release = [](ExplorerWindow& w) {
        w.FormMouseUp();
    };
    struct Row {
        const char* name;
        std::vector<Mouse> mouse; // after the drawing, before S
        bool recordStored;
    };
    const std::vector<Row> rows = {
        {"untouched_drawing", {}, true},
        {"band_marked", {press({100, 400}), move({300, 200}), release}, false},
        {"band_still_dragged", {press({100, 400}), move({300, 200})}, false},
        {"band_erased_by_the_next_press",
         {press({100, 400}), move({300, 200}), release, press({10, 10})},
         true},
        {"drag_left_and_down_draws_no_band", {press({400, 100}), move({200, 300}), release}, true},
        {"band_dragged_back_to_nothing", {press({100, 400}), move({300, 200}), move({50, 450})}, true},
        {"second_band_after_the_first_was_erased",
         {press({100, 400}), move({300, 200}), release, press({20, 580}), move({500, 30}), release},
         false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        key('M');
        for (const Mouse& m : row.mouse) {
            m(*window);
        }
        const common::RgbImage picture = pic().image();
        const std::string name = PictureFileName(s().PicDir, s().PicBaseName, s().PicNumber);
        key('S');
        const std::optional<common::PictureRecord> record = common::ReadPictureRecord(name);
        EXPECT_EQ(record.has_value(), row.recordStored);
        if (record) {
            // The record names the drawing the file holds.
            const auto* set = std::get_if<common::SetRecord>(&*record);
            ASSERT_NE(set, nullptr);
            EXPECT_EQ(ViewRect({set->reMin, set->reMax, set->imMin, set->imMax}), s().view);
            continue;
        }
        // Without the record the picture itself is stored as ever, band and all, byte for byte.
        const std::string plain = in("plain.jpg");
        ASSERT_TRUE(common::WriteJpeg(plain, picture).ok);
        EXPECT_EQ(ReadBytes(name), ReadBytes(plain));
        key('C');
    }
}

// --- B: dialogs and answers

TEST_F(ExplorerFilesTest, ShowCommandChecksTheChosenNamesAndTheWait) {
    using Answer = std::optional<std::string>;
    const Answer cancel = std::nullopt;
    struct Row {
        const char* name;
        const char* picDir; // relative to the test folder; nullptr: the folder itself
        std::vector<Answer> files;
        std::vector<Answer> inputs;
        std::int32_t startDelay;
        std::vector<std::string> log;
        int lastDialog; // index of the dialog for the last file, -1 without one
        const char* base;
        std::int32_t first;
        std::int32_t last;
        std::int32_t delay;
    };
    const std::string erste = "message: Erste nummerierte Bilddatei auswählen";
    const std::string letzte = "message: Letzte nummerierte Bilddatei auswählen";
    const std::string falsch = "message: Falsche Datei !";
    const std::string wait = "input: Wartezeit in Sekunden (1..60)";
    const std::string ende = "message: Show - Ende";
    const auto show = [](const char* text) {
        return std::string("message: Show ") + text;
    };
    const std::vector<std::string> ran12 = {
        erste, kFileLog, letzte, kFileLog, wait, show("\"Bild\" von 1 bis 2"), ende};
    const std::vector<std::string> wrongFirst = {erste, kFileLog, falsch};
    const std::vector<std::string> wrongLast = {erste, kFileLog, letzte, kFileLog, falsch};
    const std::vector<Answer> pair12 = {"Bild_001.JPG", "Bild_002.JPG"};
    // Rows that end before the wait question have no base, range or wait to check.
    const std::vector<Row> rows = {
        {"first_cancelled_twice_ends",
         nullptr,
         {cancel, cancel},
         {},
         3000,
         {erste, kFileLog, kFileLog},
         -1,
         nullptr,
         0,
         0,
         0},
        {"cancel_reopens_the_dialog",
         nullptr,
         {cancel, "Bild_002.JPG", "Bild_004.JPG"},
         {},
         3000,
         {erste, kFileLog, kFileLog, letzte, kFileLog, wait, show("\"Bild\" von 2 bis 4"), ende},
         2,
         "Bild",
         2,
         4,
         3000},
        {"folder_unreachable",
         "fehlt",
         {"Bild_001.JPG"},
         {},
         3000,
         {erste, "error: *"},
         -1,
         nullptr,
         0,
         0,
         0},
        {"no_underscore", nullptr, {"Bild.JPG"}, {}, 3000, wrongFirst, -1, nullptr, 0, 0, 0},
        {"second_underscore", nullptr, {"my_pic_001.JPG"}, {}, 3000, wrongFirst, -1, nullptr, 0, 0, 0},
        {"one_digit_then_dot", nullptr, {"Bild_1.JPG"}, {}, 3000, wrongFirst, -1, nullptr, 0, 0, 0},
        {"last_with_other_prefix",
         nullptr,
         {"Bild_001.JPG", "Foto_003.JPG"},
         {},
         3000,
         wrongLast,
         1,
         nullptr,
         0,
         0,
         0},
        {"last_prefix_in_other_case",
         nullptr,
         {"Bild_001.JPG", "bild_003.JPG"},
         {},
         3000,
         wrongLast,
         1,
         nullptr,
         0,
         0,
         0},
        {"last_without_number",
         nullptr,
         {"Bild_001.JPG", "Bild_x.JPG"},
         {},
         3000,
         wrongLast,
         1,
         nullptr,
         0,
         0,
         0},
        {"last_cancelled_is_the_first",
         nullptr,
         {"Bild_007.JPG", cancel},
         {},
         3000,
         {erste, kFileLog, letzte, kFileLog, wait, show("\"Bild\" von 7 bis 7"), ende},
         1,
         "Bild",
         7,
         7,
         3000},
        {"reversed_range_swapped",
         nullptr,
         {"Bild_012.JPG", "Bild_001.JPG"},
         {"5"},
         3000,
         {erste, kFileLog, letzte, kFileLog, wait, show("\"Bild\" von 1 bis 12"), ende},
         1,
         "Bild",
         1,
         12,
         5000},
        {"four_digits_read_as_three",
         nullptr,
         {"Foto_1234.JPG", "Foto_1300.JPG"},
         {"60"},
         3000,
         {erste, kFileLog, letzte, kFileLog, wait, show("\"Foto\" von 123 bis 130"), ende},
         1,
         "Foto",
         123,
         130,
         60000},
        {"wait_zero", nullptr, pair12, {"0"}, 5000, ran12, 1, "Bild", 1, 2, 3000},
        {"wait_sixty_one", nullptr, pair12, {"61"}, 5000, ran12, 1, "Bild", 1, 2, 3000},
        {"wait_letter", nullptr, pair12, {"x"}, 5000, ran12, 1, "Bild", 1, 2, 3000},
        {"wait_cancelled_keeps_it", nullptr, pair12, {cancel}, 5000, ran12, 1, "Bild", 1, 2, 5000},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        forgetRecord();
        const std::string picDir = row.picDir ? in(row.picDir) : folder;
        s().PicDir = picDir;
        s().PicBaseName = "Bild";
        s().ShowDelay = row.startDelay;
        s().ShowFirst = -1;
        s().ShowLast = -1;
        fake.fileAnswers.clear();
        for (const Answer& file : row.files) {
            fake.fileAnswers.push_back(file ? Answer(in(*file)) : std::nullopt);
        }
        fake.inputAnswers.assign(row.inputs.begin(), row.inputs.end());
        const std::uint32_t start = fake.now;
        key('B');

        EXPECT_TRUE(logIs(row.log));
        for (std::size_t i = 0; i < fake.fileDialogs.size(); ++i) {
            const common::FileDialogRequest& dialog = fake.fileDialogs[i];
            EXPECT_EQ(dialog.kind, common::FileDialogKind::Save) << i;
            EXPECT_EQ(dialog.filter, kFilter) << i;
            EXPECT_EQ(dialog.defaultExtension, "jpg") << i;
            if (static_cast<int>(i) == row.lastDialog) {
                EXPECT_EQ(dialog.initialFolder, folder + "/");
                EXPECT_EQ(dialog.fileName, fs::path(*row.files[i - 1]).filename().string());
            } else {
                EXPECT_EQ(dialog.initialFolder, picDir);
                EXPECT_EQ(dialog.fileName, "Bild");
            }
        }
        if (row.base == nullptr) {
            EXPECT_TRUE(fake.inputs.empty());
            continue;
        }
        ASSERT_EQ(fake.inputs.size(), 1u);
        EXPECT_EQ(fake.inputs[0].prompt, "");
        EXPECT_EQ(fake.inputs[0].defaultText, std::to_string(row.startDelay / 1000));
        EXPECT_EQ(s().PicBaseName, row.base);
        EXPECT_EQ(s().ShowFirst, row.first);
        EXPECT_EQ(s().ShowLast, row.last);
        EXPECT_EQ(s().ShowDelay, row.delay);
        EXPECT_EQ(fake.now, start) << "no file exists, so nothing is waited for";
    }
}

TEST_F(ExplorerFilesTest, ShowCopiesEachPictureUnscaledToTheTopLeft) {
    writePicture("Bild_001.JPG", Gradient(700, 650, 11)); // larger than the area: cut
    writePicture("Bild_002.JPG", Gradient(300, 200, 77)); // smaller: black around it
    runShow("Bild_001.JPG", "Bild_002.JPG", "1");
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[0].image.pixels, onBlack(decoded(in("Bild_001.JPG"))).pixels);
    EXPECT_EQ(shown[1].image.pixels, onBlack(decoded(in("Bild_002.JPG"))).pixels);
    EXPECT_GE(shown[1].at - shown[0].at, 1000u);
    EXPECT_LE(shown[1].at - shown[0].at, 1001u);
    EXPECT_TRUE(lastMessageIs("Show - Ende"));
}

TEST_F(ExplorerFilesTest, PauseHoldsThePictureWhileTheClockRunsOn) {
    writePicture("Bild_001.JPG", Gradient(50, 50, 1));
    writePicture("Bild_002.JPG", Gradient(50, 50, 90));
    std::optional<std::uint32_t> pausedAt;
    std::optional<std::uint32_t> resumedAt;
    during = [&] {
        if (shown.size() == 1 && !pausedAt) {
            window->FormKeyUp(window.get(), 'A');
            pausedAt = fake.now;
            EXPECT_TRUE(s().ShowPaused);
        } else if (pausedAt && !resumedAt && fake.now - *pausedAt >= 10000) {
            EXPECT_EQ(shown.size(), 1u) << "the show went on while paused";
            window->FormKeyUp(window.get(), 'A');
            resumedAt = fake.now;
        }
    };
    runShow("Bild_001.JPG", "Bild_002.JPG", "3");
    ASSERT_EQ(shown.size(), 2u);
    ASSERT_TRUE(resumedAt.has_value());
    EXPECT_FALSE(s().ShowPaused);
    // Held well past its three seconds, the first picture gives way right after the resumption.
    EXPECT_GE(shown[1].at - shown[0].at, 10000u);
    EXPECT_GE(shown[1].at, *resumedAt);
    EXPECT_LE(shown[1].at - *resumedAt, 200u);
    EXPECT_GE(fake.now - shown[1].at, 3000u);
    EXPECT_LE(fake.now - shown[1].at, 3001u);
    EXPECT_TRUE(lastMessageIs("Show - Ende"));
}

// A command run during a wait may change the base name; the running show still plays the range
// it was started for.
TEST_F(ExplorerFilesTest, ACommandDuringTheWaitDoesNotRedirectTheShow) {
    for (const char* name : {"Bild_001.JPG", "Bild_002.JPG", "Bild_003.JPG"}) {
        writePicture(name, Gradient(40, 40, name[7] * 7));
    }
    writePicture("Foto_001.JPG", Gradient(40, 40, 200));
    struct Row {
        const char* name;
        std::function<void()> command;
        const char* baseAfter;
    };
    const Row rows[] = {
        {"folder_command",
         [&] {
             fake.fileAnswers = {in("Neu.jpg")};
             fake.inputAnswers = {std::nullopt, std::nullopt};
             key('D');
         },
         "Neu"},
        {"nested_show",
         [&] {
             fake.fileAnswers = {in("Foto_001.JPG"), in("Foto_001.JPG")};
             fake.inputAnswers = {"1"};
             key('B');
         },
         "Foto"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        forgetRecord();
        s().PicBaseName = "Bild";
        bool ran = false;
        during = [&] {
            if (!ran && shown.size() == 1) {
                ran = true;
                row.command();
            }
        };
        runShow("Bild_001.JPG", "Bild_003.JPG", "2");
        during = nullptr;
        ASSERT_TRUE(ran);
        EXPECT_EQ(s().PicBaseName, row.baseAfter);
        const auto wasShown = [&](const char* name) {
            const common::RgbImage want = onBlack(decoded(in(name)));
            return std::any_of(shown.begin(), shown.end(),
                               [&](const Shown& shot) { return shot.image.pixels == want.pixels; });
        };
        EXPECT_TRUE(wasShown("Bild_002.JPG"));
        EXPECT_TRUE(wasShown("Bild_003.JPG"));
        EXPECT_TRUE(lastMessageIs("Show - Ende"));
        EXPECT_EQ(errorReports(), 0);
    }
}

TEST_F(ExplorerFilesTest, EscapeEndsTheShowAfterThePictureOnScreen) {
    for (const char* name : {"Bild_001.JPG", "Bild_002.JPG", "Bild_003.JPG"}) {
        writePicture(name, Gradient(40, 40, name[7]));
    }
    fake.escapeAtPolls = {fake.escapePolls + 2};
    runShow("Bild_001.JPG", "Bild_003.JPG", "2");
    EXPECT_EQ(shown.size(), 2u);
    EXPECT_TRUE(lastMessageIs("Show - Abbruch"));
    EXPECT_FALSE(anyMessage("Show - Ende"));
    EXPECT_TRUE(allBlack());
    EXPECT_EQ(window->windowTitle(), window->titleLine());
}

TEST_F(ExplorerFilesTest, TheWaitIsMeasuredAcrossTheClockWrap) {
    writePicture("Bild_001.JPG", Gradient(40, 40, 3));
    writePicture("Bild_002.JPG", Gradient(40, 40, 99));
    fake.now = 0xFFFFFFFFu - 1500u;
    runShow("Bild_001.JPG", "Bild_002.JPG", "3");
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_GE(shown[1].at - shown[0].at, 3000u);
    EXPECT_LE(shown[1].at - shown[0].at, 3001u);
    EXPECT_TRUE(lastMessageIs("Show - Ende"));
}

TEST_F(ExplorerFilesTest, ADamagedShowFileEndsTheShowAtOnce) {
    writePicture("Bild_001.JPG", Gradient(80, 60, 5));
    writePicture("Bild_003.JPG", Gradient(80, 60, 50));
    writePicture("Bild_002.JPG", Gradient(64, 64, 120));
    const Bytes whole = ReadBytes(in("Bild_002.JPG"));
    struct Row {
        const char* name;
        std::function<Bytes()> bytes;
    };
    const Row rows[] = {
        {"not_a_jpeg",
         [] {
             return Bytes{'k', 'e', 'i', 'n', ' ', 'J', 'P', 'E', 'G'};
         }},
        {"empty",
         [] {
             return Bytes{};
         }},
        {"truncated",
         [&] {
             return Bytes(whole.begin(), whole.begin() + static_cast<long>(whole.size() / 2));
         }},
        {"header_claims_60000_square",
         [&] {
             Bytes b = whole;
             for (std::size_t i = 2; i + 8 < b.size(); ++i) {
                 if (b[i] == 0xFF && b[i + 1] == 0xC0) {
                     b[i + 5] = 0xEA; // height 60000
                     b[i + 6] = 0x60;
                     b[i + 7] = 0xEA; // width 60000
                     b[i + 8] = 0x60;
                     break;
                 }
             }
             return b;
         }},
    };
    const common::RgbImage firstShown = onBlack(decoded(in("Bild_001.JPG")));
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        WriteBytes(in("Bild_002.JPG"), row.bytes());
        forgetRecord();
        runShow("Bild_001.JPG", "Bild_003.JPG", "1");
        ASSERT_EQ(shown.size(), 1u);
        EXPECT_EQ(errorReports(), 1);
        ASSERT_FALSE(fake.messages.empty());
        EXPECT_EQ(fake.messages.back().icon, common::MessageIcon::Stop);
        EXPECT_NE(fake.messages.back().text.find("Bild_002.JPG"), std::string::npos)
            << fake.messages.back().text;
        EXPECT_FALSE(anyMessage("Show - Ende"));
        // Not cleared: the last good picture stays, and no wait follows the damaged file.
        EXPECT_EQ(pic().image().pixels, firstShown.pixels);
        EXPECT_GE(fake.now - shown[0].at, 1000u);
        EXPECT_LE(fake.now - shown[0].at, 1001u);
    }
}

// --- K and P

TEST_F(ExplorerFilesTest, PrintSetupTakesAScaleFromATenthToOne) {
    struct Row {
        const char* name;
        std::optional<std::string> answer;
        double scale;
    };
    const Row rows[] = {
        {"half", "0.5", 0.5},    {"lowest", "0.1", 0.1},          {"highest", "1.0", 1.0},
        {"comma", "0,5", 1.0},   {"too_small", "0.05", 1.0},      {"too_large", "1.5", 1.0},
        {"letters", "abc", 1.0}, {"trailing_blank", "0.5 ", 1.0}, {"cancelled", std::nullopt, 1.0},
    };
    key('M');
    bool first = true;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        forgetRecord();
        s().PrintScale = 0.3;
        s().ZoomPending = true;
        fake.inputAnswers = {row.answer};
        key('K');
        EXPECT_TRUE(logIs({"printer setup", "input: Druckbildskalierung 0.1 .. 1.0"}));
        ASSERT_EQ(fake.inputs.size(), 1u);
        EXPECT_EQ(fake.inputs[0].prompt, "");
        EXPECT_EQ(fake.inputs[0].defaultText, "1.0");
        EXPECT_EQ(s().PrintScale, row.scale);
        EXPECT_FALSE(s().ZoomPending);
        if (first) {
            EXPECT_TRUE(allBlack());
            first = false;
        }
    }
}

TEST_F(ExplorerFilesTest, PictureIsPrintedAtTheScaledPageWidth) {
    struct Row {
        const char* name;
        double scale;
        int pageRight;
        int width;
    };
    const Row rows[] = {
        {"half", 0.5, 4800, 2400},
        {"tenth", 0.1, 4800, 480},
        {"whole", 1.0, 4800, 4800},
        {"half_of_odd_width_rounds_down_to_even", 0.5, 4805, 2402},
        {"half_of_odd_width_rounds_up_to_even", 0.5, 4807, 2404},
        {"tenth_exactly_halfway", 0.1, 4805, 480},
    };
    key('M');
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        forgetRecord();
        fake.page = {0, 0, row.pageRight, 6600};
        s().PrintScale = row.scale;
        key('P');
        EXPECT_EQ(fake.printDialogs, 0) << "a printer exists";
        ASSERT_EQ(fake.printJobs.size(), 1u);
        const testing_support::RecordedPrintJob& job = fake.printJobs[0];
        EXPECT_EQ(job.documentName, "Apfelmännchen");
        EXPECT_TRUE(job.ended);
        EXPECT_EQ(job.pages(), 1);
        ASSERT_EQ(job.ops.size(), 1u);
        ASSERT_EQ(job.ops[0].kind, PrintOp::Kind::Image);
        EXPECT_EQ(job.ops[0].target, (common::Rect{0, 0, row.width, row.width})); // a square picture area
        EXPECT_EQ(job.ops[0].image.pixels, pic().image().pixels);
        EXPECT_EQ(errorReports(), 0);
    }
}

TEST_F(ExplorerFilesTest, PrintedHeightFollowsTheMaximisedArea) {
    key('W');
    key('M');
    const int w = window->width();
    const int h = window->height();
    ASSERT_GT(w, 601);
    fake.page = {0, 0, 4800, 6600};
    s().PrintScale = 0.5;
    key('P');
    ASSERT_EQ(fake.printJobs.size(), 1u);
    ASSERT_EQ(fake.printJobs[0].ops.size(), 1u);
    const PrintOp& op = fake.printJobs[0].ops[0];
    EXPECT_EQ(op.target, (common::Rect{0, 0, 2400, static_cast<int>(RoundHalfEven(2400LL * h, w))}));
    EXPECT_EQ(op.image.width, w);
    EXPECT_EQ(op.image.height, h);
    EXPECT_EQ(op.image.pixels, pic().image().pixels);
}

TEST_F(ExplorerFilesTest, PrintedHeightKeepsTheAreasAspectRoundedHalfToEven) {
    struct Row {
        const char* name;
        int clientWidth;
        int clientHeight;
        int pageRight;
        int height; // pageRight * clientHeight / clientWidth, rounded
    };
    const Row rows[] = {
        {"wide_area", 1024, 700, 2400, 1641},    // 1640.625
        {"tall_area", 500, 900, 3000, 5400},     // 5400
        {"down_to_even", 1280, 644, 4000, 2012}, // 2012.5
        {"up_to_even", 1440, 415, 4752, 1370},   // 1369.5
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        forgetRecord();
        window->setFixedSize(row.clientWidth, row.clientHeight);
        ASSERT_EQ(window->width(), row.clientWidth);
        ASSERT_EQ(window->height(), row.clientHeight);
        fake.page = {0, 0, row.pageRight, 6600};
        s().PrintScale = 1.0;
        key('P');
        ASSERT_EQ(fake.printJobs.size(), 1u);
        ASSERT_EQ(fake.printJobs[0].ops.size(), 1u);
        EXPECT_EQ(fake.printJobs[0].ops[0].target, (common::Rect{0, 0, row.pageRight, row.height}));
    }
}

TEST_F(ExplorerFilesTest, WithoutAPrinterThePrintDialogComesFirst) {
    fake.printerAvailable = false;
    key('P');
    EXPECT_EQ(fake.printDialogs, 1);
    EXPECT_TRUE(fake.printJobs.empty()) << "cancelled";
    fake.printDialogAnswers = {true};
    key('P');
    EXPECT_EQ(fake.printDialogs, 2);
    ASSERT_EQ(fake.printJobs.size(), 1u);
    EXPECT_EQ(fake.printJobs[0].ops.size(), 1u);
    // The printer chosen there stays: no dialog the next time.
    key('P');
    EXPECT_EQ(fake.printDialogs, 2);
    EXPECT_EQ(fake.printJobs.size(), 2u);
}

TEST_F(ExplorerFilesTest, PrintFailuresAreReported) {
    struct Row {
        const char* name;
        const char* startError;
        const char* endError;
        std::size_t jobs;
    };
    const Row rows[] = {
        {"cannot_start", "Der Druckauftrag konnte nicht gestartet werden.", "", 0},
        {"cannot_finish", "", "Der Druckauftrag konnte nicht abgeschlossen werden.", 1},
    };
    for (const bool help : {false, true}) {
        if (help) {
            key('H');
        }
        for (const Row& row : rows) {
            SCOPED_TRACE(std::string(row.name) + (help ? " help" : " picture"));
            forgetRecord();
            fake.printStartError = row.startError;
            fake.printEndError = row.endError;
            fake.printDialogAnswers = {true};
            key('P');
            EXPECT_EQ(fake.printJobs.size(), row.jobs);
            ASSERT_EQ(fake.messages.size(), 1u);
            EXPECT_EQ(fake.messages[0].icon, common::MessageIcon::Stop);
            EXPECT_EQ(fake.messages[0].text, *row.startError ? row.startError : row.endError);
        }
    }
}

TEST_F(ExplorerFilesTest, HelpIsPrintedLineByLineOnTwoPages) {
    struct Row {
        const char* name;
        int pageBottom;
        int lineStep;
        int firstLineY;
    };
    const Row rows[] = {
        {"default_page", 6600, 89, 267},         // 89.19
        {"4800_high", 4800, 65, 195},            // 64.86
        {"halfway_down_to_even", 4773, 64, 192}, // 64.5
        {"halfway_up_to_even", 4847, 66, 198},   // 65.5
    };
    const std::vector<std::string>& help = HelpLines();
    ASSERT_EQ(help.size(), 61u);
    ASSERT_EQ(help[45], ".");
    key('H');
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        forgetRecord();
        fake.printerAvailable = true;
        fake.page = {0, 0, 4800, row.pageBottom};
        fake.printDialogAnswers = {true};
        key('P');
        EXPECT_EQ(fake.printDialogs, 1) << "the help always asks";
        ASSERT_EQ(fake.printJobs.size(), 1u);
        const testing_support::RecordedPrintJob& job = fake.printJobs[0];
        EXPECT_TRUE(job.ended);
        EXPECT_EQ(job.pages(), 2);
        ASSERT_EQ(job.ops.size(), 1u + 45u + 1u + 15u);
        ASSERT_EQ(job.ops[0].kind, PrintOp::Kind::Font);
        EXPECT_EQ(job.ops[0].font.family, "Courier New");
        EXPECT_TRUE(job.ops[0].font.bold);
        EXPECT_EQ(job.ops[0].font.pointSize, 10);
        EXPECT_EQ(job.ops[46].kind, PrintOp::Kind::NewPage);
        // The first line holds only blanks and still takes the first place on the page.
        EXPECT_EQ(job.ops[1].text, "    ");
        EXPECT_EQ(job.ops[1].at.y, row.firstLineY);
        EXPECT_EQ(job.ops[47].at.y, row.firstLineY);
        const int top = 2 * row.lineStep;
        for (std::size_t i = 0; i < 45; ++i) {
            const PrintOp& op = job.ops[1 + i];
            ASSERT_EQ(op.kind, PrintOp::Kind::Text) << i;
            EXPECT_EQ(op.text, help[i]) << i;
            EXPECT_EQ(op.at, (common::Point{400, static_cast<int>(i + 1) * row.lineStep + top})) << i;
        }
        for (std::size_t i = 0; i < 15; ++i) {
            const PrintOp& op = job.ops[47 + i];
            ASSERT_EQ(op.kind, PrintOp::Kind::Text) << i;
            EXPECT_EQ(op.text, help[46 + i]) << i;
            EXPECT_EQ(op.at, (common::Point{400, static_cast<int>(i + 1) * row.lineStep + top})) << i;
        }
    }
}

TEST_F(ExplorerFilesTest, CancelledHelpPrintPrintsNothingAndHiddenHelpPrintsThePicture) {
    key('H');
    key('P');
    EXPECT_EQ(fake.printDialogs, 1);
    EXPECT_TRUE(fake.printJobs.empty());
    key('H');
    key('P');
    EXPECT_EQ(fake.printDialogs, 1);
    ASSERT_EQ(fake.printJobs.size(), 1u);
    ASSERT_EQ(fake.printJobs[0].ops.size(), 1u);
    EXPECT_EQ(fake.printJobs[0].ops[0].kind, PrintOp::Kind::Image);
}

// --- printing through Qt into a PDF file

TEST(ExplorerPdfPrint, PictureCoversTheScaledPartOfThePrintableWidth) {
    const QString pdftoppm = QStandardPaths::findExecutable(QStringLiteral("pdftoppm"));
    ASSERT_FALSE(pdftoppm.isEmpty()) << "pdftoppm (poppler-utils) is part of the test set-up";
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString pdfPath = dir.filePath(QStringLiteral("bild.pdf"));

    platform::QtServices services;
    ExplorerWindow window(services);
    services.setMainWindow(&window);
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    window.FormKeyUp(&window, 'M');
    ASSERT_FALSE(window.state().MandelbrotRunning);
    window.state().PrintScale = 0.5;
    services.setPdfOutputForTesting(pdfPath);
    window.FormKeyUp(&window, 'P');
    ASSERT_TRUE(QFile::exists(pdfPath));

    // The same printer set up the same way tells the page in printer pixels.
    QPrinter reference(QPrinter::HighResolution);
    reference.setOutputFormat(QPrinter::PdfFormat);
    reference.setOutputFileName(dir.filePath(QStringLiteral("reference.pdf")));
    const double perDot = 36.0 / reference.resolution(); // printer pixels to 36 dpi pixels
    const QRectF paper = reference.paperRect(QPrinter::DevicePixel);
    const QRectF page = reference.pageRect(QPrinter::DevicePixel);
    const long long printWidth = std::llround(std::nearbyint(reference.width() * 0.5));
    const long long printHeight = RoundHalfEven(printWidth * window.height(), window.width());

    QProcess render;
    const QString prefix = dir.filePath(QStringLiteral("seite"));
    render.start(pdftoppm, {QStringLiteral("-r"), QStringLiteral("36"), QStringLiteral("-png"),
                            QStringLiteral("-f"), QStringLiteral("1"), QStringLiteral("-l"),
                            QStringLiteral("1"), QStringLiteral("-singlefile"), pdfPath, prefix});
    ASSERT_TRUE(render.waitForFinished(60000));
    ASSERT_EQ(render.exitCode(), 0) << render.readAllStandardError().toStdString();
    const QImage png(prefix + QStringLiteral(".png"));
    ASSERT_FALSE(png.isNull());
    EXPECT_NEAR(png.width(), paper.width() * perDot, 1.0);

    int left = png.width();
    int top = png.height();
    int right = -1;
    int bottom = -1;
    for (int y = 0; y < png.height(); ++y) {
        for (int x = 0; x < png.width(); ++x) {
            const QColor c = png.pixelColor(x, y);
            if (c.red() < 200 || c.green() < 200 || c.blue() < 200) {
                left = std::min(left, x);
                top = std::min(top, y);
                right = std::max(right, x + 1);
                bottom = std::max(bottom, y + 1);
            }
        }
    }
    ASSERT_GE(right, 0) << "nothing printed";
    EXPECT_NEAR(left, (page.left() - paper.left()) * perDot, 2.0);
    EXPECT_NEAR(top, (page.top() - paper.top()) * perDot, 2.0);
    EXPECT_NEAR(right - left, static_cast<double>(printWidth) * perDot, 2.0);
    EXPECT_NEAR(bottom - top, static_cast<double>(printHeight) * perDot, 2.0);
    // Half the printable width, not half the paper.
    EXPECT_NEAR((right - left) / (page.width() * perDot), 0.5, 0.02);
}

} // namespace
} // namespace explorer
