// tessaly-sim-launcher: starts and stops simulators on behalf of Windows test programs running under
// Wine, which cannot run a Linux program as a child of their own (Wine neither reports its exit nor
// connects its pipes).
//
//   tessaly-sim-launcher --sim PATH
//
// Prints its base address alone on the first line of stdout, then serves on 127.0.0.1 until SIGTERM
// or SIGINT, when it stops every simulator it started:
//   POST /start   body: the scenario file's path   ->  200 "<id> <simulator base address>"
//   POST /stop?id=ID                                ->  200 once that simulator has ended
//   GET  /running?id=ID                             ->  200 "1" or "0"

#include "stopsignals.h"

#include <httplib.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

extern char **environ;

namespace {

constexpr int kStartTimeoutMs = 10000;
constexpr auto kStopTimeout = std::chrono::seconds(3);

std::mutex s_mutex;
std::map<int, pid_t> s_children;
int s_nextId = 1;

// Reads the first line the child prints, waiting at most kStartTimeoutMs.
std::string firstLine(int fd)
{
    std::string line;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kStartTimeoutMs);
    while (line.find('\n') == std::string::npos) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        pollfd pfd{fd, POLLIN, 0};
        if (left.count() <= 0 || poll(&pfd, 1, static_cast<int>(left.count())) <= 0)
            return {};
        char buffer[256];
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n <= 0)
            return {};
        line.append(buffer, static_cast<size_t>(n));
    }
    return line.substr(0, line.find('\n'));
}

// Starts the simulator on a free port; its id and address, or -1.
int startSimulator(const std::string &sim, const std::string &scenario, std::string *address)
{
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0)
        return -1;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
    std::vector<std::string> args{sim, "--scenario", scenario, "--port", "0", "--quiet"};
    std::vector<char *> argv;
    for (std::string &arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    pid_t pid = -1;
    const int spawned = posix_spawn(&pid, sim.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    if (spawned != 0) {
        close(fds[0]);
        return -1;
    }
    *address = firstLine(fds[0]);
    close(fds[0]); // the simulator ignores SIGPIPE; with --quiet it prints nothing more anyway
    std::lock_guard<std::mutex> lock(s_mutex);
    const int id = s_nextId++;
    s_children[id] = pid;
    return id;
}

bool hasEnded(pid_t pid)
{
    int status = 0;
    return waitpid(pid, &status, WNOHANG) != 0;
}

// SIGTERM, then SIGKILL when the simulator is still there after kStopTimeout.
void stopChild(pid_t pid)
{
    kill(pid, SIGTERM);
    const auto deadline = std::chrono::steady_clock::now() + kStopTimeout;
    while (!hasEnded(pid)) {
        if (std::chrono::steady_clock::now() > deadline) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

pid_t takeChild(int id)
{
    std::lock_guard<std::mutex> lock(s_mutex);
    const auto it = s_children.find(id);
    if (it == s_children.end())
        return -1;
    const pid_t pid = it->second;
    s_children.erase(it);
    return pid;
}

int idOf(const httplib::Request &request)
{
    return request.has_param("id") ? std::atoi(request.get_param_value("id").c_str()) : -1;
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc != 3 || std::strcmp(argv[1], "--sim") != 0) {
        std::fprintf(stderr, "usage: tessaly-sim-launcher --sim PATH\n");
        return 2;
    }
    const std::string sim = argv[2];

    StopSignals stopSignals;

    httplib::Server server;
    server.Post("/start", [&sim](const httplib::Request &request, httplib::Response &response) {
        std::string address;
        const int id = startSimulator(sim, request.body, &address);
        if (id < 0 || address.rfind("http://", 0) != 0) {
            if (id >= 0)
                stopChild(takeChild(id));
            response.status = 500;
            response.set_content("the simulator did not start", "text/plain");
            return;
        }
        response.set_content(std::to_string(id) + " " + address, "text/plain");
    });
    server.Post("/stop", [](const httplib::Request &request, httplib::Response &response) {
        const pid_t pid = takeChild(idOf(request));
        if (pid > 0)
            stopChild(pid);
        response.set_content("stopped", "text/plain");
    });
    server.Get("/running", [](const httplib::Request &request, httplib::Response &response) {
        std::lock_guard<std::mutex> lock(s_mutex);
        const auto it = s_children.find(idOf(request));
        const bool running = it != s_children.end() && kill(it->second, 0) == 0 && !hasEnded(it->second);
        response.set_content(running ? "1" : "0", "text/plain");
    });

    const int port = server.bind_to_any_port("127.0.0.1");
    if (port <= 0) {
        std::fprintf(stderr, "tessaly-sim-launcher: cannot listen on 127.0.0.1\n");
        return 1;
    }
    std::printf("http://127.0.0.1:%d\n", port);
    std::fflush(stdout);

    stopSignals.start([&server] { server.stop(); });
    server.listen_after_bind();
    stopSignals.join();

    std::map<int, pid_t> children;
    {
        std::lock_guard<std::mutex> lock(s_mutex);
        children.swap(s_children);
    }
    for (const auto &child : children)
        stopChild(child.second);
    return 0;
}
