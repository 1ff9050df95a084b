#include "Panel/Engine/VB05Common/Platform/VB05FrameBuffer.h"

#include "Panel/Engine/VB05Common/Platform/VB05Device.h"
#include "VxFramework/ObjectBase/Exception.h"
#include "VxFramework/Utilities/DebugTracer.h"
#include "VxFramework/Utilities/Graphics/Bitmap.h"

#include <algorithm>
#include <cstring>
#include <fcntl.h>

namespace Vx::VB05
{
namespace
{
// The panel's framebuffer: portrait, 4 bytes a pixel, the lines back to back.
constexpr std::uint32_t kPanelLinePixels = 800;
constexpr std::uint32_t kPanelLines = 1280;
constexpr std::uint32_t kPanelBitsPerPixel = 32;
constexpr std::uint32_t kPanelLineLength = kPanelLinePixels * 4;

// The geometry the drawing writes: 1280 x 800 pixels of 4 bytes in
// consecutive slots, which must all lie inside the mapping.
bool HasPanelGeometry(const FrameBufferMapping& frameBuffer)
{
    return frameBuffer.variableInfo.bits_per_pixel == kPanelBitsPerPixel &&
           frameBuffer.fixedInfo.line_length == kPanelLineLength &&
           frameBuffer.mapping.GetLength() >= static_cast<std::size_t>(kPanelLineLength) * kPanelLines;
}

void WritePixel(std::uint8_t*& destination, std::uint32_t colour)
{
    destination[0] = static_cast<std::uint8_t>(colour >> 16);
    destination[1] = static_cast<std::uint8_t>(colour >> 8);
    destination[2] = static_cast<std::uint8_t>(colour);
    destination[3] = 0;
    destination += 4;
}
} // namespace

void OpenFrameBuffer(FrameBufferMapping& frameBuffer)
{
    DeviceCalls& calls = DeviceCalls::Get();
    const int fd = calls.Open(kFrameBufferPath, O_RDWR);
    if (fd < 0)
    {
        // Nothing further can work on a device that did not open.
        DebugTracer::Get().Trace(-1, "ERROR: Failed to open /dev/fb0: ret=%d", fd);
        return;
    }
    frameBuffer.descriptor = UniqueDeviceDescriptor(calls, fd);

    bool described = true;
    if (const int result = calls.GetVariableScreenInfo(fd, frameBuffer.variableInfo); result != 0)
    {
        DebugTracer::Get().Trace(-1, "ERROR: FBIOGET_VSCREENINFO (1) ioctl failed: ret=%d", result);
        described = false;
    }
    if (const int result = calls.GetFixedScreenInfo(fd, frameBuffer.fixedInfo); result != 0)
    {
        DebugTracer::Get().Trace(-1, "ERROR: FBIOGET_FSCREENINFO ioctl failed: ret=%d", result);
        described = false;
    }
    if (const int result = calls.GetVariableScreenInfo(fd, frameBuffer.variableInfo); result != 0)
    {
        DebugTracer::Get().Trace(-1, "ERROR: FBIOGET_VSCREENINFO (2) ioctl failed: ret=%d", result);
        described = false;
    }

    const std::size_t length =
        static_cast<std::size_t>(frameBuffer.fixedInfo.line_length) * frameBuffer.variableInfo.yres_virtual;
    void* address = nullptr;
    // Without its geometry the device's size is unknown: nothing is mapped.
    if (!described || length == 0 || calls.MapShared(fd, length, address) != 0 || address == nullptr)
    {
        DebugTracer::Get().Trace(-1, "ERROR: Failed to mmap /dev/fb0");
        return;
    }
    frameBuffer.mapping = UniqueDeviceMapping(calls, address, length);
    DebugTracer::Get().Trace(-1, "INFO: Framebuffer device /dev/fb0 opened");
}

void CloseFrameBuffer(FrameBufferMapping& frameBuffer)
{
    if (const int result = frameBuffer.mapping.Reset(); result != 0)
        DebugTracer::Get().Trace(-1, "ERROR: Failed to munmap /dev/fb0: ret=%d", result);
    if (const int result = frameBuffer.descriptor.Reset(); result != 0)
        DebugTracer::Get().Trace(-1, "ERROR: Failed to close /dev/fb0: ret= %d", result);
    DebugTracer::Get().Trace(-1, "INFO: Framebuffer device /dev/fb0 closed");
}

void ClearFrameBuffer()
{
    FrameBufferMapping frameBuffer;
    OpenFrameBuffer(frameBuffer);
    if (auto* const start = static_cast<std::uint8_t*>(frameBuffer.mapping.Get()))
    {
        const std::size_t lineLength = frameBuffer.fixedInfo.line_length;
        // A line's visible bytes never run past the line (nor the mapping).
        const std::size_t lineBytes = std::min(static_cast<std::size_t>(frameBuffer.variableInfo.xres_virtual) *
                                                   frameBuffer.variableInfo.bits_per_pixel / 8,
                                               lineLength);
        for (std::size_t line = 0; line < frameBuffer.variableInfo.yres_virtual; ++line)
            std::memset(start + line * lineLength, 0, lineBytes);
    }
    CloseFrameBuffer(frameBuffer);
}

void DrawBitmapToFrameBuffer(const RCPtr<LBitmap>& bitmap)
{
    if (bitmap.IsNull())
    {
        VX_ASSERT_FALSE();
        return;
    }
    if (bitmap->GetWidth() != kFrameBufferPictureWidth)
    {
        VX_ASSERT_FALSE();
        return;
    }
    if (bitmap->GetHeight() != kFrameBufferPictureHeight)
    {
        VX_ASSERT_FALSE();
        return;
    }
    const RCPtr<LBitmapData> pixels = LBitmap::GetPixelBuffer(bitmap);
    if (pixels.IsNull() || pixels->GetWidth() != kFrameBufferPictureWidth ||
        pixels->GetHeight() != kFrameBufferPictureHeight || pixels->GetPixel(0, 0) == nullptr)
    {
        VX_ASSERT_FALSE();
        return;
    }

    FrameBufferMapping frameBuffer;
    OpenFrameBuffer(frameBuffer);
    auto* destination = static_cast<std::uint8_t*>(frameBuffer.mapping.Get());
    if (destination == nullptr)
    {
        CloseFrameBuffer(frameBuffer);
        return;
    }
    DebugTracer::Get().Trace(-1, "dstPtr=%p", static_cast<void*>(destination));

    const auto* const origin = reinterpret_cast<const std::uint8_t*>(pixels->GetPixel(0, 0));
    const auto stride = static_cast<std::ptrdiff_t>(pixels->GetLineStride());
    const auto pixel = [&](std::int32_t x, std::int32_t y) {
        std::uint32_t colour = 0;
        std::memcpy(&colour, origin + y * stride + x * 4, 4);
        return colour;
    };

    const DeviceModel model = GetDeviceModel();
    const bool clockwise = model == DEVICE_MODEL_KS52;
    const bool counterClockwise =
        model == DEVICE_MODEL_KS56 || model == DEVICE_MODEL_RN12 || model == DEVICE_MODEL_FE66;
    if (!clockwise && !counterClockwise)
        DebugTracer::Get().Trace(-1, "ERROR: Unknown VB05 device");
    else if (!HasPanelGeometry(frameBuffer))
        DebugTracer::Get().Trace(-1,
                                 "ERROR: Framebuffer geometry not supported: bitsPerPixel=%u, lineLength=%u, "
                                 "mapped=%zu",
                                 frameBuffer.variableInfo.bits_per_pixel, frameBuffer.fixedInfo.line_length,
                                 frameBuffer.mapping.GetLength());
    else if (clockwise)
    {
        // Picture column x becomes framebuffer line x, read bottom up.
        for (std::int32_t x = 0; x < kFrameBufferPictureWidth; ++x)
        {
            for (std::int32_t y = kFrameBufferPictureHeight - 1; y >= 0; --y)
                WritePixel(destination, pixel(x, y));
        }
    }
    else
    {
        // Picture column x becomes framebuffer line 1279 - x, read top down.
        for (std::int32_t x = kFrameBufferPictureWidth - 1; x >= 0; --x)
        {
            for (std::int32_t y = 0; y < kFrameBufferPictureHeight; ++y)
                WritePixel(destination, pixel(x, y));
        }
    }
    CloseFrameBuffer(frameBuffer);
}
} // namespace Vx::VB05
