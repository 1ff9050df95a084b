// The GUI module's other platform hooks on a device without a window system.

#include "tests/JuceBackend/DisplayTestSupport.h"

#include "JuceBackend/native/juce_linuxfb_ComponentPeer.h"
#include "tests/support/CaptureStderr.h"

#include <functional>
#include <string>

namespace juce
{
Image juce_createIconForFile(const File&);
} // namespace juce

using VxTest::ColourWindow;
using VxTest::JucePlatformTest;

class JuceHooks : public JucePlatformTest
{
protected:
    void SetUp() override
    {
        sim.drm.flipLatency = std::chrono::microseconds(0);
        sim.addDsiPanel(320, 240);
        StartJuce();
    }

    juce::Colour ShownAt(juce::Point<int> p)
    {
        return sim.drm.getScanoutImage(Screen().getCrtcId()).getPixelAt(p.x, p.y);
    }
};

TEST_F(JuceHooks, AMessageBoxIsAWindowOnTheScreenThatItsButtonEnds)
{
    const auto red = juce::Colour(0xffff0000);
    ColourWindow background(red, {0, 0, 320, 240});
    ASSERT_TRUE(WaitUntilPainted());

    // Waits on the message loop for the box to be on the screen, then presses
    // its button, as an operator would.
    juce::Point<int> boxCentre;
    bool seenOnScreen = false;
    int looks = 0;
    std::function<void()> look = [&] {
        auto* box = dynamic_cast<juce::AlertWindow*>(juce::Component::getCurrentlyModalComponent());
        const bool painted = !Screen().isBusy() && !Screen().isTimerRunning();

        if (box != nullptr && painted && dynamic_cast<juce::LinuxFbComponentPeer*>(box->getPeer()) != nullptr)
        {
            boxCentre = box->getScreenBounds().getCentre();
            seenOnScreen = ShownAt(boxCentre) != red;
            if (seenOnScreen)
            {
                box->triggerButtonClick("OK");
                return;
            }
        }

        if (++looks > 2000)
        {
            juce::ModalComponentManager::getInstance()->cancelAllModalComponents();
            return;
        }

        juce::Timer::callAfterDelay(2, look);
    };
    juce::Timer::callAfterDelay(2, look);

    juce::NativeMessageBox::showMessageBox(juce::MessageBoxIconType::InfoIcon, "Calibration", "Press OK to go on.");

    EXPECT_TRUE(seenOnScreen);
    EXPECT_EQ(juce::Component::getCurrentlyModalComponent(), nullptr);
    ASSERT_TRUE(WaitUntilPainted());
    EXPECT_EQ(ShownAt(boxCentre), red) << "the box leaves nothing behind";
}

TEST_F(JuceHooks, GiveTheAnswersOfADeviceWithoutAWindowSystem)
{
    // The clipboard is the process's own.
    juce::SystemClipboard::copyTextToClipboard("KS5F-0001234");
    EXPECT_EQ(juce::SystemClipboard::getTextFromClipboard(), "KS5F-0001234");
    juce::SystemClipboard::copyTextToClipboard({});
    EXPECT_EQ(juce::SystemClipboard::getTextFromClipboard(), "");

    testing::internal::CaptureStdout();
    juce::LookAndFeel::getDefaultLookAndFeel().playAlertSound();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "\a");

    {
        VxTest::CaptureStderr capture;
        EXPECT_FALSE(juce::DragAndDropContainer::performExternalDragDropOfText("text"));
        EXPECT_FALSE(juce::DragAndDropContainer::performExternalDragDropOfFiles({"/tmp/a"}, false));
        EXPECT_NE(capture.Finish().find("JUCE Assertion failure"), std::string::npos);
    }

    EXPECT_FALSE(juce::juce_createIconForFile(juce::File("/tmp")).isValid());
    EXPECT_FALSE(juce::Desktop::getInstance().isDarkModeActive());
    EXPECT_FALSE(juce::KeyPress::isKeyCurrentlyDown(juce::KeyPress::spaceKey));
    EXPECT_EQ(juce::Desktop::getInstance().getDisplays().getPrimaryDisplay()->totalArea,
              juce::Rectangle<int>(0, 0, 320, 240));
}
