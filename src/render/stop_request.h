#pragma once

#include <atomic>
#include <functional>
#include <string>

#include "atomic_file.h"
#include "outcome.h"

namespace render {

/// Whether the stop flag (set by a signal handler) asks the work to end.
[[nodiscard]] inline bool StopRequested(const std::atomic<bool>* stop) {
    return stop != nullptr && stop->load();
}

enum class CommitStatus { Done, Stopped, Failed };

/// Runs `commit` (the rename that gives a finished file its name) unless a stop was asked for.
/// Every signal is held back meanwhile, so none can slip in between the last look at the flag
/// and the rename: a signal before it leaves no file, one after it finds the work done.
[[nodiscard]] CommitStatus CommitUnlessStopped(const std::atomic<bool>* stop,
                                               const std::function<bool()>& commit);

/// Gives the finished `output` its name `path` unless a stop came first; the failure to report
/// otherwise.
[[nodiscard]] Outcome CommitOutput(common::AtomicFile& output, const std::string& path,
                                   const std::atomic<bool>* stop);

} // namespace render
