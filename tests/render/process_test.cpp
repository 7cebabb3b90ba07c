// The renderer as a process: what its callers see of signals, of an unwritable standard output
// and of a memory limit, which only the real program's main() and its environment show.
#include <csignal>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "formula_file.h"
#include "test_files.h"

namespace {

namespace fs = std::filesystem;

struct Launch {
    std::vector<std::string> args; // after the program's name
    int stdoutFd = -1;             // -1: /dev/null
    int ignoredSignal = 0;         // set to SIG_IGN before the program starts, as nohup does
    bool shell = false;            // run through sh -c with args[0] as the script
};

class ProcessTest : public testing::Test {
protected:
    ProcessTest() { fs::create_directories(errFolder()); }
    ~ProcessTest() override {
        std::error_code ignored;
        fs::remove_all(errFolder(), ignored);
    }

    /// Starts the program in the test's folder; its standard error goes to err.txt in a folder
    /// beside it, so the test's folder holds only what the program leaves.
    pid_t start(const Launch& launch) {
        std::vector<std::string> args;
        if (launch.shell) {
            args = {"/bin/sh", "-c", launch.args.at(0), FRACTAL_RENDER_BINARY};
            args.insert(args.end(), launch.args.begin() + 1, launch.args.end());
        } else {
            args = {FRACTAL_RENDER_BINARY};
            args.insert(args.end(), launch.args.begin(), launch.args.end());
        }
        std::vector<char*> argv;
        for (std::string& a : args) {
            argv.push_back(a.data());
        }
        argv.push_back(nullptr);
        const std::string errPath = (errFolder() / "err.txt").string();
        const pid_t pid = ::fork();
        if (pid == 0) {
            if (::chdir(folder_.c_str()) != 0) {
                ::_exit(127);
            }
            const int out = launch.stdoutFd >= 0 ? launch.stdoutFd : ::open("/dev/null", O_WRONLY);
            const int err = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            ::dup2(out, STDOUT_FILENO);
            ::dup2(err, STDERR_FILENO);
            // SIGQUIT would leave a core file.
            const rlimit noCore{0, 0};
            ::setrlimit(RLIMIT_CORE, &noCore);
            for (const int s : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) {
                std::signal(s, s == launch.ignoredSignal ? SIG_IGN : SIG_DFL);
            }
            ::execv(argv[0], argv.data());
            ::_exit(127);
        }
        return pid;
    }

    static int wait(pid_t pid) {
        int status = 0;
        ::waitpid(pid, &status, 0);
        return status;
    }

    /// Waits for a name in the folder to satisfy `seen`; false when the program ended first.
    template <typename Seen> bool waitFor(pid_t pid, Seen seen) {
        for (;;) {
            for (const auto& entry : fs::directory_iterator(folder_)) {
                if (seen(entry.path().filename().string())) {
                    return true;
                }
            }
            int status = 0;
            if (::waitpid(pid, &status, WNOHANG) == pid) {
                ended_ = status;
                return false;
            }
            ::usleep(2000);
        }
    }
    bool waitForTemporaryFile(pid_t pid) {
        return waitFor(pid, [](const std::string& name) { return name.find(".tmp") != std::string::npos; });
    }

    std::set<std::string> entries() const {
        std::set<std::string> names;
        for (const auto& entry : fs::directory_iterator(folder_)) {
            names.insert(entry.path().filename().string());
        }
        return names;
    }
    std::string errText() const {
        std::ifstream in(errFolder() / "err.txt");
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    fs::path errFolder() const { return folder_.parent_path() / (folder_.filename().string() + ".err"); }

    /// A drawing that runs far longer than any test: ten F in each of ten levels.
    void writeEndlessFormula() {
        std::ofstream(folder_ / "endless.frc", std::ios::binary)
            << lsystem::FormatFormulaFile({"FFFFFFFFFF", "1", "1", "1", "1", "0", "10", "0", "0", "0"});
    }

    testing_support::TemporaryFolder scratch_{"process_test"};
    fs::path folder_ = scratch_.path();
    int ended_ = 0;
};

class StopSignalTest : public ProcessTest, public testing::WithParamInterface<int> {};

TEST_P(StopSignalTest, SignalBeforeTheFileIsDoneLeavesNothingAndEndsTheProcessBySignal) {
    const int signal = GetParam();
    writeEndlessFormula();
    const pid_t pid = start({{"lsystem", "endless.frc", "-o", "out.svg"}});
    ASSERT_TRUE(waitForTemporaryFile(pid)) << errText();
    ::kill(pid, signal);
    const int status = wait(pid);
    ASSERT_TRUE(WIFSIGNALED(status)) << "exit status " << WEXITSTATUS(status) << ": " << errText();
    EXPECT_EQ(WTERMSIG(status), signal);
    EXPECT_EQ(entries(), std::set<std::string>{"endless.frc"});
    EXPECT_NE(errText().find("broken off; out.svg was not written"), std::string::npos) << errText();
}

INSTANTIATE_TEST_SUITE_P(Render, StopSignalTest, testing::Values(SIGINT, SIGTERM, SIGHUP, SIGQUIT),
                         [](const testing::TestParamInfo<int>& info) {
                             return std::string(sigabbrev_np(info.param));
                         });

/// Whether the signal is in one of the masks of /proc/PID/status ("SigIgn:", "SigCgt:").
bool InMask(pid_t pid, const std::string& mask, int signal) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.starts_with(mask)) {
            const unsigned long long bits = std::stoull(line.substr(mask.size()), nullptr, 16);
            return ((bits >> (signal - 1)) & 1U) != 0;
        }
    }
    return false;
}

TEST_F(ProcessTest, SignalIgnoredByTheCallerStaysIgnored) {
    writeEndlessFormula();
    // A background job of a shell without job control starts with SIGINT ignored.
    const pid_t pid = start({{"lsystem", "endless.frc", "-o", "out.svg"}, -1, SIGINT});
    // The handlers are set before the file is created.
    ASSERT_TRUE(waitForTemporaryFile(pid)) << errText();
    EXPECT_TRUE(InMask(pid, "SigIgn:", SIGINT));
    EXPECT_FALSE(InMask(pid, "SigCgt:", SIGINT));
    EXPECT_TRUE(InMask(pid, "SigCgt:", SIGTERM));
    ::kill(pid, SIGTERM);
    const int status = wait(pid);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM);
}

TEST_F(ProcessTest, SignalAfterTheFileIsDoneEndsTheRunNormally) {
    // Standard output is a full pipe, so the program cannot end before the test has read it:
    // once the file has its name the signal comes in while the name waits to be written.
    int pipeFds[2];
    ASSERT_EQ(::pipe(pipeFds), 0);
    ::fcntl(pipeFds[1], F_SETFL, O_NONBLOCK);
    const std::string filler(4096, 'x');
    std::size_t filled = 0;
    while (::write(pipeFds[1], filler.data(), filler.size()) > 0) {
        filled += filler.size();
    }
    ::fcntl(pipeFds[1], F_SETFL, 0);
    const pid_t pid = start({{"lsystem", "--preset", "1", "-o", "out.svg"}, pipeFds[1]});
    ::close(pipeFds[1]);
    const bool done = waitFor(pid, [](const std::string& name) { return name == "out.svg"; });
    ::kill(pid, SIGINT);
    std::string out;
    char buffer[4096];
    for (ssize_t n = 0; (n = ::read(pipeFds[0], buffer, sizeof buffer)) > 0;) {
        out.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(pipeFds[0]);
    const int status = done ? wait(pid) : ended_;
    ASSERT_TRUE(done) << errText();
    ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), 0) << errText();
    EXPECT_EQ(out.substr(filled), "out.svg\n");
    EXPECT_EQ(entries(), std::set<std::string>{"out.svg"});
}

TEST_F(ProcessTest, FullStandardOutputIsAFailure) {
    const int full = ::open("/dev/full", O_WRONLY);
    ASSERT_GE(full, 0);
    const pid_t pid = start({{"lsystem", "--preset", "1", "-o", "out.svg"}, full});
    ::close(full);
    const int status = wait(pid);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 1);
    EXPECT_EQ(errText(),
              "fractal-render: cannot write the list of files to standard output: No space left on device\n");
}

TEST_F(ProcessTest, TooLittleMemoryForTheCanvasIsAMessage) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the address sanitizer ends the program on any failed allocation and needs more "
                    "address space than the limit";
#endif
    // 2^28 pixels, the largest canvas a drawing in pixels may have (805 MB), in 600 MB.
    const pid_t pid = start({{"ulimit -v 600000 && exec \"$0\" \"$@\"", "lsystem", "--preset", "1", "--size",
                              "16384x16384", "-o", "big.png"},
                             -1,
                             0,
                             true});
    const int status = wait(pid);
    ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), 1);
    EXPECT_NE(errText().find("fractal-render: cannot write big.png: not enough memory"), std::string::npos)
        << errText();
    EXPECT_TRUE(entries().empty());
}

} // namespace
