#pragma once

#include "assemble.h"
#include "lsystem_picture.h"
#include "set_options.h"
#include "video_command.h"

namespace CLI {
class App;
}

namespace render {

/// The options of each subcommand, with their help texts, filling the options struct as
/// they are parsed.
void AddSetCommand(CLI::App& app, SetOptions& options);
void AddLsystemCommand(CLI::App& app, LsystemOptions& options);
void AddAssembleCommand(CLI::App& app, AssembleOptions& options);

} // namespace render
