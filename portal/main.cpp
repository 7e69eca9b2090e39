// lumo-portal: serves the platform's pages on the local machine for the
// client and its tests. Stops on SIGTERM, SIGINT or GET /__quit.
#include <pthread.h>
#include <signal.h>

#include <csignal>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "options.h"
#include "server.h"

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    portal::Options options;
    std::string error;
    bool help = false;
    if (!portal::ParseOptions(args, &options, &error, &help)) {
        std::fprintf(stderr, "lumo-portal: %s\n%s", error.c_str(), portal::UsageText());
        return 2;
    }
    if (help) {
        std::fputs(portal::UsageText(), stdout);
        return 0;
    }

    // Signals are taken by one thread with sigwait; every other thread,
    // including the server's workers created later, keeps them blocked.
    // SIGUSR1 only wakes that thread when the server ends by itself.
    std::signal(SIGPIPE, SIG_IGN);
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGUSR1);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    portal::Server server(options);
    const int port = server.Bind(&error);
    if (port < 0) {
        std::fprintf(stderr, "lumo-portal: %s\n", error.c_str());
        return 1;
    }
    if (!options.port_file.empty() && !portal::WritePortFile(options.port_file, port, &error)) {
        std::fprintf(stderr, "lumo-portal: %s\n", error.c_str());
        return 1;
    }

    std::thread signal_thread([&server, &signals] {
        int sig = 0;
        while (sigwait(&signals, &sig) == 0) {
            if (sig == SIGUSR1) return;
            server.Stop();
            return;
        }
    });

    std::printf("lumo-portal: listening on http://%s:%d/\n", options.bind.c_str(), port);
    std::fflush(stdout);
    const bool ok = server.Listen();

    pthread_kill(signal_thread.native_handle(), SIGUSR1);
    signal_thread.join();
    if (!ok) {
        std::fprintf(stderr, "lumo-portal: the server stopped with an error\n");
        return 1;
    }
    return 0;
}
