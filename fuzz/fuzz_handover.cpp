// The start-folder handover: a launcher leaves <temp>/VEVIVU/vivod.stm, a 32-bit count and a
// folder name, which any program on the machine may have written.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <sys/stat.h>

#include "fuzz_support.h"
#include "paths.h"

namespace {

// What the reader must give, worked out without a file: nothing for fewer than four bytes, a
// negative count or one beyond the bytes that follow it; otherwise the counted bytes trimmed.
std::optional<std::string> Expected(std::string_view input) {
    if (input.size() < 4) {
        return std::nullopt;
    }
    std::uint32_t raw = 0;
    for (int i = 3; i >= 0; --i) {
        raw = raw << 8 | static_cast<unsigned char>(input[static_cast<std::size_t>(i)]);
    }
    const auto count = static_cast<std::int32_t>(raw);
    if (count < 0 || static_cast<std::size_t>(count) > input.size() - 4) {
        return std::nullopt;
    }
    std::string_view text = input.substr(4, static_cast<std::size_t>(count));
    const auto control = [](char c) {
        return static_cast<unsigned char>(c) <= 32;
    };
    while (!text.empty() && control(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && control(text.back())) {
        text.remove_suffix(1);
    }
    return std::string(text);
}

struct Place {
    std::string tempFolder;     // what TMPDIR points at during the takeover
    std::string handoverFolder; // <tempFolder>/VEVIVU
    std::string file;           // <handoverFolder>/vivod.stm
    std::string startDir;       // the cwd to come back to
    std::string oldTmpdir;
    bool hadTmpdir = false;
};

const Place& GetPlace() {
    static const Place place = [] {
        Place p;
        p.tempFolder = fuzz_support::PrivateFolder();
        p.handoverFolder = p.tempFolder + "/" + common::kHandoverFolderName;
        if (::mkdir(p.handoverFolder.c_str(), 0700) != 0) {
            std::perror("mkdir");
            std::abort();
        }
        p.file = p.handoverFolder + "/" + common::kHandoverFileName;
        p.startDir = common::CurrentDirectory();
        const char* tmpdir = std::getenv("TMPDIR");
        p.hadTmpdir = tmpdir != nullptr;
        p.oldTmpdir = tmpdir != nullptr ? tmpdir : "";
        return p;
    }();
    return place;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const Place& place = GetPlace();
    const std::string_view input = fuzz_support::AsText(data, size);
    fuzz_support::WriteWholeFile(place.file, data, size);

    const std::optional<std::string> text =
        common::ReadPrefixedText(place.handoverFolder, common::kHandoverFileName);
    FUZZ_CHECK(text == Expected(input));

    // A trailing slash on TMPDIR must not change which file is found.
    const std::string tmpdir = size % 2 == 0 ? place.tempFolder : place.tempFolder + "/";
    ::setenv("TMPDIR", tmpdir.c_str(), 1);
    const std::string untouched = "\x01untouched";
    std::string workDir = untouched;
    common::TakeOverStartFolder(workDir);
    FUZZ_CHECK(workDir == text.value_or(untouched));

    // The takeover may have entered any folder named in the input; the next run, and the
    // fuzzer's own files, expect the old one.
    FUZZ_CHECK(common::SetCurrentDirectory(place.startDir));
    if (place.hadTmpdir) {
        ::setenv("TMPDIR", place.oldTmpdir.c_str(), 1);
    } else {
        ::unsetenv("TMPDIR");
    }
    return 0;
}
