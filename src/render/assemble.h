#pragma once

#include <string>
#include <vector>

#include "cli.h"
#include "outcome.h"

namespace render {

/// The options of `assemble` as typed.
struct AssembleOptions {
    std::vector<std::string> inputs; // files or folders
    std::string output;
    bool quiet = false;
};

/// Puts together what was rendered in parts. What is given decides the work: tiles of one
/// picture (`set --tile`), named one by one or as the folder that holds them, make that picture.
Outcome RunAssemble(const AssembleOptions& options, RunContext& context);

} // namespace render
