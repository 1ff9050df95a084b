// The device's own calls on the console, over open and ioctl.

#include "JuceBackend/juce_linuxfb_ConsoleSystemCalls.h"

#include <cerrno>
#include <cstdint>
#include <fcntl.h>
#include <linux/kd.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace juce
{

namespace
{
    class KernelConsoleSystemCalls final : public ConsoleSystemCalls
    {
    public:
        int open (const char* path, int flags) override
        {
            const auto fd = ::open (path, flags);
            return fd >= 0 ? fd : -errno;
        }

        int getMode (int fd, int& mode) override
        {
            return ::ioctl (fd, KDGETMODE, &mode) < 0 ? -errno : 0;
        }

        int setMode (int fd, int mode) override
        {
            // KDSETMODE takes the mode itself as its argument, not its address.
            return ::ioctl (fd, KDSETMODE, reinterpret_cast<void*> (static_cast<intptr_t> (mode))) < 0 ? -errno : 0;
        }

        int close (int fd) override { return ::close (fd) == 0 ? 0 : -errno; }
    };
} // namespace

ConsoleSystemCalls& ConsoleSystemCalls::getDeviceCalls()
{
    // Built on first use and never destroyed: threads still running at exit may use it.
    static auto* calls = new KernelConsoleSystemCalls();
    return *calls;
}

} // namespace juce
