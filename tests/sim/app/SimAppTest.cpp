// The application on the simulated device, run as a child process: what the
// panel shows after start-up, compared with a golden picture.

#include "tests/support/DBusTestBus.h"
#include "tests/support/Emulator.h"

#include <juce_gui_basics/juce_gui_basics.h>

#include <gtest/gtest.h>

TEST(SimApp, ScreenAfterStartupMatchesTheGoldenPicture)
{
    std::string why;
    if (!VxTest::PrivateSystemBus::Start(why))
        GTEST_SKIP() << why;

    const juce::TemporaryFile scratch;
    const juce::File folder = scratch.getFile();
    ASSERT_TRUE(folder.createDirectory());

    juce::StringArray command;
    for (const auto& word : VxTest::ProgramCommand(VX_SIM_APP))
        command.add(word);
    command.addArray(
        juce::StringArray{folder.getChildFile("screens").getFullPathName(), "--resources", VX_SOURCE_DIR "/Resources"});

    juce::ChildProcess app;
    ASSERT_TRUE(app.start(command, juce::ChildProcess::wantStdOut));
    const juce::String output = app.readAllProcessOutput();
    const auto status = app.getExitCode();
    VxTest::PrivateSystemBus::Stop();
    ASSERT_EQ(status, 0u) << output;
    EXPECT_TRUE(output.contains("ended with status 0")) << output;

    const juce::File shown = folder.getChildFile("screens/screen-0.png");
    const juce::Image picture = juce::ImageFileFormat::loadFrom(shown);
    const juce::Image golden = juce::ImageFileFormat::loadFrom(juce::File(VX_SOURCE_DIR "/tests/sim/app/screen.png"));
    ASSERT_TRUE(picture.isValid()) << output;
    ASSERT_TRUE(golden.isValid());
    ASSERT_EQ(picture.getBounds(), golden.getBounds());

    int differing = 0;
    for (int y = 0; y < golden.getHeight(); ++y)
        for (int x = 0; x < golden.getWidth(); ++x)
            differing += picture.getPixelAt(x, y) != golden.getPixelAt(x, y) ? 1 : 0;
    // A change of what the screen shows on purpose: copy the new picture over
    // the golden one.
    EXPECT_EQ(differing, 0) << "differs from the golden picture: " << shown.getFullPathName();
}
