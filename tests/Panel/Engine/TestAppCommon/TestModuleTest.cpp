#include "Panel/Engine/TestAppCommon/TestModule.h"

#include "DeviceControl/GeneratedCode/Engine/Src/SerialTest.h"
#include "Panel/Engine/TestAppCommon/RootModuleEngine.h"
#include "VxFramework/Notification/NotificationCenter.h"
#include "VxFramework/Utilities/Storage/RCPtrArray.h"
#include "tests/support/CaptureStderr.h"

#include <gtest/gtest.h>

#include <string>
#include <unistd.h>
#include <vector>

namespace
{
using Vx::ITestModule;
using VxTest::CaptureStderr;
using Result = ITestModule::TestResult;

std::size_t Assertions(const std::string& err)
{
    std::size_t count = 0;
    for (std::size_t at = err.find("JUCE Assertion failure in TestModule.cpp"); at != std::string::npos;
         at = err.find("JUCE Assertion failure in TestModule.cpp", at + 1))
        ++count;
    return count;
}

class FixedModule : public ITestModule
{
public:
    explicit FixedModule(Result result) : mResult(result) {}
    Result GetTestResult() override { return mResult; }
    void ResetTest() override { mResult = kUntested; }

    Result mResult;
};

TEST(TestModuleAggregation, FollowsTheRuleForEveryCombination)
{
    const struct
    {
        std::vector<int> values;
        Result expected;
        std::size_t assertions;
    } cases[] = {
        {{2, 2, 2}, ITestModule::kPassed, 0}, {{2, 1, 4}, ITestModule::kFailed, 0},
        {{2, 3}, ITestModule::kUntested, 0},  {{4}, ITestModule::kUntested, 0},
        {{2, 0}, ITestModule::kUntested, 0},  {{7, 2}, ITestModule::kUntested, 1},
        {{-1, 1}, ITestModule::kFailed, 1},   {{3, 3, 1, 2}, ITestModule::kFailed, 0},
    };
    for (const auto& c : cases)
    {
        Vx::Array<Result> values;
        for (const int value : c.values)
            values.Add(static_cast<Result>(value));
        Result result = ITestModule::kTesting;
        CaptureStderr capture;
        EXPECT_TRUE(Vx::AggregateResults(values, result));
        EXPECT_EQ(Assertions(capture.Finish()), c.assertions);
        EXPECT_EQ(result, c.expected) << testing::PrintToString(c.values);
    }

    Result untouched = ITestModule::kInconclusive;
    EXPECT_FALSE(Vx::AggregateResults(Vx::Array<Result>(), untouched));
    EXPECT_EQ(untouched, ITestModule::kInconclusive);
}

TEST(TestModuleAggregation, CombinesModulesAndTheEmptyListIsUntested)
{
    Vx::RCPtrArray<ITestModule, 1, 0> modules;
    EXPECT_EQ(Vx::GetModulesResult(modules), ITestModule::kUntested);
    modules.Add(Vx::MakeRCPtr<FixedModule>(ITestModule::kPassed));
    modules.Add(Vx::MakeRCPtr<FixedModule>(ITestModule::kTesting));
    EXPECT_EQ(Vx::GetModulesResult(modules), ITestModule::kUntested);
    modules.Add(Vx::MakeRCPtr<FixedModule>(ITestModule::kFailed));
    EXPECT_EQ(Vx::GetModulesResult(modules), ITestModule::kFailed);
}

// Clients hear the result synchronously, with a copy of the information.
class ResultListener : public Vx::LNotificationClient
{
public:
    Vx::NotificationHandlerResultCode Receive(const Vx::RCPtr<Vx::LNotificationDistributor>&,
                                              const Vx::ConstRCPtr<Vx::LNotification>& notification) override
    {
        const auto* data = dynamic_cast<const Vx::LTestResultNotificationData*>(notification->GetParam().Get());
        if (data != nullptr)
        {
            results.push_back(data->mResult);
            info = data->mInfo;
        }
        return 0;
    }
    std::vector<std::int32_t> results;
    Vx::Variant info;
};

TEST(TestModuleAggregation, PostTestResultReachesClientsSynchronously)
{
    const Vx::RCPtr<FixedModule> module = Vx::MakeRCPtr<FixedModule>(ITestModule::kPassed);
    // Nobody listens: only the distributor's answer.
    module->PostTestResult(Vx::Variant(1));
    const Vx::RCPtr<ResultListener> listener = Vx::MakeRCPtr<ResultListener>();
    listener->Register(Vx::RCPtr<Vx::LNotificationDistributor>(module), Vx::kNewTestModuleTestResultId, 0);
    module->PostTestResult(Vx::Variant(7));
    EXPECT_EQ(listener->results, (std::vector<std::int32_t>{ITestModule::kPassed}));
    EXPECT_EQ(listener->info, Vx::Variant(7));
    listener->UnregisterAll();
}

// --- Result parameters read from the engine ----------------------------------

Vx::RCPtr<Vx::LRootModuleEngine>& InstalledEngine()
{
    static Vx::RCPtr<Vx::LRootModuleEngine> engine;
    return engine;
}

// A module of the tree that shows a test result too.
class SerialView : public Vx::ISerialTest, public ITestModule
{
public:
    Result GetTestResult() override { return kUntested; }
    void ResetTest() override {}
};

class ParamResults : public ::testing::Test
{
protected:
    void TearDown() override
    {
        Vx::SetRootModuleEngineProvider(nullptr);
        InstalledEngine() = nullptr;
        while (Vx::LNotificationCenterManager::GetInstance()->ProcessPending(false))
        {
        }
    }
};

TEST_F(ParamResults, ANonModuleOrNoEngineGivesNoResult)
{
    Vx::Array<unsigned int> offsets;
    offsets.Add(0);
    Result result = ITestModule::kTesting;
    CaptureStderr capture;
    EXPECT_FALSE(Vx::AggregateParamResults(Vx::LSerialTest::Create(), offsets, result));
    EXPECT_TRUE(capture.Finish().empty());

    const Vx::RCPtr<SerialView> view = Vx::MakeRCPtr<SerialView>();
    CaptureStderr second;
    EXPECT_FALSE(Vx::AggregateParamResults(view, offsets, result));
    EXPECT_EQ(Assertions(second.Finish()), 1u);
    EXPECT_EQ(result, ITestModule::kTesting);
}

TEST_F(ParamResults, CombinesTheEngineValuesAtTheOffsets)
{
    char pattern[] = "/tmp/rootmod-XXXXXX";
    const std::string directory = mkdtemp(pattern);
    {
        const Vx::ScopedDeviceControlClientDirectory lookup(directory);
        InstalledEngine() = Vx::MakeRCPtr<Vx::LRootModuleEngine>();
        ASSERT_EQ(InstalledEngine()->Start(0), 0);
    }
    rmdir(directory.c_str());
    Vx::SetRootModuleEngineProvider([] { return InstalledEngine(); });

    // The serial test's three parameters sit at 100..102.
    const Vx::RCPtr<SerialView> view = Vx::MakeRCPtr<SerialView>();
    view->Attach(nullptr, 100, 0);
    ASSERT_EQ(InstalledEngine()->SetParamValue(Vx::ParamDescriptor(100), Vx::Variant(std::int8_t{2})), 0);
    ASSERT_EQ(InstalledEngine()->SetParamValue(Vx::ParamDescriptor(102), Vx::Variant(std::int8_t{1})), 0);

    const struct
    {
        std::vector<unsigned int> offsets;
        Result expected;
    } cases[] = {{{0}, ITestModule::kPassed}, {{0, 2}, ITestModule::kFailed}, {{0, 1}, ITestModule::kUntested}};
    for (const auto& c : cases)
    {
        Vx::Array<unsigned int> offsets;
        for (const unsigned int offset : c.offsets)
            offsets.Add(offset);
        Result result = ITestModule::kTesting;
        EXPECT_TRUE(Vx::AggregateParamResults(view, offsets, result));
        EXPECT_EQ(result, c.expected);
    }
    Result result = ITestModule::kTesting;
    EXPECT_FALSE(Vx::AggregateParamResults(view, Vx::Array<unsigned int>(), result));
    EXPECT_EQ(result, ITestModule::kTesting);
}
} // namespace
