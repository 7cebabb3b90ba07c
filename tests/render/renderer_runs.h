#pragma once

// What the renderer's tests share: a run of the whole program in this process, and a scratch
// folder that is the current folder while a test runs.

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <functional>
#include <ostream>
#include <set>
#include <sstream>
#include <streambuf>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "cli.h"
#include "test_files.h"

namespace render_test {

/// What a run of fractal-render gave: its exit status and what it wrote.
struct RendererRun {
    int status = -1;
    std::string out;
    std::string err;
};

/// fractal-render with these words after its name. With `err`, standard error goes there, the
/// progress line included as on a terminal; without, it is kept in the result.
inline RendererRun RunRenderer(std::vector<std::string> args, const std::atomic<bool>* stop = nullptr,
                               std::ostream* err = nullptr) {
    args.insert(args.begin(), "fractal-render");
    std::vector<const char*> argv;
    argv.reserve(args.size());
    for (const std::string& a : args) {
        argv.push_back(a.c_str());
    }
    std::ostringstream out;
    std::ostringstream kept;
    render::RunContext context{out, err != nullptr ? *err : kept, stop, err != nullptr};
    RendererRun result;
    result.status = render::RunRenderer(static_cast<int>(argv.size()), argv.data(), context);
    result.out = out.str();
    result.err = kept.str();
    return result;
}

/// Standard error that calls `action` the first time `trigger` appears in it (never for an
/// empty one), keeping the whole text.
class WatchedText : public std::streambuf {
public:
    WatchedText(std::string trigger, std::function<void()> action)
        : m_trigger(std::move(trigger)), m_action(std::move(action)) {}
    std::string text;

protected:
    int_type overflow(int_type c) override {
        if (c != traits_type::eof()) {
            text += traits_type::to_char_type(c);
            check();
        }
        return c;
    }
    std::streamsize xsputn(const char* s, std::streamsize n) override {
        text.append(s, static_cast<std::size_t>(n));
        check();
        return n;
    }

private:
    void check() {
        if (!m_trigger.empty() && !m_fired && text.find(m_trigger) != std::string::npos) {
            m_fired = true;
            m_action();
        }
    }
    std::string m_trigger;
    std::function<void()> m_action;
    bool m_fired = false;
};

/// A command that must be refused: its words, exit status and a piece of its one message.
struct RefusalRow {
    const char* name;
    std::vector<std::string> args;
    int status;
    const char* says;
};

inline void PrintTo(const RefusalRow& row, std::ostream* out) {
    *out << row.name;
}

/// A test in a scratch folder of its own, made the current folder so that relative names land
/// in it.
class InScratchFolder : public testing::Test {
protected:
    explicit InScratchFolder(const char* name) : scratch_(name) { std::filesystem::current_path(folder_); }
    ~InScratchFolder() override { std::filesystem::current_path(previous_); }

    using Run = RendererRun;
    static Run run(std::vector<std::string> args, const std::atomic<bool>* stop = nullptr,
                   std::ostream* err = nullptr) {
        return RunRenderer(std::move(args), stop, err);
    }

    /// Every file and folder below the scratch folder.
    [[nodiscard]] std::set<std::string> entries() const {
        std::set<std::string> names;
        for (const auto& entry : std::filesystem::recursive_directory_iterator(folder_)) {
            names.insert(std::filesystem::relative(entry.path(), folder_).string());
        }
        return names;
    }

    /// One message naming the problem, the row's exit status, nothing on stdout, and nothing
    /// written or left behind in the folder.
    void expectRefused(const std::string& command, const RefusalRow& row) const {
        const std::set<std::string> before = entries();
        std::vector<std::string> args = {command};
        args.insert(args.end(), row.args.begin(), row.args.end());
        const Run r = run(args);
        EXPECT_EQ(r.status, row.status) << r.err;
        EXPECT_TRUE(r.err.starts_with("fractal-render: ")) << r.err;
        EXPECT_NE(r.err.find(row.says), std::string::npos) << r.err;
        EXPECT_LE(std::count(r.err.begin(), r.err.end(), '\n'), 2) << r.err;
        EXPECT_TRUE(r.out.empty());
        EXPECT_EQ(entries(), before);
    }

    testing_support::TemporaryFolder scratch_;
    std::filesystem::path folder_ = scratch_.path();
    std::filesystem::path previous_ = std::filesystem::current_path();
};

} // namespace render_test
