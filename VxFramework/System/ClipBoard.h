#pragma once

#include "VxFramework/Notification/Notification.h"
#include "VxFramework/Notification/NotificationClient.h"
#include "VxFramework/Notification/NotificationHandler.h"
#include "VxFramework/ObjectBase/RefCountedObject.h"
#include "VxFramework/ObjectBase/Result.h"
#include "VxFramework/ObjectBase/TaggableObject.h"
#include "VxFramework/Utilities/Storage/StringT.h"

#include <cstdint>

namespace Vx
{
class LControl;

// The application's clipboard: it turns the edit requests posted to the
// default notification centre into edit operations on the focused control of
// the active root window, and holds the clipboard content, mirrored to the
// system clipboard as text.  Main thread only.
class LClipboard : public LNotificationClient
{
public:
    using String = StringT<char, unsigned short>;
    // The one kind of content that reaches the system clipboard.
    using StringContent = LWrapperStringable<String, &StringToString, LTaggableObject>;

    // Edit operations passed to the controls.
    static constexpr std::int32_t kEditDelete = 0;
    static constexpr std::int32_t kEditCut = 1;
    static constexpr std::int32_t kEditCopy = 2;
    static constexpr std::int32_t kEditPaste = 3;

    // Uninitialised.
    static RCPtr<LClipboard> Create();
    ~LClipboard() override;

    // Registers for the cut, copy, paste and delete requests on the default
    // centre.  0; 0x80000008 (after an assertion) when a registration failed,
    // leaving the clipboard uninitialised with the registrations made so far.
    VxRESULT Initialize();
    bool IsInitialized() const noexcept { return mInitialized; }

    // The handler table's result once initialised; 0 before.
    NotificationHandlerResultCode Receive(const RCPtr<LNotificationDistributor>& from,
                                          const ConstRCPtr<LNotification>& notification) override;
    VxRESULT Unregister(const RCPtr<LNotificationDistributor>& from, const char* id) override;

    // The focused control's edit target performs the operation.  1 when there
    // is no active root window, no focused edit target, or the target cannot
    // perform it; else the target's result.
    VxRESULT EditFocused(std::int32_t operation);
    // Whether EditFocused would reach a target that can perform the operation.
    bool CanEditFocused(std::int32_t operation);

    // Stores the content; text content is also copied to the system
    // clipboard.  0.
    VxRESULT SetContent(const RCPtr<LRefCountedObject>& content);
    // The system clipboard's text, stored as the new content.
    RCPtr<LRefCountedObject> GetContent();

private:
    LClipboard();

    // The focused control's edit target in the active root window; null when
    // there is none.
    static RCPtr<LControl> FindFocusedEditTarget(std::int32_t operation);

    NotificationHandlerResultCode OnCut(const RCPtr<LNotificationDistributor>& from,
                                        const ConstRCPtr<LNotification>& notification);
    NotificationHandlerResultCode OnCopy(const RCPtr<LNotificationDistributor>& from,
                                         const ConstRCPtr<LNotification>& notification);
    NotificationHandlerResultCode OnPaste(const RCPtr<LNotificationDistributor>& from,
                                          const ConstRCPtr<LNotification>& notification);
    NotificationHandlerResultCode OnDelete(const RCPtr<LNotificationDistributor>& from,
                                           const ConstRCPtr<LNotification>& notification);

    RCPtr<LNotificationHandler<LClipboard>> mHandler;
    RCPtr<LRefCountedObject> mContent;
    bool mInitialized = false;
};
} // namespace Vx
