#include "sim/SimDrmDevice.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/eventfd.h>
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

    // libdrm's getters answer a failure with null and the error in errno.
    template <typename T>
    T* failObject (int negativeError)
    {
        errno = -negativeError;
        return nullptr;
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

SimDrmDevice::SimDrmDevice() = default;

SimDrmDevice::~SimDrmDevice()
{
    for (auto& [fd, descriptor] : descriptors)
        ::close (fd);
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

juce::Image SimDrmDevice::imageOf (const StoredBuffer& buffer, uint32_t width, uint32_t height) const
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

int SimDrmDevice::getNumMappings() const
{
    const std::lock_guard<std::recursive_mutex> sl (lock);
    int count = 0;

    for (const auto& [handle, buffer] : buffers)
        count += buffer.numMappings;

    return count;
}

std::vector<SimDrmDevice::Flip> SimDrmDevice::getPendingFlips() const
{
    const std::lock_guard<std::recursive_mutex> sl (lock);
    std::vector<Flip> result;

    for (const auto& flip : pendingFlips)
        result.push_back ({ flip.crtcId, flip.framebufferId, (uint64_t) reinterpret_cast<uintptr_t> (flip.userData) });

    return result;
}

int SimDrmDevice::getNumOpenDescriptors() const
{
    const std::lock_guard<std::recursive_mutex> sl (lock);
    return (int) descriptors.size();
}

int SimDrmDevice::getNumMisusedDescriptors() const
{
    const std::lock_guard<std::recursive_mutex> sl (lock);
    return numMisused;
}

bool SimDrmDevice::isMaster() const
{
    const std::lock_guard<std::recursive_mutex> sl (lock);
    return master;
}

std::optional<SimDrmDevice::Buffer> SimDrmDevice::getExportedBuffer (int dmaBufferFd) const
{
    const std::lock_guard<std::recursive_mutex> sl (lock);
    const auto descriptor = descriptors.find (dmaBufferFd);

    if (descriptor == descriptors.end() || descriptor->second.kind != Kind::dmaBuffer)
        return {};

    if (const auto* buffer = findBuffer (descriptor->second.handle))
        return buffer->info;

    return {};
}

bool SimDrmDevice::useBuffers (uint32_t sourceHandle, uint32_t destinationHandle, const std::function<void (const BufferMemory&, const BufferMemory&)>& use)
{
    const std::lock_guard<std::recursive_mutex> sl (lock);
    auto* source = findBuffer (sourceHandle);
    auto* destination = findBuffer (destinationHandle);

    if (source == nullptr || destination == nullptr)
        return false;

    use ({ source->info, source->memory.data() }, { destination->info, destination->memory.data() });
    return true;
}

//==============================================================================
int SimDrmDevice::check (int fd, Call call)
{
    const auto found = descriptors.find (fd);

    if (found == descriptors.end() || found->second.kind != Kind::drm)
    {
        ++numMisused;
        return -EBADF;
    }

    return -faults.take (call);
}

SimDrmDevice::StoredBuffer* SimDrmDevice::findBuffer (uint32_t handle)
{
    const auto found = buffers.find (handle);
    return found != buffers.end() && ! found->second.destroyed ? &found->second : nullptr;
}

const SimDrmDevice::StoredBuffer* SimDrmDevice::findBuffer (uint32_t handle) const
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

//==============================================================================
int SimDrmDevice::open (const char* path, int)
{
    const std::lock_guard<std::recursive_mutex> sl (lock);

    if (std::string (path) != "/dev/dri/card0" || ! present)
        return -ENOENT;

    if (const auto error = faults.take (Call::open))
        return -error;

    const auto fd = ::timerfd_create (CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
    descriptors[fd] = { Kind::drm };
    drmFd = fd;
    return fd;
}

int SimDrmDevice::close (int fd)
{
    const std::lock_guard<std::recursive_mutex> sl (lock);
    const auto found = descriptors.find (fd);

    if (found == descriptors.end())
    {
        ++numMisused;
        return -EBADF;
    }

    if (found->second.kind == Kind::drm)
    {
        drmFd = -1;
        master = false;
        pendingFlips.clear();
    }

    descriptors.erase (found);
    return ::close (fd) == 0 ? 0 : -errno;
}

int SimDrmDevice::getCap (int fd, uint64_t capability, uint64_t& value)
{
    const std::lock_guard<std::recursive_mutex> sl (lock);

    if (const auto result = check (fd, Call::getCap))
        return result;

    if (capability != DRM_CAP_DUMB_BUFFER)
        return -EINVAL;

    value = dumbBufferCapability;
    return 0;
}

int SimDrmDevice::setMaster (int fd)
{
    const std::lock_guard<std::recursive_mutex> sl (lock);

    if (const auto result = check (fd, Call::setMaster))
        return result;

    master = true;
    return 0;
}

int SimDrmDevice::dropMaster (int fd)
{
    const std::lock_guard<std::recursive_mutex> sl (lock);

    if (const auto result = check (fd, Call::dropMaster))
        return result;

    master = false;
    return 0;
}

drmModeResPtr SimDrmDevice::getResources (int fd)
{
    const std::lock_guard<std::recursive_mutex> sl (lock);

    if (const auto result = check (fd, Call::getResources))
        return failObject<drmModeRes> (result);

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

void SimDrmDevice::freeResources (drmModeResPtr resources)
{
    if (resources == nullptr)
        return;

    std::free (resources->crtcs);
    std::free (resources->connectors);
    std::free (resources->encoders);
    std::free (resources->fbs);
    std::free (resources);
}

drmModePlaneResPtr SimDrmDevice::getPlaneResources (int fd)
{
    const std::lock_guard<std::recursive_mutex> sl (lock);

    if (const auto result = check (fd, Call::getPlaneResources))
        return failObject<drmModePlaneRes> (result);

    // One primary plane per CRTC.
    auto* planes = allocateArray<drmModePlaneRes> (1);
    planes->count_planes = (uint32_t) crtcs.size();
    planes->planes = allocateArray<uint32_t> (crtcs.size());

    for (size_t i = 0; i < crtcs.size(); ++i)
        planes->planes[i] = 1000 + (uint32_t) i;

    return planes;
}

void SimDrmDevice::freePlaneResources (drmModePlaneResPtr planes)
{
    if (planes == nullptr)
        return;

    std::free (planes->planes);
    std::free (planes);
}

drmModeConnectorPtr SimDrmDevice::getConnector (int fd, uint32_t connectorId)
{
    const std::lock_guard<std::recursive_mutex> sl (lock);

    if (const auto result = check (fd, Call::getConnector))
        return failObject<drmModeConnector> (result);

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

    return failObject<drmModeConnector> (-ENOENT);
}

void SimDrmDevice::freeConnector (drmModeConnectorPtr connector)
{
    if (connector == nullptr)
        return;

    std::free (connector->modes);
    std::free (connector->encoders);
    std::free (connector->props);
    std::free (connector->prop_values);
    std::free (connector);
}

drmModeEncoderPtr SimDrmDevice::getEncoder (int fd, uint32_t encoderId)
{
    const std::lock_guard<std::recursive_mutex> sl (lock);

    if (const auto result = check (fd, Call::getEncoder))
        return failObject<drmModeEncoder> (result);

    const auto found = encoders.find (encoderId);

    if (found == encoders.end())
        return failObject<drmModeEncoder> (-ENOENT);

    auto* encoder = allocateArray<drmModeEncoder> (1);
    encoder->encoder_id = encoderId;
    encoder->possible_crtcs = found->second;
    return encoder;
}

void SimDrmDevice::freeEncoder (drmModeEncoderPtr encoder)
{
    std::free (encoder);
}

//==============================================================================
int SimDrmDevice::createDumbBuffer (int fd, uint32_t width, uint32_t height, uint32_t bitsPerPixel, DumbBuffer& created)
{
    const std::lock_guard<std::recursive_mutex> sl (lock);

    if (const auto result = check (fd, Call::createDumbBuffer))
        return result;

    if (bitsPerPixel != 32 || width == 0 || height == 0 || width > 8192 || height > 8192)
        return -EINVAL;

    // Lines padded to 64 bytes and whole pages, as display controllers want them.
    StoredBuffer buffer;
    buffer.info.handle = nextId++;
    buffer.info.width = width;
    buffer.info.height = height;
    buffer.info.pitch = (width * 4 + 63) & ~63u;
    buffer.info.size = ((uint64_t) buffer.info.pitch * height + 4095) & ~(uint64_t) 4095;
    buffer.memory.assign ((size_t) buffer.info.size, 0xa5);

    created = { buffer.info.handle, buffer.info.pitch, buffer.info.size };
    buffers[buffer.info.handle] = std::move (buffer);
    return 0;
}

int SimDrmDevice::mapDumbBuffer (int fd, uint32_t handle, uint64_t& offset)
{
    const std::lock_guard<std::recursive_mutex> sl (lock);

    if (const auto result = check (fd, Call::mapDumbBuffer))
        return result;

    if (findBuffer (handle) == nullptr)
        return -ENOENT;

    // Map offsets name the buffer in their upper half, as large as real ones.
    offset = (uint64_t) handle << 32;
    return 0;
}

int SimDrmDevice::destroyDumbBuffer (int fd, uint32_t handle)
{
    const std::lock_guard<std::recursive_mutex> sl (lock);

    if (const auto result = check (fd, Call::destroyDumbBuffer))
        return result;

    auto* buffer = findBuffer (handle);

    if (buffer == nullptr)
        return -ENOENT;

    buffer->destroyed = true;
    releaseBufferIfUnused (handle);
    return 0;
}

int SimDrmDevice::exportDumbBuffer (int fd, uint32_t handle, int& dmaBufferFd)
{
    const std::lock_guard<std::recursive_mutex> sl (lock);

    if (const auto result = check (fd, Call::exportDumbBuffer))
        return result;

    if (findBuffer (handle) == nullptr)
        return -ENOENT;

    dmaBufferFd = ::eventfd (0, EFD_CLOEXEC);
    descriptors[dmaBufferFd] = { Kind::dmaBuffer, handle };
    return 0;
}

int SimDrmDevice::mapMemory (int fd, uint64_t offset, size_t length, void*& address)
{
    const std::lock_guard<std::recursive_mutex> sl (lock);

    if (const auto result = check (fd, Call::mapMemory))
        return result;

    auto* buffer = findBuffer ((uint32_t) (offset >> 32));

    if (buffer == nullptr || (offset & 0xffffffffu) != 0 || length > buffer->info.size)
        return -EINVAL;

    ++buffer->numMappings;
    address = buffer->memory.data();
    return 0;
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

    return -EINVAL;
}

//==============================================================================
int SimDrmDevice::addFramebuffer (int fd, uint32_t width, uint32_t height, uint8_t depth, uint8_t bitsPerPixel, uint32_t pitch, uint32_t handle, uint32_t& framebufferId)
{
    const std::lock_guard<std::recursive_mutex> sl (lock);

    if (const auto result = check (fd, Call::addFramebuffer))
        return result;

    const auto* buffer = findBuffer (handle);

    if (buffer == nullptr || depth != 24 || bitsPerPixel != 32 || pitch != buffer->info.pitch
         || width == 0 || height == 0 || width > buffer->info.width || height > buffer->info.height)
        return -EINVAL;

    framebufferId = nextId++;
    framebuffers[framebufferId] = { handle, width, height };
    return 0;
}

int SimDrmDevice::removeFramebuffer (int fd, uint32_t framebufferId)
{
    const std::lock_guard<std::recursive_mutex> sl (lock);

    if (const auto result = check (fd, Call::removeFramebuffer))
        return result;

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

int SimDrmDevice::setCrtc (int fd, uint32_t crtcId, uint32_t framebufferId, uint32_t, uint32_t, uint32_t* connectorIds, int count, drmModeModeInfoPtr mode)
{
    const std::lock_guard<std::recursive_mutex> sl (lock);

    if (const auto result = check (fd, Call::setCrtc))
        return result;

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

int SimDrmDevice::pageFlip (int fd, uint32_t crtcId, uint32_t framebufferId, uint32_t flags, void* userData)
{
    const std::lock_guard<std::recursive_mutex> sl (lock);

    if (const auto result = check (fd, Call::pageFlip))
        return result;

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

int SimDrmDevice::handleEvent (int fd, drmEventContext& context)
{
    std::vector<PendingFlip> completed;

    {
        const std::lock_guard<std::recursive_mutex> sl (lock);

        if (const auto result = check (fd, Call::handleEvent))
            return result;

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

        if (context.version >= 2 && context.page_flip_handler != nullptr)
            context.page_flip_handler (fd, 0, (unsigned int) (ns / 1000000), (unsigned int) (ns % 1000000), flip.userData);
    }

    return 0;
}

int SimDrmDevice::setCursor (int fd, uint32_t crtcId, uint32_t handle, uint32_t width, uint32_t height, int32_t hotX, int32_t hotY)
{
    const std::lock_guard<std::recursive_mutex> sl (lock);

    if (const auto result = check (fd, Call::setCursor))
        return result;

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

int SimDrmDevice::moveCursor (int fd, uint32_t crtcId, int x, int y)
{
    const std::lock_guard<std::recursive_mutex> sl (lock);

    if (const auto result = check (fd, Call::moveCursor))
        return result;

    const auto crtc = crtcStates.find (crtcId);

    if (crtc == crtcStates.end())
        return -ENOENT;

    crtc->second.cursorX = x;
    crtc->second.cursorY = y;
    ++crtc->second.numCursorMoves;
    return 0;
}

} // namespace Sim
