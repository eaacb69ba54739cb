// router-sim: the simulated home router as a program; see --help.

#include <pthread.h>
#include <signal.h>

#include <iostream>
#include <string>
#include <vector>

#include "command_line.hpp"
#include "router_sim.hpp"

namespace {

// Blocks SIGINT and SIGTERM in this thread and, by inheritance, in every
// thread the router starts, so that they are only taken by sigwait.
sigset_t BlockStopSignals() {
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    return signals;
}

}  // namespace

int main(int argc, char** argv) {
    using namespace tralvex::routersim;
    CommandLine commandLine = ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
    if (!commandLine.error.empty()) {
        std::cerr << "router-sim: " << commandLine.error << "\nTry 'router-sim --help'.\n";
        return 2;
    }
    if (commandLine.help) {
        std::cout << HelpText();
        return 0;
    }
    ::signal(SIGPIPE, SIG_IGN);
    sigset_t stopSignals = BlockStopSignals();

    commandLine.scenario.keepRecords = false;  // the log holds them; a long run keeps nothing
    Router router(std::move(commandLine.scenario));
    if (!router.Error().empty()) {
        std::cerr << "router-sim: " << router.Error() << "\n";
        return 1;
    }
    std::cout << "listening on 127.0.0.1:" << router.Port() << std::endl;
    int signal = 0;
    sigwait(&stopSignals, &signal);
    return 0;
}
