#pragma once

// Skin parts made in code for the look and visual part tests, the fixture
// skin's look drawn from image files, and a measurement renderer installed
// for a scope.

#include "VxFramework/ControlBase/Colorizer.h"
#include "VxFramework/ControlBase/Look.h"
#include "VxFramework/ControlBase/SkinDescriptors.h"
#include "VxFramework/ControlBase/VisualPart.h"
#include "VxFramework/Renderer/MeasurementRenderer.h"
#include "VxFramework/Renderer/Renderer.h"
#include "VxFramework/Utilities/Graphics/Bitmap.h"
#include "VxFramework/Utilities/Graphics/Font.h"

#include <cstdint>
#include <string>

namespace VxTest
{
using Vx::RCPtr;
using Text = Vx::StringT<char, unsigned short>;
using IntSize = Vx::PointT<std::int32_t>;

// The number of assertion lines of the log that name the file (the log
// gives its name without the folders).
inline int CountAssertions(const std::string& log, const std::string& file)
{
    int count = 0;
    const std::string needle = "JUCE Assertion failure in " + file.substr(file.rfind('/') + 1) + ":";
    for (std::size_t at = log.find(needle); at != std::string::npos; at = log.find(needle, at + 1))
        ++count;
    return count;
}

inline RCPtr<Vx::LColorizer> Solid(std::uint32_t argb)
{
    return RCPtr<Vx::LColorizer>(
        new Vx::LColorizer("solid", Vx::LColorizer::kSolid, Vx::Color(argb), 0, 0, 0, 0, Vx::Color()));
}

inline RCPtr<Vx::LColorizer> Gradient(std::int32_t type, std::uint32_t from, std::uint32_t to)
{
    return RCPtr<Vx::LColorizer>(new Vx::LColorizer("gradient", type, Vx::Color(from), 0, 0, 1, 1, Vx::Color(to)));
}

// A colour part of the skin: no image, the colorizer, the size.
inline RCPtr<Vx::LVisualPartDescriptor> ColourPart(const RCPtr<Vx::LColorizer>& colorizer, IntSize size,
                                                   std::int32_t resizeType = Vx::LVisualPart::kStretch,
                                                   float alphaModulation = 1.0f)
{
    return RCPtr<Vx::LVisualPartDescriptor>(new Vx::LVisualPartDescriptor(
        "colour", Vx::BitmapSource(), size, resizeType, colorizer, alphaModulation, Vx::BitmapSource()));
}

inline Vx::BitmapSource ImageFile(const std::string& path, std::int32_t width, std::int32_t height)
{
    Vx::BitmapSource source;
    source.file = Text(path.c_str());
    source.width = width;
    source.height = height;
    return source;
}

// Placement against the edges: the mask's offsets, with an optional size.
inline Vx::DockInfo Dock(std::uint32_t mask, std::int32_t left = 0, std::int32_t top = 0, std::int32_t right = 0,
                         std::int32_t bottom = 0)
{
    Vx::DockInfo dock;
    dock.edgeMask = mask;
    dock.left = left;
    dock.top = top;
    dock.right = right;
    dock.bottom = bottom;
    return dock;
}

inline RCPtr<Vx::LDockedPart> Docked(const RCPtr<Vx::LVisualPartDescriptor>& part, const Vx::DockInfo& dock)
{
    return RCPtr<Vx::LDockedPart>(new Vx::LDockedPart(part, dock));
}

// A text area over the whole look, text placed by the alignments.
inline Vx::LLookDescriptor::TextArea WholeTextArea(float horizontal = 0.0f, float vertical = 0.0f)
{
    Vx::LLookDescriptor::TextArea area;
    area.rightRel = 1.0f;
    area.bottomRel = 1.0f;
    area.horizontalAlignment = horizontal;
    area.verticalAlignment = vertical;
    return area;
}

// The application's measurement renderer for as long as the object lives.
class ScopedMeasurementRenderer
{
public:
    explicit ScopedMeasurementRenderer(const RCPtr<Vx::LMeasurementRenderer>& renderer)
    {
        Current() = renderer;
        Vx::SetMeasurementRendererProvider(&Provide);
    }
    ~ScopedMeasurementRenderer()
    {
        Vx::SetMeasurementRendererProvider(nullptr);
        Current() = nullptr;
    }
    ScopedMeasurementRenderer(const ScopedMeasurementRenderer&) = delete;
    ScopedMeasurementRenderer& operator=(const ScopedMeasurementRenderer&) = delete;

private:
    static RCPtr<Vx::LMeasurementRenderer>& Current()
    {
        static RCPtr<Vx::LMeasurementRenderer> renderer;
        return renderer;
    }
    static RCPtr<Vx::LMeasurementRenderer> Provide() { return Current(); }
};

// The fixture skin's button look, 160 x 48, from the image files in
// fixtures/skin: a dark client part inset by 4, bevelled left and right
// edges, a tiled strip along the top, an orange disc (a colourised mask)
// left of the centred white text, whose area starts a quarter in.
inline RCPtr<Vx::LLookDescriptor> FixtureButtonLook()
{
    const std::string dir = VX_LOOK_FIXTURE_DIR;
    const RCPtr<Vx::LLookDescriptor> look = Vx::LLookDescriptor::Create("button");
    look->SetClientPart(Docked(ColourPart(Solid(0xFF203048u), {1, 1}), Dock(15, 4, 4, -4, -4)));

    const RCPtr<Vx::LVisualPartDescriptor> edge(
        new Vx::LVisualPartDescriptor("edge", ImageFile(dir + "/edge.png", 4, 16), {4, 16}, Vx::LVisualPart::kStretch,
                                      nullptr, 1.0f, Vx::BitmapSource()));
    const RCPtr<Vx::LVisualPartDescriptor> tile(new Vx::LVisualPartDescriptor(
        "tile", ImageFile(dir + "/tile.png", 8, 4), {8, 4}, Vx::LVisualPart::kTile, nullptr, 1.0f, Vx::BitmapSource()));
    const RCPtr<Vx::LVisualPartDescriptor> dot(
        new Vx::LVisualPartDescriptor("dot", Vx::BitmapSource(), {12, 12}, Vx::LVisualPart::kStretch,
                                      Solid(0xFFFF8020u), 1.0f, ImageFile(dir + "/dot-mask.png", 12, 12)));
    look->AddNonClientPart(Docked(edge, Dock(1 | 2 | 8)));
    look->AddNonClientPart(Docked(edge, Dock(4 | 2 | 8)));
    Vx::DockInfo top = Dock(1 | 2 | 4, 4, 0, -4);
    top.hasHeight = true;
    top.height = 4;
    look->AddNonClientPart(Docked(tile, top));
    look->AddNonClientPart(Docked(dot, Dock(1, 16)));

    Vx::LLookDescriptor::TextArea area = WholeTextArea(0.5f, 0.5f);
    area.leftRel = 0.25f;
    area.rightAbs = -8;
    look->SetTextArea(area, ColourPart(Solid(0xFFFFFFFFu), {1, 1}));
    return look;
}

inline constexpr IntSize kFixtureLookSize{160, 48};

// One pass over the context, which is the fixture look's size: the look with
// the text "Look", painted as a control paints it (client part, docked parts,
// text).  The renderer also measures the text.
inline void PaintFixtureLook(const RCPtr<Vx::LRenderer>& renderer, const RCPtr<Vx::LRenderContextInfo>& context)
{
    const ScopedMeasurementRenderer measurement(renderer);
    RCPtr<Vx::LLook> look;
    Vx::LLook::Create(FixtureButtonLook(), false, look);
    look->SetSize(kFixtureLookSize);
    look->SetFont(Vx::LFont::GetFont("DejaVu Sans", Vx::LFont::kBold, 11.0f));
    look->SetText("Look");
    Vx::RgnLight dirty;
    dirty.UnionRect(Vx::RectT<std::int32_t>{0, 0, kFixtureLookSize.x, kFixtureLookSize.y});
    renderer->RenderStart(context);
    look->DrawClientPart(renderer, dirty);
    look->DrawNonClientParts(renderer, dirty);
    look->DrawTextForeground(renderer, dirty, Vx::PointT<double>{0.0, 0.0});
    renderer->RenderFinish(context);
}
} // namespace VxTest
