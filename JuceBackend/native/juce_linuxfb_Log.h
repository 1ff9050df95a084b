#pragma once

#include <juce_core/juce_core.h>

#include <cstdio>
#include <cstring>

namespace juce
{

/** Writes one of the backend's failure lines to stderr: the text, then, when
    the failure came with an error number, what that number means, so that the
    line says why as well as what:  "drmModePageFlip failed: -16 (Device or
    resource busy)".  The texts before the brackets are what peers look for. */
inline void logBackendFailure (const String& text, int errorNumber = 0)
{
    // One write per line, so that lines of other threads do not cut into it.
    if (errorNumber > 0)
        std::fprintf (stderr, "%s (%s)\n", text.toRawUTF8(), std::strerror (errorNumber));
    else
        std::fprintf (stderr, "%s\n", text.toRawUTF8());
}

} // namespace juce
