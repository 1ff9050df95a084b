#pragma once

#include "Panel/Engine/TestAppCommon/TestEngine.h"
#include "Panel/Main/TestIdentifiers.h"
#include "VxFramework/Notification/NotificationClient.h"
#include "VxFramework/Notification/NotificationDistributor.h"
#include "VxFramework/Notification/NotificationHandler.h"
#include "VxFramework/ObjectBase/RefCountedObject.h"
#include "VxFramework/ObjectBase/Result.h"
#include "VxFramework/Utilities/Storage/StringT.h"
#include "VxFramework/Utilities/Storage/VxArray.h"

#include <cstdint>

namespace Vx
{
// The ids the executer sends to its own clients, without a parameter.
inline constexpr const char* kTestSequenceStartedId = "NID_TEST_SEQUENCE_STARTED";
inline constexpr const char* kTestSequenceCompletedId = "NID_TEST_SEQUENCE_COMPLETED";

// Runs one test sequence for a sequence view: its groups one after another,
// the tests of a group at the same time, each test through its own engine.
// It learns of the tests' progress from the engines' notifications on the
// "application" centre and starts the next group when every test of the
// current one has completed.  Clients register on it for
// NID_TEST_SEQUENCE_STARTED and NID_TEST_SEQUENCE_COMPLETED, which it sends
// synchronously.
//
// Main thread only.
class LTestSequenceExecuter : public LNotificationClient, public LNotificationDistributor
{
public:
    using String = StringT<char, unsigned short>;

    // Entry states.
    static constexpr std::int32_t kEntryPending = 0;
    static constexpr std::int32_t kEntryStarted = 1;
    static constexpr std::int32_t kEntryCompleted = 2;

    // One test of the sequence: its binding (the button name left empty), its
    // own engine and its state in the current run.
    struct TestEntry : TestBinding
    {
        RCPtr<LTestEngine> engine;
        std::int32_t state = kEntryPending;
    };

    LTestSequenceExecuter();
    ~LTestSequenceExecuter() override;

    NotificationHandlerResultCode Receive(const RCPtr<LNotificationDistributor>& from,
                                          const ConstRCPtr<LNotification>& notification) override;
    using LNotificationClient::Unregister;
    VxRESULT Unregister(const RCPtr<LNotificationDistributor>& from, const char* id) override;
    // Aborts the tests still running, then leaves every distributor and lets
    // every client go.
    VxRESULT RemoveContainedReferences() override;

    // Appends the table's groups with a new engine per test and registers for
    // the engines' notifications: 0; 0x80000008 (after an assertion) when an
    // engine cannot be made, leaving the groups appended before it; 0x80000003
    // (after an assertion, nothing appended) for a table with an empty group
    // or a test id repeated within a group, which could never complete.
    VxRESULT Init(const TestGroup* groups, std::uint32_t count);
    VxRESULT Init(const TestSequence& sequence) { return Init(sequence.groups, sequence.count); }
    // 0 when the first group was started; 1 while running or without groups.
    VxRESULT Start();
    // The engine of the first entry with the id, groups and entries in order.
    RCPtr<LTestEngine> FindEngine(const String& testId) const;
    bool IsRunning() const noexcept { return mCurrentGroup != -1; }
    // Starts every engine of the group: 0; 1 for an empty group;
    // 0x80000003 (after an assertion) for an index out of range.
    VxRESULT RunGroup(std::int32_t group);
    // Every entry completed; false for an index out of range.
    bool IsGroupCompleted(std::int32_t group) const;
    // Sets the state of the group's first entry with the id: 0; 0x80000003 for
    // a group out of range (also -1, idle); 0x80000008 when no entry matches.
    VxRESULT SetEntryState(std::int32_t group, const String& testId, std::int32_t state);

    NotificationHandlerResultCode OnTestStarted(const RCPtr<LNotificationDistributor>& from,
                                                const ConstRCPtr<LNotification>& notification);
    NotificationHandlerResultCode OnTestCompleted(const RCPtr<LNotificationDistributor>& from,
                                                  const ConstRCPtr<LNotification>& notification);

    std::int32_t GetCurrentGroup() const noexcept { return mCurrentGroup; }
    std::uint32_t GetGroupCount() const { return mGroups.GetCount(); }
    const Array<TestEntry>& GetGroup(std::uint32_t group) const { return *mGroups.GetAtConst(group); }

private:
    void SendToClients(const char* id);
    void AbortTests();

    RCPtr<LNotificationHandler<LTestSequenceExecuter>> mHandler;
    Array<Array<TestEntry>> mGroups;
    std::int32_t mCurrentGroup = -1;
};
} // namespace Vx
