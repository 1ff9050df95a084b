#pragma once

#include "juce_linuxfb_DrmDumbBuffer.h"

namespace juce
{

//==============================================================================
/** A hardware cursor image: 64 x 64 ARGB pixels in a dumb buffer of the DRM
    device, and the point of the image that marks the pointer's position. */
class DrmCursor  : public ReferenceCountedObject
{
public:
    using Ptr = ReferenceCountedObjectPtr<DrmCursor>;

    /** The only size the display controllers take. */
    static constexpr int size = 64;

    explicit DrmCursor (int drmDescriptor);
    ~DrmCursor() override;

    /** Allocates the buffer; false with the error number in error when it cannot. */
    bool createBuffer (int& error);

    /** The buffer's GEM handle; -1 without a buffer. */
    int getHandle() const noexcept;

    Point<int> getHotspot() const noexcept              { return hotspot; }
    void setHotspot (Point<int> newHotspot) noexcept    { hotspot = newHotspot; }

    /** The buffer's pixels, mapped on first use and kept mapped while the
        buffer lives; null when the buffer cannot be mapped, with the error
        number in error. */
    uint8* map (int& error);
    uint32 getPitch() const noexcept;

    /** Frees the buffers of every cursor still alive, while the DRM device is
        still open: JUCE may hold cursors past the device's shutdown, and they
        must not free anything through a descriptor that is closed by then (or
        already reused).  The cursors stay, without buffers. */
    static void releaseAllBuffers();

private:
    int fd;
    Point<int> hotspot;
    std::unique_ptr<DrmDumbBuffer> buffer;

    JUCE_DECLARE_NON_COPYABLE (DrmCursor)
};

//==============================================================================
/** A cursor's pixels as a JUCE image, to draw into or from.  Without data
    (the buffer could not be mapped) the image must not be drawn. */
class DrmMappedCursor  : public ImagePixelData
{
public:
    explicit DrmMappedCursor (DrmCursor& cursor);
    ~DrmMappedCursor() override;

    bool hasData() const noexcept                       { return data != nullptr; }

    std::unique_ptr<LowLevelGraphicsContext> createLowLevelContext() override;
    ImagePixelData::Ptr clone() override;
    std::unique_ptr<ImageType> createType() const override;
    void initialiseBitmapData (Image::BitmapData&, int x, int y, Image::BitmapData::ReadWriteMode) override;

private:
    DrmCursor::Ptr cursor;
    uint8* data = nullptr;
    uint32 pitch = 0;
};

//==============================================================================
/** How JUCE's cursors become hardware cursors. */
namespace LinuxFbCursors
{
    /** A cursor showing the image (cut to 64 x 64) with that hotspot, on the DRM
        device with this descriptor.  The same image twice gives the same cursor.
        Null when the cursor's buffer cannot be made or mapped. */
    DrmCursor::Ptr createCustomCursor (int drmDescriptor, const Image& image, Point<int> hotspot);

    /** As above, on the DRM device of the process; null without one. */
    DrmCursor::Ptr createCustomCursor (const Image& image, Point<int> hotspot);

    /** JUCE's standard cursor of that type, for the types that have an image
        here; null for the others, which show a screen's default cursor. */
    DrmCursor::Ptr createStandardCursor (int type);

    /** The arrow a screen shows when the component under the pointer wants none. */
    DrmCursor::Ptr createDefaultCursor (int drmDescriptor);

    /** Forgets the last image and cursor made from it (at the device's shutdown). */
    void dropCache();
}

} // namespace juce
