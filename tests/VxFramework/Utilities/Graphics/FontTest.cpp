// Shared fonts: one object per description, ids, metrics measured once
// through the application's renderer, and real metrics from JUCE's fonts.

#include "VxFramework/Utilities/Graphics/Font.h"

#include "tests/VxFramework/Utilities/Graphics/MeasurementDoubles.h"
#include "tests/support/CaptureStderr.h"

#include <gtest/gtest.h>

#include <string>

namespace
{
using Vx::LFont;
using Vx::RCPtr;
using Text = Vx::StringT<char, unsigned short>;

// The font table lives as long as the process: names unique to one run of a
// test keep repeated runs apart.
Text Unique(const char* name)
{
    static int run = 0;
    return Text::Format("%s %d", name, ++run);
}

TEST(Fonts, OneObjectPerDescription)
{
    const Text name = Unique("Arial");
    const RCPtr<LFont> arial = LFont::GetFont(name, 0, 12.0f);
    EXPECT_EQ(LFont::GetFont(name, 0, 12.0f), arial);
    EXPECT_EQ(LFont::GetFont(name.ToLower(), 0, 12.0f), arial);
    EXPECT_EQ(LFont::GetFont(Text::Format("ARIAL%s", name.GetCString() + 5), 0, 12.0f), arial);

    const RCPtr<LFont> bold = LFont::GetFont(name, LFont::kBold, 12.0f);
    const RCPtr<LFont> larger = LFont::GetFont(name, 0, 12.5f);
    EXPECT_NE(bold, arial);
    EXPECT_NE(larger, arial);
    EXPECT_NE(larger, bold);
    // Ids count the fonts made.
    EXPECT_EQ(bold->GetId(), arial->GetId() + 1);
    EXPECT_EQ(larger->GetId(), bold->GetId() + 1);
    EXPECT_EQ(bold->GetStyle(), LFont::kBold);
    EXPECT_EQ(larger->GetSize(), 12.5f);
    EXPECT_EQ(larger->GetName(), name);

    EXPECT_EQ(LFont::FindFontById(bold->GetId()), bold);
    EXPECT_TRUE(LFont::FindFontById(-5).IsNull());
    EXPECT_EQ(LFont::FindFont(name.ToLower(), LFont::kBold, 12.0f),
              static_cast<std::int32_t>(LFont::GetFontTable().GetCount()) - 2);
    EXPECT_EQ(LFont::FindFont(name, LFont::kItalic, 12.0f), -1);
}

TEST(Fonts, MetricsAreMeasuredOnce)
{
    const RCPtr<VxTest::FixedWidthRenderer> renderer(new VxTest::FixedWidthRenderer());
    VxTest::MeasuringApplication application{RCPtr<Vx::LMeasurementRenderer>(renderer)};
    const RCPtr<LFont> font = LFont::GetFont(Unique("Measured once"), 0, 10.0f);
    EXPECT_EQ(font->GetTop(), -16);
    EXPECT_EQ(font->GetHeight(), 20);
    EXPECT_EQ(font->GetDescent(), 4);
    EXPECT_EQ(font->GetHeight(), 20);
    EXPECT_EQ(renderer->mMetricRequests, 1);
}

TEST(Fonts, WithoutAnApplicationNothingIsMeasured)
{
    ASSERT_EQ(Vx::LFrameworkApp::GetApplication(), nullptr);
    const RCPtr<LFont> font = LFont::GetFont(Unique("Not measured"), 0, 10.0f);
    VxTest::CaptureStderr capture;
    EXPECT_EQ(font->GetHeight(), -1);
    EXPECT_NE(capture.Finish().find("Font.cpp"), std::string::npos);

    // Measured as soon as there is something to measure with.
    VxTest::MeasuringApplication application{RCPtr<Vx::LMeasurementRenderer>(new VxTest::FixedWidthRenderer())};
    EXPECT_EQ(font->GetHeight(), 20);
}

TEST(Fonts, RemovingContainedReferencesTakesOnlyTheTablesOwnFont)
{
    const Text name = Unique("Leaving");
    const RCPtr<LFont> font = LFont::GetFont(name, 0, 9.0f);
    const RCPtr<LFont> twin(new LFont(name, 0, 9.0f));
    VxTest::CaptureStderr capture;
    EXPECT_EQ(twin->RemoveContainedReferences(), Vx::VXR_E_FAIL);
    EXPECT_NE(capture.Finish().find("Font.cpp"), std::string::npos);
    EXPECT_EQ(LFont::GetFont(name, 0, 9.0f), font);

    EXPECT_EQ(font->GetRefCount(), 2u);
    EXPECT_EQ(font->RemoveContainedReferences(), Vx::VXR_OK);
    EXPECT_EQ(font->GetRefCount(), 1u);
    EXPECT_EQ(LFont::FindFont(name, 0, 9.0f), -1);
    EXPECT_TRUE(LFont::FindFontById(font->GetId()).IsNull());
}

// The metrics of Debian's DejaVu Sans through JUCE and FreeType.
TEST(Fonts, RealFontMetricsFromJuce)
{
    const juce::Font probe("DejaVu Sans", 20.0f, 0);
    ASSERT_EQ(probe.getTypefacePtr()->getName(), juce::String("DejaVu Sans")) << "fonts-dejavu-core missing?";

    VxTest::MeasuringApplication application{RCPtr<Vx::LMeasurementRenderer>(new VxTest::JuceFontRenderer())};
    const RCPtr<LFont> regular = LFont::GetFont("DejaVu Sans", 0, 20.0f);
    const RCPtr<LFont> large = LFont::GetFont("DejaVu Sans", 0, 40.0f);
    EXPECT_EQ(regular->GetHeight(), Vx::RoundHalfAwayFromZero(probe.getHeight() + 0.499));
    EXPECT_LT(regular->GetTop(), 0);
    EXPECT_GT(regular->GetDescent(), 0);
    EXPECT_LE(regular->GetDescent() - regular->GetTop(), regular->GetHeight() + 2);
    EXPECT_NEAR(large->GetHeight(), 2 * regular->GetHeight(), 1);
}
} // namespace
