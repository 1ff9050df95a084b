#pragma once

#include "VxFramework/ControlBase/Control.h"
#include "VxFramework/ObjectBase/Result.h"
#include "VxFramework/Utilities/Storage/StringT.h"

namespace Vx
{
// One line of status text.  Texts are posted and shown at the next idle tick
// (the newest of several wins), or shown at once.
class LStatusBar : public LControl
{
public:
    // Any thread; the queue's post result.
    virtual VxRESULT PostStatusText(const StringT<char, unsigned short>& text) = 0;
    // Delivers the waiting posts first, so that none overwrites this text later.
    virtual VxRESULT SetStatusTextNow(const StringT<char, unsigned short>& text) = 0;
    // The text the status bar returns to.
    virtual StringT<char, unsigned short> GetDefaultText() const = 0;
};
} // namespace Vx
