// Starting other programs: detached for ShellExecuteA, waited for (zenity).
#include "spawn.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <cerrno>
#include <csignal>
#include <cstdlib>

extern char** environ;

namespace platform_unix {
namespace {

std::vector<char*> ArgumentVector(const std::vector<std::string>& arguments)
{
    std::vector<char*> argv;
    argv.reserve(arguments.size() + 1);
    for (const std::string& argument : arguments) {
        argv.push_back(const_cast<char*>(argument.c_str()));
    }
    argv.push_back(nullptr);
    return argv;
}

// In a forked child only: async-signal-safe calls.
void ResetSignalsInChild()
{
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    struct sigaction standard = {};
    standard.sa_handler = SIG_DFL;
    sigaction(SIGPIPE, &standard, nullptr);
    sigaction(SIGCHLD, &standard, nullptr);
}

void ReportAndExit(int reportFd, int err)
{
    ssize_t ignored = write(reportFd, &err, sizeof err);
    (void)ignored;
    _exit(127);
}

pid_t WaitFor(pid_t pid, int* status)
{
    pid_t result;
    do {
        result = waitpid(pid, status, 0);
    } while (result < 0 && errno == EINTR);
    return result;
}

}  // namespace

std::string FindProgramOnPath(const char* name)
{
    const char* pathVariable = std::getenv("PATH");
    const std::string path =
        pathVariable != nullptr ? pathVariable : "/usr/local/bin:/usr/bin:/bin";
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = path.find(':', start);
        if (end == std::string::npos) {
            end = path.size();
        }
        const std::string folder = path.substr(start, end - start);
        start = end + 1;
        if (folder.empty()) {
            continue;  // an empty entry would mean the current directory: not searched
        }
        const std::string candidate = folder + "/" + name;
        struct stat st;
        if (stat(candidate.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
            access(candidate.c_str(), X_OK) == 0) {
            return candidate;
        }
    }
    return std::string();
}

int SpawnDetached(const std::string& path, const std::vector<std::string>& arguments,
                  const char* directory)
{
    std::vector<char*> argv = ArgumentVector(arguments);
    int report[2];
    if (pipe2(report, O_CLOEXEC) != 0) {
        return errno;
    }
    const pid_t child = fork();
    if (child < 0) {
        const int err = errno;
        close(report[0]);
        close(report[1]);
        return err;
    }
    if (child == 0) {
        close(report[0]);
        setsid();
        const pid_t grandchild = fork();
        if (grandchild < 0) {
            ReportAndExit(report[1], errno);
        }
        if (grandchild > 0) {
            _exit(0);  // the grandchild is adopted by init: nobody waits for it
        }
        ResetSignalsInChild();
        if (directory != nullptr && chdir(directory) != 0) {
            ReportAndExit(report[1], errno);
        }
        execve(path.c_str(), argv.data(), environ);
        ReportAndExit(report[1], errno);
    }
    close(report[1]);
    int status = 0;
    WaitFor(child, &status);
    // The report pipe closes on a successful exec (close-on-exec) or carries
    // the errno of the failure.
    int err = 0;
    ssize_t n;
    do {
        n = read(report[0], &err, sizeof err);
    } while (n < 0 && errno == EINTR);
    close(report[0]);
    if (n == static_cast<ssize_t>(sizeof err)) {
        return err != 0 ? err : ECHILD;
    }
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0) {
        return 0;
    }
    return ECHILD;
}

int RunAndWait(const std::string& path, const std::vector<std::string>& arguments, bool quietErrors)
{
    std::vector<char*> argv = ArgumentVector(arguments);
    const pid_t child = fork();
    if (child < 0) {
        return -1;
    }
    if (child == 0) {
        ResetSignalsInChild();
        if (quietErrors) {
            const int devNull = open("/dev/null", O_WRONLY);
            if (devNull >= 0) {
                dup2(devNull, STDERR_FILENO);
                close(devNull);
            }
        }
        execve(path.c_str(), argv.data(), environ);
        _exit(127);
    }
    int status = 0;
    if (WaitFor(child, &status) < 0 || !WIFEXITED(status)) {
        return -1;
    }
    return WEXITSTATUS(status);
}

}  // namespace platform_unix
