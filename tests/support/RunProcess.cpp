#include "support/RunProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <stdexcept>

#include "albuminfo/FreeDBServer.h"

extern char** environ;

namespace quarrow::testsupport {

ProcessResult RunProcess(const std::vector<std::string>& argv) {
    int outPipe[2], errPipe[2];
    if (pipe2(outPipe, O_CLOEXEC) != 0 || pipe2(errPipe, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, outPipe[1], 1);
    posix_spawn_file_actions_adddup2(&actions, errPipe[1], 2);
    std::vector<char*> args;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    pid_t pid = 0;
    int rc = posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(outPipe[1]), close(errPipe[1]);
    if (rc != 0) {
        close(outPipe[0]), close(errPipe[0]);
        throw std::runtime_error("cannot start " + argv[0]);
    }
    ProcessResult r;
    pollfd fds[2] = {{outPipe[0], POLLIN, 0}, {errPipe[0], POLLIN, 0}};
    int open = 2;
    char buf[65536];
    while (open > 0) {
        if (poll(fds, 2, -1) < 0) break;
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
            ssize_t n = read(fds[i].fd, buf, sizeof buf);
            if (n > 0) (i == 0 ? r.out : r.err).append(buf, static_cast<std::size_t>(n));
            else close(fds[i].fd), fds[i].fd = -1, --open;
        }
    }
    int status = 0;
    waitpid(pid, &status, 0);
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return r;
}

ProcessResult RunCli(const std::vector<std::string>& args) {
    auto home = std::find(args.begin(), args.end(), "--home");
    if (home == args.end() || home + 1 == args.end()) throw std::invalid_argument("RunCli needs --home");
    const std::string servers = FreeDBServerFilePath(*(home + 1));
    if (!std::filesystem::exists(servers)) {
        std::filesystem::create_directories(*(home + 1));
        if (!SaveFreeDBServers(servers, {{"127.0.0.1", 1, 2000, 5}})) throw std::runtime_error("cannot write " + servers);
    }
    std::vector<std::string> argv{QUARROW_CLI};
    argv.insert(argv.end(), args.begin(), args.end());
    return RunProcess(argv);
}

}  // namespace quarrow::testsupport
