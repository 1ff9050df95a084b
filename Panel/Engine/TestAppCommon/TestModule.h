#pragma once

#include "VxFramework/ControlBase/Control.h"
#include "VxFramework/Notification/NotificationDistributor.h"
#include "VxFramework/ObjectBase/RefCountedObject.h"
#include "VxFramework/Utilities/Storage/Iterable.h"
#include "VxFramework/Utilities/Storage/Variant.h"
#include "VxFramework/Utilities/Storage/VxArray.h"

#include <cstdint>

namespace Vx
{
class LParameterizedModule;

inline constexpr const char* kNewTestModuleTestResultId = "NID_NEW_TEST_MODULE_TEST_RESULT";

// Anything that shows a test result: it answers the result, resets its test,
// and announces a possibly changed result to the modules registered with it.
class ITestModule : public virtual LNotificationDistributor
{
public:
    enum TestResult : std::int32_t
    {
        kUntested = 0,
        kFailed = 1,
        kPassed = 2,
        kTesting = 3,
        kInconclusive = 4,
    };

    virtual TestResult GetTestResult() = 0;
    virtual void ResetTest() = 0;

    // Sends NID_NEW_TEST_MODULE_TEST_RESULT with the current result and a copy
    // of the information synchronously to this module's clients: Notify's
    // result.
    VxRESULT PostTestResult(const Variant& info);

protected:
    ~ITestModule() override = default;
};

// The parameter of NID_NEW_TEST_MODULE_TEST_RESULT.
class LTestResultNotificationData : public virtual LRefCountedObject
{
public:
    LTestResultNotificationData(std::int32_t result, const Variant& info) : mResult(result), mInfo(info) {}
    ~LTestResultNotificationData() override = default;

    std::int32_t mResult;
    Variant mInfo;
};

// The one rule: any failed gives failed, all passed gives passed, anything
// else untested.  A value outside the five counts as untested (after an
// assertion).  False for no values, the result then untouched.
bool AggregateResults(const Array<ITestModule::TestResult>& values, ITestModule::TestResult& result);
// The modules' results combined, in order; untested for no modules.
ITestModule::TestResult GetModulesResult(const IArray<RCPtr<ITestModule>>& modules);
// The combined result of the control's module children, last child first;
// a child module that is failed or untested below itself decides at once.
ITestModule::TestResult GetChildModulesResult(const RCPtr<LControl>& control);
// The result parameters at the offsets from the module's first id, read from
// the root module engine and combined.  False when the module is no test
// module, when there is no engine (after an assertion) or no offset.
bool AggregateParamResults(const RCPtr<LParameterizedModule>& module, const Array<unsigned int>& offsets,
                           ITestModule::TestResult& result);
} // namespace Vx
