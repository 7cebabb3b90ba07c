#include "cli.h"

#include <cerrno>
#include <cstring>
#include <exception>
#include <new>
#include <string>

#include <CLI/CLI.hpp>

#include "assemble.h"
#include "command_line.h"
#include "command_options.h"
#include "lsystem_command.h"
#include "outcome.h"
#include "set_command.h"
#include "video_command.h"

#ifndef FRACTALS_VERSION
#define FRACTALS_VERSION "unknown"
#endif

namespace render {

namespace {

/// What goes to standard output (the list of files written, the help) is the run's result: a
/// caller reading it must not take a cut-off text for a complete one.
Outcome FlushResults(RunContext& context, const std::string& what) {
    errno = 0;
    try {
        context.out.flush();
    } catch (const std::exception&) {
        // A stream set to throw has its state set as well.
    }
    if (context.out.fail()) {
        const int reason = errno;
        return Failure("cannot write " + what + " to standard output" +
                       (reason != 0 ? std::string(": ") + std::strerror(reason) : std::string()));
    }
    return {};
}

} // namespace

int RunRenderer(int argc, const char* const* argv, RunContext& context) {
    CLI::App app{"Renders the pictures of the fractal programs without a window, at any size.", kProgramName};
    app.set_version_flag("--version", std::string(kProgramName) + " " + FRACTALS_VERSION);
    app.require_subcommand(1);
    app.footer("Exit status: 0 done, 1 failure (input unreadable, output not writable, broken off), "
               "2 usage error.\nSIGINT (Ctrl+C), SIGTERM, SIGHUP or SIGQUIT before a picture is complete "
               "leave no file and end the program by that signal; after it, the run ends as done.\n"
               "See fractal-render(1).");

    // One subcommand per program whose pictures can be rendered.
    SetOptions setOptions;
    AddSetCommand(app, setOptions);
    LsystemOptions lsystemOptions;
    AddLsystemCommand(app, lsystemOptions);
    AssembleOptions assembleOptions;
    AddAssembleCommand(app, assembleOptions);

    try {
        if (const std::string fault = CheckCommandLine(app, argc, argv); !fault.empty()) {
            throw CLI::ParseError(fault, kExitUsage);
        }
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        if (e.get_exit_code() == 0) {
            // --help or --version: their text is the result.
            app.exit(e, context.out, context.err);
            const Outcome flushed = FlushResults(context, "the text");
            if (!flushed.ok()) {
                context.err << kProgramName << ": " << flushed.message << '\n';
            }
            return flushed.status;
        }
        context.err << kProgramName << ": " << e.what() << "\nTry '" << kProgramName << " --help'.\n";
        return kExitUsage;
    }

    // Whatever a render throws ends here, after the stack unwound, so temporary files are gone.
    Outcome outcome;
    try {
        if (app.got_subcommand("set")) {
            outcome = RunSet(setOptions, context);
        } else if (app.got_subcommand("lsystem")) {
            outcome = RunLsystem(lsystemOptions, context);
        } else if (app.got_subcommand("assemble")) {
            outcome = RunAssemble(assembleOptions, context);
        }
    } catch (const std::bad_alloc&) {
        outcome = Failure("not enough memory; nothing was written beyond the files already listed");
    } catch (const std::exception& e) {
        outcome = Failure(std::string("unexpected failure: ") + e.what());
    } catch (...) {
        outcome = Failure("unexpected failure");
    }
    if (outcome.status == kExitOk) {
        outcome = FlushResults(context, "the list of files");
    }
    if (outcome.status != kExitOk) {
        context.err << kProgramName << ": " << outcome.message << '\n';
    }
    return outcome.status;
}

} // namespace render
