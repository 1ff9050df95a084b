/*
    JUCE's GUI module for the device: JUCE's portable sources from the installed
    package, and this backend's DRM screens in place of JUCE's X11 windowing.
*/

#ifdef JUCE_GUI_BASICS_H_INCLUDED
 #error "The module unit must be compiled on its own"
#endif

#define JUCE_CORE_INCLUDE_OBJC_HELPERS 1
#define JUCE_CORE_INCLUDE_COM_SMART_PTR 1
#define JUCE_CORE_INCLUDE_JNI_HELPERS 1
#define JUCE_CORE_INCLUDE_NATIVE_HEADERS 1
#define JUCE_GRAPHICS_INCLUDE_COREGRAPHICS_HELPERS 1

#include <juce_gui_basics/juce_gui_basics.h>

#include <cctype>

// What JUCE's portable sources expect their module unit to declare.
#define JUCE_ASSERT_MESSAGE_MANAGER_IS_LOCKED_OR_OFFSCREEN \
    jassert ((MessageManager::getInstanceWithoutCreating() != nullptr \
               && MessageManager::getInstanceWithoutCreating()->currentThreadHasLockedMessageManager()) \
              || getPeer() == nullptr);

namespace juce
{
    bool juce_areThereAnyAlwaysOnTopWindows();
    bool isWindowOnCurrentVirtualDesktop (void*);

    // The application is the only process on the display.
    static bool isForegroundOrEmbeddedProcess (Component*)    { return Process::isForegroundProcess(); }

    struct CustomMouseCursorInfo
    {
        ScaledImage image;
        Point<int> hotspot;
    };
}

#include "juce_gui_basics_portable.h"

#include "native/juce_linuxfb_SoftwareRenderer.cpp"
#include "native/juce_linuxfb_DrmDumbBuffer.cpp"
#include "native/juce_linuxfb_DrmPageFlipper.cpp"
#include "native/juce_linuxfb_DrmDirectPageFlipper.cpp"
#include "native/juce_linuxfb_DrmRgaPageFlipper.cpp"
#include "native/juce_linuxfb_DrmCursor.cpp"
#include "native/juce_linuxfb_DrmScreen.cpp"
#include "native/juce_linuxfb_DrmDevice.cpp"
#include "native/juce_linuxfb_ComponentPeer.cpp"
#include "native/juce_linuxfb_Input.cpp"
#include "native/juce_linuxfb_Windowing.cpp"

#include "juce_gui_basics_portable_tail.h"
