#include "VxFramework/Application/OSWindowJuce.h"

#include "VxFramework/Application/FrameworkApp.h"
#include "VxFramework/ControlBase/ControlParams.h"
#include "VxFramework/ControlBase/RootWindow.h"
#include "VxFramework/Notification/Notification.h"
#include "VxFramework/ObjectBase/Exception.h"
#include "VxFramework/ObjectBase/NoDestructor.h"
#include "VxFramework/Renderer/JUCE/JUCERenderContextInfo.h"
#include "VxFramework/Renderer/Renderer.h"
#include "VxFramework/Utilities/DebugTracer.h"

#include <juce_gui_basics/juce_gui_basics.h>

namespace Vx
{
const StringT<char, unsigned short> UI_CURSOR_APP_STARTING("UI_CURSOR_APP_STARTING");
const StringT<char, unsigned short> UI_CURSOR_ARROW("UI_CURSOR_ARROW");
const StringT<char, unsigned short> UI_CURSOR_IBEAM("UI_CURSOR_IBEAM");
const StringT<char, unsigned short> UI_CURSOR_WAIT("UI_CURSOR_WAIT");
const StringT<char, unsigned short> UI_CURSOR_CROSS("UI_CURSOR_CROSS");
const StringT<char, unsigned short> UI_CURSOR_UP_ARROW("UI_CURSOR_UP_ARROW");
const StringT<char, unsigned short> UI_CURSOR_SIZE_ALL("UI_CURSOR_SIZE_ALL");
const StringT<char, unsigned short> UI_CURSOR_SIZE_NWSE("UI_CURSOR_SIZE_NWSE");
const StringT<char, unsigned short> UI_CURSOR_SIZE_NESW("UI_CURSOR_SIZE_NESW");
const StringT<char, unsigned short> UI_CURSOR_SIZE_WE("UI_CURSOR_SIZE_WE");
const StringT<char, unsigned short> UI_CURSOR_SIZE_NS("UI_CURSOR_SIZE_NS");
const StringT<char, unsigned short> UI_CURSOR_HAND("UI_CURSOR_HAND");
const StringT<char, unsigned short> UI_CURSOR_HELP("UI_CURSOR_HELP");
const StringT<char, unsigned short> UI_CURSOR_NO_DROP("UI_CURSOR_NO_DROP");
const StringT<char, unsigned short> UI_CURSOR_DROP_MOVE("UI_CURSOR_DROP_MOVE");
const StringT<char, unsigned short> UI_CURSOR_DROP_COPY("UI_CURSOR_DROP_COPY");
const StringT<char, unsigned short> UI_CURSOR_SPLIT_V("UI_CURSOR_SPLIT_V");
const StringT<char, unsigned short> UI_CURSOR_SPLIT_H("UI_CURSOR_SPLIT_H");
const StringT<char, unsigned short> UI_CURSOR_ROTATE("UI_CURSOR_ROTATE");
const StringT<char, unsigned short> UI_CURSOR_MAG("UI_CURSOR_MAG");
const StringT<char, unsigned short> UI_CURSOR_MAG_PLUS("UI_CURSOR_MAG_PLUS");
const StringT<char, unsigned short> UI_CURSOR_MAG_MINUS("UI_CURSOR_MAG_MINUS");
const StringT<char, unsigned short> UI_CURSOR_DEFAULT("UI_CURSOR_ARROW");

namespace
{
// The backend's key codes: the key symbol's low byte, with this flag for the
// keys that have no character.
constexpr int kExtendedKey = 0x10000000;

// Windows virtual-key numbers of the key-name table.
constexpr int kVkBack = 0x08;
constexpr int kVkTab = 0x09;
constexpr int kVkReturn = 0x0D;
constexpr int kVkEscape = 0x1B;
constexpr int kVkSpace = 0x20;
constexpr int kVkPageUp = 0x21;
constexpr int kVkPageDown = 0x22;
constexpr int kVkEnd = 0x23;
constexpr int kVkHome = 0x24;
constexpr int kVkLeft = 0x25;
constexpr int kVkUp = 0x26;
constexpr int kVkRight = 0x27;
constexpr int kVkDown = 0x28;
constexpr int kVkInsert = 0x2D;
constexpr int kVkDelete = 0x2E;
constexpr int kVkMultiply = 0x6A;
constexpr int kVkAdd = 0x6B;
constexpr int kVkSubtract = 0x6D;
constexpr int kVkDecimal = 0x6E;
constexpr int kVkDivide = 0x6F;
constexpr int kVkF1 = 0x70;

int VirtualKeyOfExtendedKey(int low)
{
    switch (low)
    {
    case 0x50:
        return kVkHome;
    case 0x51:
        return kVkLeft;
    case 0x52:
        return kVkUp;
    case 0x53:
        return kVkRight;
    case 0x54:
        return kVkDown;
    case 0x55:
        return kVkPageUp;
    case 0x56:
        return kVkPageDown;
    case 0x57:
        return kVkEnd;
    case 0x63:
        return kVkInsert;
    case 0xFF:
        return kVkDelete;
    default:
        break;
    }

    // F1 to F24 follow each other in both numberings.
    if (low >= 0xBE && low < 0xBE + 24)
        return kVkF1 + (low - 0xBE);

    return 0;
}
} // namespace

std::uint32_t ModifierFlagsFromJuce(const juce::ModifierKeys& modifiers, bool forKeyEvent)
{
    std::uint32_t flags = 0;

    if (modifiers.isShiftDown())
        flags |= kModifierShift;
    if (modifiers.isCtrlDown())
        flags |= forKeyEvent ? (kModifierCtrl | kModifierCmd) : kModifierCtrl;
    if (modifiers.isAltDown())
        flags |= kModifierAlt;

    return flags;
}

int PointerButtonFromJuce(const juce::ModifierKeys& modifiers)
{
    if (modifiers.isLeftButtonDown())
        return 1;
    if (modifiers.isRightButtonDown())
        return 4;
    if (modifiers.isMiddleButtonDown())
        return 2;
    return 0;
}

int VirtualKeyFromJuceKeyCode(int juceKeyCode)
{
    if ((juceKeyCode & kExtendedKey) != 0)
        return VirtualKeyOfExtendedKey(juceKeyCode & 0xFF);

    switch (juceKeyCode)
    {
    case 8:
        return kVkBack;
    case 9:
        return kVkTab;
    case 13:
        return kVkReturn;
    case 27:
        return kVkEscape;
    case ' ':
        return kVkSpace;
    case '*':
        return kVkMultiply;
    case '+':
        return kVkAdd;
    case '-':
        return kVkSubtract;
    case 0xAD:
        return kVkSubtract; // the keypad's minus
    case '.':
        return kVkDecimal;
    case '/':
        return kVkDivide;
    case 0x7F:
        return kVkDelete;
    default:
        break;
    }

    if (juceKeyCode >= '0' && juceKeyCode <= '9')
        return juceKeyCode;
    if (juceKeyCode >= 'A' && juceKeyCode <= 'Z')
        return juceKeyCode;
    if (juceKeyCode >= 'a' && juceKeyCode <= 'z')
        return juceKeyCode - 'a' + 'A';
    // Ctrl with a letter gives its control character.
    if (juceKeyCode >= 1 && juceKeyCode <= 26)
        return 'A' + juceKeyCode - 1;

    return 0;
}

JuceKeyCodes KeyCodesFromJuceKeyPress(const juce::KeyPress& key)
{
    const std::uint32_t flags = ModifierFlagsFromJuce(key.getModifiers(), true);
    const auto character = static_cast<unsigned short>(key.getTextCharacter() & 0xFFFF);
    return {KeyCode(VirtualKeyFromJuceKeyCode(key.getKeyCode()), flags), KeyCode(character, flags)};
}

juce::MouseCursor* LoadCursor(const StringT<char, unsigned short>& name)
{
    LFrameworkApp* app = LFrameworkApp::GetApplication();
    return app != nullptr ? app->LoadCursor(name) : nullptr;
}

// ---- OSWindow ------------------------------------------------------------------

namespace
{
constexpr int kButtonsOfJuce[][2] = {
    {juce::ModifierKeys::leftButtonModifier, IWindowOSServices::kButtonLeft},
    {juce::ModifierKeys::middleButtonModifier, IWindowOSServices::kButtonMiddle},
    {juce::ModifierKeys::rightButtonModifier, IWindowOSServices::kButtonRight},
};

PointT<int> PointOf(const juce::MouseEvent& event)
{
    return PointT<int>{event.x, event.y};
}

unsigned int SourceOf(const juce::MouseEvent& event)
{
    return static_cast<unsigned int>(event.source.getIndex());
}
} // namespace

OSWindow::OSWindow() : juce::DocumentWindow("Root window", juce::Colour(0xFFD3D3D3), 7, true)
{
    setRepaintsOnMouseActivity(false);
    centreWithSize(getWidth(), getHeight());
    setUsingNativeTitleBar(true);
}

OSWindow::~OSWindow()
{
    if (!mRootWindow.IsNull())
    {
        // From here on this window's reference is an outside one again: the
        // last release below breaks the root window's own cycles.
        mRootWindow->AdjustContainedRefCount(-1);
        if (LFrameworkApp* app = LFrameworkApp::GetApplication())
            app->RemoveRootWindow(mRootWindow);
    }

    setMenuBar(nullptr);
    clearContentComponent();
    mRenderContext = nullptr;
    mRenderer = nullptr;
    mRootWindow = nullptr;
}

VxRESULT OSWindow::CreateRootWindow(int rendererKind)
{
    RectT<int> client{0, 0, 0, 0};
    GetClientRect(client);
    const RCPtr<LRenderer> renderer =
        LRenderer::CreateRenderer(rendererKind, client, reinterpret_cast<std::intptr_t>(GetNativeHandle()));
    const VxRESULT result = AttachRenderer(renderer);
    // Further windows are given their renderer by AttachRenderer.
    VX_ASSERT(IsMainWindow());
    return result;
}

VxRESULT OSWindow::AttachRenderer(const RCPtr<LRenderer>& renderer)
{
    mRenderer = renderer;

    RectT<int> client{0, 0, 0, 0};
    GetClientRect(client);
    mRenderContext = nullptr;
    if (!renderer.IsNull())
        renderer->CreateRenderContext(client, reinterpret_cast<std::intptr_t>(GetNativeHandle()), false,
                                      mRenderContext);

    const RCPtr<LRootWindow> root = LRootWindow::Create(renderer, this);
    // The root window holds this window as its services: the reference back is
    // a contained one, so that the application's release breaks the cycle.
    root->AdjustContainedRefCount(1);
    mRootWindow = root;

    if (LFrameworkApp* app = LFrameworkApp::GetApplication())
        app->AddRootWindow(mRootWindow);
    return VXR_OK;
}

bool OSWindow::IsMainWindow() const
{
    LFrameworkApp* app = LFrameworkApp::GetApplication();
    if (mRootWindow.IsNull() || app == nullptr || app->GetRootWindows().GetCount() == 0)
        return false;
    return app->GetRootWindow(0).Get() == mRootWindow.Get();
}

void OSWindow::systemPowerKeyPressed()
{
    DebugTracer::Get().Trace(-1, "OSWindow::systemPowerKeyPressed");
    if (!IsMainWindow())
        return;
    if (LFrameworkApp* app = LFrameworkApp::GetApplication())
        app->OnPowerButtonPressed();
}

// ---- JUCE callbacks -------------------------------------------------------------

void OSWindow::StorePointer(const juce::MouseEvent& event)
{
    mPointerX = event.x;
    mPointerY = event.y;
}

void OSWindow::mouseMove(const juce::MouseEvent& event)
{
    StorePointer(event);
    if (!mRootWindow.IsNull())
        mRootWindow->PointerMove(PointOf(event), static_cast<int>(ModifierFlagsFromJuce(event.mods, false)),
                                 SourceOf(event));
}

void OSWindow::mouseDrag(const juce::MouseEvent& event)
{
    mouseMove(event);
}

void OSWindow::mouseDown(const juce::MouseEvent& event)
{
    const int button = PointerButtonFromJuce(event.mods);
    mHeldButtons |= button;
    StorePointer(event);
    if (mRootWindow.IsNull())
        return;
    if (mRootWindow->GetFocusControl().IsNull())
        setFocusContainerType(juce::Component::FocusContainerType::focusContainer);
    mRootWindow->PointerButton(0, button, static_cast<int>(ModifierFlagsFromJuce(event.mods, false)), PointOf(event),
                               SourceOf(event));
}

void OSWindow::mouseUp(const juce::MouseEvent& event)
{
    const int button = PointerButtonFromJuce(event.mods);
    mHeldButtons &= ~button;
    StorePointer(event);
    if (!mRootWindow.IsNull())
        mRootWindow->PointerButton(1, button, static_cast<int>(ModifierFlagsFromJuce(event.mods, false)),
                                   PointOf(event), SourceOf(event));
}

void OSWindow::mouseDoubleClick(const juce::MouseEvent& event)
{
    StorePointer(event);
    if (!mRootWindow.IsNull())
        mRootWindow->PointerButton(2, PointerButtonFromJuce(event.mods),
                                   static_cast<int>(ModifierFlagsFromJuce(event.mods, false)), PointOf(event),
                                   SourceOf(event));
}

bool OSWindow::keyPressed(const juce::KeyPress& key)
{
    if (mRootWindow.IsNull())
        return false;

    // The virtual key first, then the character: a control that takes only
    // one of them sees it before the other.
    const JuceKeyCodes codes = KeyCodesFromJuceKeyPress(key);
    mRootWindow->DispatchKey(LKeyParam::Create(codes.virtualKey, 1));
    if (!mRootWindow.IsNull())
        mRootWindow->DispatchKey(LKeyParam::Create(codes.character, 1));
    return false;
}

void OSWindow::paint(juce::Graphics& graphics)
{
    if (mRootWindow.IsNull() || mRenderer.IsNull() || mRenderContext.IsNull())
        return;

    const juce::Rectangle<int> clip = graphics.getClipBounds();
    RgnLight dirty;
    mRootWindow->TakeDirtyRegion(dirty);

    RgnLight& region = mRenderContext->GetDirtyRegion();
    region.Clear();
    region.Append(dirty);
    region.AddRect(RgnLight::Rect{clip.getX(), clip.getY(), clip.getRight(), clip.getBottom()});

    auto* juceContext = dynamic_cast<LJUCERenderContextInfo*>(mRenderContext.Get());
    if (juceContext != nullptr)
        juceContext->SetTargetGraphics(&graphics);

    if (mRenderer->RenderStart(mRenderContext) < 0)
        VX_ASSERT_FALSE();

    // Dirty region and clip together may cover the whole window.
    RgnLight merged;
    merged.Append(region);
    merged.Optimize();
    RgnLight::Rect whole = RgnLight::Rect::FromRectT(mRenderContext->GetContextRect());
    RgnLight::Rect bounds{0, 0, 0, 0};
    const bool isWhole = merged.GetCount() == 1 && merged.GetBounds(bounds) && bounds == whole;
    mRootWindow->Paint(isWhole ? merged : dirty);

    if (mRenderer->RenderFinish(mRenderContext) < 0)
        VX_ASSERT_FALSE();

    if (juceContext != nullptr)
        juceContext->SetTargetGraphics(nullptr);
}

void OSWindow::resized()
{
    if (!mRootWindow.IsNull())
    {
        const PointT<int> size{getWidth(), getHeight()};
        mRootWindow->OnWindowResized(size);
        if (!mRenderContext.IsNull())
            mRenderContext->SetContextRect(RectT<std::int32_t>{0, 0, size.x, size.y});
    }
    juce::DocumentWindow::resized();
}

void OSWindow::closeButtonPressed()
{
    if (IsMainWindow())
    {
        RCPtr<LNotification> request;
        LNotification::Create(request, "NID_APP_EXIT_REQ", nullptr);
        if (const RCPtr<LNotificationCenter> center = LFrameworkApp::GetApplication()->GetDefaultNotificationCenter();
            !center.IsNull())
            center->Post(request);
        return;
    }
    if (!mRootWindow.IsNull())
        mRootWindow->OnCloseButton();
}

// ---- Window services ------------------------------------------------------------

VxRESULT OSWindow::SetTitle(const StringT<char, unsigned short>& title)
{
    if (juce::ComponentPeer* peer = getPeer())
        peer->setTitle(juce::String::fromUTF8(title.GetCString()));
    return VXR_OK;
}

VxRESULT OSWindow::InvalidateClient()
{
    RectT<int> client{0, 0, 0, 0};
    GetClientRect(client);
    return InvalidateRect(client);
}

VxRESULT OSWindow::InvalidateRect(const RectT<int>& rectangle)
{
    // Any thread: JUCE's repaint wants the message manager.
    const juce::MessageManagerLock lock;
    repaint(rectangle.x, rectangle.y, rectangle.width, rectangle.height);
    return VXR_OK;
}

VxRESULT OSWindow::GetClientRect(RectT<int>& rectangle)
{
    const juce::BorderSize<int> border = getBorderThickness();
    rectangle = RectT<int>{0, 0, getWidth() - border.getLeftAndRight(),
                           getHeight() - getTitleBarHeight() - border.getTopAndBottom()};
    return VXR_OK;
}

PointT<int> OSWindow::ScreenToClient(const PointT<int>& screenPoint)
{
    const juce::Point<int> local = getLocalPoint(nullptr, juce::Point<int>(screenPoint.x, screenPoint.y));
    return PointT<int>{local.x, local.y};
}

PointT<int> OSWindow::ClientToScreen(const PointT<int>& clientPoint)
{
    const juce::Point<int> global = localPointToGlobal(juce::Point<int>(clientPoint.x, clientPoint.y));
    return PointT<int>{global.x, global.y};
}

VxRESULT OSWindow::SetBounds(const RectT<int>& rectangle)
{
    setBounds(rectangle.x, rectangle.y, rectangle.width, rectangle.height);
    return VXR_OK;
}

VxRESULT OSWindow::ShowWindow(int showCode)
{
    switch (showCode)
    {
    case 0:
        setVisible(false);
        break;
    case 1:
        setFullScreen(false);
        break;
    case 2:
    case 7:
    case 11:
        setMinimised(true);
        break;
    case 3:
        setFullScreen(true);
        break;
    case 4:
    case 8:
        toFront(false);
        break;
    case 5:
    case 10:
        setVisible(true);
        break;
    case 9:
        if (isMinimised())
            setMinimised(false);
        else if (!isFullScreen())
            setVisible(true);
        else
            setFullScreen(false);
        break;
    default:
        // 6 and codes above 11 change nothing.
        break;
    }
    return VXR_OK;
}

VxRESULT OSWindow::Repaint()
{
    repaint();
    return VXR_OK;
}

VxRESULT OSWindow::BringToFront()
{
    toFront(true);
    return VXR_OK;
}

VxRESULT OSWindow::ToFront(bool grabFocus)
{
    toFront(grabFocus);
    return VXR_OK;
}

VxRESULT OSWindow::Close(int result)
{
    if (mInModalLoop)
        exitModalState(result);
    delete this;
    return VXR_OK;
}

int OSWindow::RunModalLoop()
{
    mInModalLoop = true;
    // Close ends the loop and deletes the window before the loop returns.
    const juce::Component::SafePointer<OSWindow> alive(this);
    const int result = runModalLoop();
    if (alive != nullptr)
        mInModalLoop = false;
    return result;
}

bool OSWindow::IsActive()
{
    return isActiveWindow();
}

bool OSWindow::HasKeyboardFocus()
{
    return hasKeyboardFocus(true);
}

VxRESULT OSWindow::GrabKeyboardFocus()
{
    grabKeyboardFocus();
    return VXR_OK;
}

juce::MouseCursor* OSWindow::SetCursor(juce::MouseCursor*)
{
    // The window always shows the normal cursor; the caller gets the one it
    // replaced, kept here.
    // Never destroyed: a cursor may outlive the display it was made for.
    static NoDestructor<juce::MouseCursor> previous;
    *previous = getMouseCursor();
    setMouseCursor(juce::MouseCursor::NormalCursor);
    return &*previous;
}

PointT<int> OSWindow::GetMousePosition()
{
    const juce::Point<float> local =
        getLocalPoint(nullptr, juce::Desktop::getInstance().getMainMouseSource().getScreenPosition());
    mPointerX = static_cast<std::int32_t>(local.x);
    mPointerY = static_cast<std::int32_t>(local.y);
    return PointT<int>{mPointerX, mPointerY};
}

int OSWindow::GetMouseButtons()
{
    VX_ASSERT(IsActive());
    if (isMouseButtonDown(true))
    {
        const juce::ModifierKeys modifiers = juce::Desktop::getInstance().getMainMouseSource().getCurrentModifiers();
        mHeldButtons = 0;
        for (const auto& pair : kButtonsOfJuce)
            if ((modifiers.getRawFlags() & pair[0]) != 0)
                mHeldButtons |= pair[1];
    }
    return mHeldButtons;
}

void* OSWindow::GetNativeHandle()
{
    return getWindowHandle();
}

VxRESULT OSWindow::SetTextEntryMode(bool, int)
{
    return VXR_OK;
}

// ---- Wait cursor ----------------------------------------------------------------

WaitCursorScope::WaitCursorScope(const StringT<char, unsigned short>& text)
{
    LFrameworkApp* app = LFrameworkApp::GetApplication();
    if (app == nullptr)
        return;

    mRootWindow = app->GetActiveRootWindow();
    if (mRootWindow.IsNull() && app->GetRootWindows().GetCount() > 0)
        mRootWindow = app->GetRootWindow(0);
    if (!mRootWindow.IsNull())
        mPreviousCursor = mRootWindow->SetCursor(LoadCursor(UI_CURSOR_WAIT));
    app->SetStatusText(text, 1);
    app->ProcessIdle(true);
}

WaitCursorScope::~WaitCursorScope()
{
    if (!mRootWindow.IsNull())
        mRootWindow->SetCursor(mPreviousCursor);
    if (LFrameworkApp* app = LFrameworkApp::GetApplication())
        app->RestoreStatusText(0);
    mRootWindow = nullptr;
}
} // namespace Vx
