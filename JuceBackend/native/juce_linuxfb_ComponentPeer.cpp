#include "juce_linuxfb_ComponentPeer.h"
#include "juce_linuxfb_DrmDevice.h"

namespace juce
{

namespace
{
    void repaintScreens (Rectangle<int> globalArea)
    {
        if (globalArea.isEmpty())
            return;

        if (auto* device = DrmDevice::getInstanceWithoutCreating())
            device->repaint (globalArea);
    }
}

LinuxFbComponentPeer::LinuxFbComponentPeer (Component& comp, int styleFlags)
    : ComponentPeer (comp, styleFlags)
{
}

LinuxFbComponentPeer::~LinuxFbComponentPeer()
{
    repaintScreens (bounds);
    cursor = nullptr;
}

void* LinuxFbComponentPeer::getNativeHandle() const         { return nullptr; }

void LinuxFbComponentPeer::setVisible (bool shouldBeVisible)
{
    if (shouldBeVisible == visible)
        return;

    visible = shouldBeVisible;
    repaintScreens (bounds);
}

void LinuxFbComponentPeer::setTitle (const String&)         {}

void LinuxFbComponentPeer::setBounds (const Rectangle<int>& newBounds, bool isNowFullScreen)
{
    repaintScreens (bounds);
    bounds = newBounds;
    fullScreen = isNowFullScreen;
    repaintScreens (bounds);

    // Bounds the window set itself (full screen) reach the component; for
    // bounds that came from the component this changes nothing.
    handleMovedOrResized();
}

Rectangle<int> LinuxFbComponentPeer::getBounds() const      { return bounds; }

Point<float> LinuxFbComponentPeer::localToGlobal (Point<float> relativePosition)
{
    return relativePosition + bounds.getPosition().toFloat();
}

Point<float> LinuxFbComponentPeer::globalToLocal (Point<float> screenPosition)
{
    return screenPosition - bounds.getPosition().toFloat();
}

void LinuxFbComponentPeer::setMinimised (bool)              {}
bool LinuxFbComponentPeer::isMinimised() const              { return false; }

void LinuxFbComponentPeer::setFullScreen (bool shouldBeFullScreen)
{
    Rectangle<int> target;

    if (shouldBeFullScreen)
    {
        if (auto* display = Desktop::getInstance().getDisplays().getPrimaryDisplay())
            target = display->userArea;
    }
    else
    {
        target = getNonFullScreenBounds();

        if (target.isEmpty())
            target = bounds;
    }

    if (! target.isEmpty())
        setBounds (target, shouldBeFullScreen);

    component.repaint();
}

bool LinuxFbComponentPeer::isFullScreen() const             { return fullScreen; }
void LinuxFbComponentPeer::setIcon (const Image&)           {}

bool LinuxFbComponentPeer::contains (Point<int> localPos, bool) const
{
    if (! bounds.withZeroOrigin().contains (localPos))
        return false;

    const auto globalPos = localPos + bounds.getPosition();
    auto& desktop = Desktop::getInstance();

    // A window above this one that holds the point takes it; hidden windows
    // hold nothing.
    for (int i = desktop.getNumComponents(); --i >= 0;)
    {
        auto* other = desktop.getComponent (i);

        if (other == &component)
            break;

        if (other == nullptr || ! other->isVisible())
            continue;

        if (auto* otherPeer = other->getPeer())
            if (otherPeer->contains (globalPos - otherPeer->getBounds().getPosition(), true))
                return false;
    }

    return true;
}

ComponentPeer::OptionalBorderSize LinuxFbComponentPeer::getFrameSizeIfPresent() const
{
    return OptionalBorderSize { BorderSize<int>() };
}

BorderSize<int> LinuxFbComponentPeer::getFrameSize() const  { return {}; }
bool LinuxFbComponentPeer::setAlwaysOnTop (bool)            { return true; }
void LinuxFbComponentPeer::toFront (bool)                   {}
void LinuxFbComponentPeer::toBehind (ComponentPeer*)        {}
bool LinuxFbComponentPeer::isFocused() const                { return true; }
void LinuxFbComponentPeer::grabFocus()                      {}
void LinuxFbComponentPeer::textInputRequired (Point<int>, TextInputTarget&) {}

void LinuxFbComponentPeer::repaint (const Rectangle<int>& area)
{
    repaintScreens (area.getIntersection (bounds.withZeroOrigin()) + bounds.getPosition());
}

void LinuxFbComponentPeer::performAnyPendingRepaintsNow()
{
    if (auto* device = DrmDevice::getInstanceWithoutCreating())
        device->paintNow();
}

void LinuxFbComponentPeer::setAlpha (float)                 {}

StringArray LinuxFbComponentPeer::getAvailableRenderingEngines()
{
    return { "Software Renderer" };
}

void LinuxFbComponentPeer::refreshCursor()
{
    auto* device = DrmDevice::getInstanceWithoutCreating();

    if (device == nullptr)
        return;

    const auto mouse = device->getMousePosition();
    DrmScreen* screen = nullptr;

    for (auto* s : device->getScreens())
    {
        if (s->getArea().getX() <= mouse.x && mouse.x < s->getArea().getRight())
        {
            screen = s;
            break;
        }
    }

    auto* component = Desktop::getInstance().findComponentAt (mouse);

    if (screen == nullptr || component == nullptr)
        return;

    if (auto* peer = dynamic_cast<LinuxFbComponentPeer*> (component->getPeer()))
        if (peer->getCursor() != screen->getCurrentCursor())
            screen->setCursor (peer->getCursor());
}

} // namespace juce
