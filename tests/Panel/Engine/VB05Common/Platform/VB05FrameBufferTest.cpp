#include "Panel/Engine/VB05Common/Platform/VB05FrameBuffer.h"
#include "Panel/Engine/VB05Common/Platform/VB05Memory.h"

#include "VxFramework/Utilities/Graphics/Bitmap.h"

#include "tests/Panel/Engine/TestAppCommon/EngineTestSupport.h"
#include "tests/Panel/Engine/VB05Common/Platform/PlatformTestSupport.h"
#include "tests/support/CaptureStderr.h"

#include <juce_events/juce_events.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

namespace
{
using String = Vx::StringT<char, unsigned short>;
using Strings = std::vector<std::string>;
using Call = Sim::SimDeviceCalls::Call;
using namespace Vx::VB05;

constexpr std::uint8_t kUntouched = 0x5A;

// The pictures' images leave JUCE singletons that its shutdown normally
// deletes; without them deleted its singleton holders complain at exit.
class JuceShutdown : public ::testing::Environment
{
public:
    void TearDown() override { juce::DeletedAtShutdown::deleteAll(); }
};
[[maybe_unused]] ::testing::Environment* const gJuceShutdown = ::testing::AddGlobalTestEnvironment(new JuceShutdown);

// Every pixel of the picture its own opaque colour, from its position.
std::uint32_t ColourAt(std::int32_t x, std::int32_t y)
{
    return 0xFF000000u | (static_cast<std::uint32_t>(x) << 12) | static_cast<std::uint32_t>(y);
}

Vx::RCPtr<Vx::LBitmap> MakePicture(std::int32_t width, std::int32_t height)
{
    const Vx::RCPtr<Vx::LBitmap> bitmap =
        Vx::LBitmap::CreateFilled(Vx::PointT<std::int32_t>{width, height}, Vx::Color(0xFF000000u));
    const Vx::RCPtr<Vx::LBitmapData> pixels = Vx::LBitmap::GetWritablePixelBuffer(bitmap);
    for (std::int32_t y = 0; y < height; ++y)
    {
        for (std::int32_t x = 0; x < width; ++x)
            *pixels->GetPixel(x, y) = static_cast<std::int32_t>(ColourAt(x, y));
    }
    return bitmap;
}

class FrameBufferTest : public VxTest::PlatformTest
{
protected:
    FrameBufferTest() { Fill(); }

    // The framebuffer's memory set to a byte that no drawing writes.
    void Fill() { std::fill(Memory().begin(), Memory().end(), kUntouched); }
    std::vector<std::uint8_t>& Memory() { return mDevice.deviceCalls.frameBufferMemory; }

    void SetModel(const char* compatible) { mDevice.setCompatible({compatible}); }

    std::string Draw(const Vx::RCPtr<Vx::LBitmap>& picture)
    {
        VxTest::CaptureStderr capture;
        DrawBitmapToFrameBuffer(picture);
        return capture.Finish();
    }

    bool Untouched()
    {
        return std::all_of(Memory().begin(), Memory().end(), [](std::uint8_t byte) { return byte == kUntouched; });
    }

    void ExpectAllClosed()
    {
        EXPECT_EQ(mDevice.deviceCalls.getNumOpenDescriptors(), 0);
        EXPECT_EQ(mDevice.deviceCalls.getNumMappings(), 0);
        EXPECT_EQ(mDevice.deviceCalls.getNumMisusedDescriptors(), 0);
    }

    const Vx::RCPtr<Vx::LBitmap> mPicture = MakePicture(1280, 800);
};

TEST_F(FrameBufferTest, ThePictureIsTurnedForTheModelWithItsBytesRedGreenBlueZero)
{
    struct Case
    {
        const char* compatible;
        bool clockwise;
    };
    const Case cases[] = {
        {"korvatek,ks52", true},
        {"korvatek,ks56", false},
        {"korvatek,rn12", false},
        {"korvatek,fe66", false},
    };
    for (const Case& test : cases)
    {
        SCOPED_TRACE(test.compatible);
        Fill();
        SetModel(test.compatible);
        const std::string err = Draw(mPicture);
        // The top-left pixel: the panel's top-right corner, or its bottom-left.
        const std::size_t corner = test.clockwise ? 799 * 4 : 1279 * 3200;
        EXPECT_EQ(Memory()[corner], 0x00);
        EXPECT_EQ(Memory()[corner + 1], 0x00);
        EXPECT_EQ(Memory()[corner + 2], 0x00);
        EXPECT_EQ(Memory()[corner + 3], 0x00);
        std::size_t wrong = 0;
        for (std::int32_t x = 0; x < 1280; ++x)
        {
            for (std::int32_t y = 0; y < 800; ++y)
            {
                const std::size_t line = test.clockwise ? x : 1279 - x;
                const std::size_t column = test.clockwise ? 799 - y : y;
                const std::uint8_t* const bytes = Memory().data() + line * 3200 + column * 4;
                const std::uint32_t colour = ColourAt(x, y);
                const std::uint8_t expected[] = {static_cast<std::uint8_t>(colour >> 16),
                                                 static_cast<std::uint8_t>(colour >> 8),
                                                 static_cast<std::uint8_t>(colour), 0};
                wrong += std::memcmp(bytes, expected, 4) != 0 ? 1 : 0;
            }
        }
        EXPECT_EQ(wrong, 0u);
        EXPECT_NE(err.find("INFO: Framebuffer device /dev/fb0 opened"), std::string::npos) << err;
        EXPECT_NE(err.find("dstPtr="), std::string::npos);
        ExpectAllClosed();
    }
}

TEST_F(FrameBufferTest, OtherModelsGetNothingDrawn)
{
    for (const char* compatible : {"korvatek,ks5e", "korvatek,gu74", "vendor,board"})
    {
        SCOPED_TRACE(compatible);
        SetModel(compatible);
        const std::string err = Draw(mPicture);
        const Strings lines{"INFO: Framebuffer device /dev/fb0 opened", "ERROR: Unknown VB05 device",
                            "INFO: Framebuffer device /dev/fb0 closed"};
        EXPECT_EQ(VxTest::LinesAmong(err, lines), lines);
        EXPECT_TRUE(Untouched());
        ExpectAllClosed();
    }
}

TEST_F(FrameBufferTest, APictureOfAnotherSizeIsRefusedBeforeTheDeviceIsOpened)
{
    SetModel("korvatek,ks52");
    for (const auto& [width, height] : {std::pair{1280, 720}, std::pair{800, 1280}, std::pair{1281, 800}})
    {
        SCOPED_TRACE(std::to_string(width) + "x" + std::to_string(height));
        const std::string err = Draw(MakePicture(width, height));
        EXPECT_EQ(VxTest::CountAssertions(err, "VB05FrameBuffer.cpp"), 1) << err;
        EXPECT_EQ(err.find("/dev/fb0"), std::string::npos);
    }
    const std::string err = Draw(nullptr);
    EXPECT_EQ(VxTest::CountAssertions(err, "VB05FrameBuffer.cpp"), 1) << err;
    EXPECT_TRUE(Untouched());
    ExpectAllClosed();
}

TEST_F(FrameBufferTest, AFramebufferOfAnotherGeometryIsNeverWrittenOutsideItsMapping)
{
    SetModel("korvatek,ks56");
    struct Case
    {
        const char* name;
        std::uint32_t bitsPerPixel, lineLength, lines;
    };
    const Case cases[] = {
        {"fewer lines", 32, 3200, 1000},
        {"16-bit pixels", 16, 1600, 1280},
        {"padded lines", 32, 4096, 1280},
        {"short lines", 32, 2400, 1280},
    };
    for (const Case& test : cases)
    {
        SCOPED_TRACE(test.name);
        Sim::SimDeviceCalls& calls = mDevice.deviceCalls;
        calls.variableScreenInfo.bits_per_pixel = test.bitsPerPixel;
        calls.variableScreenInfo.yres = calls.variableScreenInfo.yres_virtual = test.lines;
        calls.fixedScreenInfo.line_length = test.lineLength;
        calls.fixedScreenInfo.smem_len = test.lineLength * test.lines;
        // The memory exactly as large as the device's: a write past it shows
        // under the address sanitizer.
        Memory().assign(calls.fixedScreenInfo.smem_len, kUntouched);
        Memory().shrink_to_fit();
        const std::string err = Draw(mPicture);
        EXPECT_NE(err.find("ERROR: Framebuffer geometry not supported: bitsPerPixel=" +
                           std::to_string(test.bitsPerPixel) + ", lineLength=" + std::to_string(test.lineLength)),
                  std::string::npos)
            << err;
        EXPECT_TRUE(Untouched());
        ExpectAllClosed();
    }
}

TEST_F(FrameBufferTest, WithoutAFramebufferNothingIsDrawnAndNothingBreaks)
{
    SetModel("korvatek,ks52");
    mDevice.deviceCalls.frameBufferPresent = false;
    std::string err = Draw(mPicture);
    EXPECT_EQ(VxTest::LinesAmong(err, {"ERROR: Failed to open /dev/fb0: ret=-2"}),
              Strings{"ERROR: Failed to open /dev/fb0: ret=-2"});
    EXPECT_EQ(err.find("dstPtr="), std::string::npos);
    VxTest::CaptureStderr capture;
    ClearFrameBuffer();
    err = capture.Finish();
    EXPECT_NE(err.find("ERROR: Failed to open /dev/fb0"), std::string::npos);
    EXPECT_TRUE(Untouched());
    ExpectAllClosed();
}

TEST_F(FrameBufferTest, EachFailingCallIsTracedAndNothingIsLeftOpen)
{
    SetModel("korvatek,ks52");
    struct Case
    {
        Call call;
        int count;
        Strings lines;
        bool drawn;
    };
    const Case cases[] = {
        {Call::getVariableScreenInfo,
         1,
         {"ERROR: FBIOGET_VSCREENINFO (1) ioctl failed: ret=-5", "ERROR: Failed to mmap /dev/fb0"},
         false},
        {Call::getVariableScreenInfo,
         2,
         {"ERROR: FBIOGET_VSCREENINFO (1) ioctl failed: ret=-5", "ERROR: FBIOGET_VSCREENINFO (2) ioctl failed: ret=-5",
          "ERROR: Failed to mmap /dev/fb0"},
         false},
        {Call::getFixedScreenInfo,
         1,
         {"ERROR: FBIOGET_FSCREENINFO ioctl failed: ret=-5", "ERROR: Failed to mmap /dev/fb0"},
         false},
        {Call::mapShared, 1, {"ERROR: Failed to mmap /dev/fb0"}, false},
        {Call::unmap,
         1,
         {"ERROR: Failed to munmap /dev/fb0: ret=-5", "INFO: Framebuffer device /dev/fb0 closed"},
         true},
        {Call::close,
         1,
         {"ERROR: Failed to close /dev/fb0: ret= -5", "INFO: Framebuffer device /dev/fb0 closed"},
         true},
    };
    for (const Case& test : cases)
    {
        SCOPED_TRACE(test.lines.front());
        Fill();
        mDevice.deviceCalls.faults.failNext(test.call, EIO, test.count);
        const std::string err = Draw(mPicture);
        EXPECT_EQ(VxTest::LinesAmong(err, test.lines), test.lines) << err;
        EXPECT_EQ(Untouched(), !test.drawn);
        EXPECT_EQ(mDevice.deviceCalls.getNumOpenDescriptors(), 0);
        EXPECT_EQ(mDevice.deviceCalls.getNumMisusedDescriptors(), 0);
        mDevice.deviceCalls.faults.clearAll();
    }
}

TEST_F(FrameBufferTest, ClearingBlanksEveryLineAndNoMore)
{
    VxTest::CaptureStderr capture;
    ClearFrameBuffer();
    capture.Finish();
    EXPECT_TRUE(std::all_of(Memory().begin(), Memory().end(), [](std::uint8_t byte) { return byte == 0; }));
    ExpectAllClosed();

    // A line's visible part claimed wider than the line: only the line is cleared.
    Sim::SimDeviceCalls& calls = mDevice.deviceCalls;
    calls.variableScreenInfo.xres_virtual = 1000;
    calls.variableScreenInfo.yres_virtual = 4;
    calls.fixedScreenInfo.line_length = 3200;
    calls.fixedScreenInfo.smem_len = 3200 * 4;
    Memory().assign(calls.fixedScreenInfo.smem_len, kUntouched);
    Memory().shrink_to_fit();
    VxTest::CaptureStderr again;
    ClearFrameBuffer();
    again.Finish();
    EXPECT_TRUE(std::all_of(Memory().begin(), Memory().end(), [](std::uint8_t byte) { return byte == 0; }));
    ExpectAllClosed();
}

//==============================================================================
class MemorySizeTest : public VxTest::PlatformTest
{
};

TEST_F(MemorySizeTest, MainMemoryIsPagesTimesPageSizeInFull)
{
    struct Case
    {
        long pages, pageSize;
        std::uint64_t bytes;
    };
    const Case cases[] = {
        {524288, 4096, std::uint64_t{1} << 31},
        {1048576, 4096, std::uint64_t{1} << 32},
        {393216, 16384, std::uint64_t{6} << 30},
    };
    for (const Case& test : cases)
    {
        mDevice.deviceCalls.physicalPages = test.pages;
        mDevice.deviceCalls.pageSize = test.pageSize;
        std::uint64_t size = 0;
        EXPECT_TRUE(GetMemorySize(MEMORY_KIND_RAM, size));
        EXPECT_EQ(size, test.bytes);
    }
    // The system not telling is no size at all.
    mDevice.deviceCalls.faults.failNext(Call::getSystemConfiguration, EINVAL);
    std::uint64_t size = 7;
    EXPECT_FALSE(GetRAMSize(size));
    EXPECT_EQ(size, 7u);
}

TEST_F(MemorySizeTest, TheEMMCIsSizedThroughItsWholeDevice)
{
    std::uint64_t size = 7;
    // No eMMC.
    EXPECT_FALSE(GetMemorySize(MEMORY_KIND_EMMC, size));

    WriteSystemFile("/dev/mmcblk1", "");
    MakeSystemLink("/dev/disk/by-path/platform-ff0f0000.dwmmc", "../../mmcblk1");
    // The node does not open.
    VxTest::CaptureStderr capture;
    EXPECT_FALSE(GetMemorySize(MEMORY_KIND_EMMC, size));
    EXPECT_EQ(VxTest::LinesAmong(capture.Finish(), {"Failed to open EMMC block device /dev/mmcblk1"}),
              Strings{"Failed to open EMMC block device /dev/mmcblk1"});

    const std::uint64_t bytes = 7818182656u;
    mDevice.deviceCalls.addBlockDevice("/dev/mmcblk1", bytes);
    EXPECT_TRUE(GetMemorySize(MEMORY_KIND_EMMC, size));
    EXPECT_EQ(size, bytes);

    mDevice.deviceCalls.faults.failNext(Call::getBlockDeviceSize, ENOTTY);
    VxTest::CaptureStderr ioctlCapture;
    EXPECT_FALSE(GetEMMCSize(size));
    EXPECT_EQ(
        VxTest::LinesAmong(ioctlCapture.Finish(), {"Failed to do BLKGETSIZE64 ioctl on EMMC block device: errno=25"}),
        Strings{"Failed to do BLKGETSIZE64 ioctl on EMMC block device: errno=25"});
    EXPECT_EQ(mDevice.deviceCalls.getNumOpenDescriptors(), 0);
}

TEST_F(MemorySizeTest, AnotherKindIsRefused)
{
    std::uint64_t size = 7;
    VxTest::CaptureStderr capture;
    EXPECT_FALSE(GetMemorySize(static_cast<MemoryKind>(2), size));
    const std::string err = capture.Finish();
    EXPECT_EQ(VxTest::CountAssertions(err, "VB05Memory.cpp"), 1) << err;
    EXPECT_EQ(size, 7u);
}
} // namespace
