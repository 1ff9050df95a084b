#pragma once

// A control whose geometry a test sets directly, and the look descriptors the
// layout tests give it.

#include "VxFramework/ControlBase/Control.h"
#include "VxFramework/ControlBase/Look.h"
#include "VxFramework/ControlBase/SkinDescriptors.h"

#include <cstdint>

namespace VxTest
{
class TestControl : public Vx::LControl
{
public:
    static Vx::RCPtr<TestControl> Create(const Vx::RCPtr<Vx::LControl>& parent, const char* name)
    {
        return Vx::RCPtr<TestControl>(new TestControl(parent, name));
    }

    Vx::LLayoutDescriptor& Layout() { return *m_layout; }

    // The bounds, with every look laid out for the size.
    void Place(const Vx::RectT<double>& bounds)
    {
        m_bounds = bounds;
        const Vx::PointT<std::int32_t> size{Vx::RoundHalfAwayFromZero(bounds.width),
                                            Vx::RoundHalfAwayFromZero(bounds.height)};
        for (std::uint32_t i = 0; i < m_looks.GetCount(); ++i)
            if (!m_looks[i].IsNull())
                m_looks[i]->SetSize(size);
    }

    void Scroll(const Vx::PointT<double>& offset) { m_scrollOffset = offset; }

    // Appends the look (null for an absent one) with the weight, laid out for
    // the current size.
    void AddLook(const Vx::RCPtr<Vx::LLook>& look, float weight)
    {
        m_looks.Add(look);
        m_lookWeights.Add(weight);
        Place(m_bounds);
    }

private:
    TestControl(const Vx::RCPtr<Vx::LControl>& parent, const char* name) : LControl(parent, name)
    {
        m_layout = new Vx::LLayoutDescriptor();
    }
};

// A look whose client part sits at the offsets (right and bottom 0 or
// negative) and, when the text area is given, lays out text.
inline Vx::RCPtr<Vx::LLook> MakeLook(const Vx::DockInfo& clientOffsets,
                                     const Vx::LLookDescriptor::TextArea* textArea = nullptr, bool wordWrap = false)
{
    const Vx::RCPtr<Vx::LColorizer> colour(
        new Vx::LColorizer("fill", 0, Vx::Color(0xFF000000u), 0, 0, 0, 0, Vx::Color()));
    const Vx::RCPtr<Vx::LVisualPartDescriptor> part(
        new Vx::LVisualPartDescriptor("part", Vx::BitmapSource(), {1, 1}, 0, colour, 1.0f, Vx::BitmapSource()));
    const Vx::RCPtr<Vx::LLookDescriptor> descriptor = Vx::LLookDescriptor::Create("look");
    descriptor->SetClientPart(Vx::RCPtr<Vx::LDockedPart>(new Vx::LDockedPart(part, clientOffsets)));
    if (textArea != nullptr)
        descriptor->SetTextArea(*textArea, part);
    Vx::RCPtr<Vx::LLook> look;
    Vx::LLook::Create(descriptor, wordWrap, look);
    return look;
}

// Client part offsets on all four edges.
inline Vx::DockInfo Offsets(std::int32_t left, std::int32_t top, std::int32_t right, std::int32_t bottom)
{
    Vx::DockInfo dock;
    dock.edgeMask = 15;
    dock.left = left;
    dock.top = top;
    dock.right = right;
    dock.bottom = bottom;
    return dock;
}
} // namespace VxTest
