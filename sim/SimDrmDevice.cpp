#include "sim/SimDrmDevice.h"

#include "JuceBackend/native/juce_linuxfb_DrmPageFlipper.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <linux/kd.h>
#include <sys/eventfd.h>
#include <sys/mman.h>
#include <sys/timerfd.h>
#include <unistd.h>

namespace Sim
{

namespace
{
    template <typename T>
    T* allocateArray (size_t count)
    {
        return count == 0 ? nullptr : static_cast<T*> (std::calloc (count, sizeof (T)));
    }

    int fail (int error)
    {
        errno = error;
        return -1;
    }

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

    drmModeModeInfo makeModeInfo (const DisplayMode& wanted)
    {
        drmModeModeInfo mode {};
        mode.hdisplay = wanted.width;
        mode.vdisplay = wanted.height;
        mode.vrefresh = wanted.refresh;
        mode.clock = wanted.width * wanted.height * wanted.refresh / 1000;
        mode.type = DRM_MODE_TYPE_DRIVER | (wanted.preferred ? DRM_MODE_TYPE_PREFERRED : 0u);
        std::snprintf (mode.name, sizeof (mode.name), "%ux%u", (unsigned) wanted.width, (unsigned) wanted.height);
        return mode;
    }
}

SimDrmDevice::SimDrmDevice()
{
    // Shared with forked children, so that a test can see the console mode a
    // child process left behind.
    auto* memory = ::mmap (nullptr, sizeof (SharedConsole), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);

    if (memory == MAP_FAILED)
        std::abort();

    console = new (memory) SharedConsole();
    console->mode = KD_TEXT;
    console->numModeChanges = 0;
    console->numOpen = 0;
}

SimDrmDevice::~SimDrmDevice()
{
    for (auto& [fd, descriptor] : descriptors)
        ::close (fd);

    console->~SharedConsole();
    ::munmap (console, sizeof (SharedConsole));
}

//==============================================================================
uint32_t SimDrmDevice::addCrtc()
{
    const std::lock_guard<std::recursive_mutex> sl (lock);
    const auto id = nextId++;
    crtcs.push_back (id);
    crtcStates[id] = {};
    return id;
}

uint32_t SimDrmDevice::addEncoder (uint32_t possibleCrtcs)
{
    const std::lock_guard<std::recursive_mutex> sl (lock);
    const auto id = nextId++;
    encoders[id] = possibleCrtcs;
    return id;
}

uint32_t SimDrmDevice::addConnector (uint32_t type, std::vector<DisplayMode> modes, std::vector<uint32_t> encoderIds,
                                     bool connected)
{
    const std::lock_guard<std::recursive_mutex> sl (lock);
    const auto id = nextId++;
    connectors.push_back ({ id, type, connected, std::move (modes), std::move (encoderIds) });
    return id;
}

void SimDrmDevice::setConnected (uint32_t connectorId, bool connected)
{
    const std::lock_guard<std::recursive_mutex> sl (lock);

    for (auto& connector : connectors)
        if (connector.id == connectorId)
            connector.connected = connected;
}

void SimDrmDevice::setModes (uint32_t connectorId, std::vector<DisplayMode> modes)
{
    const std::lock_guard<std::recursive_mutex> sl (lock);

    for (auto& connector : connectors)
        if (connector.id == connectorId)
            connector.modes = modes;
}

//==============================================================================
SimDrmDevice::CrtcState SimDrmDevice::getCrtcState (uint32_t crtcId) const
{
    const std::lock_guard<std::recursive_mutex> sl (lock);
    const auto found = crtcStates.find (crtcId);
    return found != crtcStates.end() ? found->second : CrtcState {};
}

juce::Image SimDrmDevice::imageOf (const DumbBuffer& buffer, uint32_t width, uint32_t height) const
{
    juce::Image image (juce::Image::ARGB, (int) width, (int) height, false);
    const juce::Image::BitmapData pixels (image, juce::Image::BitmapData::writeOnly);

    for (uint32_t y = 0; y < height; ++y)
    {
        for (uint32_t x = 0; x < width; ++x)
        {
            uint32_t xrgb;
            std::memcpy (&xrgb, buffer.memory.data() + y * buffer.info.pitch + x * 4, sizeof (xrgb));
            pixels.setPixelColour ((int) x, (int) y, juce::Colour (xrgb | 0xff000000u));
        }
    }

    return image;
}

juce::Image SimDrmDevice::getFramebufferImage (uint32_t framebufferId) const
{
    const std::lock_guard<std::recursive_mutex> sl (lock);
    const auto framebuffer = framebuffers.find (framebufferId);

    if (framebuffer == framebuffers.end())
        return {};

    const auto* buffer = findBuffer (framebuffer->second.handle);
    return buffer != nullptr ? imageOf (*buffer, framebuffer->second.width, framebuffer->second.height) : juce::Image();
}

juce::Image SimDrmDevice::getScanoutImage (uint32_t crtcId) const
{
    return getFramebufferImage (getCrtcState (crtcId).framebufferId);
}

bool SimDrmDevice::saveScreenAsPng (uint32_t connectorId, const juce::File& file) const
{
    juce::Image image;

    {
        const std::lock_guard<std::recursive_mutex> sl (lock);

        for (const auto& [id, crtc] : crtcStates)
            if (crtc.active && crtc.connectorId == connectorId)
                image = getFramebufferImage (crtc.framebufferId);
    }

    if (! image.isValid())
        return false;

    file.deleteFile();
    juce::FileOutputStream stream (file);
    juce::PNGImageFormat png;
    return stream.openedOk() && png.writeImageToStream (image, stream);
}

uint32_t SimDrmDevice::getBufferPixel (uint32_t handle, int x, int y) const
{
    const std::lock_guard<std::recursive_mutex> sl (lock);
    const auto* buffer = findBuffer (handle);

    if (buffer == nullptr || x < 0 || y < 0 || (uint32_t) x >= buffer->info.width || (uint32_t) y >= buffer->info.height)
        return 0;

    uint32_t pixel;
    std::memcpy (&pixel, buffer->memory.data() + (uint32_t) y * buffer->info.pitch + (uint32_t) x * 4, sizeof (pixel));
    return pixel;
}

void SimDrmDevice::setFramebufferPixel (uint32_t framebufferId, int x, int y, uint32_t xrgb)
{
    const std::lock_guard<std::recursive_mutex> sl (lock);
    const auto framebuffer = framebuffers.find (framebufferId);

    if (framebuffer == framebuffers.end())
        return;

    if (auto* buffer = findBuffer (framebuffer->second.handle))
        if (x >= 0 && y >= 0 && (uint32_t) x < buffer->info.width && (uint32_t) y < buffer->info.height)
            std::memcpy (buffer->memory.data() + (uint32_t) y * buffer->info.pitch + (uint32_t) x * 4, &xrgb, sizeof (xrgb));
}

std::vector<SimDrmDevice::Buffer> SimDrmDevice::getBuffers() const
{
    const std::lock_guard<std::recursive_mutex> sl (lock);
    std::vector<Buffer> result;

    for (const auto& [handle, buffer] : buffers)
        if (! buffer.destroyed)
            result.push_back (buffer.info);

    return result;
}

int SimDrmDevice::getNumFramebuffers() const
{
    const std::lock_guard<std::recursive_mutex> sl (lock);
    return (int) framebuffers.size();
}

int SimDrmDevice::getNumPendingFlips() const
{
    const std::lock_guard<std::recursive_mutex> sl (lock);
    return (int) pendingFlips.size();
}

std::vector<SimDrmDevice::Job> SimDrmDevice::getJobs() const
{
    const std::lock_guard<std::recursive_mutex> sl (lock);
    return jobs;
}

int SimDrmDevice::getNumAcceleratorHandles() const
{
    const std::lock_guard<std::recursive_mutex> sl (lock);
    return (int) acceleratorHandles.size();
}

void SimDrmDevice::queueAcceleratorBytes (const std::vector<uint8_t>& bytes)
{
    const std::lock_guard<std::recursive_mutex> sl (lock);
    acceleratorBytes.insert (acceleratorBytes.end(), bytes.begin(), bytes.end());
    signalAccelerator();
}

std::vector<uint8_t> SimDrmDevice::makeCompletionRecord (uint64_t userData, uint32_t status, uint32_t type, uint32_t length)
{
    std::vector<uint8_t> record (24, 0);
    auto put32 = [&] (size_t offset, uint32_t value) { for (int i = 0; i < 4; ++i) record[offset + (size_t) i] = (uint8_t) (value >> (8 * i)); };
    put32 (0, type);
    put32 (4, length);
    put32 (8, (uint32_t) userData);
    put32 (12, (uint32_t) (userData >> 32));
    put32 (16, status);
    return record;
}

int SimDrmDevice::getConsoleMode() const               { return console->mode; }
void SimDrmDevice::setConsoleMode (int mode)            { console->mode = mode; }
int SimDrmDevice::getNumConsoleModeChanges() const     { return console->numModeChanges; }
int SimDrmDevice::getNumOpenConsoles() const           { return console->numOpen; }

int SimDrmDevice::getNumMisusedDescriptors() const
{
    const std::lock_guard<std::recursive_mutex> sl (lock);
    return numMisused;
}

int SimDrmDevice::getNumOpenDescriptors() const
{
    const std::lock_guard<std::recursive_mutex> sl (lock);
    return (int) descriptors.size();
}

bool SimDrmDevice::isMaster() const
{
    const std::lock_guard<std::recursive_mutex> sl (lock);
    return master;
}

//==============================================================================
bool SimDrmDevice::isOpen (int fd, Kind kind) const
{
    const auto found = descriptors.find (fd);
    return found != descriptors.end() && found->second.kind == kind;
}

bool SimDrmDevice::checkDescriptor (int fd, Kind kind)
{
    if (isOpen (fd, kind))
        return true;

    ++numMisused;
    errno = EBADF;
    return false;
}

SimDrmDevice::DumbBuffer* SimDrmDevice::findBuffer (uint32_t handle)
{
    const auto found = buffers.find (handle);
    return found != buffers.end() && ! found->second.destroyed ? &found->second : nullptr;
}

const SimDrmDevice::DumbBuffer* SimDrmDevice::findBuffer (uint32_t handle) const
{
    const auto found = buffers.find (handle);
    return found != buffers.end() && ! found->second.destroyed ? &found->second : nullptr;
}

void SimDrmDevice::releaseBufferIfUnused (uint32_t handle)
{
    const auto found = buffers.find (handle);

    if (found != buffers.end() && found->second.destroyed && found->second.numMappings == 0)
        buffers.erase (found);
}

void SimDrmDevice::signalAccelerator()
{
    if (acceleratorFd >= 0)
        signalEventFd (acceleratorFd);
}

//==============================================================================
int SimDrmDevice::openDevice (const char* path, int)
{
    const std::lock_guard<std::recursive_mutex> sl (lock);
    const std::string name (path);

    if (name == "/dev/dri/card0" && hasDrmDevice)
    {
        const auto fd = ::timerfd_create (CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
        descriptors[fd] = { Kind::drm };
        drmFd = fd;
        return fd;
    }

    if (name == "/dev/rga2" && hasAccelerator)
    {
        const auto fd = ::eventfd (0, EFD_NONBLOCK | EFD_CLOEXEC);
        descriptors[fd] = { Kind::accelerator };
        acceleratorFd = fd;
        return fd;
    }

    if (name == "/dev/tty0" && hasConsole)
    {
        // Never the machine's own console: a descriptor that leads nowhere.
        const auto fd = ::eventfd (0, EFD_CLOEXEC);
        descriptors[fd] = { Kind::console };
        ++console->numOpen;
        return fd;
    }

    return fail (ENOENT);
}

int SimDrmDevice::closeDevice (int fd)
{
    const std::lock_guard<std::recursive_mutex> sl (lock);
    const auto found = descriptors.find (fd);

    if (found == descriptors.end())
    {
        ++numMisused;
        return fail (EBADF);
    }

    switch (found->second.kind)
    {
        case Kind::drm:
            drmFd = -1;
            master = false;
            pendingFlips.clear();
            break;
        case Kind::accelerator:
            acceleratorFd = -1;
            acceleratorBytes.clear();
            break;
        case Kind::console:
            --console->numOpen;
            break;
        case Kind::dmaBuffer:
            break;
    }

    descriptors.erase (found);
    return ::close (fd);
}

ssize_t SimDrmDevice::readDevice (int fd, void* destination, size_t size)
{
    const std::lock_guard<std::recursive_mutex> sl (lock);

    if (! checkDescriptor (fd, Kind::accelerator))
        return -1;

    if (failNextAcceleratorRead != 0)
        return fail (std::exchange (failNextAcceleratorRead, 0));

    if (acceleratorBytes.empty())
        return fail (EAGAIN);

    const auto count = std::min (size, acceleratorBytes.size());
    std::copy_n (acceleratorBytes.begin(), count, static_cast<uint8_t*> (destination));
    acceleratorBytes.erase (acceleratorBytes.begin(), acceleratorBytes.begin() + (std::ptrdiff_t) count);

    if (acceleratorBytes.empty())
        drainEventFd (fd);

    return (ssize_t) count;
}

int SimDrmDevice::deviceIoctl (int fd, unsigned long request, void* argument)
{
    const std::lock_guard<std::recursive_mutex> sl (lock);

    if (isOpen (fd, Kind::console))
    {
        if (request == KDGETMODE)
        {
            *static_cast<int*> (argument) = console->mode;
            return 0;
        }

        if (request == KDSETMODE)
        {
            if (failConsoleSetMode)
                return fail (EINVAL);

            console->mode = (int) reinterpret_cast<intptr_t> (argument);
            ++console->numModeChanges;
            return 0;
        }

        return fail (ENOTTY);
    }

    if (isOpen (fd, Kind::accelerator))
        return acceleratorIoctl (request, argument);

    ++numMisused;
    return fail (EBADF);
}

int SimDrmDevice::acceleratorIoctl (unsigned long request, void* argument)
{
    namespace Rga2 = juce::Rga2;

    if (request == Rga2::importRequest)
    {
        auto& import = *static_cast<Rga2::ImportRequest*> (argument);

        if (failImport)
            return fail (EINVAL);

        const auto descriptor = descriptors.find (import.dmaBufferFd);

        if (descriptor == descriptors.end() || descriptor->second.kind != Kind::dmaBuffer)
            return fail (EBADF);

        const auto* buffer = findBuffer (descriptor->second.handle);

        if (buffer == nullptr || import.width != buffer->info.width || import.height != buffer->info.height
             || import.pitch != buffer->info.pitch || import.format != Rga2::formatXRGB8888)
            return fail (EINVAL);

        import.handle = nextId++;
        acceleratorHandles[import.handle] = buffer->info.handle;
        return 0;
    }

    if (request == Rga2::releaseRequest)
    {
        const auto& release = *static_cast<const Rga2::ReleaseRequest*> (argument);
        return acceleratorHandles.erase (release.handle) == 1 ? 0 : fail (EINVAL);
    }

    if (request == Rga2::jobRequest)
    {
        const auto& submitted = *static_cast<const Rga2::JobRequest*> (argument);

        if (failJobSubmit)
            return fail (EIO);

        const Job job { submitted.userData, submitted.sourceHandle, submitted.destinationHandle, submitted.rotation };
        jobs.push_back (job);

        const auto status = runJob (job);

        if (autoCompleteJobs)
        {
            const auto record = makeCompletionRecord (job.userData, status != 0 ? status : jobStatus);
            acceleratorBytes.insert (acceleratorBytes.end(), record.begin(), record.end());
            signalAccelerator();
        }

        return 0;
    }

    return fail (ENOTTY);
}

uint32_t SimDrmDevice::runJob (const Job& job)
{
    constexpr uint32_t invalid = EINVAL;

    const auto source = acceleratorHandles.find (job.sourceHandle);
    const auto destination = acceleratorHandles.find (job.destinationHandle);

    if (source == acceleratorHandles.end() || destination == acceleratorHandles.end())
        return invalid;

    const auto* from = findBuffer (source->second);
    auto* to = findBuffer (destination->second);

    if (from == nullptr || to == nullptr)
        return invalid;

    const auto sw = from->info.width, sh = from->info.height;
    const auto dw = to->info.width,   dh = to->info.height;
    const bool quarterTurn = job.rotation == 90 || job.rotation == 270;

    if (job.rotation % 90 != 0 || job.rotation >= 360)
        return 0;   // the accelerator turns by right angles only: the copy is skipped

    if (quarterTurn ? (sw != dh || sh != dw) : (sw != dw || sh != dh))
        return invalid;

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

            std::memcpy (to->memory.data() + ty * to->info.pitch + tx * 4,
                         from->memory.data() + y * from->info.pitch + x * 4, 4);
        }
    }

    return 0;
}

void* SimDrmDevice::mapMemory (size_t length, int, int, int fd, uint64_t offset)
{
    const std::lock_guard<std::recursive_mutex> sl (lock);

    if (! checkDescriptor (fd, Kind::drm))
        return MAP_FAILED;

    // Map offsets name the buffer in their upper half, as large as real ones.
    auto* buffer = findBuffer ((uint32_t) (offset >> 32));

    if (buffer == nullptr || (offset & 0xffffffffu) != 0 || length > buffer->info.size)
    {
        errno = EINVAL;
        return MAP_FAILED;
    }

    ++buffer->numMappings;
    return buffer->memory.data();
}

int SimDrmDevice::unmapMemory (void* address, size_t)
{
    const std::lock_guard<std::recursive_mutex> sl (lock);

    for (auto& [handle, buffer] : buffers)
    {
        if (buffer.memory.data() == address && buffer.numMappings > 0)
        {
            --buffer.numMappings;
            releaseBufferIfUnused (handle);
            return 0;
        }
    }

    return fail (EINVAL);
}

int SimDrmDevice::drmIoctl (int fd, unsigned long request, void* argument)
{
    const std::lock_guard<std::recursive_mutex> sl (lock);

    if (! checkDescriptor (fd, Kind::drm))
        return -1;

    if (request == DRM_IOCTL_MODE_CREATE_DUMB)
    {
        auto& create = *static_cast<drm_mode_create_dumb*> (argument);

        if (failCreateDumb > 0)
        {
            --failCreateDumb;
            return fail (ENOMEM);
        }

        if (create.bpp != 32 || create.width == 0 || create.height == 0 || create.width > 8192 || create.height > 8192)
            return fail (EINVAL);

        // Lines padded to 64 bytes and whole pages, as display controllers want them.
        DumbBuffer buffer;
        buffer.info.handle = nextId++;
        buffer.info.width = create.width;
        buffer.info.height = create.height;
        buffer.info.pitch = (create.width * 4 + 63) & ~63u;
        buffer.info.size = ((uint64_t) buffer.info.pitch * create.height + 4095) & ~(uint64_t) 4095;
        buffer.memory.assign ((size_t) buffer.info.size, 0xa5);

        create.handle = buffer.info.handle;
        create.pitch = buffer.info.pitch;
        create.size = buffer.info.size;
        buffers[buffer.info.handle] = std::move (buffer);
        return 0;
    }

    if (request == DRM_IOCTL_MODE_MAP_DUMB)
    {
        auto& map = *static_cast<drm_mode_map_dumb*> (argument);

        if (failMapDumb > 0)
        {
            --failMapDumb;
            return fail (ENOMEM);
        }

        if (findBuffer (map.handle) == nullptr)
            return fail (ENOENT);

        map.offset = (uint64_t) map.handle << 32;
        return 0;
    }

    if (request == DRM_IOCTL_MODE_DESTROY_DUMB)
    {
        const auto& destroy = *static_cast<const drm_mode_destroy_dumb*> (argument);
        auto* buffer = findBuffer (destroy.handle);

        if (buffer == nullptr)
            return fail (ENOENT);

        buffer->destroyed = true;
        releaseBufferIfUnused (destroy.handle);
        return 0;
    }

    if (request == DRM_IOCTL_PRIME_HANDLE_TO_FD)
    {
        auto& prime = *static_cast<drm_prime_handle*> (argument);

        if (failPrimeExport || findBuffer (prime.handle) == nullptr)
            return fail (failPrimeExport ? ENODEV : ENOENT);

        prime.fd = ::eventfd (0, EFD_CLOEXEC);
        descriptors[prime.fd] = { Kind::dmaBuffer, prime.handle };
        return 0;
    }

    return fail (ENOTTY);
}

int SimDrmDevice::getCap (int fd, uint64_t capability, uint64_t* value)
{
    const std::lock_guard<std::recursive_mutex> sl (lock);

    if (! checkDescriptor (fd, Kind::drm))
        return -EBADF;

    if (capability != DRM_CAP_DUMB_BUFFER)
        return -EINVAL;

    *value = dumbBufferCapability;
    return 0;
}

int SimDrmDevice::setMaster (int fd)
{
    const std::lock_guard<std::recursive_mutex> sl (lock);

    if (! checkDescriptor (fd, Kind::drm))
        return -1;

    if (failSetMaster)
        return fail (EACCES);

    master = true;
    return 0;
}

int SimDrmDevice::dropMaster (int fd)
{
    const std::lock_guard<std::recursive_mutex> sl (lock);

    if (! checkDescriptor (fd, Kind::drm))
        return -1;

    master = false;
    return 0;
}

drmModeResPtr SimDrmDevice::modeGetResources (int fd)
{
    const std::lock_guard<std::recursive_mutex> sl (lock);

    if (! checkDescriptor (fd, Kind::drm) || failResources)
        return nullptr;

    auto* resources = allocateArray<drmModeRes> (1);
    resources->count_crtcs = (int) crtcs.size();
    resources->crtcs = allocateArray<uint32_t> (crtcs.size());
    std::copy (crtcs.begin(), crtcs.end(), resources->crtcs);

    resources->count_connectors = (int) connectors.size();
    resources->connectors = allocateArray<uint32_t> (connectors.size());

    for (size_t i = 0; i < connectors.size(); ++i)
        resources->connectors[i] = connectors[i].id;

    resources->count_encoders = (int) encoders.size();
    resources->encoders = allocateArray<uint32_t> (encoders.size());
    size_t e = 0;

    for (const auto& [id, possible] : encoders)
        resources->encoders[e++] = id;

    resources->max_width = resources->max_height = 8192;
    return resources;
}

void SimDrmDevice::modeFreeResources (drmModeResPtr resources)
{
    if (resources == nullptr)
        return;

    std::free (resources->crtcs);
    std::free (resources->connectors);
    std::free (resources->encoders);
    std::free (resources->fbs);
    std::free (resources);
}

drmModePlaneResPtr SimDrmDevice::modeGetPlaneResources (int fd)
{
    const std::lock_guard<std::recursive_mutex> sl (lock);

    if (! checkDescriptor (fd, Kind::drm) || failPlaneResources)
        return nullptr;

    // One primary plane per CRTC.
    auto* planes = allocateArray<drmModePlaneRes> (1);
    planes->count_planes = (uint32_t) crtcs.size();
    planes->planes = allocateArray<uint32_t> (crtcs.size());

    for (size_t i = 0; i < crtcs.size(); ++i)
        planes->planes[i] = 1000 + (uint32_t) i;

    return planes;
}

void SimDrmDevice::modeFreePlaneResources (drmModePlaneResPtr planes)
{
    if (planes == nullptr)
        return;

    std::free (planes->planes);
    std::free (planes);
}

drmModeConnectorPtr SimDrmDevice::modeGetConnector (int fd, uint32_t connectorId)
{
    const std::lock_guard<std::recursive_mutex> sl (lock);

    if (! checkDescriptor (fd, Kind::drm))
        return nullptr;

    for (const auto& entry : connectors)
    {
        if (entry.id != connectorId)
            continue;

        auto* connector = allocateArray<drmModeConnector> (1);
        connector->connector_id = entry.id;
        connector->connector_type = entry.type;
        connector->connector_type_id = 1;
        connector->connection = entry.connected ? DRM_MODE_CONNECTED : DRM_MODE_DISCONNECTED;
        connector->count_modes = (int) entry.modes.size();
        connector->modes = allocateArray<drmModeModeInfo> (entry.modes.size());

        for (size_t i = 0; i < entry.modes.size(); ++i)
            connector->modes[i] = makeModeInfo (entry.modes[i]);

        connector->count_encoders = (int) entry.encoders.size();
        connector->encoders = allocateArray<uint32_t> (entry.encoders.size());
        std::copy (entry.encoders.begin(), entry.encoders.end(), connector->encoders);
        return connector;
    }

    errno = ENOENT;
    return nullptr;
}

void SimDrmDevice::modeFreeConnector (drmModeConnectorPtr connector)
{
    if (connector == nullptr)
        return;

    std::free (connector->modes);
    std::free (connector->encoders);
    std::free (connector->props);
    std::free (connector->prop_values);
    std::free (connector);
}

drmModeEncoderPtr SimDrmDevice::modeGetEncoder (int fd, uint32_t encoderId)
{
    const std::lock_guard<std::recursive_mutex> sl (lock);

    if (! checkDescriptor (fd, Kind::drm))
        return nullptr;

    const auto found = encoders.find (encoderId);

    if (found == encoders.end())
    {
        errno = ENOENT;
        return nullptr;
    }

    auto* encoder = allocateArray<drmModeEncoder> (1);
    encoder->encoder_id = encoderId;
    encoder->possible_crtcs = found->second;
    return encoder;
}

void SimDrmDevice::modeFreeEncoder (drmModeEncoderPtr encoder)
{
    std::free (encoder);
}

int SimDrmDevice::modeAddFB (int fd, uint32_t width, uint32_t height, uint8_t depth, uint8_t bitsPerPixel,
                             uint32_t pitch, uint32_t handle, uint32_t* framebufferId)
{
    const std::lock_guard<std::recursive_mutex> sl (lock);

    if (! checkDescriptor (fd, Kind::drm))
        return -EBADF;

    if (failAddFramebuffer != 0)
        return -failAddFramebuffer;

    const auto* buffer = findBuffer (handle);

    if (buffer == nullptr || depth != 24 || bitsPerPixel != 32 || pitch != buffer->info.pitch
         || width == 0 || height == 0 || width > buffer->info.width || height > buffer->info.height)
        return -EINVAL;

    *framebufferId = nextId++;
    framebuffers[*framebufferId] = { handle, width, height };
    return 0;
}

int SimDrmDevice::modeRmFB (int fd, uint32_t framebufferId)
{
    const std::lock_guard<std::recursive_mutex> sl (lock);

    if (! checkDescriptor (fd, Kind::drm))
        return -EBADF;

    if (framebuffers.erase (framebufferId) == 0)
        return -ENOENT;

    // Removing the framebuffer on screen turns its CRTC off, as the kernel does.
    for (auto& [id, crtc] : crtcStates)
    {
        if (crtc.framebufferId == framebufferId)
        {
            crtc.framebufferId = 0;
            crtc.active = false;
        }
    }

    return 0;
}

int SimDrmDevice::modeSetCrtc (int fd, uint32_t crtcId, uint32_t framebufferId, uint32_t, uint32_t,
                               uint32_t* connectorIds, int count, drmModeModeInfoPtr mode)
{
    const std::lock_guard<std::recursive_mutex> sl (lock);

    if (! checkDescriptor (fd, Kind::drm))
        return -EBADF;

    if (failSetCrtc != 0)
        return -failSetCrtc;

    const auto crtc = crtcStates.find (crtcId);

    if (crtc == crtcStates.end() || framebuffers.count (framebufferId) == 0 || count != 1
         || connectorIds == nullptr || mode == nullptr)
        return -EINVAL;

    bool connectorFound = false;

    for (const auto& connector : connectors)
        connectorFound = connectorFound || (connector.id == connectorIds[0] && connector.connected);

    if (! connectorFound)
        return -EINVAL;

    crtc->second.active = true;
    crtc->second.framebufferId = framebufferId;
    crtc->second.connectorId = connectorIds[0];
    crtc->second.mode = *mode;
    ++crtc->second.numSets;
    return 0;
}

int SimDrmDevice::modePageFlip (int fd, uint32_t crtcId, uint32_t framebufferId, uint32_t flags, void* userData)
{
    const std::lock_guard<std::recursive_mutex> sl (lock);

    if (! checkDescriptor (fd, Kind::drm))
        return -EBADF;

    if (failPageFlip != 0)
        return -failPageFlip;

    const auto crtc = crtcStates.find (crtcId);

    if (crtc == crtcStates.end() || ! crtc->second.active || framebuffers.count (framebufferId) == 0
         || (flags & DRM_MODE_PAGE_FLIP_EVENT) == 0)
        return -EINVAL;

    for (const auto& flip : pendingFlips)
        if (flip.crtcId == crtcId)
            return -EBUSY;

    const auto now = std::chrono::steady_clock::now();
    auto due = now + flipLatency;

    if (flipLatency.count() < 0)
    {
        // The next vertical blank of the CRTC's mode.
        const auto refresh = crtc->second.mode.vrefresh != 0 ? crtc->second.mode.vrefresh : 60u;
        const std::chrono::nanoseconds period (1000000000LL / refresh);
        const auto sinceStart = now.time_since_epoch();
        due = std::chrono::steady_clock::time_point (((sinceStart / period) + 1) * period);
    }

    pendingFlips.push_back ({ crtcId, framebufferId, userData, due });
    armFlipTimer();
    return 0;
}

void SimDrmDevice::armFlipTimer()
{
    if (drmFd < 0)
        return;

    itimerspec timer {};

    if (! pendingFlips.empty())
    {
        auto first = pendingFlips.front().due;

        for (const auto& flip : pendingFlips)
            first = std::min (first, flip.due);

        // steady_clock is CLOCK_MONOTONIC; an expiry in the past fires at once,
        // and a zero expiry would disarm the timer.
        const auto ns = std::max<int64_t> (1, std::chrono::duration_cast<std::chrono::nanoseconds> (first.time_since_epoch()).count());
        timer.it_value.tv_sec = (time_t) (ns / 1000000000);
        timer.it_value.tv_nsec = (long) (ns % 1000000000);
    }

    ::timerfd_settime (drmFd, TFD_TIMER_ABSTIME, &timer, nullptr);
}

int SimDrmDevice::handleEvent (int fd, drmEventContextPtr context)
{
    std::vector<PendingFlip> completed;

    {
        const std::lock_guard<std::recursive_mutex> sl (lock);

        if (! checkDescriptor (fd, Kind::drm))
            return -1;

        uint64_t expirations;
        [[maybe_unused]] auto n = ::read (fd, &expirations, sizeof (expirations));

        const auto now = std::chrono::steady_clock::now();

        for (auto flip = pendingFlips.begin(); flip != pendingFlips.end();)
        {
            if (flip->due <= now)
            {
                auto& crtc = crtcStates[flip->crtcId];

                if (framebuffers.count (flip->framebufferId) != 0)
                    crtc.framebufferId = flip->framebufferId;

                ++crtc.numFlips;
                completed.push_back (*flip);
                flip = pendingFlips.erase (flip);
            }
            else
            {
                ++flip;
            }
        }

        armFlipTimer();
    }

    // Handlers may flip again: the device is not locked while they run.
    for (const auto& flip : completed)
    {
        const auto ns = std::chrono::duration_cast<std::chrono::microseconds> (flip.due.time_since_epoch()).count();

        if (context != nullptr && context->version >= 2 && context->page_flip_handler != nullptr)
            context->page_flip_handler (fd, 0, (unsigned int) (ns / 1000000), (unsigned int) (ns % 1000000), flip.userData);
    }

    return 0;
}

int SimDrmDevice::modeSetCursor2 (int fd, uint32_t crtcId, uint32_t handle, uint32_t width, uint32_t height,
                                  int32_t hotX, int32_t hotY)
{
    const std::lock_guard<std::recursive_mutex> sl (lock);

    if (! checkDescriptor (fd, Kind::drm))
        return -EBADF;

    if (failSetCursor != 0)
        return -failSetCursor;

    const auto crtc = crtcStates.find (crtcId);

    if (crtc == crtcStates.end())
        return -ENOENT;

    // Handle 0 hides the cursor; any other must be a buffer of the size given,
    // which the display controller takes as 64 x 64 only.
    if (handle != 0)
    {
        const auto* buffer = findBuffer (handle);

        if (buffer == nullptr)
            return -ENOENT;

        if (width != 64 || height != 64 || buffer->info.width < width || buffer->info.height < height)
            return -EINVAL;
    }

    auto& state = crtc->second;
    state.cursorHandle = handle;
    state.cursorWidth = width;
    state.cursorHeight = height;
    state.cursorHotX = hotX;
    state.cursorHotY = hotY;
    ++state.numCursorSets;
    return 0;
}

int SimDrmDevice::modeMoveCursor (int fd, uint32_t crtcId, int x, int y)
{
    const std::lock_guard<std::recursive_mutex> sl (lock);

    if (! checkDescriptor (fd, Kind::drm))
        return -EBADF;

    if (failMoveCursor != 0)
        return -failMoveCursor;

    const auto crtc = crtcStates.find (crtcId);

    if (crtc == crtcStates.end())
        return -ENOENT;

    crtc->second.cursorX = x;
    crtc->second.cursorY = y;
    ++crtc->second.numCursorMoves;
    return 0;
}

} // namespace Sim
