#pragma once

// Doubles for driving controls' pointer and key handling directly:
//
// - InputControl ("Test.Input"): a test control that logs its input hooks,
//   the notifications it hands itself and its drag callbacks, takes its
//   skin descriptor's create parameters as its own, and answers
//   ProcessKey, the wheel, AcceptsDrop and WantsDragAutoScroll as told.
// - InputApplication: the harness application whose window and application
//   hot keys are one key each (it answers for the window's), and which logs
//   the cursors asked for by name.
// - InputWindow: a root window that keeps the capture, the held buttons, the
//   modifiers and the pointer the test sets, hit-tests by the controls'
//   rectangles (last created first, skipping excluded ones) and logs the Tab
//   that leaves its top control.
// - InputHarness: the three with a factory and a skin of controls described
//   in code, a clock to advance and idle passes to run.

#include "tests/VxFramework/ControlBase/ControlDoubles.h"

#include "VxFramework/ControlBase/RootWindow.h"
#include "VxFramework/Notification/Notification.h"
#include "VxFramework/System/KeyUtils.h"

#include <string>
#include <vector>

namespace VxTest
{
using InputLog = std::vector<std::string>;

class InputControl : public TestControl
{
public:
    InputControl(const Vx::RCPtr<Vx::LControl>& parent, const Vx::LControl::Text& name) : TestControl(parent, name) {}

    // The skin's create parameters stand in for the per-instance string
    // table, so that a test describes both in one place.
    Vx::VxRESULT Initialize() override
    {
        if (m_createParams.IsNull() && !GetDescriptor().IsNull())
            m_createParams = GetDescriptor()->GetCreateParams();
        return TestControl::Initialize();
    }

    Vx::NotificationHandlerResultCode Receive(const Vx::RCPtr<Vx::LNotificationDistributor>& from,
                                              const Vx::ConstRCPtr<Vx::LNotification>& notification) override
    {
        const std::string id = notification->GetId();
        if (from.IsNull() && id != "NID_SIBLING_KEY" && id != "NID_IDLE")
            Log(id);
        return TestControl::Receive(from, notification);
    }

    Vx::VxRESULT ProcessKey(const Vx::RCPtr<Vx::LKeyParam>& key) override
    {
        Log("ProcessKey " + std::string(Vx::KeyCodeToText(key->key).GetCString()));
        return mKeyResult;
    }
    Vx::VxRESULT SortSiblingKeyClients(const Vx::RCPtr<Vx::LKeyParam>& key,
                                       const Vx::RCPtr<Vx::LNotificationDistributor::LNotificationClientPool>& pool,
                                       Vx::ArrayBuffer<std::int32_t>& order) override
    {
        if (mBreakSiblingOrder)
            return Vx::VXR_E_FAIL;
        return TestControl::SortSiblingKeyClients(key, pool, order);
    }
    Vx::VxRESULT ProcessMouseWheel(const Vx::RCPtr<Vx::LMouseWheelParam>&) override
    {
        Log("wheel");
        return mWheelResult;
    }
    bool AcceptsDrop(const Vx::RCPtr<Vx::LControl>&) override { return mAcceptsDrop; }
    std::uint32_t WantsDragAutoScroll(const Vx::RCPtr<Vx::LControl>&) override { return mAutoScrollFlags; }
    Vx::VxRESULT OnDragEnter(const Vx::RCPtr<Vx::LControl>& dragged) override
    {
        Log("enter " + std::string(dragged->GetName().GetCString()));
        return Vx::VXR_OK;
    }
    Vx::VxRESULT OnDragLeave(const Vx::RCPtr<Vx::LControl>& dragged) override
    {
        Log("leave " + std::string(dragged->GetName().GetCString()));
        return Vx::VXR_OK;
    }
    Vx::VxRESULT OnDrop(const Vx::RCPtr<Vx::LControl>& dragged) override
    {
        if (!mAcceptsDrop)
            return TestControl::OnDrop(dragged);
        Log("drop " + std::string(dragged->GetName().GetCString()));
        return Vx::VXR_OK;
    }
    // A listener's way to give a drag its mode: as the left button is
    // pressed (the press itself resets the mode).
    Vx::VxRESULT OnActivate(const Vx::RCPtr<Vx::LConditionsParam>& conditions) override
    {
        if (mPressDragMode != 0 && (conditions->current & kLeftPressed) != 0 &&
            (conditions->previous & kLeftPressed) == 0)
            SetDragMode(mPressDragMode, mPressDragAxes);
        return TestControl::OnActivate(conditions);
    }
    Vx::VxRESULT LeftClicked(const Vx::RCPtr<Vx::LMouseButtonParam>&) override
    {
        Log("left click");
        return Vx::VXR_OK;
    }

    void Log(const std::string& what)
    {
        if (mLog != nullptr)
            mLog->push_back(std::string(GetName().GetCString()) + ": " + what);
    }

    InputLog* mLog = nullptr;
    Vx::VxRESULT mKeyResult = Vx::VXR_NOTHING_DONE;
    Vx::VxRESULT mWheelResult = Vx::VXR_NOTHING_DONE;
    bool mAcceptsDrop = false;
    bool mBreakSiblingOrder = false;
    std::uint32_t mAutoScrollFlags = 0;
    std::int32_t mPressDragMode = 0;
    std::uint32_t mPressDragAxes = 0;
};

class InputApplication : public HarnessApplication
{
public:
    using HarnessApplication::HarnessApplication;

    juce::MouseCursor* LoadCursor(const String& name) override
    {
        mCursors.push_back(name.GetCString());
        return nullptr;
    }
    // What the harness window answers for its own hot keys.
    Vx::VxRESULT WindowHotKey(const Vx::KeyCode& key)
    {
        mHotKeys.push_back("window " + std::string(Vx::KeyCodeToText(key).GetCString()));
        return key == mWindowKey ? Vx::VXR_OK : Vx::VXR_NOTHING_DONE;
    }
    Vx::VxRESULT ProcessGlobalHotKey(const Vx::KeyCode& key) override
    {
        mHotKeys.push_back("application " + std::string(Vx::KeyCodeToText(key).GetCString()));
        return key == mApplicationKey ? Vx::VXR_OK : Vx::VXR_NOTHING_DONE;
    }

    InputLog mCursors;
    InputLog mHotKeys;
    Vx::KeyCode mWindowKey;
    Vx::KeyCode mApplicationKey;
};

class InputWindow : public Vx::LRootWindow
{
public:
    static Vx::RCPtr<InputWindow> Create()
    {
        Vx::RCPtr<InputWindow> window(new InputWindow());
        window->SetDistributor(Vx::RCPtr<Vx::LNotificationDistributor>(window));
        return window;
    }

    Vx::RCPtr<Vx::LControl> HitTest(Vx::RCPtr<Vx::LControl>& found, const Vx::PointT<int>& point,
                                    Vx::PointT<int>& pointInControl, bool) override
    {
        found = nullptr;
        for (std::uint32_t i = mTargets.GetCount(); i-- > 0;)
        {
            const Vx::RCPtr<Vx::LControl>& control = mTargets[i];
            const Vx::RectT<int> rect = control->GetRectInRootWindow().Round();
            if (control->IsHitTestExcluded() || !control->IsVisible(true) || point.x < rect.x || point.y < rect.y ||
                point.x >= rect.GetRight() || point.y >= rect.GetBottom())
                continue;
            found = control;
            pointInControl = Vx::PointT<int>{point.x - rect.x, point.y - rect.y};
            break;
        }
        return found;
    }
    Vx::VxRESULT SetCapture(const Vx::RCPtr<Vx::LControl>& control) override
    {
        if (!mCapture.IsNull())
            mCapture->OnCaptureLost();
        mCapture = control;
        return Vx::VXR_OK;
    }
    Vx::VxRESULT ReleaseCapture(const Vx::RCPtr<Vx::LControl>& control) override
    {
        if (mCapture == control)
            mCapture = nullptr;
        return Vx::VXR_OK;
    }
    Vx::PointT<int> GetPointerPosition() override { return mPointer; }
    int GetHeldButtons() override { return mHeld; }
    int GetModifierKeys() override { return mModifiers; }
    juce::MouseCursor* SetCursor(juce::MouseCursor*) override { return nullptr; }
    Vx::RCPtr<Vx::LControl> GetTopControl() const override { return mTop; }
    void MoveFocusToNextWindow(const Vx::RCPtr<Vx::LKeyParam>& key) override
    {
        mNextWindowKeys.push_back(Vx::KeyCodeToText(key->key).GetCString());
    }
    bool ProcessIdle(bool sendIdle) override { return ProcessPending(sendIdle); }
    Vx::VxRESULT ProcessHotKey(const Vx::KeyCode& key) override
    {
        return mApplication == nullptr ? Vx::VXR_NOTHING_DONE : mApplication->WindowHotKey(key);
    }

    Vx::VxRESULT RemoveContainedReferences() override
    {
        Clear();
        RemoveAllClients();
        Detach();
        return Vx::LRefCountedObject::RemoveContainedReferences();
    }
    void Clear()
    {
        mTop = nullptr;
        mCapture = nullptr;
        mTargets.RemoveAll();
        SetFocusControl(nullptr);
    }

    Vx::RCPtr<Vx::LControl> mTop;
    Vx::RCPtr<Vx::LControl> mCapture;
    // Hit-test candidates; later ones lie above earlier ones.
    Vx::RCPtrArray<Vx::LControl> mTargets;
    Vx::PointT<int> mPointer{0, 0};
    int mHeld = 0;
    int mModifiers = 0;
    InputLog mNextWindowKeys;
    // Answers for the window's hot keys; none when null.
    InputApplication* mApplication = nullptr;

private:
    InputWindow() = default;
};

class InputHarness
{
public:
    static constexpr const char* kInputClass = "Test.Input";

    InputHarness()
    {
        factory = Vx::MakeRCPtr<Vx::LControlFactory>("Harness");
        factory->RegisterControlType(kInputClass, &Vx::CreateControl<InputControl>);
        skin = new Vx::LControlDescriptor("Application", "skin", nullptr);
        factory->AddSkinRoot(skin);
        app = Vx::MakeRCPtr<InputApplication>(&appLog, factory);
        window = InputWindow::Create();
        window->mApplication = app.Get();
        app->AddRootWindow(window);
    }
    ~InputHarness()
    {
        window->Clear();
        if (!top.IsNull())
            top->SetRootWindow(nullptr);
        top = nullptr;
        app->RemoveRootWindow(window);
        window->RemoveContainedReferences();
        window = nullptr;
        app = nullptr;
        factory = nullptr;
        skin = nullptr;
    }
    InputHarness(const InputHarness&) = delete;
    InputHarness& operator=(const InputHarness&) = delete;

    // A control under the parent (the skin root: a top control filling the
    // window) at the rectangle of the parent's client area, with tab stop
    // and create parameters, of the input class unless told.
    Vx::RCPtr<Vx::LControlDescriptor> Describe(const char* name, const Vx::RCPtr<Vx::LControlDescriptor>& parent,
                                               const Vx::RectT<double>& rect, std::int32_t tabStop = 0,
                                               std::initializer_list<std::pair<const char*, const char*>> params = {},
                                               const char* className = kInputClass)
    {
        const Vx::RCPtr<Vx::LControlDescriptor> descriptor =
            DescribeAt(parent.IsNull() ? skin : parent, className, name, rect);
        descriptor->GetLayout()->TabStop = tabStop;
        for (const auto& [key, value] : params)
            ControlHarness::Param(descriptor, key, value);
        return descriptor;
    }

    // The skin's top control of the name in the window; every control of
    // its tree logs into log and is a hit-test candidate.
    Vx::RCPtr<Vx::LControl> CreateTop(const char* name)
    {
        top = factory->CreateTopLevelControl(name, window);
        window->mTop = top;
        window->mTargets.Add(top);
        top->CollectDescendants(window->mTargets);
        for (std::uint32_t i = 0; i < window->mTargets.GetCount(); ++i)
            dynamic_cast<InputControl&>(*window->mTargets[i]).mLog = &log;
        return top;
    }

    InputControl& Find(const char* name)
    {
        Vx::RCPtrArray<Vx::LControl> found;
        if (Vx::LControl::Text(name) == top->GetName())
            return dynamic_cast<InputControl&>(*top);
        top->FindDescendantsByName(name, found);
        if (found.GetCount() == 0)
            throw std::runtime_error(std::string("no control ") + name);
        return dynamic_cast<InputControl&>(*found[0]);
    }

    // The button goes down (held in the window) or up over the control, at
    // the point of its own frame.
    Vx::VxRESULT Press(Vx::LControl& control, int button, const Vx::PointT<int>& point)
    {
        window->mHeld |= button;
        return control.OnPointerDown(Vx::RCPtr<Vx::LMouseButtonParam>(
            new Vx::LMouseButtonParam(button, point, 0, false, static_cast<std::uint32_t>(window->mHeld), 0)));
    }
    Vx::VxRESULT Release(Vx::LControl& control, int button, const Vx::PointT<int>& point)
    {
        window->mHeld &= ~button;
        return control.OnPointerUp(Vx::RCPtr<Vx::LMouseButtonParam>(
            new Vx::LMouseButtonParam(button, point, 0, false, static_cast<std::uint32_t>(window->mHeld), 0)));
    }
    // The pointer moves to the point of the control's own frame (also the
    // window's pointer position).
    Vx::VxRESULT Move(Vx::LControl& control, const Vx::PointT<int>& point)
    {
        const Vx::PointT<int> origin = control.GetRectInRootWindow().GetOrigin().Round();
        window->mPointer = Vx::PointT<int>{origin.x + point.x, origin.y + point.y};
        return control.OnPointerMove(Vx::LPointWithModifiersParam::Create(point, 0, 0));
    }
    // The same with the point in window coordinates.
    Vx::VxRESULT MoveTo(Vx::LControl& control, const Vx::PointT<int>& windowPoint)
    {
        const Vx::PointT<int> origin = control.GetRectInRootWindow().GetOrigin().Round();
        return Move(control, Vx::PointT<int>{windowPoint.x - origin.x, windowPoint.y - origin.y});
    }
    Vx::VxRESULT Key(Vx::LControl& control, const Vx::KeyCode& key, std::uint8_t value = 0)
    {
        return control.OnKey(Vx::LKeyParam::Create(key, value));
    }

    void Advance(std::uint32_t milliseconds) { app->Advance(milliseconds); }
    bool Idle() { return window->ProcessIdle(true); }
    std::string FocusName() const
    {
        const Vx::RCPtr<Vx::LControl> focus = window->GetFocusControl();
        return focus.IsNull() ? "none" : focus->GetName().GetCString();
    }

    Log appLog;
    InputLog log;
    Vx::RCPtr<Vx::LControlFactory> factory;
    Vx::RCPtr<Vx::LControlDescriptor> skin;
    Vx::RCPtr<InputApplication> app;
    Vx::RCPtr<InputWindow> window;
    Vx::RCPtr<Vx::LControl> top;
};
} // namespace VxTest
