#pragma once

// Drawing straight into the Linux framebuffer, past the display system: the
// shutdown picture is put on the panel this way just before the power goes.
// The panel's framebuffer is portrait (800 pixels a line, 1280 lines, 4 bytes
// a pixel) while the picture is landscape, so the picture is turned a quarter
// turn whose direction depends on the device model.  Nothing stays mapped
// between calls; nothing locks, and nothing coordinates with the display
// system drawing at the same time.

#include "Panel/Engine/VB05Common/Platform/DeviceCalls.h"
#include "VxFramework/ObjectBase/RefCountedObject.h"

namespace Vx
{
class LBitmap;
} // namespace Vx

namespace Vx::VB05
{
inline constexpr char kFrameBufferPath[] = "/dev/fb0";

// The picture: landscape, 32-bit colours 0xAARRGGBB.
inline constexpr std::int32_t kFrameBufferPictureWidth = 1280;
inline constexpr std::int32_t kFrameBufferPictureHeight = 800;

// One opened and mapped framebuffer, for one open-close pair.
struct FrameBufferMapping
{
    fb_var_screeninfo variableInfo{};
    fb_fix_screeninfo fixedInfo{};
    // Line length x virtual height bytes from offset 0; empty when mapping failed.
    UniqueDeviceMapping mapping;
    UniqueDeviceDescriptor descriptor;
};

// Opens the device, reads its screen information and maps it, tracing each
// failure; a mapping that failed is left empty.
void OpenFrameBuffer(FrameBufferMapping& frameBuffer);
// Unmaps and closes what was opened.
void CloseFrameBuffer(FrameBufferMapping& frameBuffer);
// Paints the whole virtual framebuffer black.
void ClearFrameBuffer();
// Draws the 1280 x 800 picture turned for the device model: KS52 a quarter
// turn clockwise; KS56, RN12 and FE66 counter-clockwise; other models get
// nothing.  Each pixel is written as red, green, blue, 0.  Another picture
// size is refused with an assertion; a framebuffer that is not 32 bits a
// pixel, 3200 bytes a line and at least 1280 lines is refused with a trace
// line, so that nothing is written outside the mapping.
void DrawBitmapToFrameBuffer(const RCPtr<LBitmap>& bitmap);
} // namespace Vx::VB05
