// The portal as a program: its command line, slow mode, the port file, and the executable
// itself as a child process (serving until /__quit or a signal, failing cleanly).
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>
#include <httplib.h>

#include "options.h"
#include "server.h"
#include "tests/portal/test_support.h"

namespace portal {
namespace {

using Clock = std::chrono::steady_clock;

TEST(Options, ParsesValuesAndRejectsBadInput) {
    Options o;
    std::string error;
    bool help = false;
    ASSERT_TRUE(ParseOptions(
        {"--port", "8080", "--bind=0.0.0.0", "--port-file", "/tmp/p", "--slow-ms=250", "--heartbeat-answer", ""}, &o,
        &error, &help));
    EXPECT_EQ(o.port, 8080);
    EXPECT_EQ(o.bind, "0.0.0.0");
    EXPECT_EQ(o.port_file, "/tmp/p");
    EXPECT_EQ(o.slow_ms, 250);
    EXPECT_EQ(o.heartbeat_answer, "");  // an empty answer is a valid test case
    EXPECT_FALSE(help);

    for (const std::vector<std::string>& bad : {std::vector<std::string>{"--port", "65536"},
                                                {"--port", "-1"},
                                                {"--port", "12ab"},
                                                {"--port"},
                                                {"--slow-ms", "-5"},
                                                {"--bind", ""},
                                                {"--verbose"},
                                                {"extra"}}) {
        Options untouched;
        untouched.port = 42;
        error.clear();
        EXPECT_FALSE(ParseOptions(bad, &untouched, &error, &help)) << bad[0];
        EXPECT_FALSE(error.empty());
        EXPECT_EQ(untouched.port, 42) << "options changed by a failed parse";
    }
    ASSERT_TRUE(ParseOptions({"--help"}, &o, &error, &help));
    EXPECT_TRUE(help);

    // --hostile is a switch: it takes no value, and the next argument is parsed on its own.
    EXPECT_FALSE(o.hostile);
    ASSERT_TRUE(ParseOptions({"--hostile", "--port", "9"}, &o, &error, &help));
    EXPECT_TRUE(o.hostile);
    EXPECT_EQ(o.port, 9);
    EXPECT_FALSE(ParseOptions({"--hostile=1"}, &o, &error, &help));
}

TEST(SlowMode, DelaysPagesButNotControlEndpointsAndStopsPromptly) {
    Options o;
    o.slow_ms = 300;
    {
        RunningServer s(o);
        auto cli = s.Client();
        auto t0 = Clock::now();
        ASSERT_TRUE(cli->Get("/game/s/dmor/?uid=a"));
        EXPECT_GE(Clock::now() - t0, std::chrono::milliseconds(300));
        t0 = Clock::now();
        ASSERT_TRUE(cli->Get("/__log"));
        EXPECT_LT(Clock::now() - t0, std::chrono::milliseconds(250));
    }
    // A stop during a very long delay does not wait for it.
    o.slow_ms = 600000;
    const auto t0 = Clock::now();
    {
        RunningServer s(o);
        std::thread request([&s] { s.Client()->Get("/"); });
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        s.server().Stop();
        request.join();
    }
    EXPECT_LT(Clock::now() - t0, std::chrono::seconds(5));
}

TEST(PortFile, IsWrittenWholeOrNotAtAll) {
    const auto dir = std::filesystem::temp_directory_path() / ("portal_test_" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    std::string error;
    ASSERT_TRUE(WritePortFile((dir / "port").string(), 4321, &error)) << error;
    std::ifstream in(dir / "port");
    std::string text((std::istreambuf_iterator<char>(in)), {});
    EXPECT_EQ(text, "4321\n");
    EXPECT_FALSE(WritePortFile((dir / "missing" / "port").string(), 1, &error));
    EXPECT_FALSE(error.empty());
    size_t files = 0;
    for (auto& e : std::filesystem::directory_iterator(dir)) files += e.is_regular_file();
    EXPECT_EQ(files, 1u) << "no temporary file may be left behind";
    std::filesystem::remove_all(dir);
}

// ---------------------------------------------------------------------------
// The program itself, as a child process.
class Child {
public:
    explicit Child(std::vector<std::string> args) {
        args.insert(args.begin(), PORTAL_BINARY);
        pid_ = ::fork();
        if (pid_ == 0) {
            std::vector<char*> argv;
            for (auto& a : args) argv.push_back(a.data());
            argv.push_back(nullptr);
            std::freopen("/dev/null", "w", stdout);
            std::freopen("/dev/null", "w", stderr);
            ::execv(argv[0], argv.data());
            ::_exit(127);
        }
    }
    ~Child() {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            Wait(std::chrono::seconds(5));
        }
    }
    // Exit status, or -1 if the child is still running after the time-out.
    int Wait(std::chrono::milliseconds timeout) {
        const auto end = Clock::now() + timeout;
        while (Clock::now() < end) {
            int status = 0;
            if (::waitpid(pid_, &status, WNOHANG) == pid_) {
                pid_ = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return -1;
    }
    pid_t pid() const { return pid_; }

private:
    pid_t pid_ = -1;
};

int WaitForPortFile(const std::filesystem::path& path) {
    for (int i = 0; i < 500; ++i) {
        std::ifstream in(path);
        int port = 0;
        if (in >> port && port > 0) return port;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return -1;
}

TEST(Program, ServesUntilQuitOrSignalAndFailsCleanly) {
    const auto file = std::filesystem::temp_directory_path() / ("portal_port_" + std::to_string(::getpid()));
    std::filesystem::remove(file);
    {
        Child child({"--port", "0", "--port-file", file.string(), "--heartbeat-answer", "0"});
        const int port = WaitForPortFile(file);
        ASSERT_GT(port, 0);
        httplib::Client cli("127.0.0.1", port);
        auto beat = cli.Get("/?m=game&c=heartbeat&userid=1&g_id=2&f_id=3&type=cs");
        ASSERT_TRUE(beat);
        EXPECT_EQ(beat->body, "0");

        // A second instance on the same port fails with status 1.
        Child clash({"--port", std::to_string(port)});
        EXPECT_EQ(clash.Wait(std::chrono::seconds(5)), 1);

        ASSERT_TRUE(cli.Get("/__quit"));
        EXPECT_EQ(child.Wait(std::chrono::seconds(5)), 0);
    }
    std::filesystem::remove(file);
    {
        Child child({"--port-file", file.string()});
        ASSERT_GT(WaitForPortFile(file), 0);
        ::kill(child.pid(), SIGTERM);
        EXPECT_EQ(child.Wait(std::chrono::seconds(5)), 0);
    }
    std::filesystem::remove(file);
    Child bad({"--port", "http"});
    EXPECT_EQ(bad.Wait(std::chrono::seconds(5)), 2);
}

}  // namespace
}  // namespace portal
