#pragma once

#include <atomic>
#include <ostream>

namespace render {

/// Exit statuses: 0 done, 1 a failure (unreadable input, unwritable output, broken off), 2 a
/// usage error (unknown option, malformed or out-of-range value).
/// The name the program goes by in its messages.
inline constexpr char kProgramName[] = "fractal-render";

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;

struct RunContext {
    std::ostream& out; // results: the names of the files written
    std::ostream& err; // messages and the progress line
    /// Set (by a signal handler) to break a render off; nothing is left behind.
    const std::atomic<bool>* stop = nullptr;
    /// Whether the progress line may be shown (stderr is a terminal).
    bool progressAllowed = false;
};

/// The whole program on its arguments, without exiting; returns the exit status.
int RunRenderer(int argc, const char* const* argv, RunContext& context);

} // namespace render
