// fractal-render's command line, run in-process: every argument a user or a script may type,
// including names of pictures to read and write. The input is the argument vector, the
// arguments separated by NUL bytes; a first byte 0x01 asks for a render broken off at once.
//
// The run happens in a private folder that holds a few pictures and a formula file for --from
// and FILE to find; arguments that could name a place outside it are not run, so nothing is
// written anywhere else. After each run the folder is set back to just those files.
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <mutex>
#include <optional>
#include <sstream>
#include <stop_token>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "cli.h"
#include "fuzz_support.h"
#include "paths.h"
#include "picture_record.h"
#include "set_options.h"
#include "stored_record.h"

namespace {

namespace fs = std::filesystem;

constexpr std::size_t kMaxArguments = 24;
constexpr std::size_t kMaxArgumentBytes = 200;
// The sizes a run may ask for: enough for every code path, small enough for many runs a second.
constexpr std::int64_t kMaxPixels = 48 * 48;
constexpr double kMaxWidth = 48;
constexpr double kMaxFrames = 3;
// What the size filter cannot see (a height that follows a view's aspect, the default sizes)
// is broken off after this long; a hang in the parsing is still the fuzzer's timeout.
constexpr auto kRunBudget = std::chrono::milliseconds(1500);

// The files the folder holds before every run.
// The Koch curve as the generator saves it; its start point scales with the area.
const char kKochFormula[] = "F-F++F-F\r\n1\r\n60\r\n60\r\n6\r\n0\r\n3\r\n40\r\n400\r\n1\r\n";

struct Stage {
    std::string folder;
    std::string startDir;
    std::map<std::string, std::string> seeds; // name -> bytes
};

std::string ReadAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteAll(const std::string& path, const std::string& bytes) {
    fuzz_support::WriteWholeFile(path, reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
}

int Run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
        const std::atomic<bool>* stop) {
    std::vector<const char*> argv{render::kProgramName};
    for (const std::string& a : args) {
        argv.push_back(a.c_str());
    }
    render::RunContext context{out, err, stop, false};
    return render::RunRenderer(static_cast<int>(argv.size()), argv.data(), context);
}

// The seed pictures are made by the renderer itself, so their records are the current version's.
const Stage& GetStage() {
    static const Stage stage = [] {
        Stage s;
        s.folder = fuzz_support::PrivateFolder();
        s.startDir = common::CurrentDirectory();
        FUZZ_CHECK(common::SetCurrentDirectory(s.folder));
        const std::vector<std::vector<std::string>> makers = {
            {"set", "--size", "8x6", "-q", "-o", "s.png"},
            {"set", "--julia", "-0.5/0.6", "--size", "6x6", "--subtractive", "-q", "-o", "j.jpg"},
            {"lsystem", "--preset", "5", "--size", "16x16", "-q", "-o", "l.png"},
            {"lsystem", "--preset", "2", "--size", "12x12", "--background", "black", "-q", "-o", "t.jpg"},
        };
        for (const auto& args : makers) {
            std::ostringstream out;
            std::ostringstream err;
            if (Run(args, out, err, nullptr) != render::kExitOk) {
                std::fprintf(stderr, "making a seed picture failed: %s\n", err.str().c_str());
                std::abort();
            }
        }
        WriteAll("k.frc", kKochFormula);
        WriteAll("n.png", "not a picture\n");
        for (const fs::directory_entry& entry : fs::directory_iterator(s.folder)) {
            s.seeds[entry.path().filename().string()] = ReadAll(entry.path());
        }
        FUZZ_CHECK(common::SetCurrentDirectory(s.startDir));
        return s;
    }();
    return stage;
}

// Whether a path could lead out of the folder: absolute, or through "..". A slash is let through
// only between the parts of a number pair (--julia -0.5/0.6); any other may start a path
// ("--output=/x", "-o/x").
bool CouldLeaveFolder(std::string_view arg) {
    if (arg.find("..") != std::string_view::npos) {
        return true;
    }
    const auto numeric = [](char c) {
        return (c >= '0' && c <= '9') || c == '.';
    };
    for (std::size_t i = 0; i < arg.size(); ++i) {
        if (arg[i] != '/') {
            continue;
        }
        const bool after =
            i + 1 < arg.size() && (numeric(arg[i + 1]) || arg[i + 1] == '-' || arg[i + 1] == '+');
        if (i == 0 || !numeric(arg[i - 1]) || !after) {
            return true;
        }
    }
    return false;
}

// The value an option gets, as "--name VALUE" or "--name=VALUE".
std::vector<std::string_view> ValuesOf(const std::vector<std::string>& args, std::string_view name) {
    std::vector<std::string_view> values;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string_view a = args[i];
        if (a == name && i + 1 < args.size()) {
            values.push_back(args[i + 1]);
        } else if (a.size() > name.size() && a.starts_with(name) && a[name.size()] == '=') {
            values.push_back(a.substr(name.size() + 1));
        }
    }
    return values;
}

bool AsksTooMuch(const std::vector<std::string>& args) {
    for (const std::string_view v : ValuesOf(args, "--size")) {
        if (const auto size = render::ParseSize(v); size && (*size)[0] * (*size)[1] > kMaxPixels) {
            return true;
        }
    }
    for (const std::string_view v : ValuesOf(args, "--width")) {
        if (const auto width = render::ParseNumber(v); width && *width > kMaxWidth) {
            return true;
        }
    }
    for (const std::string_view v : ValuesOf(args, "--zoom-sequence")) {
        if (const auto frames = render::ParseNumber(v); frames && *frames > kMaxFrames) {
            return true;
        }
    }
    return false;
}

// Sets the stop flag when a run takes longer than its budget.
class Watchdog {
public:
    explicit Watchdog(std::atomic<bool>& stop)
        : m_thread([this, &stop](std::stop_token token) {
              std::unique_lock lock(m_mutex);
              if (!m_wake.wait_for(lock, token, kRunBudget, [] { return false; }) &&
                  !token.stop_requested()) {
                  stop.store(true);
              }
          }) {}

private:
    std::mutex m_mutex;
    std::condition_variable_any m_wake;
    std::jthread m_thread; // last: it uses the members above, and its destructor ends it
};

bool IsTemporaryName(const std::string& name) {
    // OutputFile's "<target>.tmpXXXXXX".
    const std::size_t at = name.rfind(".tmp");
    return at != std::string::npos && name.size() - at == 10;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const Stage& stage = GetStage();
    std::string_view input = fuzz_support::AsText(data, size);
    const bool stopAtOnce = !input.empty() && input.front() == '\x01';
    if (stopAtOnce) {
        input.remove_prefix(1);
    }
    std::vector<std::string> args;
    while (!input.empty()) {
        const std::size_t end = std::min(input.find('\0'), input.size());
        args.emplace_back(input.substr(0, end));
        input.remove_prefix(std::min(input.size(), end + 1));
        if (args.size() > kMaxArguments || args.back().size() > kMaxArgumentBytes ||
            CouldLeaveFolder(args.back())) {
            return -1;
        }
    }
    if (AsksTooMuch(args)) {
        return -1;
    }

    FUZZ_CHECK(common::SetCurrentDirectory(stage.folder));
    std::ostringstream out;
    std::ostringstream err;
    std::atomic<bool> stop{stopAtOnce};
    int status = 0;
    {
        const Watchdog watchdog(stop);
        status = Run(args, out, err, &stop);
    }
    FUZZ_CHECK(common::SetCurrentDirectory(stage.startDir));

    FUZZ_CHECK(status == render::kExitOk || status == render::kExitFailure || status == render::kExitUsage);
    if (status != render::kExitOk) {
        // Every refusal says why, in the program's own voice.
        FUZZ_CHECK(err.str().starts_with(std::string(render::kProgramName) + ": "));
    }

    std::vector<std::string> created;
    std::vector<std::string> changedSeeds;
    for (const fs::directory_entry& entry : fs::directory_iterator(stage.folder)) {
        const std::string name = entry.path().filename().string();
        // A temporary file never outlives the run, whatever became of it.
        if (IsTemporaryName(name)) {
            std::fprintf(stderr, "left behind: %s\n", name.c_str());
        }
        FUZZ_CHECK(!IsTemporaryName(name));
        const auto seed = stage.seeds.find(name);
        if (seed == stage.seeds.end()) {
            created.push_back(name);
        } else if (!entry.is_regular_file() || ReadAll(entry.path()) != seed->second) {
            changedSeeds.push_back(name);
        }
    }
    std::vector<std::string> written = created;
    written.insert(written.end(), changedSeeds.begin(), changedSeeds.end());
    // A failed or broken-off run leaves the folder as it was.
    if (status != render::kExitOk && !written.empty()) {
        std::fprintf(stderr, "exit status %d, yet %s was written\n", status, written.front().c_str());
    }
    FUZZ_CHECK(status == render::kExitOk || written.empty());
    // Every picture written carries a record that reads back.
    for (const std::string& name : written) {
        const std::string path = stage.folder + "/" + name;
        if (render::SniffPicture(path) == render::PictureKind::Other) {
            continue;
        }
        std::optional<common::PictureRecord> record;
        const render::Outcome read = render::ReadStoredRecord(path, record);
        if (!read.ok()) {
            std::fprintf(stderr, "%s: %s\n", name.c_str(), read.message.c_str());
        }
        FUZZ_CHECK(read.ok() && record.has_value());
    }

    for (const std::string& name : created) {
        std::error_code ignored;
        fs::remove_all(stage.folder + "/" + name, ignored);
    }
    for (const std::string& name : changedSeeds) {
        std::error_code ignored;
        fs::remove_all(stage.folder + "/" + name, ignored);
        WriteAll(stage.folder + "/" + name, stage.seeds.at(name));
    }
    return 0;
}
