#include "Panel/Engine/TestAppCommon/TestSequenceExecuter.h"

#include "Panel/Engine/TestAppCommon/TestFactory.h"
#include "VxFramework/Notification/Notification.h"
#include "VxFramework/ObjectBase/Exception.h"

namespace Vx
{
namespace
{
// A table the executer can run: no empty group, and no id twice within a
// group (entries are found by id, so the second would never complete).
bool IsRunnable(const TestGroup* groups, std::uint32_t count)
{
    if (groups == nullptr && count != 0)
        return false;
    for (std::uint32_t g = 0; g < count; ++g)
    {
        const TestGroup& group = groups[g];
        if (group.bindings == nullptr || group.count == 0)
            return false;
        for (std::uint32_t i = 0; i < group.count; ++i)
        {
            for (std::uint32_t j = 0; j < i; ++j)
            {
                if (group.bindings[i].testId == group.bindings[j].testId)
                    return false;
            }
        }
    }
    return true;
}
} // namespace

LTestSequenceExecuter::LTestSequenceExecuter() : mHandler(MakeRCPtr<LNotificationHandler<LTestSequenceExecuter>>(this))
{
}

LTestSequenceExecuter::~LTestSequenceExecuter() = default;

NotificationHandlerResultCode LTestSequenceExecuter::Receive(const RCPtr<LNotificationDistributor>& from,
                                                             const ConstRCPtr<LNotification>& notification)
{
    return mHandler->Receive(from, notification);
}

VxRESULT LTestSequenceExecuter::Unregister(const RCPtr<LNotificationDistributor>& from, const char* id)
{
    mHandler->RemoveEntry(from, id);
    return LNotificationClient::Unregister(from, id);
}

VxRESULT LTestSequenceExecuter::RemoveContainedReferences()
{
    // The view that held it is going: its tests must not run on unseen.
    AbortTests();
    UnregisterAll();
    RemoveAllClients();
    return LRefCountedObject::RemoveContainedReferences();
}

VxRESULT LTestSequenceExecuter::Init(const TestGroup* groups, std::uint32_t count)
{
    if (!IsRunnable(groups, count))
    {
        VX_ASSERT_FALSE();
        return VXR_E_INVALIDARG;
    }
    const RCPtr<LTestEngineFactory> factory = GetApplicationTestEngineFactory();
    if (factory.IsNull())
    {
        VX_ASSERT_FALSE();
        return VXR_E_FAIL;
    }
    for (std::uint32_t g = 0; g < count; ++g)
    {
        Array<TestEntry> entries;
        for (std::uint32_t i = 0; i < groups[g].count; ++i)
        {
            const TestBinding& binding = groups[g].bindings[i];
            TestEntry entry;
            entry.resultParameterOffset = binding.resultParameterOffset;
            entry.logParameterOffset = binding.logParameterOffset;
            entry.testId = binding.testId;
            entry.statusLabelName = binding.statusLabelName;
            entry.engine = factory->Create(binding.testId);
            if (entry.engine.IsNull())
            {
                VX_ASSERT_FALSE();
                return VXR_E_FAIL;
            }
            // Registered on the centre the engine posts to; a repeated
            // registration changes nothing.
            const RCPtr<LNotificationDistributor> center(entry.engine->GetNotificationCenter());
            mHandler->Register(&LTestSequenceExecuter::OnTestStarted, center, kTestStartedId, 0);
            mHandler->Register(&LTestSequenceExecuter::OnTestCompleted, center, kTestCompletedId, 0);
            entries.Add(entry);
        }
        mGroups.Add(entries);
    }
    return VXR_OK;
}

VxRESULT LTestSequenceExecuter::Start()
{
    if (IsRunning() || mGroups.GetCount() == 0)
        return VXR_NOTHING_DONE;
    // A client's handler may release the view that holds this executer.
    const RCPtr<LTestSequenceExecuter> self(this);
    SendToClients(kTestSequenceStartedId);
    return RunGroup(0);
}

RCPtr<LTestEngine> LTestSequenceExecuter::FindEngine(const String& testId) const
{
    for (std::uint32_t g = 0; g < mGroups.GetCount(); ++g)
    {
        const Array<TestEntry>& entries = *mGroups.GetAtConst(g);
        for (std::uint32_t i = 0; i < entries.GetCount(); ++i)
        {
            if (entries.GetAtConst(i)->testId == testId)
                return entries.GetAtConst(i)->engine;
        }
    }
    return nullptr;
}

VxRESULT LTestSequenceExecuter::RunGroup(std::int32_t group)
{
    if (group < 0 || static_cast<std::uint32_t>(group) >= mGroups.GetCount())
    {
        VX_ASSERT_FALSE();
        return VXR_E_INVALIDARG;
    }
    Array<TestEntry>& entries = *mGroups.GetAt(static_cast<std::uint32_t>(group));
    if (entries.GetCount() == 0)
        return VXR_NOTHING_DONE;
    for (std::uint32_t i = 0; i < entries.GetCount(); ++i)
        entries.GetAt(i)->state = kEntryPending;
    mCurrentGroup = group;
    for (std::uint32_t i = 0; i < entries.GetCount(); ++i)
    {
        const TestEntry& entry = *entries.GetAt(i);
        if (Succeeded(entry.engine->Start()))
            continue;
        // A test that cannot start never reports, and its group would never
        // complete: it completes as failed, through the centre like any other
        // completion, so that the views show it and the sequence goes on.
        const RCPtr<LWrapper<TestCompletedPayload>> payload = MakeRCPtr<LWrapper<TestCompletedPayload>>();
        payload->name = entry.testId;
        payload->result = LTestEngine::kResultFailed;
        const VxRESULT posted = entry.engine->GetNotificationCenter()->PostNotification(kTestCompletedId, payload);
        VX_ASSERT(Succeeded(posted));
    }
    return VXR_OK;
}

bool LTestSequenceExecuter::IsGroupCompleted(std::int32_t group) const
{
    if (group < 0 || static_cast<std::uint32_t>(group) >= mGroups.GetCount())
        return false;
    const Array<TestEntry>& entries = *mGroups.GetAtConst(static_cast<std::uint32_t>(group));
    for (std::uint32_t i = 0; i < entries.GetCount(); ++i)
    {
        if (entries.GetAtConst(i)->state != kEntryCompleted)
            return false;
    }
    return true;
}

VxRESULT LTestSequenceExecuter::SetEntryState(std::int32_t group, const String& testId, std::int32_t state)
{
    if (group < 0 || static_cast<std::uint32_t>(group) >= mGroups.GetCount())
        return VXR_E_INVALIDARG;
    Array<TestEntry>& entries = *mGroups.GetAt(static_cast<std::uint32_t>(group));
    for (std::uint32_t i = 0; i < entries.GetCount(); ++i)
    {
        if (entries.GetAt(i)->testId == testId)
        {
            entries.GetAt(i)->state = state;
            return VXR_OK;
        }
    }
    return VXR_E_FAIL;
}

NotificationHandlerResultCode LTestSequenceExecuter::OnTestStarted(const RCPtr<LNotificationDistributor>& /*from*/,
                                                                   const ConstRCPtr<LNotification>& notification)
{
    const RCPtr<LWrapper<TestStartedPayload>> payload(notification->GetParam());
    if (payload.IsNull())
    {
        VX_ASSERT_FALSE();
        return 1;
    }
    SetEntryState(mCurrentGroup, payload->name, kEntryStarted);
    return 1;
}

NotificationHandlerResultCode LTestSequenceExecuter::OnTestCompleted(const RCPtr<LNotificationDistributor>& /*from*/,
                                                                     const ConstRCPtr<LNotification>& notification)
{
    const RCPtr<LWrapper<TestCompletedPayload>> payload(notification->GetParam());
    if (payload.IsNull())
    {
        VX_ASSERT_FALSE();
        return 1;
    }
    // The result is not looked at: a failed or aborted test completes its
    // entry too.  A test of another group or view, or one while idle, changes
    // nothing.
    if (Failed(SetEntryState(mCurrentGroup, payload->name, kEntryCompleted)) || !IsGroupCompleted(mCurrentGroup))
        return 1;
    const RCPtr<LTestSequenceExecuter> self(this);
    if (static_cast<std::uint32_t>(mCurrentGroup) + 1 == mGroups.GetCount())
    {
        // Idle before the clients hear of it, so that they may start again.
        mCurrentGroup = -1;
        SendToClients(kTestSequenceCompletedId);
    }
    else
    {
        RunGroup(mCurrentGroup + 1);
    }
    return 1;
}

void LTestSequenceExecuter::SendToClients(const char* id)
{
    RCPtr<LNotification> notification;
    LNotification::Create(notification, id, nullptr);
    Notify(notification);
}

void LTestSequenceExecuter::AbortTests()
{
    for (std::uint32_t g = 0; g < mGroups.GetCount(); ++g)
    {
        Array<TestEntry>& entries = *mGroups.GetAt(g);
        for (std::uint32_t i = 0; i < entries.GetCount(); ++i)
            entries.GetAt(i)->engine->Abort();
    }
    mCurrentGroup = -1;
}
} // namespace Vx
