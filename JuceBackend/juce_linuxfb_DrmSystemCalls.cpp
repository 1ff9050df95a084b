// The device's own calls on the DRM device, over libdrm.  libdrm answers some
// failures with -1 and errno, others with a negative error number: each call
// here gives the negative error number.

#include "JuceBackend/juce_linuxfb_DrmSystemCalls.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

namespace juce
{

namespace
{
    // The error of a call that answered -1 and set errno.
    int negativeErrno()
    {
        return errno != 0 ? -errno : -EIO;
    }

    class LibDrmSystemCalls final : public DrmSystemCalls
    {
    public:
        int open (const char* path, int flags) override
        {
            const auto fd = ::open (path, flags);
            return fd >= 0 ? fd : negativeErrno();
        }

        int close (int fd) override { return ::close (fd) == 0 ? 0 : negativeErrno(); }

        int getCap (int fd, uint64_t capability, uint64_t& value) override
        {
            return ::drmGetCap (fd, capability, &value) == 0 ? 0 : negativeErrno();
        }

        int setMaster (int fd) override { return ::drmSetMaster (fd) == 0 ? 0 : negativeErrno(); }
        int dropMaster (int fd) override { return ::drmDropMaster (fd) == 0 ? 0 : negativeErrno(); }

        drmModeResPtr getResources (int fd) override { return ::drmModeGetResources (fd); }
        void freeResources (drmModeResPtr resources) override { ::drmModeFreeResources (resources); }
        drmModePlaneResPtr getPlaneResources (int fd) override { return ::drmModeGetPlaneResources (fd); }
        void freePlaneResources (drmModePlaneResPtr resources) override { ::drmModeFreePlaneResources (resources); }
        drmModeConnectorPtr getConnector (int fd, uint32_t id) override { return ::drmModeGetConnector (fd, id); }
        void freeConnector (drmModeConnectorPtr connector) override { ::drmModeFreeConnector (connector); }
        drmModeEncoderPtr getEncoder (int fd, uint32_t id) override { return ::drmModeGetEncoder (fd, id); }
        void freeEncoder (drmModeEncoderPtr encoder) override { ::drmModeFreeEncoder (encoder); }

        // The dumb-buffer requests go to the kernel directly: libdrm's own
        // wrappers of them are younger than some devices' libdrm.
        int createDumbBuffer (int fd, uint32_t width, uint32_t height, uint32_t bitsPerPixel, DumbBuffer& created) override
        {
            drm_mode_create_dumb request {};
            request.width = width;
            request.height = height;
            request.bpp = bitsPerPixel;

            if (::drmIoctl (fd, DRM_IOCTL_MODE_CREATE_DUMB, &request) != 0)
                return negativeErrno();

            created = { request.handle, request.pitch, request.size };
            return 0;
        }

        int mapDumbBuffer (int fd, uint32_t handle, uint64_t& offset) override
        {
            drm_mode_map_dumb request {};
            request.handle = handle;

            if (::drmIoctl (fd, DRM_IOCTL_MODE_MAP_DUMB, &request) != 0)
                return negativeErrno();

            offset = request.offset;
            return 0;
        }

        int destroyDumbBuffer (int fd, uint32_t handle) override
        {
            drm_mode_destroy_dumb request {};
            request.handle = handle;
            return ::drmIoctl (fd, DRM_IOCTL_MODE_DESTROY_DUMB, &request) == 0 ? 0 : negativeErrno();
        }

        int exportDumbBuffer (int fd, uint32_t handle, int& dmaBufferFd) override
        {
            drm_prime_handle request {};
            request.handle = handle;

            if (::drmIoctl (fd, DRM_IOCTL_PRIME_HANDLE_TO_FD, &request) != 0)
                return negativeErrno();

            dmaBufferFd = request.fd;
            return 0;
        }

        int mapMemory (int fd, uint64_t offset, size_t length, void*& address) override
        {
            // DRM map offsets are 64-bit even where off_t is not.
            auto* mapped = ::mmap64 (nullptr, length, PROT_READ | PROT_WRITE, MAP_SHARED, fd, static_cast<off64_t> (offset));

            if (mapped == MAP_FAILED)
                return negativeErrno();

            address = mapped;
            return 0;
        }

        int unmapMemory (void* address, size_t length) override
        {
            return ::munmap (address, length) == 0 ? 0 : negativeErrno();
        }

        // libdrm's mode-setting calls answer negative error numbers themselves.
        int addFramebuffer (int fd, uint32_t width, uint32_t height, uint8_t depth, uint8_t bitsPerPixel, uint32_t pitch, uint32_t handle, uint32_t& framebufferId) override
        {
            return ::drmModeAddFB (fd, width, height, depth, bitsPerPixel, pitch, handle, &framebufferId);
        }

        int removeFramebuffer (int fd, uint32_t framebufferId) override
        {
            return ::drmModeRmFB (fd, framebufferId);
        }

        int setCrtc (int fd, uint32_t crtcId, uint32_t framebufferId, uint32_t x, uint32_t y, uint32_t* connectors, int count, drmModeModeInfoPtr mode) override
        {
            return ::drmModeSetCrtc (fd, crtcId, framebufferId, x, y, connectors, count, mode);
        }

        int pageFlip (int fd, uint32_t crtcId, uint32_t framebufferId, uint32_t flags, void* userData) override
        {
            return ::drmModePageFlip (fd, crtcId, framebufferId, flags, userData);
        }

        int handleEvent (int fd, drmEventContext& context) override
        {
            // -1 both for a failed read and for a record too short to hold an
            // event, which leaves errno as it was.
            errno = 0;
            return ::drmHandleEvent (fd, &context) == 0 ? 0 : negativeErrno();
        }

        int setCursor (int fd, uint32_t crtcId, uint32_t handle, uint32_t width, uint32_t height, int32_t hotX, int32_t hotY) override
        {
            return ::drmModeSetCursor2 (fd, crtcId, handle, width, height, hotX, hotY);
        }

        int moveCursor (int fd, uint32_t crtcId, int x, int y) override
        {
            return ::drmModeMoveCursor (fd, crtcId, x, y);
        }
    };
} // namespace

DrmSystemCalls& DrmSystemCalls::getDeviceCalls()
{
    // Built on first use and never destroyed: threads still running at exit may use it.
    static auto* calls = new LibDrmSystemCalls();
    return *calls;
}

} // namespace juce
