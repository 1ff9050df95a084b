#include "juce_linuxfb_DrmScreen.h"
#include "JuceBackend/juce_linuxfb_SystemCalls.h"

#include <cstdio>

namespace juce
{

void DrmScreen::ConnectorDeleter::operator() (drmModeConnectorPtr connector) const
{
    DrmSystemCalls::get().modeFreeConnector (connector);
}

DrmScreen::DrmScreen (int drmDescriptor, std::unique_ptr<DrmPageFlipper> pageFlipper, drmModeConnectorPtr connectorObject,
                      uint32 crtc, const drmModeModeInfo& modeInfo, Rectangle<int> screenArea, int touchRotation)
    : fd (drmDescriptor),
      flipper (std::move (pageFlipper)),
      connector (connectorObject),
      crtcId (crtc),
      mode (modeInfo),
      cursorX (screenArea.getWidth() / 2),
      cursorY (screenArea.getHeight() / 2),
      area (screenArea),
      touchRotationIndex (touchRotation)
{
}

DrmScreen::~DrmScreen()
{
    // The flipper's buffers go before the connector they were shown on.
    flipper.reset();
    connector.reset();
}

void DrmScreen::setCrtc (uint32 framebufferId)
{
    uint32 connectorId = connector->connector_id;

    const auto result = DrmSystemCalls::get().modeSetCrtc (fd, crtcId, framebufferId, 0, 0, &connectorId, 1, &mode);

    if (result != 0)
        std::fprintf (stderr, "drmModeSetCrtc failed: %d\n", result);
}

bool DrmScreen::flipBackBuffer()
{
    if (busy)
        return false;

    busy = flipper->flip (flipper->getBackBufferIndex(), *this);
    return busy;
}

void DrmScreen::pageFlipDone()
{
    busy = false;
}

void DrmScreen::setCursorPosition (int x, int y)
{
    cursorX = x;
    cursorY = y;

    if (cursorVisible)
        flipper->moveCursor (crtcId, x, y);
}

} // namespace juce
