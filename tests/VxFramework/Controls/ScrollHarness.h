#pragma once

// The harness of the scroll bar, the scroll view and the panel: a real root
// window in a RecordingOSWindow (800 x 480) under an InputApplication (one
// window and one application hot key, both logged), the framework's stock
// types registered as the application registers them, and a skin built in
// code:
//
// - Describe: a descriptor of a class at a rectangle with one opaque look;
//   Layout gives its layout to change references and docking.
// - DescribeBar: a "Framework.ScrollBar" with "dec", "inc", a
//   "Framework.ScrollChannel" of two looks (normal, pressed) and its
//   "thumb", all laid out relative to the bar, vertical or horizontal.
// - DescribeView: a "Framework.Panel" with a 16 x 16 "corner" at its
//   bottom-right and the bars "vBar" and "hBar" tied to it, as skins do.
//
// Test.Plain is a TestControl: the control base's own input handling.

#include "tests/VxFramework/ControlBase/ControlInputDoubles.h"
#include "tests/VxFramework/ControlBase/RootWindowHarness.h"

#include "VxFramework/Application/FrameworkApp.h"
#include "VxFramework/Controls/Panel.h"
#include "VxFramework/Controls/ScrollBar.h"
#include "VxFramework/Controls/ScrollView.h"

namespace VxTest
{
class ScrollHarness
{
public:
    static constexpr const char* kPlain = "Test.Plain";

    ScrollHarness()
    {
        factory = Vx::MakeRCPtr<Vx::LControlFactory>("Harness");
        factory->RegisterControlType(kPlain, &Vx::CreateControl<TestControl>);
        Vx::LFrameworkApp::RegisterControlTypes(*factory, Vx::LFrameworkApp::GetStockControlTypes());
        factory->SetFallbackCreator(&Vx::CreateControl<Vx::LPanel>);
        skin = new Vx::LControlDescriptor("Application", "skin", nullptr);
        factory->AddSkinRoot(skin);
        app = Vx::MakeRCPtr<InputApplication>(&log, factory);
        renderer = new Vx::LJUCERenderer();
        window = Vx::LRootWindow::Create(Vx::RCPtr<Vx::LRenderer>(renderer), &osWindow);
        app->AddRootWindow(window);
    }

    ~ScrollHarness()
    {
        window->SetTopControl(nullptr);
        app->RemoveRootWindow(window);
        window = nullptr;
        app = nullptr;
        factory = nullptr;
        skin = nullptr;
        renderer = nullptr;
        juce::DeletedAtShutdown::deleteAll();
    }

    ScrollHarness(const ScrollHarness&) = delete;
    ScrollHarness& operator=(const ScrollHarness&) = delete;

    Vx::RCPtr<Vx::LControlDescriptor> Describe(const char* name, const Vx::RCPtr<Vx::LControlDescriptor>& parent,
                                               const Vx::RectT<double>& rect, const char* className = kPlain,
                                               std::uint32_t argb = 0xFF808080u, int looks = 1)
    {
        std::vector<Vx::RCPtr<Vx::LLookDescriptor>> lookList;
        for (int i = 0; i < looks; ++i)
            lookList.push_back(LookDescriptor(Offsets(0, 0, 0, 0), nullptr, i == 0 ? argb : 0xFFFFFFFFu));
        return DescribeAt(parent.IsNull() ? skin : parent, className, name, rect, lookList);
    }

    static Vx::LLayoutDescriptor& Layout(const Vx::RCPtr<Vx::LControlDescriptor>& descriptor)
    {
        return *descriptor->GetLayout();
    }

    // A bar of the thickness across and the length along, at (x, y).
    Vx::RCPtr<Vx::LControlDescriptor> DescribeBar(const char* name, const Vx::RCPtr<Vx::LControlDescriptor>& parent,
                                                  bool vertical, double x, double y, double length,
                                                  double thickness = 16.0)
    {
        const Vx::RectT<double> rect =
            vertical ? Vx::RectT<double>{x, y, thickness, length} : Vx::RectT<double>{x, y, length, thickness};
        const auto bar = Describe(name, parent, rect, "Framework.ScrollBar", 0xFF404040u);
        // Along the bar: the buttons at both ends, the channel between them.
        const int along = vertical ? 1 : 0;
        const int across = 1 - along;
        const auto fill = [across](Vx::LLayoutDescriptor& layout) {
            Vx::LLayoutDescriptor::SizeSpec size = layout.GetSizeSpec(across);
            size.reference = Vx::SizeReference::Parent;
            size.rel = 1.0f;
            size.abs = 0.0;
            layout.SetSizeSpec(across, size);
        };
        const auto dec = Describe("dec", bar, Vx::RectT<double>{0, 0, 16, 16}, kPlain, 0xFF0000C0u);
        fill(Layout(dec));
        const auto inc = Describe("inc", bar, Vx::RectT<double>{0, 0, 16, 16}, kPlain, 0xFF00C000u);
        fill(Layout(inc));
        Vx::LLayoutDescriptor::PositionSpec end = Layout(inc).GetPositionSpec(along);
        end.anchor = 1.0f;
        end.rel = 1.0f;
        Layout(inc).SetPositionSpec(along, end);
        const auto channel =
            Describe("channel", bar, Vx::RectT<double>{0, 0, 16, 16}, "Framework.ScrollChannel", 0xFF202020u, 2);
        fill(Layout(channel));
        Vx::LLayoutDescriptor::PositionSpec start = Layout(channel).GetPositionSpec(along);
        start.abs = 16.0;
        Layout(channel).SetPositionSpec(along, start);
        Vx::LLayoutDescriptor::SizeSpec between = Layout(channel).GetSizeSpec(along);
        between.reference = Vx::SizeReference::Client;
        between.rel = 1.0f;
        between.abs = -16.0;
        Layout(channel).SetSizeSpec(along, between);
        const auto thumb = Describe("thumb", channel, Vx::RectT<double>{0, 0, 16, 10}, kPlain, 0xFFE0E0E0u);
        if (!vertical)
            thumb->GetLayout()->XSizeAbs = 10.0;
        fill(Layout(thumb));
        return bar;
    }

    // A panel at the rectangle with corner, vBar and hBar, docked on both
    // axes, in this order (later siblings measure against the corner).
    Vx::RCPtr<Vx::LControlDescriptor> DescribeView(const char* name, const Vx::RCPtr<Vx::LControlDescriptor>& parent,
                                                   const Vx::RectT<double>& rect,
                                                   const char* className = "Framework.Panel")
    {
        const auto view = Describe(name, parent, rect, className, 0xFFFFFFFFu);
        const auto corner = Describe("corner", view, Vx::RectT<double>{0, 0, 16, 16}, kPlain, 0xFF606060u);
        auto& c = Layout(corner);
        c.XPlacementAnchor = c.YPlacementAnchor = 1.0f;
        c.XPositionRel = c.YPositionRel = 1.0f;
        c.XIsDocked = c.YIsDocked = true;

        const auto vBar = DescribeBar("vBar", view, true, 0, 0, 0);
        auto& v = Layout(vBar);
        v.XPositionReference = Vx::PositionReference::NamedControl;
        v.XPositionControlName = "corner";
        v.XSizeReference = Vx::SizeReference::NamedControl;
        v.XSizeControlName = "corner";
        v.XSizeRel = 1.0f;
        v.XSizeAbs = 0.0;
        v.YSizeReference = Vx::SizeReference::NamedControl;
        v.YSizeControlName = "corner";
        v.YSizeAbs = 0.0;
        v.XIsDocked = v.YIsDocked = true;

        const auto hBar = DescribeBar("hBar", view, false, 0, 0, 0);
        auto& hl = Layout(hBar);
        hl.YPositionReference = Vx::PositionReference::NamedControl;
        hl.YPositionControlName = "corner";
        hl.YSizeReference = Vx::SizeReference::NamedControl;
        hl.YSizeControlName = "corner";
        hl.YSizeRel = 1.0f;
        hl.YSizeAbs = 0.0;
        hl.XSizeReference = Vx::SizeReference::NamedControl;
        hl.XSizeControlName = "corner";
        hl.XSizeAbs = 0.0;
        hl.XIsDocked = hl.YIsDocked = true;
        return view;
    }

    static void Param(const Vx::RCPtr<Vx::LControlDescriptor>& descriptor, const char* key, const char* value)
    {
        ControlHarness::Param(descriptor, key, value);
    }

    // The root-window harness's replay format.
    void Replay(const std::string& script) { ReplayInput(script, *window, osWindow, *app); }

    Vx::RCPtr<Vx::LControl> CreateTop(const char* name)
    {
        window->CreateTopControl(String(name));
        return window->GetTopControl();
    }

    // The clock moves on, then one idle pass.
    void IdleAfter(std::uint32_t milliseconds)
    {
        app->Advance(milliseconds);
        window->ProcessIdle(true);
    }

    void Key(int virtualKey, std::uint32_t modifiers = 0)
    {
        window->DispatchKey(Vx::LKeyParam::Create(Vx::KeyCode(virtualKey, modifiers), 1));
    }

    // The OS window's paint of everything into the image.
    void PaintAll(juce::Image& image)
    {
        window->InvalidateAll();
        Vx::RgnLight dirty;
        window->TakeDirtyRegion(dirty);
        PaintRegion(*window, *renderer, osWindow, image, dirty);
    }

    Log log;
    RecordingOSWindow osWindow;
    Vx::RCPtr<Vx::LControlFactory> factory;
    Vx::RCPtr<Vx::LControlDescriptor> skin;
    Vx::RCPtr<InputApplication> app;
    Vx::RCPtr<Vx::LJUCERenderer> renderer;
    Vx::RCPtr<Vx::LRootWindow> window;
};

template <class T>
Vx::RCPtr<T> Part(const Vx::RCPtr<Vx::LControl>& from, std::initializer_list<const char*> path)
{
    Vx::RCPtr<Vx::LControl> control = from;
    for (const char* name : path)
    {
        if (control.IsNull())
            break;
        control = control->FindChild(name);
    }
    return Vx::RCPtr<T>(dynamic_cast<T*>(control.Get()));
}

// Sends the notification with no parameter through the control's
// distributor, as the control itself would.
inline void SendFrom(const Vx::RCPtr<Vx::LControl>& control, const char* id)
{
    Vx::RCPtr<Vx::LNotification> notification;
    Vx::LNotification::Create(notification, id, nullptr);
    control->Notify(notification);
}
} // namespace VxTest
