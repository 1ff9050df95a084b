#pragma once

// The test harness of the control base and of the controls built on it.
//
// - TestControl: a control whose geometry, conditions and opacity a test may
//   set directly, whose idle passes and condition changes are counted, and
//   whose paint hooks record what they were asked to paint (and may throw);
//   registered as "Test.Control".
// - HarnessApplication: the application object with a clock (tick count and
//   elapsed seconds), a display area, a pointer position and key states that
//   the test sets.  The controls read them through the control host the
//   application installs, as they read the real application's.
// - ControlHarness: one such application with its control factory and a main
//   root window (an 800 x 480 OS window at the screen's origin) whose text is
//   measured by FixedWidthRenderer (10 pixels a byte, lines 20 high), so that
//   layouts come out the same everywhere; a skin root to which the test adds
//   descriptors built in code (Describe, Param, LookDescriptor), and
//   CreateTop, Idle and Advance to drive it.
// - MakeLook and Offsets: looks for controls laid out by hand, in a colour.
// - Recorder: a client that records the notifications it is sent;
//   AssertionsIn counts the assertion lines of captured standard error.
//
// Later tests of controls extend these rather than writing their own.

#include "VxFramework/ControlBase/Control.h"
#include "VxFramework/ControlBase/ControlFactory.h"
#include "VxFramework/ControlBase/Look.h"
#include "VxFramework/ControlBase/SkinDescriptors.h"
#include "VxFramework/ObjectBase/Exception.h"
#include "VxFramework/Renderer/Renderer.h"
#include "tests/VxFramework/Application/ApplicationDoubles.h"
#include "tests/VxFramework/Utilities/Graphics/MeasurementDoubles.h"

#include <cstdint>
#include <initializer_list>
#include <stdexcept>
#include <string>
#include <vector>

namespace VxTest
{
class TestControl : public Vx::LControl
{
public:
    TestControl(const Vx::RCPtr<Vx::LControl>& parent, const Vx::LControl::Text& name) : LControl(parent, name)
    {
        m_layout = new Vx::LLayoutDescriptor();
    }

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
    void AddWeightedLook(const Vx::RCPtr<Vx::LLook>& look, float weight)
    {
        m_looks.Add(look);
        m_lookWeights.Add(weight);
        Place(m_bounds);
    }

    // What only pointer handling sets.
    void TakeCapture() { m_capture = 1; }

    // Condition flags as pointer handling sets them, each change announced.
    void SetHover(bool on) { SetFlag(m_hover, on); }
    void SetCaptured(bool on) { SetFlag(m_capture, on); }
    void SetLeftPressed(bool on) { SetFlag(m_leftPressed, on); }

    void SetOpacity(float opacity) { m_opacity = opacity; }
    void SetTextScrolls(bool on) { m_textScrolls = on ? 1 : 0; }

    Vx::VxRESULT OnActivate(const Vx::RCPtr<Vx::LConditionsParam>& conditions) override
    {
        ++mActivations;
        return LControl::OnActivate(conditions);
    }

    // Each hook call records its name, the control's name and the clip in
    // the context's coordinates; PaintContent fills the clip with the
    // control's content colour when it has one, and throws when asked to.
    Vx::VxRESULT PaintOverlay(const Vx::RCPtr<Vx::LRenderer>& renderer) override
    {
        Record("overlay", renderer);
        return Vx::VXR_OK;
    }
    Vx::VxRESULT PaintContent(const Vx::RCPtr<Vx::LRenderer>& renderer) override
    {
        Record("content", renderer);
        if (mThrowInContent)
            VX_THROW(std::runtime_error, "content failed");
        if (mContentColour != 0)
            renderer->FillRectangle(renderer->GetClipRect().Round(), Vx::Color(mContentColour), true);
        return Vx::VXR_OK;
    }

    // Invalidates the control: a handler for what another thread posts.
    Vx::NotificationHandlerResultCode OnInvalidateRequest(const Vx::RCPtr<Vx::LNotificationDistributor>&,
                                                          const Vx::ConstRCPtr<Vx::LNotification>&)
    {
        Invalidate();
        return 1;
    }

    Vx::VxRESULT ProcessIdle() override
    {
        ++mIdlePasses;
        return Vx::VXR_OK;
    }

    Vx::VxRESULT OnChildRemoved(const Vx::RCPtr<Vx::LControl>& child, std::int32_t formerIndex) override
    {
        mRemoved.push_back(std::string(child->GetName().GetCString()) + "@" + std::to_string(formerIndex));
        return Vx::VXR_OK;
    }

    struct HookCall
    {
        std::string what;
        Vx::RectT<std::int32_t> clip;
    };

    int mIdlePasses = 0;
    int mActivations = 0;
    std::vector<std::string> mRemoved;
    // Shared by the controls of a tree so that the order shows.
    std::vector<HookCall>* mHookLog = nullptr;
    std::uint32_t mContentColour = 0;
    bool mThrowInContent = false;

private:
    void SetFlag(std::uint8_t& flag, bool on)
    {
        flag = on ? 1 : 0;
        UpdateConditions();
    }

    void Record(const char* hook, const Vx::RCPtr<Vx::LRenderer>& renderer)
    {
        if (mHookLog == nullptr)
            return;
        const Vx::RectT<double> clip = renderer->GetClipRect() + renderer->GetOrigin();
        mHookLog->push_back(HookCall{std::string(hook) + ":" + GetName().GetCString(), clip.Round()});
    }
};

// The look descriptor of a look whose client part sits at the offsets
// (right and bottom 0 or negative) and, when the text area is given, shows
// the control's text.
inline Vx::RCPtr<Vx::LLookDescriptor> LookDescriptor(const Vx::DockInfo& clientOffsets,
                                                     const Vx::LLookDescriptor::TextArea* textArea = nullptr,
                                                     std::uint32_t argb = 0xFF000000u)
{
    const Vx::RCPtr<Vx::LColorizer> colour(new Vx::LColorizer("fill", 0, Vx::Color(argb), 0, 0, 0, 0, Vx::Color()));
    const Vx::RCPtr<Vx::LVisualPartDescriptor> part(
        new Vx::LVisualPartDescriptor("part", Vx::BitmapSource(), {1, 1}, 0, colour, 1.0f, Vx::BitmapSource()));
    const Vx::RCPtr<Vx::LLookDescriptor> descriptor = Vx::LLookDescriptor::Create("look");
    descriptor->SetClientPart(Vx::RCPtr<Vx::LDockedPart>(new Vx::LDockedPart(part, clientOffsets)));
    if (textArea != nullptr)
        descriptor->SetTextArea(*textArea, part);
    return descriptor;
}

// A look made from LookDescriptor.
inline Vx::RCPtr<Vx::LLook> MakeLook(const Vx::DockInfo& clientOffsets,
                                     const Vx::LLookDescriptor::TextArea* textArea = nullptr, bool wordWrap = false,
                                     std::uint32_t argb = 0xFF000000u)
{
    Vx::RCPtr<Vx::LLook> look;
    Vx::LLook::Create(LookDescriptor(clientOffsets, textArea, argb), wordWrap, look);
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

// Gives the descriptor a skin of the looks and adds it under into.
template <class Looks>
void AttachSkin(const Vx::RCPtr<Vx::LControlDescriptor>& descriptor, const Vx::RCPtr<Vx::LControlDescriptor>& into,
                const char* name, const Looks& looks)
{
    const Vx::RCPtr<Vx::LSkinDescriptor> controlSkin(new Vx::LSkinDescriptor(name));
    controlSkin->lookList = new Vx::LookList();
    for (const Vx::RCPtr<Vx::LLookDescriptor>& look : looks)
        controlSkin->lookList->Add(look);
    descriptor->SetSkin(controlSkin);
    into->AddChild(descriptor);
}

// A descriptor of the class under into, at the rectangle (absolute position
// and size), with a skin of the looks.
inline Vx::RCPtr<Vx::LControlDescriptor> DescribeAt(const Vx::RCPtr<Vx::LControlDescriptor>& into,
                                                    const char* className, const char* name,
                                                    const Vx::RectT<double>& rect,
                                                    const std::vector<Vx::RCPtr<Vx::LLookDescriptor>>& looks = {})
{
    const Vx::RCPtr<Vx::LControlDescriptor> descriptor(new Vx::LControlDescriptor(className, name, into.Get()));
    const Vx::RCPtr<Vx::LLayoutDescriptor> layout(new Vx::LLayoutDescriptor());
    layout->XPositionAbs = rect.x;
    layout->YPositionAbs = rect.y;
    layout->XSizeAbs = rect.width;
    layout->YSizeAbs = rect.height;
    descriptor->SetLayout(layout);
    AttachSkin(descriptor, into, name, looks);
    return descriptor;
}

class HarnessApplication : public TestApplication
{
public:
    HarnessApplication(Log* log, const Vx::RCPtr<Vx::LControlFactory>& factory) : TestApplication(log, factory) {}

    std::uint32_t GetTickCount() override { return mTickCount; }
    double GetElapsedSeconds() override { return mElapsedSeconds; }
    Vx::RectT<int> GetDisplayArea() override { return mDisplayArea; }
    Vx::PointT<int> GetMousePosition() override { return mMousePosition; }
    Vx::VxRESULT GetDefaultFont(String& name, float& size, int& style) override
    {
        name = mFontName;
        size = mFontSize;
        style = mFontStyle;
        return Vx::VXR_OK;
    }

    // Both clocks move on together.
    void Advance(std::uint32_t milliseconds)
    {
        mTickCount += milliseconds;
        mElapsedSeconds += milliseconds / 1000.0;
    }

    std::uint32_t mTickCount = 1000;
    double mElapsedSeconds = 1.0;
    Vx::RectT<int> mDisplayArea{0, 0, 800, 480};
    // Screen coordinates.
    Vx::PointT<int> mMousePosition{0, 0};
    String mFontName{"HarnessFont"};
    float mFontSize = 10.0f;
    int mFontStyle = 0;
    // Key states: TestApplication::mPressedKeys.
};

class ControlHarness
{
public:
    static constexpr const char* kControlClass = "Test.Control";

    ControlHarness()
    {
        factory = Vx::MakeRCPtr<Vx::LControlFactory>("Harness");
        factory->RegisterControlType(kControlClass, &Vx::CreateControl<TestControl>);
        skin = new Vx::LControlDescriptor("Application", "skin", nullptr);
        factory->AddSkinRoot(skin);
        app = Vx::MakeRCPtr<HarnessApplication>(&log, factory);
        window = FakeRootWindow::Create("main", &log, &osWindow);
        window->mRenderer = Vx::RCPtr<Vx::LMeasurementRenderer>(new FixedWidthRenderer());
        app->AddRootWindow(window);
    }

    ~ControlHarness()
    {
        // The window and its controls hold each other.
        window->ClearControls();
        for (const Vx::RCPtr<Vx::LControl>& top : mTops)
            top->SetRootWindow(nullptr);
        mTops.RemoveAll();
        app->RemoveRootWindow(window);
        window = nullptr;
        app = nullptr;
        factory = nullptr;
        skin = nullptr;
    }

    ControlHarness(const ControlHarness&) = delete;
    ControlHarness& operator=(const ControlHarness&) = delete;

    // A descriptor of the class under the parent (the skin root when null),
    // with a default layout (16 x 40 at the client origin) and a skin with
    // the looks.
    Vx::RCPtr<Vx::LControlDescriptor> Describe(const char* name,
                                               const Vx::RCPtr<Vx::LControlDescriptor>& parent = nullptr,
                                               const char* className = kControlClass,
                                               std::initializer_list<Vx::RCPtr<Vx::LLookDescriptor>> looks = {})
    {
        const Vx::RCPtr<Vx::LControlDescriptor> into = parent.IsNull() ? skin : parent;
        const Vx::RCPtr<Vx::LControlDescriptor> descriptor(new Vx::LControlDescriptor(className, name, into.Get()));
        descriptor->SetLayout(Vx::RCPtr<Vx::LLayoutDescriptor>(new Vx::LLayoutDescriptor()));
        AttachSkin(descriptor, into, name, looks);
        return descriptor;
    }

    static void Param(const Vx::RCPtr<Vx::LControlDescriptor>& descriptor, const char* key, const char* value)
    {
        if (descriptor->GetCreateParams().IsNull())
            descriptor->SetCreateParams(Vx::RCPtr<Vx::LStringTable>(new Vx::LStringTable()));
        descriptor->GetCreateParams()->Set(key, value);
    }

    // The skin's top-level control of the name in the main window; the
    // harness detaches it at the end.
    Vx::RCPtr<Vx::LControl> CreateTop(const char* name)
    {
        const Vx::RCPtr<Vx::LControl> top = factory->CreateTopLevelControl(name, window);
        if (!top.IsNull())
        {
            mTops.Add(top);
            window->mTopControl = top;
        }
        return top;
    }

    // One idle pass of the main window.
    bool Idle() { return window->ProcessIdle(true); }
    void Advance(std::uint32_t milliseconds) { app->Advance(milliseconds); }

    // The log lines since the last call.
    Log TakeLog()
    {
        Log taken;
        taken.swap(log);
        return taken;
    }

    Log log;
    FakeOSWindow osWindow{"main", &log};
    Vx::RCPtr<Vx::LControlFactory> factory;
    Vx::RCPtr<Vx::LControlDescriptor> skin;
    Vx::RCPtr<HarnessApplication> app;
    Vx::RCPtr<FakeRootWindow> window;

private:
    Vx::RCPtrArray<Vx::LControl> mTops;
};

// Records the ids of the notifications it is sent, in order.
class Recorder : public Vx::LNotificationClient
{
public:
    Vx::NotificationHandlerResultCode Receive(const Vx::RCPtr<Vx::LNotificationDistributor>& /*from*/,
                                              const Vx::ConstRCPtr<Vx::LNotification>& notification) override
    {
        mIds.push_back(notification->GetId());
        return 1;
    }

    void Listen(const Vx::RCPtr<Vx::LNotificationDistributor>& distributor, std::initializer_list<const char*> ids)
    {
        for (const char* id : ids)
            Register(distributor, id, 0);
    }

    std::vector<std::string> mIds;
};

// How often the text holds the pattern.
inline int CountOf(const std::string& text, const std::string& pattern)
{
    int count = 0;
    for (std::size_t at = text.find(pattern); at != std::string::npos; at = text.find(pattern, at + pattern.size()))
        ++count;
    return count;
}

inline int AssertionsIn(const std::string& text)
{
    return CountOf(text, "JUCE Assertion failure in ");
}

inline TestControl& AsTest(const Vx::RCPtr<Vx::LControl>& control)
{
    return dynamic_cast<TestControl&>(*control);
}
} // namespace VxTest
