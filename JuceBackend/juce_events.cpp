/*
    JUCE's events module for the device: JUCE's portable sources from the
    installed package, and this backend's message loop in place of JUCE's Linux
    messaging (there is no window system to run JUCE's own run loop against).
*/

#ifdef JUCE_EVENTS_H_INCLUDED
 #error "The module unit must be compiled on its own"
#endif

#define JUCE_CORE_INCLUDE_OBJC_HELPERS 1
#define JUCE_CORE_INCLUDE_JNI_HELPERS 1
#define JUCE_CORE_INCLUDE_NATIVE_HEADERS 1
#define JUCE_CORE_INCLUDE_COM_SMART_PTR 1

#include <juce_events/juce_events.h>

#include <unistd.h>

#include "juce_events_portable.h"

#include "native/juce_linuxfb_Messaging.cpp"

#include "juce_events_portable_tail.h"
