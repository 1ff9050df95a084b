#include "sim/SimConsole.h"

#include <cerrno>
#include <cstdlib>
#include <linux/kd.h>
#include <new>
#include <string>
#include <sys/eventfd.h>
#include <sys/mman.h>
#include <unistd.h>

namespace Sim
{

SimConsole::SimConsole()
{
    auto* memory = ::mmap (nullptr, sizeof (Shared), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);

    if (memory == MAP_FAILED)
        std::abort();

    shared = new (memory) Shared();
    shared->mode = KD_TEXT;
    shared->numModeChanges = 0;
    shared->numOpen = 0;
}

SimConsole::~SimConsole()
{
    for (auto fd : descriptors)
        ::close (fd);

    shared->~Shared();
    ::munmap (shared, sizeof (Shared));
}

int SimConsole::getCurrentMode() const { return shared->mode; }
void SimConsole::setCurrentMode (int mode) { shared->mode = mode; }
int SimConsole::getNumModeChanges() const { return shared->numModeChanges; }
int SimConsole::getNumOpenDescriptors() const { return shared->numOpen; }

int SimConsole::getNumMisusedDescriptors() const
{
    const std::lock_guard<std::mutex> sl (lock);
    return numMisused;
}

int SimConsole::check (int fd, Call call)
{
    if (descriptors.count (fd) == 0)
    {
        ++numMisused;
        return -EBADF;
    }

    return -faults.take (call);
}

//==============================================================================
int SimConsole::open (const char* path, int)
{
    const std::lock_guard<std::mutex> sl (lock);

    if (std::string (path) != "/dev/tty0" || ! present)
        return -ENOENT;

    if (const auto error = faults.take (Call::open))
        return -error;

    const auto fd = ::eventfd (0, EFD_CLOEXEC);
    descriptors.insert (fd);
    ++shared->numOpen;
    return fd;
}

int SimConsole::getMode (int fd, int& mode)
{
    const std::lock_guard<std::mutex> sl (lock);

    if (const auto result = check (fd, Call::getMode))
        return result;

    mode = shared->mode;
    return 0;
}

int SimConsole::setMode (int fd, int mode)
{
    const std::lock_guard<std::mutex> sl (lock);

    if (const auto result = check (fd, Call::setMode))
        return result;

    shared->mode = mode;
    ++shared->numModeChanges;
    return 0;
}

int SimConsole::close (int fd)
{
    const std::lock_guard<std::mutex> sl (lock);

    if (descriptors.erase (fd) == 0)
    {
        ++numMisused;
        return -EBADF;
    }

    --shared->numOpen;
    return ::close (fd) == 0 ? 0 : -errno;
}

} // namespace Sim
