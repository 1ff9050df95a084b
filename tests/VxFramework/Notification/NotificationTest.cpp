#include "VxFramework/Notification/Notification.h"

#include "tests/VxFramework/Notification/NotificationTestSupport.h"
#include "tests/support/CaptureStderr.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

namespace
{
using VxTest::CountedParam;
using VxTest::MakeNotification;

std::uint32_t TableCount()
{
    const Vx::ScopedLock lock(Vx::GetNotificationLock());
    return Vx::GetNotificationNameTable().GetCount();
}

TEST(NotificationIds, EqualTextsShareOnePointer)
{
    std::string first = "NID_TEST_INTERN_EQUAL";
    std::string second = first;
    const char* id = Vx::InternNotificationId(first.c_str());
    ASSERT_NE(id, nullptr);
    EXPECT_NE(id, first.c_str());
    EXPECT_EQ(Vx::InternNotificationId(second.c_str()), id);
    // An interned id comes back unchanged.
    EXPECT_EQ(Vx::InternNotificationId(id), id);
    EXPECT_STREQ(id, "NID_TEST_INTERN_EQUAL");
    // The caller's buffer may go; the id stays.
    first.assign(40, 'x');
    EXPECT_STREQ(id, "NID_TEST_INTERN_EQUAL");
    EXPECT_NE(Vx::InternNotificationId("nid_test_intern_equal"), id);
}

TEST(NotificationIds, NullOrEmptyTextIsRefusedWithAnAssertion)
{
    const std::uint32_t before = TableCount();
    for (const char* text : {static_cast<const char*>(nullptr), ""})
    {
        VxTest::CaptureStderr capture;
        EXPECT_EQ(Vx::InternNotificationId(text), nullptr);
        EXPECT_NE(capture.Finish().find("JUCE Assertion failure in Notification.h:"), std::string::npos);
    }
    EXPECT_EQ(TableCount(), before);
}

TEST(NotificationIds, PointersStayValidWhileTheTableGrows)
{
    const char* first = Vx::InternNotificationId("NID_TEST_GROWTH_FIRST");
    std::vector<const char*> ids;
    for (int i = 0; i < 500; ++i)
        ids.push_back(Vx::InternNotificationId(("NID_TEST_GROWTH_" + std::to_string(i)).c_str()));
    EXPECT_STREQ(first, "NID_TEST_GROWTH_FIRST");
    EXPECT_EQ(Vx::InternNotificationId("NID_TEST_GROWTH_FIRST"), first);
    for (int i = 0; i < 500; ++i)
        EXPECT_EQ(Vx::InternNotificationId(("NID_TEST_GROWTH_" + std::to_string(i)).c_str()), ids[i]);
}

TEST(NotificationIds, ThreadsInterningTheSameTextsGetTheSamePointers)
{
    constexpr int kThreads = 8;
    constexpr int kNames = 100;
    std::vector<std::vector<const char*>> results(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
    {
        threads.emplace_back([t, &results] {
            for (int i = 0; i < kNames; ++i)
            {
                // Each thread walks the names in another order.
                const int n = (i * 7 + t * 13) % kNames;
                const std::string text = "NID_TEST_THREADED_" + std::to_string(n);
                results[t].push_back(Vx::InternNotificationId(text.c_str()));
            }
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    for (int t = 0; t < kThreads; ++t)
    {
        for (int i = 0; i < kNames; ++i)
        {
            const int n = (i * 7 + t * 13) % kNames;
            EXPECT_EQ(results[t][i], Vx::InternNotificationId(("NID_TEST_THREADED_" + std::to_string(n)).c_str()));
        }
    }
}

// Pooling is process-wide; every test leaves it off.
class NotificationPool : public ::testing::Test
{
protected:
    void TearDown() override { Vx::LNotification::SetPoolingEnabled(false); }
};

TEST_F(NotificationPool, ReleasedNotificationIsReusedWithTheNewIdAndParameter)
{
    Vx::LNotification::SetPoolingEnabled(true);
    int paramsDestroyed = 0;
    Vx::RCPtr<Vx::LNotification> first = MakeNotification("NID_TEST_A", Vx::MakeRCPtr<CountedParam>(&paramsDestroyed));
    ASSERT_FALSE(first.IsNull());
    const Vx::LNotification* address = first.Get();
    first = nullptr;
    // The parameter goes with the last reference, not at reuse.
    EXPECT_EQ(paramsDestroyed, 1);
    EXPECT_EQ(Vx::LNotification::GetPoolCount(), 1u);

    const Vx::RCPtr<Vx::LRefCountedObject> param = Vx::MakeRCPtr<CountedParam>(&paramsDestroyed, 7);
    const Vx::RCPtr<Vx::LNotification> second = MakeNotification("NID_TEST_B", param);
    EXPECT_EQ(second.Get(), address);
    EXPECT_EQ(second->GetId(), Vx::InternNotificationId("NID_TEST_B"));
    EXPECT_EQ(second->GetParam(), param);
    EXPECT_EQ(second->GetRefCount(), 1u);
    EXPECT_FALSE(second->IsPosted());
    EXPECT_EQ(Vx::LNotification::GetPoolCount(), 0u);
}

TEST_F(NotificationPool, NotificationIsNotRecycledWhileAnyoneHoldsIt)
{
    Vx::LNotification::SetPoolingEnabled(true);
    int paramsDestroyed = 0;
    Vx::RCPtr<Vx::LNotification> sender = MakeNotification("NID_TEST_A", Vx::MakeRCPtr<CountedParam>(&paramsDestroyed));
    Vx::RCPtr<Vx::LNotification> keeper = sender;
    sender = nullptr;
    EXPECT_EQ(paramsDestroyed, 0);
    EXPECT_EQ(Vx::LNotification::GetPoolCount(), 0u);
    keeper = nullptr;
    EXPECT_EQ(paramsDestroyed, 1);
    EXPECT_EQ(Vx::LNotification::GetPoolCount(), 1u);
}

TEST_F(NotificationPool, DisablingEmptiesThePoolAndLaterReleasesFree)
{
    Vx::LNotification::SetPoolingEnabled(true);
    {
        std::vector<Vx::RCPtr<Vx::LNotification>> many;
        for (int i = 0; i < 5; ++i)
            many.push_back(MakeNotification("NID_TEST_A"));
    }
    EXPECT_EQ(Vx::LNotification::GetPoolCount(), 5u);
    Vx::LNotification::SetPoolingEnabled(false);
    EXPECT_EQ(Vx::LNotification::GetPoolCount(), 0u);
    MakeNotification("NID_TEST_A");
    EXPECT_EQ(Vx::LNotification::GetPoolCount(), 0u);
}

TEST_F(NotificationPool, EmptyNameGivesNullAndLeavesThePoolAlone)
{
    Vx::LNotification::SetPoolingEnabled(true);
    MakeNotification("NID_TEST_A");
    ASSERT_EQ(Vx::LNotification::GetPoolCount(), 1u);
    Vx::RCPtr<Vx::LNotification> result = MakeNotification("NID_TEST_A");
    VxTest::CaptureStderr capture;
    Vx::LNotification::Create(result, "", nullptr);
    capture.Finish();
    EXPECT_TRUE(result.IsNull());
    // The one held by result went back.
    EXPECT_EQ(Vx::LNotification::GetPoolCount(), 1u);
}

TEST_F(NotificationPool, ThreadsCreateAndReleaseThroughOnePool)
{
    Vx::LNotification::SetPoolingEnabled(true);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
    {
        threads.emplace_back([] {
            for (int i = 0; i < 2000; ++i)
            {
                const Vx::RCPtr<Vx::LNotification> notification =
                    MakeNotification("NID_TEST_POOL_THREADS", Vx::MakeRCPtr<Vx::LHolder<int>>(i));
                ASSERT_EQ(notification->GetId(), Vx::InternNotificationId("NID_TEST_POOL_THREADS"));
                ASSERT_EQ(dynamic_cast<const Vx::LHolder<int>&>(*notification->GetParam()).GetValue(), i);
            }
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_LE(Vx::LNotification::GetPoolCount(), 4u);
}

TEST(Notification, SetIdAndSetParam)
{
    const Vx::RCPtr<Vx::LNotification> notification = MakeNotification("NID_TEST_A");
    EXPECT_EQ(notification->SetId("NID_TEST_B"), Vx::VXR_OK);
    EXPECT_EQ(notification->GetId(), Vx::InternNotificationId("NID_TEST_B"));
    VxTest::CaptureStderr capture;
    EXPECT_EQ(notification->SetId(""), Vx::VXR_E_INVALIDARG);
    capture.Finish();
    EXPECT_EQ(notification->GetId(), Vx::InternNotificationId("NID_TEST_B"));
    const Vx::RCPtr<Vx::LRefCountedObject> param = Vx::MakeRCPtr<Vx::LHolder<int>>(3);
    EXPECT_EQ(notification->SetParam(param), Vx::VXR_OK);
    EXPECT_EQ(notification->GetParam(), param);
}

TEST(NotificationParams, ReceiverFindsTheParameterClassByDynamicCast)
{
    const Vx::RCPtr<Vx::LNotification> notification =
        MakeNotification("NID_SET_STATUS_TEXT",
                         Vx::MakeRCPtr<Vx::LWrapperStringable<Vx::StringT<char, unsigned short>, &Vx::StringToString,
                                                              Vx::LTaggableObject>>("Ready"));
    const auto* text = dynamic_cast<const Vx::LWrapperStringable<Vx::StringT<char, unsigned short>,
                                                                 &Vx::StringToString, Vx::LTaggableObject>*>(
        notification->GetParam().Get());
    ASSERT_NE(text, nullptr);
    EXPECT_STREQ(text->GetCString(), "Ready");
    // The text form goes through the object's own operation.
    EXPECT_STREQ(notification->GetParam()->ToString().GetCString(), "Ready");
    EXPECT_NE(dynamic_cast<const Vx::LTaggableObject*>(notification->GetParam().Get()), nullptr);
    EXPECT_EQ(dynamic_cast<const Vx::LHolder<int>*>(notification->GetParam().Get()), nullptr);
}
} // namespace
