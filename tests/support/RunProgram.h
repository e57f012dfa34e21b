#pragma once

#include <fcntl.h>
#include <grp.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <sched.h>
#include <sys/mount.h>
#include <sys/socket.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

extern char** environ;

namespace morvaleth::testing {

struct ProgramResult {
    int exitCode = -1; // -1 when it did not exit normally
    int signal = 0;    // the signal that ended it, if one did
    std::string out;
    std::string err;
    long maxRssKiB = 0; // the largest resident set it had
};

// What a standard stream of the child is: a file, or one end of a pipe or a
// socket whose other end this process holds.
enum class StreamKind { File, Pipe, Socket };

// How the child is set up between fork and exec.
struct ChildSetup {
    std::vector<std::pair<int, rlim_t>> limits = {}; // resource, soft and hard limit
    bool ignoreFileSizeSignal = false;               // writes past RLIMIT_FSIZE then fail with EFBIG
    bool unprivileged = false;                       // run as nobody when started as root
    std::vector<std::string> environment = {};       // NAME=value, added to or replacing this process's
    std::string standardOutput = {};                 // a path to write standard output to, instead of collecting it
    bool appendOutput = false;                       // that path opened for appending
    off_t outputOffset = 0;                          // where writing to that path starts
    StreamKind output = StreamKind::File;            // collected through a pipe or socket instead of a file
    bool outputReaderGone = false;                   // that pipe or socket closed at once, nothing read
    StreamKind input = StreamKind::File;             // the input's bytes handed through a pipe or socket
    off_t inputOffset = 0;                           // where the input file is read from at the start
    std::function<void(pid_t)> whileRunning = {};    // called once the child runs, before it is waited for
    std::vector<int> closed = {};                    // standard streams the child starts without
    // File systems of the child's own (root only), in a mount namespace of
    // its own: a tmpfs mounted over each path with the options ("ro",
    // "size=64k").
    std::vector<std::pair<std::string, std::string>> mounts = {};
};

// The user and group the unprivileged runs take: nobody and nogroup.
inline constexpr uid_t UnprivilegedUser = 65534;
inline constexpr gid_t UnprivilegedGroup = 65534;

// Runs a program of the build with the arguments, its standard input from
// `input` (a path), and collects what it writes and how it ends.
inline ProgramResult RunProgram(const std::string& program, const std::vector<std::string>& arguments,
                                const std::string& input = "/dev/null", const ChildSetup& setup = {})
{
    char outName[] = "/tmp/morvaleth-out-XXXXXX";
    char errName[] = "/tmp/morvaleth-err-XXXXXX";
    // Ends [0] for reading, [1] for writing, as pipe() gives them.
    const auto streamEnds = [](StreamKind kind, int (&ends)[2]) {
        if (kind == StreamKind::Pipe)
            return ::pipe2(ends, O_CLOEXEC) == 0;
        return ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) == 0;
    };
    int outEnds[2] = {-1, -1};
    int inEnds[2] = {-1, -1};
    int out = -1;
    if (setup.output != StreamKind::File)
        out = streamEnds(setup.output, outEnds) ? outEnds[1] : -1;
    else if (setup.standardOutput.empty())
        out = ::mkostemp(outName, O_CLOEXEC);
    else
        out = ::open(setup.standardOutput.c_str(), O_WRONLY | O_CLOEXEC | (setup.appendOutput ? O_APPEND : 0));
    if (out >= 0 && setup.outputOffset != 0)
        ::lseek(out, setup.outputOffset, SEEK_SET);
    const int err = ::mkostemp(errName, O_CLOEXEC);
    int in = ::open(input.c_str(), O_RDONLY | O_CLOEXEC);
    std::string inputBytes;
    if (setup.input != StreamKind::File && in >= 0) {
        inputBytes.assign(std::istreambuf_iterator<char>(std::ifstream(input, std::ios::binary).rdbuf()), {});
        ::close(in);
        in = streamEnds(setup.input, inEnds) ? inEnds[0] : -1;
    } else if (in >= 0 && setup.inputOffset != 0) {
        ::lseek(in, setup.inputOffset, SEEK_SET);
    }

    // Everything the child needs is made before the fork: between fork and
    // exec it calls only what is safe there.
    const std::string path = std::string(MORVALETH_BINARY_DIR) + "/" + program;
    std::vector<char*> argv{const_cast<char*>(path.c_str())};
    for (const std::string& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    std::vector<char*> envp;
    auto replaced = [&setup](std::string_view variable) {
        for (const std::string& added : setup.environment)
            if (variable.starts_with(added.substr(0, added.find('=') + 1)))
                return true;
        return false;
    };
    for (char** variable = environ; *variable != nullptr; ++variable)
        if (!replaced(*variable))
            envp.push_back(*variable);
    for (const std::string& variable : setup.environment)
        envp.push_back(const_cast<char*>(variable.c_str()));
    envp.push_back(nullptr);
    const bool dropPrivileges = setup.unprivileged && ::geteuid() == 0;

    ProgramResult result;
    const pid_t child = ::fork();
    if (child == 0) {
        if (in < 0 || out < 0 || ::dup2(in, 0) < 0 || ::dup2(out, 1) < 0 || ::dup2(err, 2) < 0)
            ::_exit(126);
        for (const auto& [resource, value] : setup.limits) {
            const rlimit limit{value, value};
            if (::setrlimit(resource, &limit) != 0)
                ::_exit(126);
        }
        if (setup.ignoreFileSizeSignal)
            ::signal(SIGXFSZ, SIG_IGN);
        if (!setup.mounts.empty() && (::unshare(CLONE_NEWNS) != 0 ||
                                      ::mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0))
            ::_exit(126);
        for (const auto& [where, options] : setup.mounts) {
            // "ro" is the mount's flag; the rest is tmpfs's own.
            const bool readOnly = options.rfind("ro", 0) == 0;
            const char* data = options.c_str() + (readOnly ? std::min<std::size_t>(options.size(), 3) : 0);
            if (::mount("tmpfs", where.c_str(), "tmpfs", readOnly ? MS_RDONLY : 0, data) != 0)
                ::_exit(126);
        }
        for (const int stream : setup.closed)
            ::close(stream);
        if (dropPrivileges &&
            (::setgroups(0, nullptr) != 0 || ::setgid(UnprivilegedGroup) != 0 || ::setuid(UnprivilegedUser) != 0))
            ::_exit(126);
        ::execve(path.c_str(), argv.data(), envp.data());
        ::_exit(127);
    }
    if (child > 0) {
        if (inEnds[1] >= 0) {
            // Small enough for the stream's buffer: written whole, then ended.
            if (::write(inEnds[1], inputBytes.data(), inputBytes.size()) != ssize_t(inputBytes.size()))
                std::perror("write");
            ::close(std::exchange(inEnds[1], -1));
        }
        if (setup.whileRunning)
            setup.whileRunning(child);
        if (outEnds[0] >= 0) {
            ::close(std::exchange(outEnds[1], -1));
            out = -1;
            if (setup.outputReaderGone)
                ::close(std::exchange(outEnds[0], -1));
            char piece[1 << 16];
            for (ssize_t got; outEnds[0] >= 0 && (got = ::read(outEnds[0], piece, sizeof piece)) > 0;)
                result.out.append(piece, std::size_t(got));
        }
        int status = 0;
        rusage usage{};
        if (::wait4(child, &status, 0, &usage) == child) {
            if (WIFEXITED(status))
                result.exitCode = WEXITSTATUS(status);
            if (WIFSIGNALED(status))
                result.signal = WTERMSIG(status);
            result.maxRssKiB = usage.ru_maxrss;
        }
    }
    if (in >= 0)
        ::close(in);
    if (out >= 0)
        ::close(out);
    for (const int end : {outEnds[0], outEnds[1], inEnds[1]})
        if (end >= 0)
            ::close(end);
    ::close(err);
    auto slurp = [](const char* name) {
        std::ifstream file(name, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(file), {});
    };
    if (setup.standardOutput.empty() && setup.output == StreamKind::File) {
        result.out = slurp(outName);
        ::unlink(outName);
    }
    result.err = slurp(errName);
    ::unlink(errName);
    return result;
}

} // namespace morvaleth::testing
