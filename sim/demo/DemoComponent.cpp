#include "sim/demo/DemoComponent.h"

namespace Sim
{

DemoComponent::DemoComponent()
{
    setOpaque(true);
}

juce::Rectangle<int> DemoComponent::getSquareBounds() const
{
    const auto side = juce::jmin(getWidth(), getHeight()) / 4;
    return getLocalBounds().withSizeKeepingCentre(side, side);
}

juce::Rectangle<int> DemoComponent::getTextBounds() const
{
    const auto square = getSquareBounds();
    return {0, square.getBottom() + 10, getWidth(), 40};
}

void DemoComponent::paint(juce::Graphics& g)
{
    g.fillAll(juce::Colour(backgroundColour));
    g.setColour(juce::Colour(squareColour));
    g.fillRect(getSquareBounds());
    g.setColour(juce::Colour(textColour));
    g.setFont(juce::Font(28.0f));
    g.drawText(text, getTextBounds(), juce::Justification::centred, false);
}

} // namespace Sim
