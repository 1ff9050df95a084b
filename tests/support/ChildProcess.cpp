#include "tests/support/ChildProcess.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace VxTest
{
ChildResult RunInChild(const std::function<int()>& body, std::chrono::milliseconds limit)
{
    // Whatever the parent buffered must not be written twice.
    std::fflush(nullptr);
    const pid_t pid = ::fork();
    if (pid < 0)
    {
        std::perror("fork");
        std::abort();
    }
    if (pid == 0)
        ::_exit(body());

    ChildResult result;
    const auto deadline = std::chrono::steady_clock::now() + limit;
    for (;;)
    {
        const pid_t ended = ::waitpid(pid, &result.status, WNOHANG);
        if (ended == pid)
            return result;
        if (ended < 0 && errno != EINTR)
        {
            std::perror("waitpid");
            std::abort();
        }
        if (std::chrono::steady_clock::now() >= deadline)
        {
            result.timedOut = true;
            ::kill(pid, SIGKILL);
            while (::waitpid(pid, &result.status, 0) < 0 && errno == EINTR)
            {
            }
            return result;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}
} // namespace VxTest
