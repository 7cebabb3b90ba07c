#include <atomic>
#include <csignal>
#include <iostream>

#include <unistd.h>

#include "cli.h"

namespace {

std::atomic<bool> g_stop{false};
volatile std::sig_atomic_t g_signal = 0;

extern "C" void RequestStop(int signal) {
    g_signal = signal;
    g_stop.store(true);
}

} // namespace

int main(int argc, char** argv) {
    // The render notices the request between columns, removes its temporary file and returns;
    // then the signal is raised again, so the caller sees the usual status of an interrupted
    // program.
    struct sigaction action {};
    action.sa_handler = RequestStop;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);

    render::RunContext context{std::cout, std::cerr, &g_stop, ::isatty(STDERR_FILENO) == 1};
    const int status = render::RunRenderer(argc, argv, context);
    std::cout.flush();
    if (g_signal != 0) {
        std::signal(g_signal, SIG_DFL);
        std::raise(g_signal);
    }
    return status;
}
