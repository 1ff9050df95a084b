/*
    The device's own calls behind the display backend's seams, one file per
    seam, always compiled: the device runs them, and the simulator replaces
    them only inside its scopes.  A new seam's implementation is added here.
*/

#include "juce_linuxfb_ConsoleSystemCalls.cpp"
#include "juce_linuxfb_DrmSystemCalls.cpp"
#include "juce_linuxfb_InputSystemCalls.cpp"
#include "juce_linuxfb_Rga2Abi.cpp"
#include "juce_linuxfb_RgaSystemCalls.cpp"
