#include "sim/SimRga.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>
#include <sys/eventfd.h>
#include <unistd.h>

namespace Sim
{

namespace
{
    void drainEventFd (int fd)
    {
        uint64_t value;
        [[maybe_unused]] auto n = ::read (fd, &value, sizeof (value));
    }

    void signalEventFd (int fd)
    {
        const uint64_t one = 1;
        [[maybe_unused]] auto n = ::write (fd, &one, sizeof (one));
    }
} // namespace

SimRga::SimRga (SimDrmDevice& drmDevice) : drm (drmDevice) {}

SimRga::~SimRga()
{
    if (deviceFd >= 0)
        ::close (deviceFd);
}

//==============================================================================
std::vector<SimRga::Job> SimRga::getJobs() const
{
    const std::lock_guard<std::mutex> sl (lock);
    return jobs;
}

int SimRga::getNumHandles() const
{
    const std::lock_guard<std::mutex> sl (lock);
    return (int) handles.size();
}

void SimRga::queueCompletionBytes (const std::vector<uint8_t>& bytes)
{
    const std::lock_guard<std::mutex> sl (lock);
    completionBytes.insert (completionBytes.end(), bytes.begin(), bytes.end());
    signal();
}

std::vector<uint8_t> SimRga::makeCompletionRecord (uint64_t userData, uint32_t status, uint32_t type, uint32_t length)
{
    std::vector<uint8_t> record (24, 0);
    auto put32 = [&] (size_t offset, uint32_t value)
    { for (int i = 0; i < 4; ++i) record[offset + (size_t) i] = (uint8_t) (value >> (8 * i)); };
    put32 (0, type);
    put32 (4, length);
    put32 (8, (uint32_t) userData);
    put32 (12, (uint32_t) (userData >> 32));
    put32 (16, status);
    return record;
}

int SimRga::getNumOpenDescriptors() const
{
    const std::lock_guard<std::mutex> sl (lock);
    return deviceFd >= 0 ? 1 : 0;
}

int SimRga::getNumMisusedDescriptors() const
{
    const std::lock_guard<std::mutex> sl (lock);
    return numMisused;
}

int SimRga::check (int fd, Call call)
{
    if (fd < 0 || fd != deviceFd)
    {
        ++numMisused;
        return -EBADF;
    }

    return -faults.take (call);
}

void SimRga::signal()
{
    if (deviceFd >= 0)
        signalEventFd (deviceFd);
}

//==============================================================================
int SimRga::open (const char* path, int)
{
    const std::lock_guard<std::mutex> sl (lock);

    if (std::string (path) != juce::Rga2::devicePath || ! present)
        return -ENOENT;

    // The backend opens the accelerator once: a second open would be a leak.
    if (deviceFd >= 0)
        return -EBUSY;

    if (const auto error = faults.take (Call::open))
        return -error;

    deviceFd = ::eventfd (0, EFD_NONBLOCK | EFD_CLOEXEC);
    return deviceFd;
}

int SimRga::close (int fd)
{
    const std::lock_guard<std::mutex> sl (lock);

    if (fd < 0 || fd != deviceFd)
    {
        ++numMisused;
        return -EBADF;
    }

    deviceFd = -1;
    completionBytes.clear();
    return ::close (fd) == 0 ? 0 : -errno;
}

int SimRga::importBuffer (int fd, juce::Rga2::ImportRequest& request)
{
    const std::lock_guard<std::mutex> sl (lock);

    if (const auto result = check (fd, Call::importBuffer))
        return result;

    const auto buffer = drm.getExportedBuffer (request.dmaBufferFd);

    if (! buffer.has_value())
        return -EBADF;

    if (request.width != buffer->width || request.height != buffer->height
        || request.pitch != buffer->pitch || request.format != juce::Rga2::formatXRGB8888)
        return -EINVAL;

    request.handle = nextHandle++;
    handles[request.handle] = buffer->handle;
    return 0;
}

int SimRga::releaseBuffer (int fd, const juce::Rga2::ReleaseRequest& request)
{
    const std::lock_guard<std::mutex> sl (lock);

    if (const auto result = check (fd, Call::releaseBuffer))
        return result;

    return handles.erase (request.handle) == 1 ? 0 : -EINVAL;
}

int SimRga::submitJob (int fd, const juce::Rga2::JobRequest& request)
{
    const std::lock_guard<std::mutex> sl (lock);

    if (const auto result = check (fd, Call::submitJob))
        return result;

    const Job job { request.userData, request.sourceHandle, request.destinationHandle, request.rotation };
    jobs.push_back (job);

    const auto status = runJob (job);

    if (autoCompleteJobs)
    {
        const auto record = makeCompletionRecord (job.userData, status != 0 ? status : jobStatus);
        completionBytes.insert (completionBytes.end(), record.begin(), record.end());
        signal();
    }

    return 0;
}

uint32_t SimRga::runJob (const Job& job)
{
    constexpr uint32_t invalid = EINVAL;

    const auto source = handles.find (job.sourceHandle);
    const auto destination = handles.find (job.destinationHandle);

    if (source == handles.end() || destination == handles.end())
        return invalid;

    uint32_t status = 0;

    const auto copied = drm.useBuffers (source->second, destination->second, [&] (const SimDrmDevice::BufferMemory& from, const SimDrmDevice::BufferMemory& to)
                                        {
        const auto sw = from.info.width, sh = from.info.height;
        const auto dw = to.info.width,   dh = to.info.height;
        const bool quarterTurn = job.rotation == 90 || job.rotation == 270;

        if (job.rotation % 90 != 0 || job.rotation >= 360)
            return;   // the accelerator turns by right angles only: the copy is skipped

        if (quarterTurn ? (sw != dh || sh != dw) : (sw != dw || sh != dh))
        {
            status = invalid;
            return;
        }

        for (uint32_t y = 0; y < sh; ++y)
        {
            for (uint32_t x = 0; x < sw; ++x)
            {
                uint32_t tx = x, ty = y;

                switch (job.rotation)
                {
                    case 90:  tx = sh - 1 - y; ty = x;          break;
                    case 180: tx = sw - 1 - x; ty = sh - 1 - y; break;
                    case 270: tx = y;          ty = sw - 1 - x; break;
                    default:  break;
                }

                std::memcpy (to.data + ty * to.info.pitch + tx * 4, from.data + y * from.info.pitch + x * 4, 4);
            }
        } });

    return copied ? status : invalid;
}

ssize_t SimRga::readCompletions (int fd, void* destination, size_t size)
{
    const std::lock_guard<std::mutex> sl (lock);

    if (const auto result = check (fd, Call::readCompletions))
        return result;

    if (completionBytes.empty())
        return -EAGAIN;

    const auto count = std::min (size, completionBytes.size());
    std::copy_n (completionBytes.begin(), count, static_cast<uint8_t*> (destination));
    completionBytes.erase (completionBytes.begin(), completionBytes.begin() + (std::ptrdiff_t) count);

    if (completionBytes.empty())
        drainEventFd (fd);

    return (ssize_t) count;
}

} // namespace Sim
