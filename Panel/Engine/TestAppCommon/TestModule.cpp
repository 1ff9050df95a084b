#include "Panel/Engine/TestAppCommon/TestModule.h"

#include "Panel/Engine/TestAppCommon/RootModuleEngine.h"
#include "VxFramework/Notification/Notification.h"
#include "VxFramework/ObjectBase/Exception.h"

namespace Vx
{
VxRESULT ITestModule::PostTestResult(const Variant& info)
{
    const TestResult result = GetTestResult();
    RCPtr<LNotification> notification;
    LNotification::Create(notification, kNewTestModuleTestResultId,
                          MakeRCPtr<LTestResultNotificationData>(result, info));
    return Notify(notification);
}

bool AggregateResults(const Array<ITestModule::TestResult>& values, ITestModule::TestResult& result)
{
    const std::uint32_t count = values.GetCount();
    if (count == 0)
        return false;
    result = ITestModule::kUntested;
    bool anyFailed = false;
    bool allPassed = true;
    for (std::uint32_t i = 0; i < count; ++i)
    {
        ITestModule::TestResult value = *values.GetAtConst(i);
        if (value < ITestModule::kUntested || value > ITestModule::kInconclusive)
        {
            VX_ASSERT_FALSE();
            value = ITestModule::kUntested;
        }
        anyFailed = anyFailed || value == ITestModule::kFailed;
        allPassed = allPassed && value == ITestModule::kPassed;
    }
    if (anyFailed)
        result = ITestModule::kFailed;
    else if (allPassed)
        result = ITestModule::kPassed;
    return true;
}

ITestModule::TestResult GetModulesResult(const IArray<RCPtr<ITestModule>>& modules)
{
    Array<ITestModule::TestResult> values;
    for (std::uint32_t i = 0; i < modules.GetCount(); ++i)
    {
        const RCPtr<ITestModule>& module = *modules.GetAtConst(i);
        values.Add(module != nullptr ? module->GetTestResult() : ITestModule::kUntested);
    }
    ITestModule::TestResult result = ITestModule::kUntested;
    AggregateResults(values, result);
    return result;
}

ITestModule::TestResult GetChildModulesResult(const RCPtr<LControl>& control)
{
    RCPtrArray<ITestModule, 1, 0> collected;
    if (control == nullptr)
        return ITestModule::kUntested;
    const LControl::ChildControlList& children = control->GetChildren();
    for (std::uint32_t i = children.GetCount(); i-- > 0;)
    {
        const RCPtr<LControl>& child = children.GetAt(i, LControl::ChildControlList::kInsertionOrder);
        auto* module = dynamic_cast<ITestModule*>(child.Get());
        if (module == nullptr)
            continue;
        const ITestModule::TestResult below = GetChildModulesResult(child);
        if (below == ITestModule::kFailed || below == ITestModule::kUntested)
            return below;
        collected.Add(RCPtr<ITestModule>(module));
    }
    return GetModulesResult(collected);
}

bool AggregateParamResults(const RCPtr<LParameterizedModule>& module, const Array<unsigned int>& offsets,
                           ITestModule::TestResult& result)
{
    if (module == nullptr || dynamic_cast<ITestModule*>(module.Get()) == nullptr)
        return false;
    const RCPtr<LRootModuleEngine> engine = LRootModuleEngine::GetInstance();
    if (engine == nullptr)
    {
        VX_ASSERT_FALSE();
        return false;
    }
    Array<ITestModule::TestResult> values;
    for (std::uint32_t i = 0; i < offsets.GetCount(); ++i)
    {
        const auto paramID =
            static_cast<std::int32_t>(static_cast<std::uint32_t>(module->GetFirstParamID()) + *offsets.GetAtConst(i));
        Variant value;
        if (engine->GetParamValue(ParamDescriptor(paramID), value) < 0)
        {
            VX_ASSERT_FALSE();
            value.Clear();
        }
        values.Add(static_cast<ITestModule::TestResult>(value.GetInt8()));
    }
    return AggregateResults(values, result);
}
} // namespace Vx
