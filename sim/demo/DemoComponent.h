#pragma once

// What the simulator's demonstration program shows: a full-screen component
// with a coloured background, a square and a line of text.

#include <juce_gui_basics/juce_gui_basics.h>

namespace Sim
{

class DemoComponent : public juce::Component
{
public:
    static constexpr juce::uint32 backgroundColour = 0xff1f4e79;
    static constexpr juce::uint32 squareColour = 0xfff2a33a;
    static constexpr juce::uint32 textColour = 0xffffffff;
    static constexpr const char* text = "Production test";

    DemoComponent();

    /** The square, a quarter of the shorter side, centred; the text below it. */
    juce::Rectangle<int> getSquareBounds() const;
    juce::Rectangle<int> getTextBounds() const;

    void paint(juce::Graphics& g) override;
};

} // namespace Sim
