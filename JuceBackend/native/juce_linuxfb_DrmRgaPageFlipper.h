#pragma once

#include "juce_linuxfb_DrmPageFlipper.h"
#include "JuceBackend/juce_linuxfb_RgaSystemCalls.h"

namespace juce
{

//==============================================================================
/** Renders into one off-screen buffer that the accelerator copies, rotated by the
    panel's rotation, into one of two scan-out buffers, which are then flipped. */
class DrmRgaPageFlipper final : public DrmPageFlipper
{
public:
    DrmRgaPageFlipper (int drmDescriptor, int acceleratorDescriptor, int rotationDegrees);
    ~DrmRgaPageFlipper() override;

    void pageFlipped() override;
    bool init (int width, int height) override;
    int getNumBuffers() const override { return 1; }
    DrmDumbBuffer* getBuffer (int index) const override;
    int getFrontBufferIndex() const override { return 0; }
    int getBackBufferIndex() const override { return 0; }
    bool flip (int index, DrmScreen& screen) override;
    bool setCursor (uint32 crtcId, DrmCursor* cursor) override;
    bool moveCursor (uint32 crtcId, int x, int y) override;
    bool isReady() const override { return ! isFirstFrame; }

    /** The accelerator finished the copy this flipper submitted last. */
    void jobCompleted();

    int getRotation() const noexcept { return rotation; }
    DrmDumbBuffer* getScanoutBuffer (int index) const { return scanoutBuffers[index]; }
    int getScanoutIndex() const noexcept { return scanoutIndex; }

    /** Maps render coordinates to scan-out coordinates. */
    const AffineTransform& getRenderToScanoutTransform() const noexcept { return renderToScanout; }

    /** Where cursors turned with the panel are drawn. */
    DrmCursor& getOwnCursor() const noexcept { return *ownCursor; }

    /** The message loop's accelerator class: reads the completion records that
        are ready.  True if anything was read. */
    static bool handleCompletions (int acceleratorDescriptor);

private:
    bool importBuffer (const DrmDumbBuffer& buffer, uint32& acceleratorHandle);
    void releaseHandle (uint32 acceleratorHandle);

    int fd;
    int rgaFd;
    int rotation;
    DrmScreen* screen = nullptr;
    std::unique_ptr<DrmDumbBuffer> renderBuffer;
    OwnedArray<DrmDumbBuffer> scanoutBuffers;
    int scanoutIndex = 0;
    uint32 renderHandle = 0;
    uint32 scanoutHandles[2] = { 0, 0 };
    AffineTransform renderToScanout;
    ReferenceCountedObjectPtr<DrmCursor> ownCursor;
    Point<int> cursorHotspot;
    bool isFirstFrame = true;
};

} // namespace juce
