#pragma once

#include "juce_linuxfb_DrmPageFlipper.h"

namespace juce
{

//==============================================================================
/** Double-buffers two dumb buffers with page flips; used without an accelerator. */
class DrmDirectPageFlipper final : public DrmPageFlipper
{
public:
    explicit DrmDirectPageFlipper (int drmDescriptor);
    ~DrmDirectPageFlipper() override;

    void pageFlipped() override;
    bool init (int width, int height) override;
    int getNumBuffers() const override { return 2; }
    DrmDumbBuffer* getBuffer (int index) const override;
    int getFrontBufferIndex() const override { return frontIndex; }
    int getBackBufferIndex() const override { return frontIndex ^ 1; }
    bool flip (int index, DrmScreen& screen) override;
    bool setCursor (uint32 crtcId, DrmCursor* cursor) override;
    bool moveCursor (uint32 crtcId, int x, int y) override;
    bool isReady() const override { return ! isFirstFrame; }

private:
    int fd;
    DrmScreen* screen = nullptr;
    OwnedArray<DrmDumbBuffer> buffers;
    int frontIndex = 0;
    Point<int> cursorHotspot;
    bool isFirstFrame = true;
};

} // namespace juce
