#include <atomic>
#include <csignal>
#include <iostream>

#include <unistd.h>

#include "cli.h"

namespace {

std::atomic<bool> g_stop{false};
volatile std::sig_atomic_t g_signal = 0;

extern "C" void RequestStop(int signal) {
    if (g_signal == 0) {
        g_signal = signal;
    }
    g_stop.store(true);
}

/// The signals that ask a program to end, from the terminal (Ctrl+C, Ctrl+\), a closed
/// terminal or `kill`.
constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};

void HandleStopSignals() {
    for (const int signal : kStopSignals) {
        struct sigaction previous {};
        sigaction(signal, nullptr, &previous);
        // A caller that ignores a signal (nohup, a shell's background job) keeps it ignored.
        if (previous.sa_handler == SIG_IGN) {
            continue;
        }
        struct sigaction action {};
        action.sa_handler = RequestStop;
        sigemptyset(&action.sa_mask);
        // A write of the list of files that the signal interrupts goes on instead of failing.
        action.sa_flags = SA_RESTART;
        sigaction(signal, &action, nullptr);
    }
}

} // namespace

int main(int argc, char** argv) {
    // The render notices the request between steps, removes its temporary file and returns;
    // then the signal is raised again, so the caller sees the usual status of an interrupted
    // program. A signal after the file got its name changes nothing: the work is done.
    HandleStopSignals();

    render::RunContext context{std::cout, std::cerr, &g_stop, ::isatty(STDERR_FILENO) == 1};
    const int status = render::RunRenderer(argc, argv, context);
    if (g_signal != 0 && status != render::kExitOk) {
        std::signal(g_signal, SIG_DFL);
        std::raise(g_signal);
    }
    return status;
}
