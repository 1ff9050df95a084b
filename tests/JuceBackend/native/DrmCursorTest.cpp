// Hardware cursors: cursor images in dumb buffers, JUCE's cursor hooks, what
// each screen's cursor plane shows, and the mouse position.

#include "tests/JuceBackend/DisplayTestSupport.h"

#include "JuceBackend/native/juce_linuxfb_ComponentPeer.h"
#include "tests/support/CaptureStderr.h"

#include <algorithm>
#include <cerrno>
#include <string>

using VxTest::ColourWindow;
using VxTest::DrmCall;
using VxTest::JucePlatformTest;
using VxTest::SimulatedDeviceTest;

namespace
{
// A transparent image with one opaque pixel to find again.
juce::Image Marker(int width, int height, juce::Point<int> at)
{
    juce::Image image(juce::Image::ARGB, width, height, true);
    image.setPixelAt(at.x, at.y, juce::Colour(0xff102030));
    return image;
}

constexpr uint32_t markerPixel = 0xff102030;
} // namespace

//==============================================================================
using Cursors = SimulatedDeviceTest;

TEST_F(Cursors, AreMadeOnceFromAnImageAndCutToTheirPlane)
{
    sim.addDsiPanel(480, 800);
    ASSERT_TRUE(OpenDevice());

    auto image = Marker(100, 70, {5, 2});
    image.setPixelAt(70, 2, juce::Colours::white);
    const auto cursor = juce::LinuxFbCursors::createCustomCursor(image, {4, 6});
    ASSERT_NE(cursor, nullptr);
    EXPECT_EQ(cursor->getHotspot(), juce::Point<int>(4, 6));
    ASSERT_GT(cursor->getHandle(), 0);

    const auto handle = (uint32_t) cursor->getHandle();
    EXPECT_EQ(sim.drm.getBufferPixel(handle, 5, 2), markerPixel);
    EXPECT_EQ(sim.drm.getBufferPixel(handle, 6, 2), 0u);
    EXPECT_EQ(sim.drm.getBufferPixel(handle, 70 - 64, 3), 0u) << "the image beyond 64 x 64 is cut off, not wrapped";

    EXPECT_EQ(juce::LinuxFbCursors::createCustomCursor(image, {4, 6}), cursor) << "the same image, the same cursor";
    EXPECT_NE(juce::LinuxFbCursors::createCustomCursor(image.createCopy(), {4, 6}), cursor);
}

TEST_F(Cursors, StandardTypesWithAnImageGetOneTheOthersNone)
{
    sim.addDsiPanel(480, 800);
    ASSERT_TRUE(OpenDevice());

    struct Case
    {
        int type;
        bool made;
        juce::Point<int> hotspot;
        bool assertion = false;
    };

    const Case cases[] = {
        {juce::MouseCursor::NoCursor, true, {0, 0}},
        {juce::MouseCursor::CopyingCursor, true, {1, 3}},
        {juce::MouseCursor::DraggingHandCursor, true, {8, 7}},
        {juce::MouseCursor::ParentCursor, false, {}},
        {juce::MouseCursor::NormalCursor, false, {}},
        {juce::MouseCursor::WaitCursor, false, {}},
        {juce::MouseCursor::BottomRightCornerResizeCursor, false, {}},
        {juce::MouseCursor::NumStandardCursorTypes, false, {}, true},
        {-1, false, {}, true},
    };

    for (const auto& c : cases)
    {
        VxTest::CaptureStderr capture;
        const auto cursor = juce::LinuxFbCursors::createStandardCursor(c.type);
        const auto errors = capture.Finish();

        EXPECT_EQ(cursor != nullptr, c.made) << c.type;
        EXPECT_EQ(errors.find("JUCE Assertion failure") != std::string::npos, c.assertion) << c.type << errors;

        if (cursor == nullptr)
            continue;

        EXPECT_EQ(cursor->getHotspot(), c.hotspot) << c.type;

        // Some pixel drawn, except for the invisible cursor.
        bool anyPixel = false;
        for (int y = 0; y < 21; ++y)
            for (int x = 0; x < 21; ++x)
                anyPixel = anyPixel || sim.drm.getBufferPixel((uint32_t) cursor->getHandle(), x, y) != 0;
        EXPECT_EQ(anyPixel, c.type != juce::MouseCursor::NoCursor) << c.type;
    }
}

TEST_F(Cursors, ThatCannotBeMadeAreNoneAndTheProgramGoesOn)
{
    sim.addDsiPanel(480, 800);
    ASSERT_TRUE(OpenDevice());
    const auto image = Marker(8, 8, {0, 0});

    sim.drm.faults.failNext(DrmCall::createDumbBuffer, ENOMEM, 2); // the allocation and its retry
    {
        VxTest::CaptureStderr capture;
        EXPECT_EQ(juce::LinuxFbCursors::createCustomCursor(image, {}), nullptr);
        EXPECT_EQ(capture.Finish(), "Failed to initialize cursor (Cannot allocate memory)\n");
    }

    sim.drm.faults.failNext(DrmCall::mapDumbBuffer, ENOMEM);
    {
        VxTest::CaptureStderr capture;
        EXPECT_EQ(juce::LinuxFbCursors::createCustomCursor(image, {}), nullptr);
        EXPECT_EQ(capture.Finish(), "kms_bo_map failed: 12 (Cannot allocate memory)\n");
    }
    const auto buffers = sim.drm.getBuffers();
    EXPECT_EQ(std::count_if(buffers.begin(), buffers.end(), [](const auto& b) { return b.width == 64; }), 1)
        << "only the screen's default cursor holds a cursor buffer";

    EXPECT_NE(juce::LinuxFbCursors::createCustomCursor(image, {}), nullptr) << "nothing was cached";
}

TEST_F(Cursors, HeldPastTheDeviceShutdownKeepNoBuffer)
{
    sim.addDsiPanel(480, 800);
    ASSERT_TRUE(OpenDevice());
    auto cursor = juce::LinuxFbCursors::createCustomCursor(Marker(8, 8, {0, 0}), {});
    ASSERT_NE(cursor, nullptr);

    juce::DrmDevice::shutdown();
    EXPECT_TRUE(sim.drm.getBuffers().empty());
    EXPECT_EQ(cursor->getHandle(), -1);

    cursor = nullptr;
    EXPECT_EQ(sim.getNumMisusedDescriptors(), 0);
}

//==============================================================================
// The cursor planes of two screens side by side: a 480 x 800 panel and a
// 1280 x 720 output right of it.
class CursorPlanes : public SimulatedDeviceTest
{
protected:
    void SetUp() override
    {
        SimulatedDeviceTest::SetUp();
        sim.addDsiPanel(480, 800);
        sim.addHdmiOutput(1280, 720);
        ASSERT_TRUE(OpenDevice());
        ASSERT_EQ(Screens().size(), 2);
    }

    juce::DrmScreen& Screen(int i = 0) { return *Screens()[i]; }
    Sim::SimDrmDevice::CrtcState Crtc(int i = 0) { return sim.drm.getCrtcState(Screen(i).getCrtcId()); }
};

TEST_F(CursorPlanes, StartHiddenAndStayHiddenWithoutAPointerDevice)
{
    for (int i = 0; i < 2; ++i)
    {
        EXPECT_NE(Screen(i).getDefaultCursor(), nullptr);
        EXPECT_GE(Crtc(i).numCursorSets, 1) << "the plane is hidden explicitly";
        EXPECT_EQ(Crtc(i).cursorHandle, 0u);
    }

    Device().setMousePosition(100, 200);
    EXPECT_EQ(Screen(0).getCursorPosition(), juce::Point<int>(100, 200));

    // The panel's right edge is the next screen's first column.
    Device().setMousePosition(480, 5);
    EXPECT_EQ(Screen(1).getCursorPosition(), juce::Point<int>(0, 5));
    EXPECT_EQ(Screen(0).getCursorPosition(), juce::Point<int>(100, 200));

    for (int i = 0; i < 2; ++i)
    {
        EXPECT_FALSE(Screen(i).isCursorShown());
        EXPECT_EQ(Crtc(i).numCursorMoves, 0);
        EXPECT_EQ(Crtc(i).cursorHandle, 0u);
    }
}

TEST_F(CursorPlanes, AShownCursorIsPlacedByItsHotspot)
{
    auto& screen = Screen();
    screen.setCursorPosition(50, 60);
    screen.showCursor(true);

    // No cursor of its own: the screen's default arrow.
    EXPECT_EQ(Crtc().cursorHandle, (uint32_t) screen.getDefaultCursor()->getHandle());
    EXPECT_EQ(Crtc().cursorWidth, 64u);
    EXPECT_EQ(juce::Point<int>(Crtc().cursorHotX, Crtc().cursorHotY), juce::Point<int>(1, 3));
    EXPECT_EQ(juce::Point<int>(Crtc().cursorX, Crtc().cursorY), juce::Point<int>(49, 57));

    const auto custom = juce::LinuxFbCursors::createCustomCursor(Marker(8, 8, {0, 0}), {4, 4});
    ASSERT_TRUE(screen.setCursor(custom.get()));
    EXPECT_EQ(Crtc().cursorHandle, (uint32_t) custom->getHandle());
    EXPECT_EQ(juce::Point<int>(Crtc().cursorX, Crtc().cursorY), juce::Point<int>(46, 56));

    ASSERT_TRUE(screen.setCursor(nullptr));
    EXPECT_EQ(Crtc().cursorHandle, (uint32_t) screen.getDefaultCursor()->getHandle());

    screen.showCursor(false);
    EXPECT_EQ(Crtc().cursorHandle, 0u);
    const auto moves = Crtc().numCursorMoves;
    screen.setCursorPosition(1, 1);
    EXPECT_EQ(Crtc().numCursorMoves, moves) << "a hidden cursor is not moved";
}

TEST_F(CursorPlanes, FailingCursorCallsAreReportedAndTheScreenGoesOn)
{
    auto& screen = Screen();
    const auto custom = juce::LinuxFbCursors::createCustomCursor(Marker(8, 8, {0, 0}), {});
    screen.showCursor(true);
    const auto moves = Crtc().numCursorMoves;

    sim.drm.faults.failEvery(DrmCall::setCursor, EINVAL);
    {
        VxTest::CaptureStderr capture;
        EXPECT_FALSE(screen.setCursor(custom.get()));
        EXPECT_EQ(capture.Finish(), "drmModeSetCursor2 failed: -22 (Invalid argument)\n");
    }
    EXPECT_EQ(screen.getCurrentCursor(), custom.get()) << "kept, though not shown";
    EXPECT_EQ(Crtc().numCursorMoves, moves) << "and not moved";
    sim.drm.faults.clear(DrmCall::setCursor);

    sim.drm.faults.failEvery(DrmCall::moveCursor, EINVAL);
    {
        VxTest::CaptureStderr capture;
        screen.setCursorPosition(10, 10);
        EXPECT_EQ(capture.Finish(), "drmModeMoveCursor failed: -22 (Invalid argument)\n");
    }
    sim.drm.faults.clear(DrmCall::moveCursor);

    screen.setCursorPosition(20, 20);
    EXPECT_EQ(Crtc().cursorX, 20 - 1);
}

//==============================================================================
// Behind the accelerator the cursor plane is not turned with the picture: the
// flipper turns the cursor's image itself, about the middle of the 64 x 64
// plane, and the position onto the 800 x 480 scan-out.
struct Turn
{
    int rotation;
    juce::Point<int> markerPixel; // where the image's (5, 2) goes in the plane
    juce::Point<int> hotspot;     // where the hotspot (1, 3) goes
    juce::Point<int> planeAt;     // where the plane goes for the position (10, 20)
};

void PrintTo(const Turn& turn, std::ostream* os)
{
    *os << turn.rotation << " degrees";
}

class TurnedCursor : public SimulatedDeviceTest, public ::testing::WithParamInterface<Turn>
{
};

TEST_P(TurnedCursor, FollowsThePanelsRotation)
{
    const auto& turn = GetParam();
    sim.rga.present = true;
    sim.setDeviceTreeCell("korvatek,panel-rotation", (uint32_t)turn.rotation);
    sim.addDsiPanel(800, 480);
    ASSERT_TRUE(OpenDevice());

    auto& screen = *Screens()[0];
    auto& flipper = dynamic_cast<juce::DrmRgaPageFlipper&>(screen.getFlipper());
    const auto cursor = juce::LinuxFbCursors::createCustomCursor(Marker(16, 16, {5, 2}), {1, 3});
    screen.setCursorPosition(10, 20);
    screen.showCursor(true);
    ASSERT_TRUE(screen.setCursor(cursor.get()));

    const auto crtc = sim.drm.getCrtcState(screen.getCrtcId());
    EXPECT_EQ(juce::Point<int>(crtc.cursorHotX, crtc.cursorHotY), turn.hotspot);
    EXPECT_EQ(juce::Point<int>(crtc.cursorX, crtc.cursorY), turn.planeAt);

    if (turn.rotation == 0)
    {
        EXPECT_EQ(crtc.cursorHandle, (uint32_t) cursor->getHandle()) << "the cursor's own buffer, unchanged";
        EXPECT_EQ(flipper.getOwnCursor().getHandle(), -1);
        return;
    }

    const auto own = flipper.getOwnCursor().getHandle();
    ASSERT_GT(own, 0);
    EXPECT_EQ(crtc.cursorHandle, (uint32_t) own);
    EXPECT_EQ(sim.drm.getBufferPixel((uint32_t)own, turn.markerPixel.x, turn.markerPixel.y), markerPixel);
    EXPECT_EQ(sim.drm.getBufferPixel((uint32_t) own, 5, 2), 0u);
    EXPECT_EQ(sim.drm.getBufferPixel((uint32_t)cursor->getHandle(), 5, 2), markerPixel) << "the cursor stays as it was";
}

// A quarter turn takes a plane point (x, y) to (64 - y, x), and a picture
// point to (800 - y, x); a half turn to (64 - x, 64 - y) and (800 - x, 480 - y);
// three quarters to (y, 64 - x) and (y, 480 - x).  Pixels turn by their centres.
INSTANTIATE_TEST_SUITE_P(Rotations, TurnedCursor,
                         ::testing::Values(Turn{0, {5, 2}, {1, 3}, {10 - 1, 20 - 3}},
                                           Turn{90, {61, 5}, {61, 1}, {800 - 20 - 61, 10 - 1}},
                                           Turn{180, {58, 61}, {63, 61}, {800 - 10 - 63, 480 - 20 - 61}},
                                           Turn{270, {2, 58}, {3, 63}, {20 - 3, 480 - 10 - 63}}));

//==============================================================================
// JUCE's cursor and mouse-position hooks.
class JuceCursors : public JucePlatformTest
{
protected:
    void SetUp() override
    {
        sim.addDsiPanel(480, 800);
        StartJuce();
    }
};

TEST_F(JuceCursors, TheWindowUnderThePointerChoosesTheScreensCursor)
{
    // The pointer starts in the middle of the first screen.
    ASSERT_EQ(Device().getMousePosition(), juce::Point<int>(240, 400));
    ColourWindow window(juce::Colours::red, {200, 300, 100, 200});
    window.setMouseCursor(juce::MouseCursor::DraggingHandCursor);
    auto* peer = dynamic_cast<juce::LinuxFbComponentPeer*>(window.getPeer());
    ASSERT_NE(peer, nullptr);

    // The pointer arrives over the window, as input will bring it.
    peer->handleMouseEvent(juce::MouseInputSource::InputSourceType::mouse, {40.0f, 100.0f}, {},
                           juce::MouseInputSource::defaultPressure, juce::MouseInputSource::defaultOrientation,
                           juce::Time::currentTimeMillis());
    ASSERT_NE(peer->getCursor(), nullptr);
    EXPECT_EQ(peer->getCursor()->getHotspot(), juce::Point<int>(8, 7));
    EXPECT_EQ(Screen().getCurrentCursor(), peer->getCursor());

    window.setMouseCursor(juce::MouseCursor::NormalCursor);
    EXPECT_EQ(peer->getCursor(), nullptr);
    EXPECT_EQ(Screen().getCurrentCursor(), nullptr) << "the screen shows its default";

    // What a window elsewhere wants does not reach the screen.
    ColourWindow other(juce::Colours::blue, {0, 0, 10, 10});
    auto* otherPeer = dynamic_cast<juce::LinuxFbComponentPeer*>(other.getPeer());
    const auto copying = juce::LinuxFbCursors::createStandardCursor(juce::MouseCursor::CopyingCursor);
    otherPeer->setCursor(copying.get());
    juce::LinuxFbComponentPeer::refreshCursor();
    EXPECT_EQ(Screen().getCurrentCursor(), nullptr);
}

TEST_F(JuceCursors, MousePositionIsTheDevicesAndSettingItMovesOnlyTheCursor)
{
    Device().setMousePosition(12, 34);
    EXPECT_EQ(juce::Desktop::getInstance().getMainMouseSource().getRawScreenPosition(), juce::Point<float>(12.0f, 34.0f));

    juce::Desktop::getInstance().getMainMouseSource().setScreenPosition({100.7f, 50.2f});
    EXPECT_EQ(Screen().getCursorPosition(), juce::Point<int>(100, 50));
    EXPECT_EQ(Device().getMousePosition(), juce::Point<int>(12, 34));
}
