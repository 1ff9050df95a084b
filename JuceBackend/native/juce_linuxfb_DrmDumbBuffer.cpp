#include "juce_linuxfb_DrmDumbBuffer.h"
#include "juce_linuxfb_Log.h"
#include "JuceBackend/SystemPath.h"

#include <cerrno>
#include <cstring>
#include <limits>
#include <fcntl.h>
#include <unistd.h>

namespace juce
{

namespace
{
    // The kernel frees page cache on request; a dumb buffer needs physically
    // contiguous memory that the cache may hold.
    bool dropKernelCaches()
    {
        // A file of the system's own, not a device behind a seam.
        struct SystemFiles
        {
            int close (int fd) const { return ::close (fd); }
        };

        SystemFiles files;
        const auto path = Vx::MapSystemPath ("/proc/sys/vm/drop_caches");
        const UniqueDescriptor<const SystemFiles> fd (files, ::open (path.c_str(), O_WRONLY | O_CLOEXEC));

        return fd.isValid() && ::write (fd.get(), "3\n", 2) == 2;
    }
} // namespace

//==============================================================================
DrmDumbBuffer::DrmDumbBuffer (int drmDescriptor) noexcept
    : calls (DrmSystemCalls::get()), fd (drmDescriptor)
{
}

DrmDumbBuffer::~DrmDumbBuffer()
{
    destroy();
}

bool DrmDumbBuffer::failed (int errorNumber) noexcept
{
    error = errorNumber;
    return false;
}

bool DrmDumbBuffer::create (int newWidth, int newHeight)
{
    DrmSystemCalls::DumbBuffer created;
    auto result = calls.createDumbBuffer (fd, (uint32) newWidth, (uint32) newHeight, 32, created);

    if (result != 0)
    {
        if (! dropKernelCaches())
            return failed (-result);

        created = {};
        result = calls.createDumbBuffer (fd, (uint32) newWidth, (uint32) newHeight, 32, created);

        if (result != 0)
            return failed (-result);
    }

    width = newWidth;
    height = newHeight;
    handle = created.handle;
    pitch = created.pitch;
    size = created.size;
    bytesPerPixel = 4;
    return true;
}

bool DrmDumbBuffer::addFramebuffer()
{
    jassert (handle != 0);

    const auto result = calls.addFramebuffer (fd, (uint32) width, (uint32) height, 24, 32, pitch, handle, framebufferId);

    if (result != 0)
    {
        framebufferId = 0;
        logBackendFailure ("drmModeAddFB error: " + String (result), -result);
        return failed (-result);
    }

    return true;
}

bool DrmDumbBuffer::map()
{
    uint64_t offset = 0;

    if (const auto result = calls.mapDumbBuffer (fd, handle, offset); result != 0)
        return failed (-result);

    // The whole buffer must be addressable here, also on a 32-bit target.
    if (size == 0 || size > (uint64) std::numeric_limits<size_t>::max())
        return failed (EINVAL);

    void* address = nullptr;

    if (const auto result = calls.mapMemory (fd, offset, (size_t) size, address); result != 0 || address == nullptr)
        return failed (result != 0 ? -result : EINVAL);

    mapping = UniqueDrmMapping (calls, address, (size_t) size);
    std::memset (mapping.get(), 0, (size_t) size);
    return true;
}

void DrmDumbBuffer::destroy()
{
    mapping.reset();

    if (framebufferId != 0)
    {
        calls.removeFramebuffer (fd, framebufferId);
        framebufferId = 0;
    }

    if (size != 0)
    {
        calls.destroyDumbBuffer (fd, handle);
        size = 0;
        handle = 0;
    }
}

} // namespace juce
