#pragma once

// Measurement renderers for the font tests: one with fixed-width glyphs, one
// that measures with JUCE's fonts as the JUCE renderer does.

#include "VxFramework/Renderer/MeasurementRenderer.h"
#include "tests/VxFramework/Application/ApplicationDoubles.h"
#include "VxFramework/Utilities/Computation/MathUtils.h"
#include "VxFramework/Utilities/Graphics/Font.h"

#include <juce_graphics/juce_graphics.h>

#include <cstdint>
#include <cstring>
#include <memory>

namespace VxTest
{
// Every byte is `advance` pixels wide; lines are 20 high, 16 above the
// baseline and 4 below.  Counts the metric requests.
class FixedWidthRenderer : public Vx::LMeasurementRenderer
{
public:
    explicit FixedWidthRenderer(float advance = 10.0f, float left = 0.0f) : mAdvance(advance), mLeft(left) {}

    Vx::VxRESULT GetFontMetrics(const Vx::RCPtr<Vx::LFont>&, std::int32_t& height, std::int32_t& top,
                                std::int32_t& descent) override
    {
        ++mMetricRequests;
        height = 20;
        top = -16;
        descent = 4;
        return Vx::VXR_OK;
    }

    Vx::RectT<float> MeasureText(const Vx::StringT<char, unsigned short>& text, const Vx::RCPtr<Vx::LFont>&) override
    {
        if (text.IsEmpty())
            return Vx::RectT<float>{0, 0, 0, 0};
        return Vx::RectT<float>{mLeft, -16.0f, mAdvance * static_cast<float>(text.GetLength()) - mLeft, 20.0f};
    }

    int mMetricRequests = 0;

private:
    float mAdvance;
    float mLeft;
};

// The JUCE renderer's measuring rules over juce::Font (FreeType on Linux).
class JuceFontRenderer : public Vx::LMeasurementRenderer
{
public:
    static juce::Font MakeFont(const Vx::LFont& font)
    {
        return juce::Font(juce::String::fromUTF8(font.GetName().GetCString()), font.GetSize(), font.GetStyle());
    }

    Vx::VxRESULT GetFontMetrics(const Vx::RCPtr<Vx::LFont>& font, std::int32_t& height, std::int32_t& top,
                                std::int32_t& descent) override
    {
        const juce::Font native = MakeFont(*font);
        height = Vx::RoundHalfAwayFromZero(native.getHeight() + 0.499);
        top = Vx::RoundHalfAwayFromZero(-native.getAscent() - 0.499);
        descent = Vx::RoundHalfAwayFromZero(native.getDescent() + 0.499);
        return Vx::VXR_OK;
    }

    Vx::RectT<float> MeasureText(const Vx::StringT<char, unsigned short>& text,
                                 const Vx::RCPtr<Vx::LFont>& font) override
    {
        if (text.IsEmpty())
            return Vx::RectT<float>{0, 0, 0, 0};
        const juce::Font native = MakeFont(*font);
        return Vx::RectT<float>{0.0f, static_cast<float>(font->GetTop()),
                                native.getStringWidthFloat(juce::String::fromUTF8(text.GetCString())),
                                static_cast<float>(font->GetHeight())};
    }
};

// An application whose main root window measures with the given renderer, for
// as long as it lives.
class MeasuringApplication
{
public:
    explicit MeasuringApplication(const Vx::RCPtr<Vx::LMeasurementRenderer>& renderer)
    {
        mApp = Vx::MakeRCPtr<TestApplication>(&mLog);
        mWindow = FakeRootWindow::Create("main", &mLog, nullptr);
        mWindow->mRenderer = renderer;
        mApp->AddRootWindow(mWindow);
    }

    ~MeasuringApplication()
    {
        mApp->RemoveRootWindow(mWindow);
        mWindow = nullptr;
        mApp = nullptr;
    }

    MeasuringApplication(const MeasuringApplication&) = delete;
    MeasuringApplication& operator=(const MeasuringApplication&) = delete;

private:
    Log mLog;
    Vx::RCPtr<TestApplication> mApp;
    Vx::RCPtr<FakeRootWindow> mWindow;
};
} // namespace VxTest
