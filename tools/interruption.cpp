#include "tools/interruption.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <exception>

namespace palvane::tool {

namespace {

const int kSignals[] = {SIGINT, SIGTERM, SIGHUP};

volatile std::sig_atomic_t caught = 0;
bool guarding = false;
struct sigaction previous[3];
bool replaced[3] = {};

void remember(int signal) {
    caught = signal;
}

} // namespace

InterruptGuard::InterruptGuard() {
    caught = 0;
    guarding = true;
    struct sigaction action = {};
    action.sa_handler = remember;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0; // no SA_RESTART: a blocking read returns, so the import can stop
    for (int i = 0; i < 3; ++i) {
        // A signal the caller ignores (SIGHUP under nohup) stays ignored.
        sigaction(kSignals[i], nullptr, &previous[i]);
        replaced[i] = previous[i].sa_handler != SIG_IGN;
        if (replaced[i])
            sigaction(kSignals[i], &action, nullptr);
    }
}

InterruptGuard::~InterruptGuard() {
    for (int i = 0; i < 3; ++i)
        if (replaced[i])
            sigaction(kSignals[i], &previous[i], nullptr);
    guarding = false;
    const int signal = caught;
    if (signal == 0)
        return;
    // The program's own name: the desktop import runs this too.
    std::fprintf(stderr, "%s: %s\n", program_invocation_short_name,
                 std::uncaught_exceptions() > 0 ? "interrupted; nothing was imported"
                                                : "interrupted after the import was complete");
    std::fflush(stderr);
    std::raise(signal);
}

bool InterruptGuard::pending() {
    return guarding && caught != 0;
}

void InterruptGuard::check() {
    if (pending())
        throw Interrupted();
}

} // namespace palvane::tool
