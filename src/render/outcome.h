#pragma once

#include <string>
#include <utility>

#include "cli.h"

namespace render {

/// A run's result with its exit status; a failure's message is printed once, by the caller.
struct Outcome {
    int status = kExitOk;
    std::string message;
    [[nodiscard]] bool ok() const { return status == kExitOk; }
};

inline Outcome Usage(std::string message) {
    return {kExitUsage, std::move(message)};
}

inline Outcome Failure(std::string message) {
    return {kExitFailure, std::move(message)};
}

} // namespace render
