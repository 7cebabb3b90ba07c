#include "stop_request.h"

#include <pthread.h>
#include <signal.h>

namespace render {

CommitStatus CommitUnlessStopped(const std::atomic<bool>* stop, const std::function<bool()>& commit) {
    sigset_t all;
    sigset_t previous;
    sigfillset(&all);
    pthread_sigmask(SIG_BLOCK, &all, &previous);
    CommitStatus status = CommitStatus::Stopped;
    if (!StopRequested(stop)) {
        status = commit() ? CommitStatus::Done : CommitStatus::Failed;
    }
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    return status;
}

Outcome CommitOutput(common::AtomicFile& output, const std::string& path, const std::atomic<bool>* stop) {
    std::string error;
    switch (CommitUnlessStopped(stop, [&] { return output.commit(error); })) {
    case CommitStatus::Stopped:
        return Failure("broken off; " + path + " was not written");
    case CommitStatus::Failed:
        return Failure("cannot write " + path + ": " + error);
    case CommitStatus::Done:
        break;
    }
    return {};
}

} // namespace render
