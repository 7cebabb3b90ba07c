#include "cli.h"

#include <string>

#include <CLI/CLI.hpp>

#include "command_line.h"
#include "command_options.h"
#include "lsystem_command.h"
#include "outcome.h"
#include "set_command.h"

#ifndef FRACTALS_VERSION
#define FRACTALS_VERSION "unknown"
#endif

namespace render {

int RunRenderer(int argc, const char* const* argv, RunContext& context) {
    CLI::App app{"Renders the pictures of the fractal programs without a window, at any size.", kProgramName};
    app.set_version_flag("--version", std::string(kProgramName) + " " + FRACTALS_VERSION);
    app.require_subcommand(1);
    app.footer("Exit status: 0 done, 1 failure (input unreadable, output not writable, broken off), "
               "2 usage error.\nSee fractal-render(1).");

    // One subcommand per program whose pictures can be rendered.
    SetOptions setOptions;
    AddSetCommand(app, setOptions);
    LsystemOptions lsystemOptions;
    AddLsystemCommand(app, lsystemOptions);

    try {
        if (const std::string fault = CheckCommandLine(app, argc, argv); !fault.empty()) {
            throw CLI::ParseError(fault, kExitUsage);
        }
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        if (e.get_exit_code() == 0) {
            return app.exit(e, context.out, context.err);
        }
        context.err << kProgramName << ": " << e.what() << "\nTry '" << kProgramName << " --help'.\n";
        return kExitUsage;
    }

    Outcome outcome;
    if (app.got_subcommand("set")) {
        outcome = RunSet(setOptions, context);
    } else if (app.got_subcommand("lsystem")) {
        outcome = RunLsystem(lsystemOptions, context);
    }
    if (outcome.status != kExitOk) {
        context.err << kProgramName << ": " << outcome.message << '\n';
    }
    return outcome.status;
}

} // namespace render
