#pragma once

#include "cli.h"
#include "outcome.h"
#include "set_options.h"

namespace render {

/// `set`: one picture, or a zoom flight of numbered pictures.
[[nodiscard]] Outcome RunSet(const SetOptions& options, RunContext& context);

} // namespace render
