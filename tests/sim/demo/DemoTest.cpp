// The simulator's demonstration program, run as an operator would run it: the
// picture it saves from the simulated panel is compared pixel by pixel with
// what JUCE draws for the same component.

#include "tests/JuceBackend/DisplayTestSupport.h"
#include "tests/support/Emulator.h"

#include "sim/demo/DemoComponent.h"

#include <juce_gui_basics/juce_gui_basics.h>

namespace
{
struct DemoCase
{
    const char* name;
    int rotation;   // -1: no accelerator
};

void PrintTo(const DemoCase& c, std::ostream* os)
{
    *os << c.name;
}

// JUCE runs here too (on a simulated device of its own), for the fonts and
// renderer that draw the expected picture.
class DemoProgram : public VxTest::JucePlatformTest, public ::testing::WithParamInterface<DemoCase>
{
protected:
    void SetUp() override
    {
        sim.addDsiPanel(64, 64);
        StartJuce();
        folder = juce::File::createTempFile("demo");
        ASSERT_TRUE(folder.createDirectory());
    }

    void TearDown() override
    {
        folder.deleteRecursively();
        JucePlatformTest::TearDown();
    }

    juce::File folder;
};
} // namespace

TEST_P(DemoProgram, SavesWhatThePanelShows)
{
    const auto& c = GetParam();
    const auto picture = folder.getChildFile("screen.png");

    juce::StringArray command;
    for (const auto& word : VxTest::ProgramCommand(VX_SIM_DEMO))
        command.add(word);
    command.add(picture.getFullPathName());
    if (c.rotation >= 0)
        command.addArray(juce::StringArray{"--rotation", juce::String(c.rotation)});

    juce::ChildProcess demo;
    ASSERT_TRUE(demo.start(command));
    const auto output = demo.readAllProcessOutput();
    ASSERT_EQ(demo.getExitCode(), 0u) << output;

    const auto shown = juce::ImageFileFormat::loadFrom(picture);
    ASSERT_TRUE(shown.isValid());
    ASSERT_EQ(shown.getBounds(), juce::Rectangle<int>(0, 0, 800, 480)) << "the panel's own size";

    // The application saw the panel turned: 480 x 800 for a quarter turn.
    const bool quarterTurn = c.rotation == 90 || c.rotation == 270;
    const auto width = quarterTurn ? 480 : 800;
    const auto height = quarterTurn ? 800 : 480;
    auto pixel = [&](int x, int y) {
        switch (c.rotation)
        {
            case 90:
                return shown.getPixelAt(height - 1 - y, x).getARGB();
            case 270:
                return shown.getPixelAt(y, width - 1 - x).getARGB();
            default:
                return shown.getPixelAt(x, y).getARGB();
        }
    };

    Sim::DemoComponent expected;
    expected.setSize(width, height);
    const auto drawn = expected.createComponentSnapshot(expected.getLocalBounds(), true, 1.0f);

    EXPECT_EQ(pixel(0, 0), Sim::DemoComponent::backgroundColour);
    EXPECT_EQ(pixel(width - 1, height - 1), Sim::DemoComponent::backgroundColour);
    EXPECT_EQ(pixel(expected.getSquareBounds().getCentreX(), expected.getSquareBounds().getCentreY()),
              Sim::DemoComponent::squareColour);

    int differences = 0;
    int textPixels = 0;
    for (int y = 0; y < height; ++y)
    {
        for (int x = 0; x < width; ++x)
        {
            const auto actual = pixel(x, y);
            differences += actual != (drawn.getPixelAt(x, y).getARGB() | 0xff000000u);
            textPixels += actual == Sim::DemoComponent::textColour;
        }
    }

    EXPECT_EQ(differences, 0);
    EXPECT_GT(textPixels, 100) << "the text is drawn";
}

INSTANTIATE_TEST_SUITE_P(Panels, DemoProgram,
                         ::testing::Values(DemoCase{"direct", -1}, DemoCase{"accelerator_turned_270", 270}),
                         [](const auto& info) { return std::string(info.param.name); });
