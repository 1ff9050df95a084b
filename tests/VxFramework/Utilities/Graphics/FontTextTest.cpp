// Laid-out text: word wrap over a fixed-width measurement, line placement in
// the box, and a text measured and drawn with a real font.

#include "VxFramework/Utilities/Graphics/FontText.h"

#include "tests/VxFramework/Utilities/Graphics/MeasurementDoubles.h"
#include "tests/support/CaptureStderr.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

namespace
{
using Vx::LFont;
using Vx::LFontText;
using Vx::RCPtr;
using Text = Vx::StringT<char, unsigned short>;
using Lines = std::vector<std::string>;

// JUCE's font caches are process-wide singletons that its shutdown normally
// deletes; without them deleted its singleton holders complain at exit.
class JuceShutdown : public ::testing::Environment
{
public:
    void TearDown() override { juce::DeletedAtShutdown::deleteAll(); }
};
[[maybe_unused]] ::testing::Environment* const gJuceShutdown = ::testing::AddGlobalTestEnvironment(new JuceShutdown);

Lines ToVector(const LFontText::Lines& lines)
{
    Lines result;
    for (std::uint32_t i = 0; i < lines.GetCount(); ++i)
        result.emplace_back(lines[i].GetCString());
    return result;
}

Lines Wrap(const char* text, std::int32_t width, float advance = 10.0f)
{
    const RCPtr<Vx::LMeasurementRenderer> renderer(new VxTest::FixedWidthRenderer(advance));
    const RCPtr<LFontText> laidOut(new LFontText(text, LFont::GetFont("Fixed", 0, 10.0f)));
    LFontText::Lines lines;
    laidOut->WrapLines(renderer, width, lines);
    return ToVector(lines);
}

// Every byte is 10 pixels wide.
TEST(WordWrap, BreaksAtSpacesAndAfterHyphens)
{
    struct Case
    {
        const char* text;
        std::int32_t width;
        Lines lines;
    };
    const std::vector<Case> cases = {
        {"hello world", 200, {"hello world"}},
        {"hello world", 60, {"hello", "world"}},
        {"hello world", 50, {"hello", "world"}},
        {"one two three four", 90, {"one two", "three", "four"}},
        {"abcdefghij", 30, {"abcdefghij"}},
        {"extra-long", 60, {"extra-", "long"}},
        {"a-b-c", 30, {"a-", "b-", "c"}},
        {"ab cd-efgh", 60, {"ab cd-", "efgh"}},
        {"hello-world foo", 120, {"hello-world", "foo"}},
        {"hello   ", 50, {"hello", "   "}},
        {"hello \t  world", 60, {"hello", "world"}},
        {"a\nb", 100, {"a", "b"}},
        {"first line\n\nlast", 60, {"first", "line", "", "last"}},
        {"", 100, {""}},
        {"\n", 100, {""}},
        {"ab cd", 0, {"ab", "cd"}},
        {"ab cd", -40, {"ab", "cd"}},
    };
    for (const Case& row : cases)
    {
        SCOPED_TRACE(std::string("\"") + row.text + "\" at " + std::to_string(row.width));
        EXPECT_EQ(Wrap(row.text, row.width), row.lines);
    }
}

// However odd the measurements, every line takes at least one character and
// the wrap ends.
TEST(WordWrap, EndsWhateverTheMeasurements)
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float infinity = std::numeric_limits<float>::infinity();
    for (const float advance : {nan, infinity, -10.0f, 0.0f, 1e30f})
    {
        for (const std::int32_t width : {-1, 0, 1, 1000})
        {
            SCOPED_TRACE(std::to_string(advance) + " at " + std::to_string(width));
            const Lines lines = Wrap(" a b-c  d\t-e -\n \n", width, advance);
            ASSERT_FALSE(lines.empty());
            EXPECT_LE(lines.size(), 16u);
        }
    }
}

class LaidOutText : public ::testing::Test
{
protected:
    LaidOutText() : mRenderer(new VxTest::FixedWidthRenderer()), mApplication(RCPtr<Vx::LMeasurementRenderer>(mRenderer))
    {
    }

    RCPtr<LFontText> Make(const char* text, Vx::PointT<std::int32_t> box)
    {
        RCPtr<LFontText> laidOut(new LFontText(text, LFont::GetFont("Fixed", 0, 10.0f)));
        laidOut->SetBoxSize(box);
        return laidOut;
    }

    RCPtr<VxTest::FixedWidthRenderer> mRenderer;
    VxTest::MeasuringApplication mApplication;
};

TEST_F(LaidOutText, LinesComeFromLineEndsUnlessWrapped)
{
    const RCPtr<LFontText> text = Make("hello world\nbye", Vx::PointT<std::int32_t>{60, 100});
    EXPECT_EQ(text->GetLineCount(), 2u);
    EXPECT_STREQ(text->GetLineText(0).GetCString(), "hello world");
    EXPECT_STREQ(text->GetLineText(1).GetCString(), "bye");

    text->SetWordWrap(true);
    EXPECT_EQ(text->GetLineCount(), 3u);
    EXPECT_STREQ(text->GetLineText(1).GetCString(), "world");
    EXPECT_EQ(text->GetWrappedHeight(60), 60);
    EXPECT_EQ(text->GetWrappedHeight(1000), 40);

    text->SetWordWrap(false);
    EXPECT_EQ(text->GetLineCount(), 2u);
    EXPECT_EQ(text->GetWrappedHeight(60), 40);
    EXPECT_EQ(text->GetMaxLineWidth(), 110);

    const RCPtr<LFontText> single = Make("fits", Vx::PointT<std::int32_t>{100, 20});
    EXPECT_EQ(single->GetLineCount(), 1u);
}

TEST_F(LaidOutText, LinesArePlacedByTheAlignmentFactors)
{
    const RCPtr<LFontText> text = Make("abc\nabcdef", Vx::PointT<std::int32_t>{100, 100});
    text->SetVerticalAlignment(0.5f);
    text->SetHorizontalAlignment(0.5f);
    EXPECT_EQ(text->GetLineRect(0), (Vx::RectT<float>{35, 30, 30, 20}));
    EXPECT_EQ(text->GetLineRect(1), (Vx::RectT<float>{20, 50, 60, 20}));
    EXPECT_EQ(text->GetTextSize(), (Vx::PointT<std::int32_t>{80, 70}));

    // Every change that moves the lines lays them out again.
    text->SetHorizontalAlignment(1.0f);
    text->SetVerticalAlignment(1.0f);
    EXPECT_EQ(text->GetLineRect(0), (Vx::RectT<float>{70, 60, 30, 20}));
    text->SetBoxSize(Vx::PointT<std::int32_t>{50, 20});
    EXPECT_EQ(text->GetLineRect(1), (Vx::RectT<float>{-10, 0, 60, 20}));
    EXPECT_EQ(text->GetTextSize(), (Vx::PointT<std::int32_t>{60, 40}));
    text->SetText("x");
    EXPECT_EQ(text->GetLineCount(), 1u);
    EXPECT_EQ(text->GetLineRect(0), (Vx::RectT<float>{40, 0, 10, 20}));

    // Factors outside 0..1 are used as they are.
    text->SetHorizontalAlignment(-1.0f);
    EXPECT_EQ(text->GetLineRect(0).x, -40.0f);
}

TEST_F(LaidOutText, MissingLinesAnswerEmpty)
{
    const RCPtr<LFontText> text = Make("one\ntwo", Vx::PointT<std::int32_t>{100, 100});
    VxTest::CaptureStderr capture;
    EXPECT_EQ(text->GetLineRect(5), Vx::RectT<float>::Empty);
    EXPECT_TRUE(text->GetLineText(2).IsEmpty());
    EXPECT_NE(capture.Finish().find("FontText.cpp"), std::string::npos);
    EXPECT_EQ(text->GetLineCount(), 2u);
}

TEST_F(LaidOutText, EmptyTextIsOneEmptyLine)
{
    const RCPtr<LFontText> text = Make("", Vx::PointT<std::int32_t>{100, 100});
    EXPECT_EQ(text->GetLineCount(), 1u);
    EXPECT_EQ(text->GetLineRect(0), (Vx::RectT<float>{0, 0, 0, 0}));
    EXPECT_EQ(text->GetTextSize(), (Vx::PointT<std::int32_t>{0, 0}));
    EXPECT_EQ(text->GetMaxLineWidth(), 0);
}

TEST(LaidOutTextWidths, LeftOffsetsAndFractionsCount)
{
    // Glyphs 10.2 wide that start 2 pixels in: the offset widens the line.
    VxTest::MeasuringApplication application{
        RCPtr<Vx::LMeasurementRenderer>(new VxTest::FixedWidthRenderer(10.2f, 2.0f))};
    const RCPtr<LFontText> text(new LFontText("abc\nab", LFont::GetFont("Fixed", 0, 10.0f)));
    EXPECT_EQ(text->GetMaxLineWidth(), 31);
    EXPECT_FLOAT_EQ(text->GetLineRect(0).width, 30.6f);
    EXPECT_EQ(text->GetLineRect(0).x, 0.0f);
}

// A text wrapped with DejaVu Sans and drawn with JUCE at its line rectangles:
// every line leaves ink, and no ink falls outside the lines.
TEST(LaidOutTextWithJuce, WrappedLinesHoldTheirGlyphs)
{
    VxTest::MeasuringApplication application{RCPtr<Vx::LMeasurementRenderer>(new VxTest::JuceFontRenderer())};
    const RCPtr<LFont> font = LFont::GetFont("DejaVu Sans", 0, 20.0f);
    const juce::Font native = VxTest::JuceFontRenderer::MakeFont(*font);
    const float wordWidth = native.getStringWidthFloat("Wrapped");

    const RCPtr<LFontText> text(new LFontText("Wrapped text-layout", font));
    const std::int32_t boxWidth = static_cast<std::int32_t>(std::ceil(wordWidth)) + 4;
    text->SetBoxSize(Vx::PointT<std::int32_t>{boxWidth, 200});
    text->SetWordWrap(true);
    ASSERT_EQ(text->GetLineCount(), 3u);
    EXPECT_STREQ(text->GetLineText(0).GetCString(), "Wrapped");
    EXPECT_STREQ(text->GetLineText(1).GetCString(), "text-");
    EXPECT_STREQ(text->GetLineText(2).GetCString(), "layout");

    juce::Image image(juce::Image::ARGB, boxWidth + 20, 120, true);
    {
        juce::Graphics graphics(image);
        graphics.setColour(juce::Colours::black);
        graphics.setFont(native);
        for (std::uint32_t i = 0; i < 3; ++i)
        {
            const Vx::RectT<float> rect = text->GetLineRect(i);
            EXPECT_LE(rect.width, static_cast<float>(boxWidth));
            graphics.drawSingleLineText(juce::String(text->GetLineText(i).GetCString()), juce::roundToInt(rect.x),
                                        juce::roundToInt(rect.y - static_cast<float>(font->GetTop())));
        }
    }
    std::vector<int> inkPerLine(3, 0);
    int strayInk = 0;
    for (int y = 0; y < image.getHeight(); ++y)
    {
        for (int x = 0; x < image.getWidth(); ++x)
        {
            if (image.getPixelAt(x, y).getAlpha() < 64)
                continue;
            bool inside = false;
            for (std::uint32_t i = 0; i < 3; ++i)
            {
                const Vx::RectT<float> rect = text->GetLineRect(i);
                if (x >= rect.x - 1 && x <= rect.x + rect.width + 1 && y >= rect.y && y < rect.y + rect.height)
                {
                    ++inkPerLine[i];
                    inside = true;
                    break;
                }
            }
            if (!inside)
                ++strayInk;
        }
    }
    for (int ink : inkPerLine)
        EXPECT_GT(ink, 20);
    EXPECT_EQ(strayInk, 0);
    EXPECT_EQ(text->GetTextSize().y, 3 * font->GetHeight());
}
} // namespace
