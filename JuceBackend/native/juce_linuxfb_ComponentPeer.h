#pragma once

#include "juce_linuxfb_DrmCursor.h"

namespace juce
{

/** A top-level JUCE window on the device: no window of its own, only a
    rectangle in the global layout of the screens, which paint it. */
class LinuxFbComponentPeer  : public ComponentPeer
{
public:
    LinuxFbComponentPeer (Component& component, int styleFlags);
    ~LinuxFbComponentPeer() override;

    void* getNativeHandle() const override;
    void setVisible (bool shouldBeVisible) override;
    void setTitle (const String&) override;
    void setBounds (const Rectangle<int>& newBounds, bool isNowFullScreen) override;
    Rectangle<int> getBounds() const override;
    Point<float> localToGlobal (Point<float> relativePosition) override;
    Point<float> globalToLocal (Point<float> screenPosition) override;
    using ComponentPeer::localToGlobal;
    using ComponentPeer::globalToLocal;
    void setMinimised (bool) override;
    bool isMinimised() const override;
    void setFullScreen (bool shouldBeFullScreen) override;
    bool isFullScreen() const override;
    void setIcon (const Image&) override;
    bool contains (Point<int> localPos, bool trueIfInAChildWindow) const override;
    OptionalBorderSize getFrameSizeIfPresent() const override;
    BorderSize<int> getFrameSize() const override;
    bool setAlwaysOnTop (bool) override;
    void toFront (bool takeKeyboardFocus) override;
    void toBehind (ComponentPeer*) override;
    bool isFocused() const override;
    void grabFocus() override;
    void textInputRequired (Point<int>, TextInputTarget&) override;
    void repaint (const Rectangle<int>& area) override;
    void performAnyPendingRepaintsNow() override;
    void setAlpha (float) override;
    StringArray getAvailableRenderingEngines() override;

    /** The cursor this window wants while the pointer is over it; null for the
        screen's default. */
    DrmCursor* getCursor() const noexcept               { return cursor.get(); }
    void setCursor (DrmCursor* newCursor)               { cursor = newCursor; }

    /** Gives the screen under the mouse position the cursor of the window there. */
    static void refreshCursor();

private:
    Rectangle<int> bounds;
    DrmCursor::Ptr cursor;
    bool fullScreen = false;
    bool visible = false;

    JUCE_DECLARE_NON_COPYABLE (LinuxFbComponentPeer)
};

} // namespace juce
