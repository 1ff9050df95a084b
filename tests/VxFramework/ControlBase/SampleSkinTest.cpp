// The project's own resources as the application starts from them: the skin
// loaded next to the executable, the main control created through the factory
// for the main window's root window, and its first picture painted.

#include "VxFramework/ControlBase/ControlFactory.h"

#include "tests/VxFramework/ControlBase/RootWindowHarness.h"
#include "tests/support/CaptureStderr.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <functional>
#include <string>
#include <tuple>
#include <unistd.h>

namespace
{
using Vx::LControl;
using Vx::LControlDescriptor;
using Vx::LControlFactory;
using Vx::RCPtr;

std::string ExecutableDirectory()
{
    char path[PATH_MAX];
    const ssize_t length = ::readlink("/proc/self/exe", path, sizeof path - 1);
    if (length <= 0)
        return ".";
    path[length] = '\0';
    const std::string text = path;
    return text.substr(0, text.rfind('/'));
}

int CountAssertions(const std::string& log)
{
    int count = 0;
    for (std::size_t at = log.find("JUCE Assertion failure in "); at != std::string::npos;
         at = log.find("JUCE Assertion failure in ", at + 1))
        ++count;
    return count;
}

// Calls visit for the descriptor and every descriptor below it.
void ForEachDescriptor(const RCPtr<LControlDescriptor>& descriptor,
                       const std::function<void(const RCPtr<LControlDescriptor>&)>& visit)
{
    visit(descriptor);
    for (std::uint32_t i = 0; i < descriptor->GetChildren().GetCount(); ++i)
        ForEachDescriptor(descriptor->GetChildren()[i], visit);
}

std::uint32_t PixelAt(const juce::Image& image, int x, int y)
{
    return image.getPixelAt(x, y).getARGB();
}

// The channel of a packed colour at the bit shift.
int Channel(std::uint32_t argb, int shift)
{
    return static_cast<int>((argb >> shift) & 0xFFu);
}

TEST(SampleSkin, TheMainControlAndEveryControlBelowItAreCreatedAndPainted)
{
    VxTest::Log log;
    VxTest::RecordingOSWindow osWindow;
    osWindow.mClientSize = VxTest::IntPoint{800, 480};
    const RCPtr<LControlFactory> factory(new LControlFactory(""));
    ASSERT_EQ(Vx::VXR_OK, factory->LoadResources((ExecutableDirectory() + "/Resources").c_str(), 9));
    const RCPtr<LControlDescriptor> mainDescriptor = factory->FindControlDescriptor("mainControl");
    ASSERT_FALSE(mainDescriptor.IsNull());
    // The application registers its own control classes; here each class the
    // skin names is a plain control.
    ForEachDescriptor(mainDescriptor, [&](const RCPtr<LControlDescriptor>& descriptor) {
        factory->RegisterControlType(descriptor->GetClassName(), &Vx::CreateControl<LControl>);
    });

    const RCPtr<VxTest::HarnessApplication> app = Vx::MakeRCPtr<VxTest::HarnessApplication>(&log, factory);
    app->mFontName = "DejaVu Sans";
    const RCPtr<Vx::LJUCERenderer> renderer(new Vx::LJUCERenderer());
    RCPtr<Vx::LRootWindow> window = Vx::LRootWindow::Create(RCPtr<Vx::LRenderer>(renderer), &osWindow);
    app->AddRootWindow(window);

    VxTest::CaptureStderr capture;
    RCPtr<LControl> main = factory->CreateTopLevelControl("mainControl", window);
    ASSERT_FALSE(main.IsNull()) << capture.Finish();
    int controls = 0;
    ForEachDescriptor(mainDescriptor, [&](const RCPtr<LControlDescriptor>& descriptor) {
        if (descriptor == mainDescriptor)
            return;
        const RCPtr<LControl> control = main->FindChild(descriptor->GetName());
        EXPECT_FALSE(control.IsNull()) << descriptor->GetName().GetCString();
        ++controls;
    });
    EXPECT_GE(controls, 1);

    // The first picture of the main window.
    EXPECT_EQ(Vx::VXR_OK, window->SetTopControl(main));
    juce::Image image(juce::Image::ARGB, 800, 480, true);
    Vx::RgnLight dirty;
    window->TakeDirtyRegion(dirty);
    const RCPtr<Vx::LJUCERenderContextInfo> context = Vx::LJUCERenderContextInfo::Create(
        VxTest::IntRect{0, 0, 800, 480}, reinterpret_cast<std::intptr_t>(&osWindow), false);
    {
        juce::Graphics graphics(image);
        context->SetTargetGraphics(&graphics);
        context->GetDirtyRegion().Append(dirty);
        renderer->RenderStart(RCPtr<Vx::LRenderContextInfo>(context));
        window->Paint(dirty);
        renderer->RenderFinish(RCPtr<Vx::LRenderContextInfo>(context));
        context->SetTargetGraphics(nullptr);
    }
    const std::string trace = capture.Finish();
    EXPECT_EQ(0, CountAssertions(trace)) << trace;

    // The device view fills the window: its frame on the edge, and inside the
    // panel's one-pixel gradient, half way from 0xFF262C33 to 0xFF1A1F24.
    EXPECT_EQ(PixelAt(image, 0, 0), 0xFF3C4650u);
    EXPECT_EQ(PixelAt(image, 799, 479), 0xFF3C4650u);
    const std::uint32_t inside = PixelAt(image, 400, 240);
    EXPECT_EQ(inside >> 24, 0xFFu);
    for (const auto& [shift, from, to] : {std::tuple{16, 0x26, 0x1A}, std::tuple{8, 0x2C, 0x1F}, {0, 0x33, 0x24}})
        EXPECT_LE(std::abs(2 * Channel(inside, shift) - (from + to)), 1) << std::hex << inside;

    window->SetTopControl(nullptr);
    app->RemoveRootWindow(window);
    main = nullptr;
    window = nullptr;
    juce::DeletedAtShutdown::deleteAll();
}
} // namespace
