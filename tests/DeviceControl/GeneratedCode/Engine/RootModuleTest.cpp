#include "DeviceControl/GeneratedCode/Engine/Inc/RootModule.h"

#include "tests/DeviceControl/GeneratedCode/Engine/ParamTreeTestSupport.h"
#include "tests/support/CaptureStderr.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace VxTest;

namespace
{
using Vx::ParamDescriptor;
using Vx::Variant;

Variant MakeArray(std::initializer_list<Variant> elements)
{
    Variant array;
    array.SetArray(elements.begin(), static_cast<std::uint32_t>(elements.size()));
    return array;
}

// Counts the tree notifications that reach the root.
class CountingRoot : public Vx::LRootModule
{
public:
    static Vx::RCPtr<CountingRoot> Make(bool cachedOnly)
    {
        Vx::RCPtr<CountingRoot> root(new CountingRoot(cachedOnly));
        root->CreateChildren();
        return root;
    }
    void OnDeviceConnected() override
    {
        ++connectedCalls;
        LRootModule::OnDeviceConnected();
    }
    int connectedCalls = 0;

private:
    explicit CountingRoot(bool cachedOnly) : LRootModule(cachedOnly) {}
};

// A root attached to a cache and a transport without a library, with every
// report recorded.
class RootModule : public ::testing::Test
{
protected:
    void SetUp() override
    {
        root = CountingRoot::Make(true);
        ASSERT_EQ(root->AttachToEngine(&RootModule::Record, this, cache, transport, 0), 0);
    }
    void TearDown() override
    {
        root = nullptr;
        transport = nullptr;
    }

    static void Record(void* data, const Vx::Array<Vx::ParamValue>& changes)
    {
        auto* self = static_cast<RootModule*>(data);
        for (std::uint32_t i = 0; i < changes.GetCount(); ++i)
        {
            const Vx::ParamValue& change = *changes.GetAtConst(i);
            self->reports.push_back({change.mDescriptor.mParamID, change.mDescriptor.mKey, change.mValue});
        }
    }

    Variant Cached(std::int32_t index)
    {
        Variant value;
        cache->Read(ParamDescriptor(index), value);
        return value;
    }

    std::vector<std::int32_t> ReportedIDs() const
    {
        std::vector<std::int32_t> ids;
        for (const Write& report : reports)
            ids.push_back(report.paramID);
        return ids;
    }

    Vx::RCPtr<Vx::LParamCache> cache = Vx::MakeRCPtr<Vx::LParamCache>(106);
    Vx::RCPtr<Vx::LDeviceCommunicationInterface> transport = Vx::MakeRCPtr<Vx::LDeviceCommunicationInterface>();
    Vx::RCPtr<CountingRoot> root;
    std::vector<Write> reports;
};

TEST_F(RootModule, AttachingFillsTheDefaultsWithoutReportingThem)
{
    EXPECT_TRUE(reports.empty());
    // The MIDI monitors default to a list of one empty text; the rest are empty.
    EXPECT_EQ(Cached(40), MakeArray({Text("")}));
    EXPECT_EQ(Cached(0).GetTag(), Variant::T_NONE);
    EXPECT_EQ(transport->GetReceiver(), static_cast<Vx::DeviceCommunicationReceiver*>(root.Get()));
    EXPECT_TRUE(transport->IsReceiverEnabled());
    EXPECT_TRUE(root->IsCachedOnly());
}

// Each write reports only a change: the same value again is silent, the same
// number under another tag is a change, an empty value is refused with its
// trace line, and ids outside the run are refused.
TEST_F(RootModule, CachedWritesReportOnlyChanges)
{
    EXPECT_EQ(root->SetParamValueCached(ParamDescriptor(7), Variant(std::int32_t{2})), 0);
    EXPECT_EQ(root->SetParamValueCached(ParamDescriptor(7), Variant(std::int32_t{2})), 0);
    EXPECT_EQ(root->SetParamValueCached(ParamDescriptor(7), Variant(std::int64_t{2})), 0);
    EXPECT_EQ(ReportedIDs(), (std::vector<std::int32_t>{7, 7}));
    EXPECT_EQ(Cached(7).GetTag(), Variant::T_INT64);

    // Refused only where it would change something: the slot holds a value.
    EXPECT_EQ(root->SetParamValueCached(ParamDescriptor(12), Variant(std::int8_t{1})), 0);
    CaptureStderr capture;
    EXPECT_EQ(root->SetParamValueCached(ParamDescriptor(12), Variant()), 0);
    EXPECT_NE(capture.Finish().find("SetParamValueCached received value T_NONE for ParamID = 12"), std::string::npos);
    EXPECT_EQ(ReportedIDs().size(), 3u);
    EXPECT_EQ(Cached(12), Variant(std::int8_t{1}));

    for (const std::int32_t outside : {106, -1, 1000})
    {
        SCOPED_TRACE(outside);
        EXPECT_EQ(
            CountAssertions("RootModule.cpp",
                            [&] { EXPECT_EQ(root->SetParamValueCached(ParamDescriptor(outside), Variant(1)), -1); }),
            1u);
    }
    EXPECT_EQ(ReportedIDs().size(), 3u);
}

TEST_F(RootModule, WritesAndReadsThroughTheRootInCachedOnlyMode)
{
    EXPECT_EQ(root->SetParamValue(ParamDescriptor(54), Variant(std::int8_t{1})), 0);
    Variant value;
    EXPECT_EQ(root->GetParamValue(ParamDescriptor(54), value), 0);
    EXPECT_EQ(value, Variant(std::int8_t{1}));
    EXPECT_EQ(ReportedIDs(), (std::vector<std::int32_t>{54}));
    EXPECT_TRUE(transport->GetReceiver() != nullptr);

    // Beyond the run: an assertion, an empty value and a failure.
    value = Variant(5);
    EXPECT_EQ(
        CountAssertions("RootModule.cpp", [&] { EXPECT_LT(root->GetParamValue(ParamDescriptor(106), value), 0); }), 1u);
    EXPECT_EQ(value.GetTag(), Variant::T_NONE);
}

// Tree ids go through their module into the cache, device-level ids are
// reported uncached with an empty key, all in batch order.
TEST_F(RootModule, BatchesAreCachedAndReportedInOrder)
{
    Vx::ParamValues batch;
    batch.SetArray(nullptr, 0);
    const Variant entries[] = {MakeArray({Variant(50), Variant(5), Variant()}),
                               MakeArray({Text("maker"), Variant(-9), Text("key")}),
                               MakeArray({Variant(30), Variant(3), Variant()})};
    batch.SetArray(entries, 3);
    root->ApplyValues(batch);

    EXPECT_EQ(ReportedIDs(), (std::vector<std::int32_t>{5, -9, 3}));
    EXPECT_EQ(reports[1].key.GetTag(), Variant::T_NONE);
    EXPECT_EQ(reports[1].value, Text("maker"));
    EXPECT_EQ(Cached(5), Variant(50));
    EXPECT_EQ(Cached(3), Variant(30));
}

TEST_F(RootModule, TheConnectedFlagReachesTheTreeOnlyWhenTrue)
{
    const struct
    {
        Variant value;
        int calls;
    } cases[] = {{Variant(true), 1}, {Variant(false), 0}};
    for (const auto& c : cases)
    {
        root->connectedCalls = 0;
        reports.clear();
        Vx::ParamValues batch;
        const Variant entry = MakeArray({c.value, Variant(-2), Variant()});
        batch.SetArray(&entry, 1);
        root->ApplyValues(batch);
        EXPECT_EQ(root->connectedCalls, c.calls);
        EXPECT_EQ(ReportedIDs(), (std::vector<std::int32_t>{-2}));
    }
}

// Malformed entries are reported as id -1 and an id no module holds is
// reported after an assertion, uncached; the entries around them still land.
TEST_F(RootModule, BadBatchEntriesLoseNothingElse)
{
    const Variant entries[] = {
        Variant(17), MakeArray({Variant(1), Variant(2)}), MakeArray({Variant(11), Variant(200), Variant()}),
        MakeArray({Variant(1), Variant(2), Variant(), Variant()}), MakeArray({Variant(22), Variant(2), Variant()})};
    Vx::ParamValues batch;
    batch.SetArray(entries, 5);
    EXPECT_EQ(CountAssertions("RootModule.cpp", [&] { root->ApplyValues(batch); }), 1u);
    EXPECT_EQ(ReportedIDs(), (std::vector<std::int32_t>{-1, -1, 200, -1, 2}));
    EXPECT_EQ(Cached(2), Variant(22));
}

// The connection value is echoed through the receiver as [value, connected].
TEST_F(RootModule, TheConnectionValueIsEchoedAsAPair)
{
    EXPECT_EQ(root->SetParamValue(ParamDescriptor(-4), Variant(std::int64_t{7})), 0);
    ASSERT_EQ(ReportedIDs(), (std::vector<std::int32_t>{-4}));
    EXPECT_EQ(reports[0].value, MakeArray({Variant(std::int64_t{7}), Variant(true)}));
}

TEST_F(RootModule, AFailedConnectionKeepsTheRootCachedOnly)
{
    EXPECT_LT(root->ConnectDevice(Text("unit-1")), 0);
    EXPECT_TRUE(root->IsCachedOnly());
}

TEST_F(RootModule, ReleasingTheRootDetachesItFromTheTransport)
{
    root = nullptr;
    EXPECT_EQ(transport->GetReceiver(), nullptr);
    EXPECT_FALSE(transport->IsReceiverEnabled());
}
} // namespace
