#include "VxFramework/System/ClipBoard.h"

#include "VxFramework/ControlBase/Control.h"
#include "VxFramework/ControlBase/ControlHost.h"
#include "VxFramework/ControlBase/RootWindow.h"
#include "VxFramework/ObjectBase/Exception.h"

#include <juce_gui_basics/juce_gui_basics.h>

#include <exception>

namespace Vx
{
LClipboard::LClipboard() = default;

LClipboard::~LClipboard() = default;

RCPtr<LClipboard> LClipboard::Create()
{
    RCPtr<LClipboard> clipboard(new LClipboard());
    if (clipboard.IsNull())
        VX_ASSERT_FALSE();
    return clipboard;
}

VxRESULT LClipboard::Initialize()
{
    mHandler = MakeRCPtr<LNotificationHandler<LClipboard>>(this);
    try
    {
        IControlHost* const host = GetControlHost();
        const RCPtr<LNotificationDistributor> center(host != nullptr ? host->GetDefaultNotificationCenter() : nullptr);
        VX_THROW_IF_FAILED(mHandler->Register(&LClipboard::OnCut, center, "NID_EDIT_CUT_REQ", 0));
        VX_THROW_IF_FAILED(mHandler->Register(&LClipboard::OnCopy, center, "NID_EDIT_COPY_REQ", 0));
        VX_THROW_IF_FAILED(mHandler->Register(&LClipboard::OnPaste, center, "NID_EDIT_PASTE_REQ", 0));
        VX_THROW_IF_FAILED(mHandler->Register(&LClipboard::OnDelete, center, "NID_EDIT_DELETE_REQ", 0));
    }
    catch (const std::exception&)
    {
        VX_ASSERT_FALSE();
        return VXR_E_FAIL;
    }
    mInitialized = true;
    return VXR_OK;
}

NotificationHandlerResultCode LClipboard::Receive(const RCPtr<LNotificationDistributor>& from,
                                                  const ConstRCPtr<LNotification>& notification)
{
    if (mHandler.IsNull() || !mInitialized)
        return 0;
    return mHandler->Receive(from, notification);
}

VxRESULT LClipboard::Unregister(const RCPtr<LNotificationDistributor>& from, const char* id)
{
    if (!mHandler.IsNull())
        mHandler->RemoveEntry(from, id);
    return LNotificationClient::Unregister(from, id);
}

RCPtr<LControl> LClipboard::FindFocusedEditTarget(std::int32_t operation)
{
    IControlHost* const host = GetControlHost();
    if (host == nullptr)
        return nullptr;
    const RCPtr<LRootWindow> active = host->GetActiveRootWindow();
    if (active.IsNull())
        return nullptr;
    const RCPtr<LControl> focused = active->GetFocusControl();
    if (focused.IsNull())
        return nullptr;
    return focused->FindEditTarget(operation);
}

VxRESULT LClipboard::EditFocused(std::int32_t operation)
{
    const RCPtr<LControl> target = FindFocusedEditTarget(operation);
    if (target.IsNull() || !target->CanPerformEdit(operation))
        return VXR_NOTHING_DONE;
    return target->PerformEdit(operation);
}

bool LClipboard::CanEditFocused(std::int32_t operation)
{
    const RCPtr<LControl> target = FindFocusedEditTarget(operation);
    return !target.IsNull() && target->CanPerformEdit(operation);
}

VxRESULT LClipboard::SetContent(const RCPtr<LRefCountedObject>& content)
{
    mContent = content;
    if (const auto* text = dynamic_cast<const StringContent*>(content.Get()))
        juce::SystemClipboard::copyTextToClipboard(juce::String::fromUTF8(text->GetCString()));
    return VXR_OK;
}

RCPtr<LRefCountedObject> LClipboard::GetContent()
{
    const juce::String text = juce::SystemClipboard::getTextFromClipboard();
    mContent = RCPtr<LRefCountedObject>(MakeRCPtr<StringContent>(String(text.toRawUTF8())));
    return mContent;
}

NotificationHandlerResultCode LClipboard::OnCut(const RCPtr<LNotificationDistributor>&,
                                                const ConstRCPtr<LNotification>&)
{
    EditFocused(kEditCut);
    return 1;
}

NotificationHandlerResultCode LClipboard::OnCopy(const RCPtr<LNotificationDistributor>&,
                                                 const ConstRCPtr<LNotification>&)
{
    EditFocused(kEditCopy);
    return 1;
}

NotificationHandlerResultCode LClipboard::OnPaste(const RCPtr<LNotificationDistributor>&,
                                                  const ConstRCPtr<LNotification>&)
{
    EditFocused(kEditPaste);
    return 1;
}

NotificationHandlerResultCode LClipboard::OnDelete(const RCPtr<LNotificationDistributor>&,
                                                   const ConstRCPtr<LNotification>&)
{
    EditFocused(kEditDelete);
    return 1;
}
} // namespace Vx
