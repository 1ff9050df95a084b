// Draws the fixture skin's button look with the JUCE renderer and writes it
// as a PNG file, for a person to look at: look_preview [path without ".png"].

#include "VxFramework/Renderer/JUCE/JUCERenderer.h"
#include "tests/VxFramework/ControlBase/LookTestSupport.h"

#include <juce_graphics/juce_graphics.h>

#include <cstdio>

int main(int argc, char** argv)
{
    const char* const name = argc > 1 ? argv[1] : "look-preview";
    {
        const Vx::RCPtr<Vx::LRenderer> renderer =
            Vx::LRenderer::CreateRenderer(Vx::LRenderer::kJUCERendererKind, Vx::RectT<std::int32_t>{}, 0);
        Vx::RCPtr<Vx::LRenderContextInfo> context;
        if (Vx::Failed(renderer->CreateRenderContext(
                Vx::RectT<std::int32_t>{0, 0, VxTest::kFixtureLookSize.x, VxTest::kFixtureLookSize.y}, 0, true,
                context)))
        {
            std::fprintf(stderr, "no render context\n");
            return 1;
        }
        VxTest::PaintFixtureLook(renderer, context);
        context->SaveAsPng(name);
    }
    juce::DeletedAtShutdown::deleteAll();
    if (!juce::File::getCurrentWorkingDirectory().getChildFile(juce::String(name) + ".png").existsAsFile())
    {
        std::fprintf(stderr, "%s.png was not written\n", name);
        return 1;
    }
    std::printf("%s.png\n", name);
    return 0;
}
