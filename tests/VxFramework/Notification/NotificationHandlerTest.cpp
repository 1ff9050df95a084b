#include "VxFramework/Notification/NotificationHandler.h"

#include "tests/VxFramework/Notification/NotificationTestSupport.h"
#include "tests/support/CaptureStderr.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace
{
using Vx::RCPtr;
using VxTest::MakeNotification;

using Log = std::vector<std::string>;

// An owner that routes everything it receives through its table, as controls do.
class Owner : public Vx::LNotificationClient
{
public:
    Owner() : mTable(Vx::MakeRCPtr<Vx::LNotificationHandler<Owner>>(this)) {}

    Vx::NotificationHandlerResultCode Receive(const RCPtr<Vx::LNotificationDistributor>& from,
                                              const Vx::ConstRCPtr<Vx::LNotification>& notification) override
    {
        return mTable.IsNull() ? 0 : mTable->Receive(from, notification);
    }
    Vx::VxRESULT Unregister(const RCPtr<Vx::LNotificationDistributor>& from, const char* id) override
    {
        if (!mTable.IsNull())
            mTable->RemoveEntry(from, id);
        return LNotificationClient::Unregister(from, id);
    }

    Vx::NotificationHandlerResultCode OnFirst(const RCPtr<Vx::LNotificationDistributor>&,
                                              const Vx::ConstRCPtr<Vx::LNotification>& notification)
    {
        mLog.push_back(std::string("first:") + notification->GetId());
        return 1;
    }
    Vx::NotificationHandlerResultCode OnSecond(const RCPtr<Vx::LNotificationDistributor>&,
                                               const Vx::ConstRCPtr<Vx::LNotification>& notification)
    {
        mLog.push_back(std::string("second:") + notification->GetId());
        return 7;
    }

    RCPtr<Vx::LNotificationHandler<Owner>> mTable;
    Log mLog;
};

class HandlerTable : public ::testing::Test
{
protected:
    Vx::VxRESULT Send(const RCPtr<Vx::LNotificationDistributor>& from, const char* id)
    {
        return from->Notify(MakeNotification(id));
    }

    RCPtr<Vx::LNotificationDistributor> d1 = Vx::MakeRCPtr<Vx::LNotificationDistributor>();
    RCPtr<Vx::LNotificationDistributor> d2 = Vx::MakeRCPtr<Vx::LNotificationDistributor>();
    RCPtr<Owner> owner = Vx::MakeRCPtr<Owner>();
    Vx::LNotificationHandler<Owner>& table = *owner->mTable;
};

TEST_F(HandlerTable, RoutesEachDistributorAndIdToItsHandler)
{
    ASSERT_EQ(table.Register(&Owner::OnFirst, d1, "NID_LEFT_CLICK", 0), Vx::VXR_OK);
    ASSERT_EQ(table.Register(&Owner::OnSecond, d2, "NID_LEFT_CLICK", 0), Vx::VXR_OK);
    EXPECT_EQ(Send(d1, "NID_LEFT_CLICK"), Vx::VXR_OK);
    EXPECT_EQ(owner->mLog, Log{"first:NID_LEFT_CLICK"});
    Send(d2, "NID_LEFT_CLICK");
    EXPECT_EQ(owner->mLog, (Log{"first:NID_LEFT_CLICK", "second:NID_LEFT_CLICK"}));
    // The table answers with the handler's result, 0 for a pair it does not know.
    EXPECT_EQ(table.Receive(d2, MakeNotification("NID_LEFT_CLICK")), 7);
    EXPECT_EQ(table.Receive(d1, MakeNotification("NID_RIGHT_CLICK")), 0);
    EXPECT_EQ(table.Receive(nullptr, MakeNotification("NID_LEFT_CLICK")), 0);
    EXPECT_EQ(owner->mLog.size(), 3u);
}

TEST_F(HandlerTable, SecondRegistrationKeepsTheFirstHandlerAndOneUnregisterRemovesIt)
{
    EXPECT_EQ(table.Register(&Owner::OnFirst, d1, "NID_LEFT_CLICK", 0), Vx::VXR_OK);
    EXPECT_EQ(table.Register(&Owner::OnSecond, d1, "NID_LEFT_CLICK", 1), Vx::VXR_OK);
    EXPECT_EQ(table.GetEntryCount(), 1u);
    EXPECT_EQ(owner->GetRegistrationCount(), 1);
    Vx::LNotificationHandler<Owner>::Handler handler = nullptr;
    std::uint32_t flags = 0;
    EXPECT_EQ(table.GetRegistration(d1, "NID_LEFT_CLICK", handler, flags), Vx::VXR_OK);
    EXPECT_EQ(handler, &Owner::OnFirst);
    // The distributor keeps the newer flags.
    EXPECT_EQ(flags, 1u);
    EXPECT_EQ(table.Unregister(d1, "NID_LEFT_CLICK"), Vx::VXR_OK);
    EXPECT_EQ(table.GetEntryCount(), 0u);
    EXPECT_FALSE(d1->HasClient(RCPtr<Vx::LNotificationReceiver>(owner)));
    EXPECT_EQ(table.Unregister(d1, "NID_LEFT_CLICK"), Vx::VXR_E_FAIL);
    EXPECT_EQ(table.GetRegistration(d1, "NID_LEFT_CLICK", handler, flags), Vx::VXR_E_FAIL);
}

TEST_F(HandlerTable, FailedRegistrationsEnterNothing)
{
    EXPECT_EQ(table.Register(&Owner::OnFirst, nullptr, "NID_LEFT_CLICK", 0), Vx::VXR_E_INVALIDARG);
    {
        VxTest::CaptureStderr capture;
        EXPECT_EQ(table.Register(&Owner::OnFirst, d1, "", 0), Vx::VXR_E_FAIL);
        EXPECT_THROW(table.RegisterOrThrow(&Owner::OnFirst, d1, "", 0), Vx::Exception<Vx::FailedResultException>);
        EXPECT_EQ(table.RegisterLocal(&Owner::OnFirst, ""), Vx::VXR_E_INVALIDARG);
    }
    EXPECT_EQ(table.GetEntryCount(), 0u);
    EXPECT_EQ(owner->GetRegistrationCount(), 0);
}

TEST_F(HandlerTable, EntriesWithoutADistributorServeWhatTheOwnerIsHandedDirectly)
{
    ASSERT_EQ(table.RegisterLocal(&Owner::OnSecond, "NID_SIMULATE_CLICK"), Vx::VXR_OK);
    EXPECT_EQ(owner->GetRegistrationCount(), 0);
    EXPECT_EQ(owner->Receive(nullptr, MakeNotification("NID_SIMULATE_CLICK")), 7);
    EXPECT_EQ(owner->Receive(d1, MakeNotification("NID_SIMULATE_CLICK")), 0);
    Vx::LNotificationHandler<Owner>::Handler handler = nullptr;
    std::uint32_t flags = 5;
    EXPECT_EQ(table.GetRegistration(nullptr, "NID_SIMULATE_CLICK", handler, flags), Vx::VXR_OK);
    EXPECT_EQ(handler, &Owner::OnSecond);
    EXPECT_EQ(flags, 0u);
    {
        const Vx::LNotificationHandler<Owner>::SuspendRegistration suspended(owner->mTable, nullptr,
                                                                             "NID_SIMULATE_CLICK");
        EXPECT_EQ(owner->Receive(nullptr, MakeNotification("NID_SIMULATE_CLICK")), 0);
    }
    EXPECT_EQ(owner->Receive(nullptr, MakeNotification("NID_SIMULATE_CLICK")), 7);
    EXPECT_EQ(table.Unregister(nullptr, "NID_SIMULATE_CLICK"), Vx::VXR_OK);
    EXPECT_EQ(table.GetEntryCount(), 0u);
}

TEST_F(HandlerTable, SuspendedRegistrationComesBackWithItsHandlerAndFlags)
{
    ASSERT_EQ(table.Register(&Owner::OnSecond, d1, "NID_SCROLL_OFFSET_CHANGE", Vx::kNotificationPostedOnly),
              Vx::VXR_OK);
    ASSERT_EQ(table.Register(&Owner::OnFirst, d1, "NID_VALUE_CHANGE", 0), Vx::VXR_OK);
    {
        const Vx::LNotificationHandler<Owner>::SuspendRegistration suspended(owner->mTable, d1,
                                                                             "NID_SCROLL_OFFSET_CHANGE");
        EXPECT_EQ(table.Receive(d1, MakeNotification("NID_SCROLL_OFFSET_CHANGE")), 0);
        std::uint32_t flags = 0;
        EXPECT_EQ(d1->GetClientFlags(RCPtr<Vx::LNotificationReceiver>(owner), "NID_SCROLL_OFFSET_CHANGE", flags),
                  Vx::VXR_E_FAIL);
        EXPECT_EQ(owner->GetRegistrationCount(), 1);
    }
    Vx::LNotificationHandler<Owner>::Handler handler = nullptr;
    std::uint32_t flags = 0;
    EXPECT_EQ(table.GetRegistration(d1, "NID_SCROLL_OFFSET_CHANGE", handler, flags), Vx::VXR_OK);
    EXPECT_EQ(handler, &Owner::OnSecond);
    EXPECT_EQ(flags, Vx::kNotificationPostedOnly);
    EXPECT_EQ(owner->GetRegistrationCount(), 2);
}

TEST_F(HandlerTable, SuspendingWhatIsNotRegisteredThrows)
{
    try
    {
        const Vx::LNotificationHandler<Owner>::SuspendRegistration suspended(owner->mTable, d1, "NID_LEFT_CLICK");
        FAIL() << "no exception";
    }
    catch (const Vx::Exception<Vx::FailedResultException>& error)
    {
        const std::string text = error.what();
        EXPECT_EQ(text.rfind("Failed Result : VxRESULT = 80000008 :  : VxFramework/Notification/NotificationHandler.h : Line ",
                             0),
                  0u)
            << text;
    }
}

TEST_F(HandlerTable, SuspensionLeftByAnExceptionStillRestores)
{
    ASSERT_EQ(table.Register(&Owner::OnFirst, d1, "NID_LEFT_CLICK", 0), Vx::VXR_OK);
    EXPECT_THROW(
        {
            const Vx::LNotificationHandler<Owner>::SuspendRegistration suspended(owner->mTable, d1, "NID_LEFT_CLICK");
            throw std::runtime_error("block failed");
        },
        std::runtime_error);
    Send(d1, "NID_LEFT_CLICK");
    EXPECT_EQ(owner->mLog, Log{"first:NID_LEFT_CLICK"});
}

TEST_F(HandlerTable, DistributorBeingTornDownRemovesTheEntries)
{
    ASSERT_EQ(table.Register(&Owner::OnFirst, d1, "NID_LEFT_CLICK", 0), Vx::VXR_OK);
    ASSERT_EQ(table.Register(&Owner::OnFirst, d2, "NID_LEFT_CLICK", 0), Vx::VXR_OK);
    d1 = nullptr;
    EXPECT_EQ(table.GetEntryCount(), 1u);
    EXPECT_EQ(owner->GetRegistrationCount(), 1);
    Send(d2, "NID_LEFT_CLICK");
    EXPECT_EQ(owner->mLog.size(), 1u);
}

TEST(Receivable, EqualityAndOrderByDistributorThenId)
{
    const RCPtr<Vx::LNotificationDistributor> d = Vx::MakeRCPtr<Vx::LNotificationDistributor>();
    const Vx::Receivable a(d, "NID_LEFT_CLICK");
    const Vx::Receivable b(d, std::string("NID_LEFT_CLICK").c_str());
    const Vx::Receivable c(d, "NID_RIGHT_CLICK");
    const Vx::Receivable local(nullptr, "NID_LEFT_CLICK");
    EXPECT_TRUE(a == b);
    EXPECT_FALSE(a < b || b < a);
    EXPECT_FALSE(a == c);
    EXPECT_TRUE(a < c || c < a);
    // The null distributor orders before every other.
    EXPECT_TRUE(local < a && local < c);
}
} // namespace
