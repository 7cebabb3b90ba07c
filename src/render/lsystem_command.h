#pragma once

#include "cli.h"
#include "lsystem_picture.h"
#include "outcome.h"

namespace render {

/// `lsystem`: one drawing of the generator.
[[nodiscard]] Outcome RunLsystem(const LsystemOptions& options, RunContext& context);

} // namespace render
