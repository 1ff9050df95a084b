#include "juce_linuxfb_DrmCursor.h"
#include "juce_linuxfb_DrmDevice.h"
#include "juce_linuxfb_Log.h"

#include <cerrno>
#include <cstring>
#include <set>

namespace juce
{

namespace LinuxFbCursorImages
{
    #include "juce_linuxfb_StandardCursorImages.h"
}

namespace
{
    // Every cursor alive, so that the device's shutdown can free their buffers.
    struct LiveCursors
    {
        CriticalSection lock;
        std::set<DrmCursor*> cursors;
    };

    LiveCursors& liveCursors()
    {
        static auto* live = new LiveCursors();
        return *live;
    }

    // The last image a cursor was made from, and that cursor: applications set
    // the same cursor again and again as the pointer moves.
    struct CursorCache
    {
        CriticalSection lock;
        Image image;
        DrmCursor::Ptr cursor;
    };

    CursorCache& cursorCache()
    {
        static auto* cache = new CursorCache();
        return *cache;
    }

    // The default arrow, 21 x 21 with its tip at (1, 3): X outline, o fill.
    constexpr const char* defaultArrow[] =
    {
        ".....................",
        ".....................",
        ".....................",
        ".X...................",
        ".XX..................",
        ".XoX.................",
        ".XooX................",
        ".XoooX...............",
        ".XooooX..............",
        ".XoooooX.............",
        ".XooooooX............",
        ".XoooooooX...........",
        ".XooooooooX..........",
        ".XoooooXXXXX.........",
        ".XooXooX.............",
        ".XoX.XooX............",
        ".XX..XooX............",
        ".X....XooX...........",
        "......XooX...........",
        ".......XX............",
        ".....................",
    };

    // The image at (0, 0), cut to the cursor's size, over the transparent
    // buffer: that is a copy of its pixels, and needs no renderer (nor fonts).
    void copyIntoCursor (const Image& image, Image& cursorImage)
    {
        const auto width = jmin (image.getWidth(), DrmCursor::size);
        const auto height = jmin (image.getHeight(), DrmCursor::size);
        auto source = image;   // shares the pixels: only read
        const Image::BitmapData from (source, 0, 0, width, height, Image::BitmapData::readOnly);
        const Image::BitmapData to (cursorImage, 0, 0, width, height, Image::BitmapData::writeOnly);

        for (int y = 0; y < height; ++y)
        {
            if (image.getFormat() == Image::ARGB)
                std::memcpy (to.getLinePointer (y), from.getLinePointer (y), (size_t) width * 4);
            else
                for (int x = 0; x < width; ++x)
                    to.setPixelColour (x, y, from.getPixelColour (x, y));
        }
    }

    const Image& defaultArrowImage()
    {
        // One image for every screen, so that the screens share one cursor.
        static auto* image = []
        {
            auto* arrow = new Image (Image::ARGB, 21, 21, true);

            for (int y = 0; y < 21; ++y)
                for (int x = 0; x < 21; ++x)
                    if (const auto c = defaultArrow[y][x]; c != '.')
                        arrow->setPixelAt (x, y, c == 'X' ? Colours::black : Colours::white);

            return arrow;
        }();

        return *image;
    }
}

//==============================================================================
DrmCursor::DrmCursor (int drmDescriptor)  : fd (drmDescriptor)
{
    auto& live = liveCursors();
    const ScopedLock sl (live.lock);
    live.cursors.insert (this);
}

DrmCursor::~DrmCursor()
{
    auto& live = liveCursors();
    const ScopedLock sl (live.lock);
    live.cursors.erase (this);
    buffer.reset();
}

bool DrmCursor::createBuffer (int& error)
{
    auto newBuffer = std::make_unique<DrmDumbBuffer> (fd);

    if (! newBuffer->create (size, size))
    {
        error = newBuffer->getError();
        return false;
    }

    buffer = std::move (newBuffer);
    return true;
}

int DrmCursor::getHandle() const noexcept
{
    return buffer != nullptr ? (int) buffer->getHandle() : -1;
}

uint8* DrmCursor::map (int& error)
{
    error = 0;

    if (buffer == nullptr)
    {
        error = ENOENT;
        return nullptr;
    }

    // Mapping clears the buffer, so it happens once: the image drawn into it
    // must survive later mappings.
    if (buffer->getData() == nullptr && ! buffer->map())
    {
        error = buffer->getError() != 0 ? buffer->getError() : EINVAL;
        return nullptr;
    }

    return buffer->getData();
}

uint32 DrmCursor::getPitch() const noexcept
{
    return buffer != nullptr ? buffer->getPitch() : 0;
}

void DrmCursor::releaseAllBuffers()
{
    auto& live = liveCursors();
    const ScopedLock sl (live.lock);

    for (auto* cursor : live.cursors)
        cursor->buffer.reset();
}

//==============================================================================
DrmMappedCursor::DrmMappedCursor (DrmCursor& cursorToMap)
    : ImagePixelData (Image::ARGB, DrmCursor::size, DrmCursor::size),
      cursor (&cursorToMap)
{
    int error = 0;
    data = cursor->map (error);
    pitch = cursor->getPitch();

    if (data == nullptr)
        logBackendFailure ("kms_bo_map failed: " + String (error), error);
}

DrmMappedCursor::~DrmMappedCursor() = default;

std::unique_ptr<LowLevelGraphicsContext> DrmMappedCursor::createLowLevelContext()
{
    sendDataChangeMessage();
    return std::make_unique<LowLevelGraphicsSoftwareRenderer> (Image (this));
}

ImagePixelData::Ptr DrmMappedCursor::clone()
{
    jassertfalse;
    return {};
}

std::unique_ptr<ImageType> DrmMappedCursor::createType() const
{
    return std::make_unique<NativeImageType>();
}

void DrmMappedCursor::initialiseBitmapData (Image::BitmapData& bitmap, int x, int y, Image::BitmapData::ReadWriteMode mode)
{
    const auto offset = (size_t) y * pitch + (size_t) x * 4;
    bitmap.data = data != nullptr ? data + offset : nullptr;
    bitmap.size = data != nullptr ? (size_t) pitch * (size_t) height - offset : 0;
    bitmap.pixelFormat = Image::ARGB;
    bitmap.lineStride = (int) pitch;
    bitmap.pixelStride = 4;

    if (mode != Image::BitmapData::readOnly)
        sendDataChangeMessage();
}

//==============================================================================
DrmCursor::Ptr LinuxFbCursors::createCustomCursor (int drmDescriptor, const Image& image, Point<int> hotspot)
{
    if (drmDescriptor < 0 || ! image.isValid())
        return {};

    auto& cache = cursorCache();
    const ScopedLock sl (cache.lock);

    if (cache.cursor != nullptr && image.getPixelData() == cache.image.getPixelData())
        return cache.cursor;

    DrmCursor::Ptr cursor (new DrmCursor (drmDescriptor));

    if (int error = 0; ! cursor->createBuffer (error))
    {
        logBackendFailure ("Failed to initialize cursor", error);
        return {};
    }

    auto* mapped = new DrmMappedCursor (*cursor);
    Image target (mapped);

    // Without the pointer's image the screen shows its default cursor; nothing
    // else depends on it, so the application goes on.
    if (! mapped->hasData())
        return {};

    copyIntoCursor (image, target);
    cursor->setHotspot (hotspot);
    cache.image = image;
    cache.cursor = cursor;
    return cursor;
}

DrmCursor::Ptr LinuxFbCursors::createCustomCursor (const Image& image, Point<int> hotspot)
{
    if (auto* device = DrmDevice::getInstanceWithoutCreating())
        return createCustomCursor (device->getDrmDescriptor(), image, hotspot);

    return {};
}

DrmCursor::Ptr LinuxFbCursors::createStandardCursor (int type)
{
    if (! isPositiveAndBelow (type, (int) MouseCursor::NumStandardCursorTypes))
    {
        jassertfalse;
        return {};
    }

    using namespace LinuxFbCursorImages;

    switch (type)
    {
        case MouseCursor::NoCursor:
            return createCustomCursor (Image (Image::ARGB, 16, 16, true), {});

        case MouseCursor::CopyingCursor:
            return createCustomCursor (ImageFileFormat::loadFrom (copyCursorData, sizeof (copyCursorData)), { 1, 3 });

        case MouseCursor::DraggingHandCursor:
            return createCustomCursor (ImageFileFormat::loadFrom (dragHandData, sizeof (dragHandData)), { 8, 7 });

        default:
            return {};
    }
}

DrmCursor::Ptr LinuxFbCursors::createDefaultCursor (int drmDescriptor)
{
    return createCustomCursor (drmDescriptor, defaultArrowImage(), { 1, 3 });
}

void LinuxFbCursors::dropCache()
{
    auto& cache = cursorCache();
    const ScopedLock sl (cache.lock);
    cache.cursor = nullptr;
    cache.image = {};
}

} // namespace juce
