#pragma once

// Doubles for the parameter tree's tests: a transport that records writes, a
// root that keeps values in a map and records what reaches it, and a helper
// that counts the assertions a call logs.

#include "DeviceControl/GeneratedCode/Engine/Inc/RootModuleInterface.h"
#include "tests/support/CaptureStderr.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace VxTest
{
inline Vx::Variant Text(const char* text)
{
    Vx::Variant value;
    value.SetString(text);
    return value;
}

struct Write
{
    std::int32_t paramID;
    Vx::Variant key;
    Vx::Variant value;
};

// Records SetParamValue and answers with a chosen result; everything else is
// the real transport without a library.
class RecordingTransport : public Vx::LDeviceCommunicationInterface
{
public:
    std::int32_t SetParamValue(const Vx::ParamDescriptor& descriptor, const Vx::Variant& value) override
    {
        writes.push_back({descriptor.mParamID, descriptor.mKey, value});
        return result;
    }

    std::vector<Write> writes;
    std::int32_t result = 0;
};

// A root over any device module: the value chains end in a map keyed by id,
// and every call that reaches the root is recorded.
class TestRoot : public Vx::IRootModule
{
public:
    explicit TestRoot(bool cachedOnly = false) : IRootModule(cachedOnly) {}

    using IRootModule::SetCachedOnly;

    Vx::RCPtr<Vx::IDevice> GetDevice() override { return device; }
    Vx::RCPtr<Vx::LDeviceCommunicationInterface> GetDeviceCommunicationInterface() override { return transport; }
    void OnValueChangedInternal(const Vx::ParamDescriptor& descriptor, const Vx::Variant& value) override
    {
        reported.push_back({descriptor.mParamID, descriptor.mKey, value});
    }

    std::int32_t SetValueFromChild(const Vx::ParamDescriptor& descriptor, const Vx::Variant& value) override
    {
        fromChildren.push_back({descriptor.mParamID, descriptor.mKey, value});
        const std::int32_t stored = SetParamValueCached(descriptor, value);
        return fromChildResult.value_or(stored);
    }
    Vx::Variant GetValueFromChild(const Vx::ParamDescriptor& descriptor) override
    {
        readsFromChildren.push_back(descriptor.mParamID);
        return GetParamValueCached(descriptor);
    }
    std::int32_t SetParamValueCached(const Vx::ParamDescriptor& descriptor, const Vx::Variant& value) override
    {
        cachedWrites.push_back({descriptor.mParamID, descriptor.mKey, value});
        values[descriptor.mParamID] = value;
        return cachedResult;
    }
    Vx::Variant GetParamValueCached(const Vx::ParamDescriptor& descriptor) override
    {
        const auto found = values.find(descriptor.mParamID);
        return found != values.end() ? found->second : Vx::Variant();
    }

    Vx::RCPtr<Vx::IDevice> device;
    Vx::RCPtr<RecordingTransport> transport;
    std::map<std::int32_t, Vx::Variant> values;
    std::vector<Write> fromChildren;
    std::vector<std::int32_t> readsFromChildren;
    std::vector<Write> cachedWrites;
    std::vector<Write> reported;
    std::optional<std::int32_t> fromChildResult;
    std::int32_t cachedResult = 0;
};

// Runs the call and returns how many assertions it logged naming the file
// (its name only, as the log gives it); every assertion for an empty name.
inline std::size_t CountAssertions(const std::string& fileName, const std::function<void()>& call)
{
    CaptureStderr capture;
    call();
    const std::string text = capture.Finish();
    const std::string needle = "JUCE Assertion failure in " + fileName + (fileName.empty() ? "" : ":");
    std::size_t count = 0;
    for (std::size_t at = text.find(needle); at != std::string::npos; at = text.find(needle, at + 1))
        ++count;
    return count;
}

// Every assertion the call logged.
inline std::size_t CountAllAssertions(const std::function<void()>& call)
{
    return CountAssertions("", call);
}

// The text of the logic error the call throws; empty when it throws none.
inline std::string LogicErrorOf(const std::function<void()>& call)
{
    try
    {
        call();
    }
    catch (const std::logic_error& error)
    {
        return error.what();
    }
    return {};
}

// "Logic Error : <message> :  : <path> : Line <n>", any line.
inline bool IsLogicErrorAt(const std::string& text, const std::string& message, const std::string& path)
{
    const std::string prefix = "Logic Error : " + message + " :  : " + path + " : Line ";
    if (text.compare(0, prefix.size(), prefix) != 0 || text.size() == prefix.size())
        return false;
    for (std::size_t at = prefix.size(); at < text.size(); ++at)
    {
        if (text[at] < '0' || text[at] > '9')
            return false;
    }
    return true;
}
} // namespace VxTest
