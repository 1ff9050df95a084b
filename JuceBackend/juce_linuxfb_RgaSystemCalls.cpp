// The device's own calls on the raster accelerator, over open, ioctl and read.

#include "JuceBackend/juce_linuxfb_RgaSystemCalls.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace juce
{

namespace
{
    class KernelRgaSystemCalls final : public RgaSystemCalls
    {
    public:
        int open (const char* path, int flags) override
        {
            const auto fd = ::open (path, flags);
            return fd >= 0 ? fd : -errno;
        }

        int close (int fd) override { return ::close (fd) == 0 ? 0 : -errno; }

        int importBuffer (int fd, Rga2::ImportRequest& request) override
        {
            return ::ioctl (fd, Rga2::importRequest, &request) < 0 ? -errno : 0;
        }

        int releaseBuffer (int fd, const Rga2::ReleaseRequest& request) override
        {
            auto copy = request;
            return ::ioctl (fd, Rga2::releaseRequest, &copy) < 0 ? -errno : 0;
        }

        int submitJob (int fd, const Rga2::JobRequest& request) override
        {
            auto copy = request;
            return ::ioctl (fd, Rga2::jobRequest, &copy) < 0 ? -errno : 0;
        }

        ssize_t readCompletions (int fd, void* buffer, size_t size) override
        {
            const auto numRead = ::read (fd, buffer, size);
            return numRead >= 0 ? numRead : -errno;
        }
    };
} // namespace

RgaSystemCalls& RgaSystemCalls::getDeviceCalls()
{
    // Built on first use and never destroyed: threads still running at exit may use it.
    static auto* calls = new KernelRgaSystemCalls();
    return *calls;
}

} // namespace juce
