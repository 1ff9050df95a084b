#pragma once

// The test harness of the root window and of what runs through it (pointer,
// keys, scrolling):
//
// - RecordingOSWindow: the OS window side.  Records invalidations (any
//   thread), title, bounds, cursors, keyboard-focus grabs and closes; the
//   active flag, keyboard focus, pointer position, held buttons and the modal
//   loop depth are set by the test (the replay keeps pointer and buttons in
//   step with the events).
// - CallControl: a TestControl that records every input call the root window
//   makes on it (and its tool-tip calls) into a shared trace, handling none
//   of them except the focus loss, which the control base handles; it can take the
//   capture on a press and give it back on the release, and answer wheel
//   events as handled or not.  Registered as "Test.Control".
// - RootWindowHarness: an application (HarnessApplication) with a control
//   factory, a skin root, and a real root window in a RecordingOSWindow of
//   800 x 480 at the screen origin.  Paint() repeats the OS window's paint:
//   take the dirty region, a window render context over a juce::Image, begin,
//   the root window's paint, end.
// - Replay: a small text format of input events, replayed through the root
//   window under the application's test clock:
//
//       # comment
//       <time ms> move <x> <y> [src=<n>] [mods=<m>]
//       <time ms> down|up|double <button> <x> <y> [src=<n>] [mods=<m>]
//       <time ms> button <type> <button> <x> <y> [src=<n>] [mods=<m>]
//       <time ms> wheel <direction> <x> <y> [mods=<m>]
//       <time ms> key <code>
//
//   Times are absolute milliseconds of the test clock and never go back.  A
//   down, a double click or an up changes the OS window's held buttons (as
//   JUCE reports them) before the event is
//   dispatched; every pointer event leaves the OS window's pointer at its
//   point afterwards, so that a down at a new place arrives as the OS window
//   would see a touch that did not move there first.

#include "tests/VxFramework/ControlBase/ControlDoubles.h"

#include "VxFramework/ControlBase/RootWindow.h"
#include "VxFramework/Renderer/JUCE/JUCERenderContextInfo.h"
#include "VxFramework/Renderer/JUCE/JUCERenderer.h"
#include "VxFramework/System/KeyUtils.h"

#include <juce_graphics/juce_graphics.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <mutex>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace VxTest
{
using IntRect = Vx::RectT<int>;
using IntPoint = Vx::PointT<int>;
using Trace = std::vector<std::string>;

inline std::string RectText(const IntRect& rect)
{
    return std::to_string(rect.x) + "," + std::to_string(rect.y) + "," + std::to_string(rect.width) + "," +
           std::to_string(rect.height);
}

class RecordingOSWindow : public Vx::IWindowOSServices
{
public:
    Vx::VxRESULT SetTitle(const String& title) override
    {
        mTitle = title.GetCString();
        return Vx::VXR_OK;
    }
    Vx::VxRESULT InvalidateClient() override
    {
        const std::lock_guard<std::mutex> lock(mMutex);
        ++mClientInvalidations;
        return Vx::VXR_OK;
    }
    Vx::VxRESULT InvalidateRect(const IntRect& rectangle) override
    {
        const std::lock_guard<std::mutex> lock(mMutex);
        mInvalidations.push_back(rectangle);
        return Vx::VXR_OK;
    }
    Vx::VxRESULT GetClientRect(IntRect& rectangle) override
    {
        rectangle = IntRect{0, 0, mClientSize.x, mClientSize.y};
        return Vx::VXR_OK;
    }
    IntPoint ScreenToClient(const IntPoint& point) override { return point - mScreenOrigin; }
    IntPoint ClientToScreen(const IntPoint& point) override { return point + mScreenOrigin; }
    Vx::VxRESULT SetBounds(const IntRect& rectangle) override
    {
        mBounds.push_back(rectangle);
        mScreenOrigin = IntPoint{rectangle.x, rectangle.y};
        mClientSize = IntPoint{rectangle.width, rectangle.height};
        return Vx::VXR_OK;
    }
    Vx::VxRESULT ShowWindow(int) override { return Vx::VXR_OK; }
    Vx::VxRESULT Repaint() override { return Vx::VXR_OK; }
    Vx::VxRESULT BringToFront() override { return Vx::VXR_OK; }
    Vx::VxRESULT ToFront(bool) override { return Vx::VXR_OK; }
    Vx::VxRESULT Close(int result) override
    {
        mCloses.push_back(result);
        mActive = false;
        if (mOnClose)
            mOnClose();
        return Vx::VXR_OK;
    }
    int RunModalLoop() override { return 0; }
    bool IsInModalLoop() override { return mModalDepth > 0; }
    bool IsActive() override { return mActive; }
    bool HasKeyboardFocus() override { return mKeyboardFocus; }
    Vx::VxRESULT GrabKeyboardFocus() override
    {
        ++mFocusGrabs;
        return Vx::VXR_OK;
    }
    juce::MouseCursor* SetCursor(juce::MouseCursor* cursor) override
    {
        juce::MouseCursor* const previous = mCursor;
        mCursor = cursor;
        mCursors.push_back(cursor);
        return previous;
    }
    IntPoint GetMousePosition() override { return mPointer; }
    int GetMouseButtons() override { return mButtons; }
    void* GetNativeHandle() override { return nullptr; }
    Vx::VxRESULT SetTextEntryMode(bool active, int value) override
    {
        mTextEntry.push_back(std::string(active ? "on " : "off ") + std::to_string(value));
        return Vx::VXR_OK;
    }

    std::vector<IntRect> TakeInvalidations()
    {
        const std::lock_guard<std::mutex> lock(mMutex);
        std::vector<IntRect> taken;
        taken.swap(mInvalidations);
        return taken;
    }
    int ClientInvalidations()
    {
        const std::lock_guard<std::mutex> lock(mMutex);
        return mClientInvalidations;
    }

    bool mActive = true;
    bool mKeyboardFocus = true;
    IntPoint mPointer{0, 0};
    int mButtons = 0;
    int mModalDepth = 0;
    IntPoint mClientSize{800, 480};
    IntPoint mScreenOrigin{0, 0};
    std::string mTitle;
    std::vector<IntRect> mBounds;
    std::vector<juce::MouseCursor*> mCursors;
    juce::MouseCursor* mCursor = nullptr;
    std::vector<int> mCloses;
    int mFocusGrabs = 0;
    std::vector<std::string> mTextEntry;
    // Runs inside Close, as the OS window's teardown would.
    std::function<void()> mOnClose;

private:
    std::mutex mMutex;
    std::vector<IntRect> mInvalidations;
    int mClientInvalidations = 0;
};

class CallControl : public TestControl
{
public:
    CallControl(const Vx::RCPtr<Vx::LControl>& parent, const Vx::LControl::Text& name) : TestControl(parent, name) {}

    // Where every CallControl writes; null records nothing.
    static Trace*& Sink()
    {
        static Trace* sink = nullptr;
        return sink;
    }

    Vx::VxRESULT OnPointerEnter() override { return Note("enter"); }
    Vx::VxRESULT OnPointerLeave() override { return Note("leave"); }
    Vx::VxRESULT OnPointerMove(const Vx::RCPtr<Vx::LPointWithModifiersParam>& param) override
    {
        return Note("move " + Point(param->point) + Source(*param));
    }
    Vx::VxRESULT OnPointerDown(const Vx::RCPtr<Vx::LMouseButtonParam>& param) override
    {
        Note("down " + Button(*param));
        if (mCaptures)
            if (const Vx::RCPtr<Vx::LRootWindow> root = FindRootWindow(); !root.IsNull())
                root->SetCapture(Vx::RCPtr<Vx::LControl>(this));
        return Vx::VXR_OK;
    }
    Vx::VxRESULT OnPointerUp(const Vx::RCPtr<Vx::LMouseButtonParam>& param) override
    {
        Note("up " + Button(*param));
        if (mCaptures && param->heldButtons == 0)
            if (const Vx::RCPtr<Vx::LRootWindow> root = FindRootWindow(); !root.IsNull())
                root->ReleaseCapture(Vx::RCPtr<Vx::LControl>(this));
        return Vx::VXR_OK;
    }
    Vx::VxRESULT OnCaptureLost() override { return Note("capture-lost"); }
    Vx::VxRESULT OnKey(const Vx::RCPtr<Vx::LKeyParam>& key) override
    {
        char code[16];
        std::snprintf(code, sizeof code, "0x%x", key->key.code);
        return Note(std::string("key ") + code);
    }
    Vx::VxRESULT OnMouseWheel(const Vx::RCPtr<Vx::LMouseWheelParam>& param) override
    {
        Note("wheel " + Wheel(*param));
        return mWheelResult;
    }
    Vx::VxRESULT OnMouseWheelHorizontal(const Vx::RCPtr<Vx::LMouseWheelParam>& param) override
    {
        Note("hwheel " + Wheel(*param));
        return mWheelResult;
    }
    // The control's own focus handling runs as well.
    Vx::VxRESULT OnFocusLost() override
    {
        Note("focus-lost");
        return TestControl::OnFocusLost();
    }
    Vx::VxRESULT ShowToolTip(bool show, std::int32_t argument) override
    {
        Note(show ? "tooltip show" : "tooltip hide");
        return mRealToolTip ? TestControl::ShowToolTip(show, argument) : Vx::VXR_OK;
    }

    bool mCaptures = false;
    Vx::VxRESULT mWheelResult = Vx::VXR_OK;
    // Run the control's own tool-tip showing as well.
    bool mRealToolTip = false;

private:
    Vx::VxRESULT Note(const std::string& what)
    {
        if (Sink() != nullptr)
            Sink()->push_back(std::string(GetName().GetCString()) + ": " + what);
        return Vx::VXR_OK;
    }
    static std::string Point(const IntPoint& point) { return std::to_string(point.x) + "," + std::to_string(point.y); }
    static std::string Source(const Vx::LPointWithModifiersParam& param)
    {
        char text[64];
        std::snprintf(text, sizeof text, " mods=0x%x src=%d", param.modifiers, param.source);
        return text;
    }
    static std::string Button(const Vx::LMouseButtonParam& param)
    {
        return std::to_string(param.button) + " at " + Point(param.point) + " dbl=" + (param.doubleClick ? "1" : "0") +
               " held=" + std::to_string(param.heldButtons) + Source(param);
    }
    static std::string Wheel(const Vx::LMouseWheelParam& param)
    {
        return std::to_string(param.direction) + " at " + Point(param.point) + Source(param);
    }
};

// One event of the replay format through the root window, keeping the OS
// window's pointer and held buttons in step.
inline void DispatchInput(int line, const std::string& event, const std::vector<long>& n, int source, int modifiers,
                          Vx::LRootWindow& window, RecordingOSWindow& osWindow)
{
    const auto need = [&](std::size_t count) {
        if (n.size() != count)
            throw std::invalid_argument("line " + std::to_string(line) + ": " + event + " takes " +
                                        std::to_string(count) + " numbers");
    };
    const auto at = [&](std::size_t index) {
        return IntPoint{static_cast<int>(n[index]), static_cast<int>(n[index + 1])};
    };
    const unsigned int src = static_cast<unsigned int>(source);
    if (event == "move")
    {
        need(2);
        window.PointerMove(at(0), modifiers, src);
        osWindow.mPointer = at(0);
    }
    else if (event == "down" || event == "up" || event == "double" || event == "button")
    {
        const bool raw = event == "button";
        need(raw ? 4 : 3);
        const int type = raw ? static_cast<int>(n[0]) : event == "down" ? 0 : event == "up" ? 1 : 2;
        const int button = static_cast<int>(n[raw ? 1 : 0]);
        if (type == 0 || type == 2)
            osWindow.mButtons |= button;
        else if (type == 1)
            osWindow.mButtons &= ~button;
        const IntPoint point = at(raw ? 2 : 1);
        window.PointerButton(type, button, modifiers, point, src);
        osWindow.mPointer = point;
    }
    else if (event == "wheel")
    {
        need(3);
        window.MouseWheel(at(1), modifiers, static_cast<unsigned int>(n[0]));
    }
    else if (event == "key")
    {
        need(1);
        Vx::KeyCode key;
        key.code = static_cast<std::uint32_t>(n[0]);
        window.DispatchKey(Vx::LKeyParam::Create(key, 1));
    }
    else
        throw std::invalid_argument("line " + std::to_string(line) + ": unknown event " + event);
}

// The OS window's paint of the region: a window context drawn over the image.
inline void PaintRegion(Vx::LRootWindow& window, Vx::LJUCERenderer& renderer, RecordingOSWindow& osWindow,
                        juce::Image& image, const Vx::RgnLight& dirty)
{
    const Vx::RCPtr<Vx::LJUCERenderContextInfo> context = Vx::LJUCERenderContextInfo::Create(
        IntRect{0, 0, image.getWidth(), image.getHeight()}, reinterpret_cast<std::intptr_t>(&osWindow), false);
    juce::Graphics graphics(image);
    context->SetTargetGraphics(&graphics);
    context->GetDirtyRegion().Append(dirty);
    renderer.RenderStart(Vx::RCPtr<Vx::LRenderContextInfo>(context));
    window.Paint(dirty);
    renderer.RenderFinish(Vx::RCPtr<Vx::LRenderContextInfo>(context));
    context->SetTargetGraphics(nullptr);
}

// Replays the events through the root window under the application's test
// clock; throws std::invalid_argument for a line it cannot read.
inline void ReplayInput(const std::string& script, Vx::LRootWindow& window, RecordingOSWindow& osWindow,
                        HarnessApplication& app)
{
    std::istringstream in(script);
    std::string line;
    int number = 0;
    while (std::getline(in, line))
    {
        ++number;
        const std::size_t hash = line.find('#');
        if (hash != std::string::npos)
            line.erase(hash);
        std::istringstream words(line);
        std::uint32_t time = 0;
        std::string event;
        if (!(words >> time))
            continue;
        if (!(words >> event))
            throw std::invalid_argument("line " + std::to_string(number) + ": no event");
        if (time < app.mTickCount - 1000)
            throw std::invalid_argument("line " + std::to_string(number) + ": time goes back");
        app.Advance(time + 1000 - app.mTickCount);
        std::vector<long> numbers;
        int source = 0;
        int modifiers = 0;
        std::string word;
        while (words >> word)
        {
            if (word.rfind("src=", 0) == 0)
                source = static_cast<int>(std::strtol(word.c_str() + 4, nullptr, 0));
            else if (word.rfind("mods=", 0) == 0)
                modifiers = static_cast<int>(std::strtol(word.c_str() + 5, nullptr, 0));
            else
                numbers.push_back(std::strtol(word.c_str(), nullptr, 0));
        }
        DispatchInput(number, event, numbers, source, modifiers, window, osWindow);
    }
}

class RootWindowHarness
{
public:
    static constexpr const char* kControlClass = "Test.Control";

    RootWindowHarness()
    {
        CallControl::Sink() = &trace;
        factory = Vx::MakeRCPtr<Vx::LControlFactory>("Harness");
        factory->RegisterControlType(kControlClass, &Vx::CreateControl<CallControl>);
        skin = new Vx::LControlDescriptor("Application", "skin", nullptr);
        factory->AddSkinRoot(skin);
        app = Vx::MakeRCPtr<HarnessApplication>(&log, factory);
        renderer = new Vx::LJUCERenderer();
        window = Vx::LRootWindow::Create(Vx::RCPtr<Vx::LRenderer>(renderer), &osWindow);
        app->AddRootWindow(window);
    }

    ~RootWindowHarness()
    {
        // The OS window's teardown: the window lets go of its tree.
        if (!window.IsNull())
        {
            window->SetTopControl(nullptr);
            app->RemoveRootWindow(window);
        }
        window = nullptr;
        app = nullptr;
        factory = nullptr;
        skin = nullptr;
        renderer = nullptr;
        CallControl::Sink() = nullptr;
        juce::DeletedAtShutdown::deleteAll();
    }

    RootWindowHarness(const RootWindowHarness&) = delete;
    RootWindowHarness& operator=(const RootWindowHarness&) = delete;

    // A descriptor of the class under the parent (the skin root when null) at
    // the rectangle, with one look of the colour (opaque over its whole area)
    // unless the colour is 0.
    Vx::RCPtr<Vx::LControlDescriptor> Describe(const char* name, const Vx::RCPtr<Vx::LControlDescriptor>& parent,
                                               const Vx::RectT<double>& rect, std::uint32_t argb = 0xFF808080u,
                                               const char* className = kControlClass)
    {
        std::vector<Vx::RCPtr<Vx::LLookDescriptor>> looks;
        if (argb != 0)
            looks.push_back(LookDescriptor(Offsets(0, 0, 0, 0), nullptr, argb));
        return DescribeAt(parent.IsNull() ? skin : parent, className, name, rect, looks);
    }

    static void Param(const Vx::RCPtr<Vx::LControlDescriptor>& descriptor, const char* key, const char* value)
    {
        ControlHarness::Param(descriptor, key, value);
    }

    // The skin's control of the name as the window's top control.
    Vx::RCPtr<Vx::LControl> CreateTop(const char* name)
    {
        window->CreateTopControl(String(name));
        return window->GetTopControl();
    }

    static CallControl& Find(const Vx::RCPtr<Vx::LControl>& top, std::initializer_list<const char*> path)
    {
        Vx::RCPtr<Vx::LControl> control = top;
        for (const char* name : path)
        {
            control = control->FindChild(name);
            if (control.IsNull())
                throw std::logic_error(std::string("no control ") + name);
        }
        return dynamic_cast<CallControl&>(*control);
    }

    Trace TakeTrace()
    {
        Trace taken;
        taken.swap(trace);
        return taken;
    }

    // The OS window's paint: the dirty region into a window context drawn
    // over the image.  The region painted.
    Vx::RgnLight Paint(juce::Image& image)
    {
        Vx::RgnLight dirty;
        window->TakeDirtyRegion(dirty);
        if (dirty.IsEmpty())
            return dirty;
        PaintRegion(*window, *renderer, osWindow, image, dirty);
        return dirty;
    }

    // Replays the events (ReplayInput); throws std::invalid_argument for a
    // line it cannot read.
    void Replay(const std::string& script) { ReplayInput(script, *window, osWindow, *app); }

    Log log;
    Trace trace;
    RecordingOSWindow osWindow;
    Vx::RCPtr<Vx::LControlFactory> factory;
    Vx::RCPtr<Vx::LControlDescriptor> skin;
    Vx::RCPtr<HarnessApplication> app;
    Vx::RCPtr<Vx::LJUCERenderer> renderer;
    Vx::RCPtr<Vx::LRootWindow> window;
};

// The golden file's text against the actual one, joined by line ends.  With
// VX_UPDATE_GOLDEN set the file is written instead.
inline std::string CompareWithGolden(const std::string& path, const Trace& actual)
{
    std::string text;
    for (const std::string& line : actual)
        text += line + "\n";
    if (std::getenv("VX_UPDATE_GOLDEN") != nullptr)
    {
        std::ofstream(path, std::ios::binary) << text;
        return std::string();
    }
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return "no golden file " + path;
    std::ostringstream expected;
    expected << in.rdbuf();
    if (expected.str() == text)
        return std::string();
    return "differs from " + path + ":\n" + text;
}

inline std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot read " + path);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}
} // namespace VxTest
