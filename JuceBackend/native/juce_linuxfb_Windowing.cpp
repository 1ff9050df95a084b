#include "juce_linuxfb_Backend.h"
#include "juce_linuxfb_ComponentPeer.h"
#include "juce_linuxfb_DrmDevice.h"
#include "juce_linuxfb_DrmRgaPageFlipper.h"
#include "juce_linuxfb_Input.h"

#include <cstdio>
#include <cstdlib>
#include <xkbcommon/xkbcommon-keysyms.h>

namespace juce
{

//==============================================================================
LinuxFbBackend::InputEventHandler LinuxFbBackend::inputEventHandler = nullptr;

void LinuxFbBackend::startUp()
{
    auto* device = DrmDevice::getInstance();

    if (device == nullptr || ! device->open())
        std::abort();

    LinuxFbInput::setUpKeyboard();
}

void LinuxFbBackend::releasePointerDevices()
{
    if (auto* device = DrmDevice::getInstanceWithoutCreating())
        device->releasePointerDevices();
}

void LinuxFbBackend::shutDown()
{
    LinuxFbInput::releaseKeyboard();
    DrmDevice::shutdown();
}

bool LinuxFbBackend::handleDrmEvents()
{
    if (auto* device = DrmDevice::getInstanceWithoutCreating())
        return DrmPageFlipper::handleDrmEvents (device->getDrmDescriptor());

    return false;
}

bool LinuxFbBackend::handleAcceleratorCompletions()
{
    if (auto* device = DrmDevice::getInstanceWithoutCreating())
        return DrmRgaPageFlipper::handleCompletions (device->getAcceleratorDescriptor());

    return false;
}

void LinuxFbBackend::handleDisplayHotplug()
{
    if (auto* device = DrmDevice::getInstanceWithoutCreating())
    {
        device->scanScreens();
        const_cast<Displays&> (Desktop::getInstance().getDisplays()).refresh();
    }
}

int LinuxFbBackend::getDrmDescriptor()
{
    if (auto* device = DrmDevice::getInstanceWithoutCreating())
        return device->getDrmDescriptor();

    return -1;
}

int LinuxFbBackend::getAcceleratorDescriptor()
{
    if (auto* device = DrmDevice::getInstanceWithoutCreating())
        return device->getAcceleratorDescriptor();

    return -1;
}

//==============================================================================
void Displays::findDisplays (float masterScale)
{
    auto* device = DrmDevice::getInstanceWithoutCreating();

    if (device == nullptr)
        return;

    for (auto* screen : device->getScreens())
    {
        const auto area = screen->getArea();
        const auto scaled = area.toFloat() * masterScale;

        if ((int) scaled.getWidth() == 0)
            continue;

        Display d;
        d.totalArea = d.userArea = scaled.toNearestInt();
        d.topLeftPhysical = area.getTopLeft();
        d.scale = masterScale;
        d.dpi = 72.0;
        d.isMain = area.getX() == 0;
        displays.add (d);
    }
}

//==============================================================================
// JUCE's cursors are hardware cursors of the screens.
class MouseCursor::PlatformSpecificHandle
{
public:
    explicit PlatformSpecificHandle (MouseCursor::StandardCursorType type)
        : cursor (LinuxFbCursors::createStandardCursor ((int) type)) {}

    explicit PlatformSpecificHandle (const CustomMouseCursorInfo& info)
        : cursor (LinuxFbCursors::createCustomCursor (imageOf (info), info.hotspot)) {}

    static void showInWindow (PlatformSpecificHandle* handle, ComponentPeer* peer)
    {
        if (auto* fbPeer = dynamic_cast<LinuxFbComponentPeer*> (peer))
            fbPeer->setCursor (handle != nullptr ? handle->cursor.get() : nullptr);

        LinuxFbComponentPeer::refreshCursor();
    }

private:
    static Image imageOf (const CustomMouseCursorInfo& info)
    {
        // The screens have a scale of 1: a cursor made for another scale is
        // drawn at its size in logical pixels.
        auto image = info.image.getImage();
        const auto scale = info.image.getScale();

        if (scale == 1.0 || scale <= 0.0)
            return image;

        return image.rescaled (jmax (1, (int) (image.getWidth() / scale)), jmax (1, (int) (image.getHeight() / scale)));
    }

    DrmCursor::Ptr cursor;

    JUCE_DECLARE_NON_COPYABLE (PlatformSpecificHandle)
};

//==============================================================================
// Platform hooks of the GUI module that a device without a window system has
// no use for: neutral answers.
class Desktop::NativeDarkModeChangeDetectorImpl
{
public:
    bool isDarkModeEnabled() const noexcept     { return false; }
};

std::unique_ptr<Desktop::NativeDarkModeChangeDetectorImpl> Desktop::createNativeDarkModeChangeDetectorImpl()
{
    return std::make_unique<NativeDarkModeChangeDetectorImpl>();
}

bool Desktop::isDarkModeActive() const                               { return false; }

class AccessibilityHandler::AccessibilityNativeImpl
{
public:
    explicit AccessibilityNativeImpl (AccessibilityHandler&) {}
};

void AccessibilityHandler::notifyAccessibilityEvent (AccessibilityEvent) const {}
void AccessibilityHandler::postAnnouncement (const String&, AnnouncementPriority) {}
AccessibilityNativeHandle* AccessibilityHandler::getNativeImplementation() const  { return nullptr; }
void notifyAccessibilityEventInternal (const AccessibilityHandler&, InternalAccessibilityEvent) {}

std::unique_ptr<AccessibilityHandler::AccessibilityNativeImpl> AccessibilityHandler::createNativeImpl (AccessibilityHandler&)
{
    return nullptr;
}

bool juce_areThereAnyAlwaysOnTopWindows()                           { return false; }
bool isWindowOnCurrentVirtualDesktop (void*)                         { return true; }

ScopedDPIAwarenessDisabler::ScopedDPIAwarenessDisabler()            { ignoreUnused (previousContext); }
ScopedDPIAwarenessDisabler::~ScopedDPIAwarenessDisabler()           {}

JUCE_API bool JUCE_CALLTYPE Process::isForegroundProcess()          { return true; }
JUCE_API void JUCE_CALLTYPE Process::makeForegroundProcess()        {}
JUCE_API void JUCE_CALLTYPE Process::hide()                         {}

void Desktop::setKioskComponent (Component*, bool, bool)            {}
bool Desktop::canUseSemiTransparentWindows() noexcept               { return false; }
void Desktop::setScreenSaverEnabled (bool)                          {}
bool Desktop::isScreenSaverEnabled()                                { return false; }
double Desktop::getDefaultMasterScale()                             { return 1.0; }
Desktop::DisplayOrientation Desktop::getCurrentOrientation() const  { return upright; }
void Desktop::allowedOrientationsChanged()                          {}

//==============================================================================
ComponentPeer* Component::createNewPeer (int styleFlags, void*)
{
    auto* peer = new LinuxFbComponentPeer (*this, styleFlags);
    peer->handleFocusGain();
    return peer;
}

Point<float> MouseInputSource::getCurrentRawMousePosition()
{
    if (auto* device = DrmDevice::getInstanceWithoutCreating())
        return device->getMousePosition().toFloat();

    return {};
}

void MouseInputSource::setRawMousePosition (Point<float> newPosition)
{
    // Only the first screen's cursor moves: the pointer itself stays where
    // input put it.
    if (auto* device = DrmDevice::getInstanceWithoutCreating())
        if (auto* screen = device->getScreens().getFirst())
            screen->setCursorPosition ((int) newPosition.x, (int) newPosition.y);
}

//==============================================================================
// The clipboard lives in the process: there is no other program to share it with.
namespace
{
    struct Clipboard
    {
        CriticalSection lock;
        String text;
    };

    Clipboard& processClipboard()
    {
        static auto* clipboard = new Clipboard();
        return *clipboard;
    }
}

void SystemClipboard::copyTextToClipboard (const String& text)
{
    auto& clipboard = processClipboard();
    const ScopedLock sl (clipboard.lock);
    clipboard.text = text;
}

String SystemClipboard::getTextFromClipboard()
{
    auto& clipboard = processClipboard();
    const ScopedLock sl (clipboard.lock);
    return clipboard.text;
}

void LookAndFeel::playAlertSound()
{
    std::fputc ('\a', stdout);
    std::fflush (stdout);
}

Image juce_createIconForFile (const File&)                           { return {}; }

bool DragAndDropContainer::performExternalDragDropOfFiles (const StringArray&, bool, Component*, std::function<void()>)
{
    jassertfalse;
    return false;
}

bool DragAndDropContainer::performExternalDragDropOfText (const String&, Component*, std::function<void()>)
{
    jassertfalse;
    return false;
}

// No native file dialog: JUCE's own file browser is used instead.
bool FileChooser::isPlatformDialogAvailable()                        { return false; }

std::shared_ptr<FileChooser::Pimpl> FileChooser::showPlatformDialog (FileChooser&, int, FilePreviewComponent*)
{
    return nullptr;
}

//==============================================================================
// There is no native message box: JUCE's alert windows stand in for it. They
// are windows like any other, painted on the screen, and a synchronous one
// keeps the message loop (painting, input, quitting, SIGINT) running while it
// waits for its button.
#if JUCE_MODAL_LOOPS_PERMITTED
void JUCE_CALLTYPE NativeMessageBox::showMessageBox (MessageBoxIconType iconType, const String& title,
                                                     const String& message, Component*)
{
    AlertWindow::showMessageBox (iconType, title, message);
}

int JUCE_CALLTYPE NativeMessageBox::show (const MessageBoxOptions& options)
{
    return AlertWindow::show (options);
}
#endif

void JUCE_CALLTYPE NativeMessageBox::showMessageBoxAsync (MessageBoxIconType iconType, const String& title,
                                                          const String& message, Component* associatedComponent,
                                                          ModalComponentManager::Callback* callback)
{
    AlertWindow::showMessageBoxAsync (iconType, title, message, {}, associatedComponent, callback);
}

bool JUCE_CALLTYPE NativeMessageBox::showOkCancelBox (MessageBoxIconType iconType, const String& title,
                                                      const String& message, Component* associatedComponent,
                                                      ModalComponentManager::Callback* callback)
{
    return AlertWindow::showOkCancelBox (iconType, title, message, {}, {}, associatedComponent, callback);
}

int JUCE_CALLTYPE NativeMessageBox::showYesNoCancelBox (MessageBoxIconType iconType, const String& title,
                                                        const String& message, Component* associatedComponent,
                                                        ModalComponentManager::Callback* callback)
{
    return AlertWindow::showYesNoCancelBox (iconType, title, message, {}, {}, {}, associatedComponent, callback);
}

int JUCE_CALLTYPE NativeMessageBox::showYesNoBox (MessageBoxIconType iconType, const String& title,
                                                  const String& message, Component* associatedComponent,
                                                  ModalComponentManager::Callback* callback)
{
    return AlertWindow::showOkCancelBox (iconType, title, message, TRANS ("Yes"), TRANS ("No"),
                                         associatedComponent, callback);
}

void JUCE_CALLTYPE NativeMessageBox::showAsync (const MessageBoxOptions& options, ModalComponentManager::Callback* callback)
{
    AlertWindow::showAsync (options, callback);
}

void JUCE_CALLTYPE NativeMessageBox::showAsync (const MessageBoxOptions& options, std::function<void (int)> callback)
{
    AlertWindow::showAsync (options, std::move (callback));
}

//==============================================================================
// Key codes follow the key symbols: the low byte of the symbol, with the
// extended flag for the keys that have no character.
namespace LinuxFbKeys
{
    constexpr int extended = 0x10000000;
    constexpr int plain (int keysym)       { return keysym & 0xff; }
    constexpr int special (int keysym)     { return (keysym & 0xff) | extended; }
}

const int KeyPress::spaceKey              = LinuxFbKeys::plain (XKB_KEY_space);
const int KeyPress::returnKey             = LinuxFbKeys::plain (XKB_KEY_Return);
const int KeyPress::escapeKey             = LinuxFbKeys::plain (XKB_KEY_Escape);
const int KeyPress::backspaceKey          = LinuxFbKeys::plain (XKB_KEY_BackSpace);
const int KeyPress::tabKey                = LinuxFbKeys::plain (XKB_KEY_Tab);
const int KeyPress::leftKey               = LinuxFbKeys::special (XKB_KEY_Left);
const int KeyPress::rightKey              = LinuxFbKeys::special (XKB_KEY_Right);
const int KeyPress::upKey                 = LinuxFbKeys::special (XKB_KEY_Up);
const int KeyPress::downKey               = LinuxFbKeys::special (XKB_KEY_Down);
const int KeyPress::pageUpKey             = LinuxFbKeys::special (XKB_KEY_Page_Up);
const int KeyPress::pageDownKey           = LinuxFbKeys::special (XKB_KEY_Page_Down);
const int KeyPress::endKey                = LinuxFbKeys::special (XKB_KEY_End);
const int KeyPress::homeKey               = LinuxFbKeys::special (XKB_KEY_Home);
const int KeyPress::insertKey             = LinuxFbKeys::special (XKB_KEY_Insert);
const int KeyPress::deleteKey             = LinuxFbKeys::special (XKB_KEY_Delete);
const int KeyPress::F1Key                 = LinuxFbKeys::special (XKB_KEY_F1);
const int KeyPress::F2Key                 = LinuxFbKeys::special (XKB_KEY_F2);
const int KeyPress::F3Key                 = LinuxFbKeys::special (XKB_KEY_F3);
const int KeyPress::F4Key                 = LinuxFbKeys::special (XKB_KEY_F4);
const int KeyPress::F5Key                 = LinuxFbKeys::special (XKB_KEY_F5);
const int KeyPress::F6Key                 = LinuxFbKeys::special (XKB_KEY_F6);
const int KeyPress::F7Key                 = LinuxFbKeys::special (XKB_KEY_F7);
const int KeyPress::F8Key                 = LinuxFbKeys::special (XKB_KEY_F8);
const int KeyPress::F9Key                 = LinuxFbKeys::special (XKB_KEY_F9);
const int KeyPress::F10Key                = LinuxFbKeys::special (XKB_KEY_F10);
const int KeyPress::F11Key                = LinuxFbKeys::special (XKB_KEY_F11);
const int KeyPress::F12Key                = LinuxFbKeys::special (XKB_KEY_F12);
const int KeyPress::F13Key                = LinuxFbKeys::special (XKB_KEY_F13);
const int KeyPress::F14Key                = LinuxFbKeys::special (XKB_KEY_F14);
const int KeyPress::F15Key                = LinuxFbKeys::special (XKB_KEY_F15);
const int KeyPress::F16Key                = LinuxFbKeys::special (XKB_KEY_F16);
const int KeyPress::F17Key                = LinuxFbKeys::special (XKB_KEY_F17);
const int KeyPress::F18Key                = LinuxFbKeys::special (XKB_KEY_F18);
const int KeyPress::F19Key                = LinuxFbKeys::special (XKB_KEY_F19);
const int KeyPress::F20Key                = LinuxFbKeys::special (XKB_KEY_F20);
const int KeyPress::F21Key                = LinuxFbKeys::special (XKB_KEY_F21);
const int KeyPress::F22Key                = LinuxFbKeys::special (XKB_KEY_F22);
const int KeyPress::F23Key                = LinuxFbKeys::special (XKB_KEY_F23);
const int KeyPress::F24Key                = LinuxFbKeys::special (XKB_KEY_F24);
const int KeyPress::F25Key                = LinuxFbKeys::special (XKB_KEY_F25);
const int KeyPress::F26Key                = LinuxFbKeys::special (XKB_KEY_F26);
const int KeyPress::F27Key                = LinuxFbKeys::special (XKB_KEY_F27);
const int KeyPress::F28Key                = LinuxFbKeys::special (XKB_KEY_F28);
const int KeyPress::F29Key                = LinuxFbKeys::special (XKB_KEY_F29);
const int KeyPress::F30Key                = LinuxFbKeys::special (XKB_KEY_F30);
const int KeyPress::F31Key                = LinuxFbKeys::special (XKB_KEY_F31);
const int KeyPress::F32Key                = LinuxFbKeys::special (XKB_KEY_F32);
const int KeyPress::F33Key                = LinuxFbKeys::special (XKB_KEY_F33);
const int KeyPress::F34Key                = LinuxFbKeys::special (XKB_KEY_F34);
const int KeyPress::F35Key                = LinuxFbKeys::special (XKB_KEY_F35);
const int KeyPress::numberPad0            = LinuxFbKeys::special (XKB_KEY_KP_0);
const int KeyPress::numberPad1            = LinuxFbKeys::special (XKB_KEY_KP_1);
const int KeyPress::numberPad2            = LinuxFbKeys::special (XKB_KEY_KP_2);
const int KeyPress::numberPad3            = LinuxFbKeys::special (XKB_KEY_KP_3);
const int KeyPress::numberPad4            = LinuxFbKeys::special (XKB_KEY_KP_4);
const int KeyPress::numberPad5            = LinuxFbKeys::special (XKB_KEY_KP_5);
const int KeyPress::numberPad6            = LinuxFbKeys::special (XKB_KEY_KP_6);
const int KeyPress::numberPad7            = LinuxFbKeys::special (XKB_KEY_KP_7);
const int KeyPress::numberPad8            = LinuxFbKeys::special (XKB_KEY_KP_8);
const int KeyPress::numberPad9            = LinuxFbKeys::special (XKB_KEY_KP_9);
const int KeyPress::numberPadAdd          = LinuxFbKeys::special (XKB_KEY_KP_Add);
const int KeyPress::numberPadSubtract     = LinuxFbKeys::special (XKB_KEY_KP_Subtract);
const int KeyPress::numberPadMultiply     = LinuxFbKeys::special (XKB_KEY_KP_Multiply);
const int KeyPress::numberPadDivide       = LinuxFbKeys::special (XKB_KEY_KP_Divide);
const int KeyPress::numberPadSeparator    = LinuxFbKeys::special (XKB_KEY_KP_Separator);
const int KeyPress::numberPadDecimalPoint = LinuxFbKeys::special (XKB_KEY_KP_Decimal);
const int KeyPress::numberPadEquals       = LinuxFbKeys::special (XKB_KEY_KP_Equal);
const int KeyPress::numberPadDelete       = LinuxFbKeys::special (XKB_KEY_KP_Delete);
// Media keys have no key symbols of their own here.
const int KeyPress::playKey               = ((int) 0xffeeff00) | LinuxFbKeys::extended;
const int KeyPress::stopKey               = ((int) 0xffeeff01) | LinuxFbKeys::extended;
const int KeyPress::fastForwardKey        = ((int) 0xffeeff02) | LinuxFbKeys::extended;
const int KeyPress::rewindKey             = ((int) 0xffeeff03) | LinuxFbKeys::extended;

} // namespace juce
