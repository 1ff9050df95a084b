#include "DeviceControl/GeneratedCode/Engine/Inc/DeviceControlClientInterface.h"

#include "sim/SimDeviceControl.h"
#include "tests/support/CaptureStderr.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <functional>
#include <string>
#include <unistd.h>
#include <vector>

namespace
{
using Sim::DeviceControlCall;
using Sim::SimDeviceControlLibrary;
using Vx::DeviceControlClientInterface;
using Vx::DeviceControlEntry;
using Vx::ParamDescriptor;
using Vx::Variant;

Variant Text(const char* text)
{
    Variant value;
    value.SetString(text);
    return value;
}

void DataCallback(void*, void*, const Vx::ParamValues*) {}

// Distinct objects whose addresses must reach the library unchanged.
int gFirst;
int gSecond;
int gThird;

// One wrapper: how to call it, and what the library must have received.
struct Wrapper
{
    const char* name;
    DeviceControlEntry entry;
    std::function<std::int32_t(DeviceControlClientInterface&)> call;
    std::function<void(const DeviceControlCall&)> check;
};

const Variant& Device()
{
    static const Variant device = Text("unit-7");
    return device;
}

std::vector<Wrapper> Wrappers()
{
    static const Vx::GUID filter[2] = {};
    return {
        {"FindDevices", DeviceControlEntry::FindDevices,
         [](auto& client) { return client.FindDevices(&gFirst, &gSecond, &gThird); },
         [](const DeviceControlCall& call) {
             EXPECT_EQ(call.pointers[0], &gFirst);
             EXPECT_EQ(call.pointers[1], &gSecond);
             EXPECT_EQ(call.pointers[2], &gThird);
         }},
        {"FindRemoteDevices", DeviceControlEntry::FindRemoteDevices,
         [](auto& client) {
             Variant devices;
             return client.FindRemoteDevices(filter, 2, devices, true);
         },
         [](const DeviceControlCall& call) {
             EXPECT_EQ(call.pointers[0], filter);
             EXPECT_EQ(call.filterCount, 2u);
             EXPECT_EQ(call.explicitListing, 1);
         }},
        {"ConnectDevice", DeviceControlEntry::ConnectDevice,
         [](auto& client) { return client.ConnectDevice(Device(), &DataCallback, &gFirst); },
         [](const DeviceControlCall& call) {
             EXPECT_EQ(call.device, Device());
             EXPECT_EQ(call.callback, &DataCallback);
             EXPECT_EQ(call.pointers[0], &gFirst);
         }},
        {"RequestParamRanges", DeviceControlEntry::RequestParamRanges,
         [](auto& client) {
             const Vx::ParamRange range{0, 106};
             Vx::ParamRanges ranges;
             ranges.Assign(&range, 1);
             return client.RequestParamRanges(Device(), ranges);
         },
         [](const DeviceControlCall& call) {
             EXPECT_EQ(call.device, Device());
             Vx::ParamRanges ranges;
             static_cast<Variant&>(ranges) = call.argument;
             Vx::ParamRange range;
             ASSERT_EQ(ranges.GetRange(0, range), 0);
             EXPECT_EQ(range.mFirstParamID, 0);
             EXPECT_EQ(range.mCount, 106);
         }},
        {"RequestParamValues", DeviceControlEntry::RequestParamValues,
         [](auto& client) {
             const ParamDescriptor descriptors[] = {ParamDescriptor(1), ParamDescriptor(2)};
             Vx::ParamDescriptors list;
             list.Assign(descriptors, 2);
             return client.RequestParamValues(Device(), list);
         },
         [](const DeviceControlCall& call) {
             EXPECT_EQ(call.device, Device());
             EXPECT_EQ(call.argument.GetArrayCount(), 2u);
         }},
        {"RequestParamValue", DeviceControlEntry::RequestParamValues,
         [](auto& client) { return client.RequestParamValue(Device(), ParamDescriptor(-8, Variant(3))); },
         [](const DeviceControlCall& call) {
             // A list of the one descriptor, [id, key].
             ASSERT_EQ(call.argument.GetArrayCount(), 1u);
             Variant entry;
             Variant id;
             Variant key;
             call.argument.GetArrayElement(0, entry);
             ASSERT_EQ(entry.GetArrayCount(), 2u);
             entry.GetArrayElement(0, id);
             entry.GetArrayElement(1, key);
             EXPECT_EQ(id, Variant(-8));
             EXPECT_EQ(key, Variant(3));
         }},
        {"GetParamRanges", DeviceControlEntry::GetParamRanges,
         [](auto& client) { return client.GetParamRanges(Device(), &gSecond, &gFirst); },
         [](const DeviceControlCall& call) {
             EXPECT_EQ(call.device, Device());
             EXPECT_EQ(call.pointers[0], &gSecond);
             EXPECT_EQ(call.pointers[1], &gFirst);
         }},
        {"GetParamValues", DeviceControlEntry::GetParamValues,
         [](auto& client) { return client.GetParamValues(Device(), &gThird, &gSecond); },
         [](const DeviceControlCall& call) {
             EXPECT_EQ(call.pointers[0], &gThird);
             EXPECT_EQ(call.pointers[1], &gSecond);
         }},
        {"GetParamValue", DeviceControlEntry::GetParamValue,
         [](auto& client) {
             Variant value;
             return client.GetParamValue(Device(), ParamDescriptor(12, Variant(4)), value);
         },
         [](const DeviceControlCall& call) {
             EXPECT_EQ(call.device, Device());
             EXPECT_EQ(call.paramID, 12);
             EXPECT_EQ(call.key, Variant(4));
         }},
        {"SetParamValue", DeviceControlEntry::SetParamValue,
         [](auto& client) { return client.SetParamValue(Device(), ParamDescriptor(-241), Text("v")); },
         [](const DeviceControlCall& call) {
             EXPECT_EQ(call.paramID, -241);
             EXPECT_EQ(call.argument, Text("v"));
         }},
        {"SetParamValues", DeviceControlEntry::SetParamValues,
         [](auto& client) {
             Vx::ParamValues values;
             values.SetValue(ParamDescriptor(5), Variant(50));
             return client.SetParamValues(Device(), values);
         },
         [](const DeviceControlCall& call) { EXPECT_EQ(call.argument.GetArrayCount(), 1u); }},
        {"IsDeviceConnected", DeviceControlEntry::IsDeviceConnected,
         [](auto& client) { return client.IsDeviceConnected(Device()) ? 1 : 0; },
         [](const DeviceControlCall& call) { EXPECT_EQ(call.device, Device()); }},
        {"DisconnectDevice", DeviceControlEntry::DisconnectDevice,
         [](auto& client) { return client.DisconnectDevice(Device()); },
         [](const DeviceControlCall& call) { EXPECT_EQ(call.device, Device()); }},
        {"GetDeviceInfo", DeviceControlEntry::GetDeviceInfo,
         [](auto& client) {
             Vx::DeviceInfo info;
             return client.GetDeviceInfo(Device(), info);
         },
         [](const DeviceControlCall& call) { EXPECT_EQ(call.device, Device()); }},
    };
}

// What a wrapper answers when its entry point is missing.
std::int32_t MissingResult(const Wrapper& wrapper)
{
    return wrapper.entry == DeviceControlEntry::IsDeviceConnected ? 0 : -1;
}

TEST(DeviceControlClientInterface, WithoutALibraryEveryCallFails)
{
    DeviceControlClientInterface client("/nonexistent/DeviceControlClient.dylib");
    EXPECT_FALSE(client.IsLoaded());
    for (const Wrapper& wrapper : Wrappers())
        EXPECT_EQ(wrapper.call(client), MissingResult(wrapper)) << wrapper.name;
}

TEST(DeviceControlClientInterface, AFileThatIsNoLibraryCountsAsMissingWithAReason)
{
    const std::string path = SimDeviceControlLibrary::getNotALibraryDirectory() + "/DeviceControlClient.dylib";
    VxTest::CaptureStderr capture;
    {
        DeviceControlClientInterface client(path.c_str());
        EXPECT_FALSE(client.IsLoaded());
        for (const Wrapper& wrapper : Wrappers())
            EXPECT_EQ(wrapper.call(client), MissingResult(wrapper)) << wrapper.name;
    }
    const std::string text = capture.Finish();
    EXPECT_NE(text.find("DeviceControlClientInterface: " + path + " not loaded: "), std::string::npos) << text;
}

TEST(DeviceControlClientInterface, ForwardsEveryCallAndItsResult)
{
    const SimDeviceControlLibrary library;
    DeviceControlClientInterface client(SimDeviceControlLibrary::getLibraryPath().c_str());
    ASSERT_TRUE(client.IsLoaded());
    for (const Wrapper& wrapper : Wrappers())
    {
        SCOPED_TRACE(wrapper.name);
        const int before = library.script().getCallCount(wrapper.entry);
        for (const std::int32_t result : {7, -123456})
        {
            library.script().setResult(wrapper.entry, result);
            const std::int32_t expected = wrapper.entry == DeviceControlEntry::IsDeviceConnected ? 0 : result;
            EXPECT_EQ(wrapper.call(client), expected);
        }
        library.script().setResult(wrapper.entry, 0);
        EXPECT_EQ(wrapper.call(client), wrapper.entry == DeviceControlEntry::IsDeviceConnected ? 1 : 0);
        EXPECT_EQ(library.script().getCallCount(wrapper.entry), before + 3);
        wrapper.check(library.script().getLastCall(wrapper.entry));
    }
}

TEST(DeviceControlClientInterface, OutValuesComeFromTheLibraryOnlyOnSuccess)
{
    const SimDeviceControlLibrary library;
    DeviceControlClientInterface client(SimDeviceControlLibrary::getLibraryPath().c_str());
    auto& script = library.script();

    const Variant ids[] = {Text("a"), Variant(2)};
    Variant list;
    list.SetArray(ids, 2);
    script.setDeviceList(list);
    Variant devices;
    EXPECT_EQ(client.FindRemoteDevices(nullptr, 0, devices, false), 0);
    EXPECT_EQ(devices, list);
    EXPECT_EQ(script.getLastCall(DeviceControlEntry::FindRemoteDevices).explicitListing, 0);

    script.setParamValue(Text("value"));
    Variant value;
    EXPECT_EQ(client.GetParamValue(Device(), ParamDescriptor(1), value), 0);
    EXPECT_EQ(value, Text("value"));

    Vx::DeviceInfo available;
    available.mBytes[Vx::DeviceInfo::kAvailableOffset] = 1;
    script.setDeviceInfo(available);
    Vx::DeviceInfo info;
    script.setResult(DeviceControlEntry::GetDeviceInfo, -5);
    EXPECT_EQ(client.GetDeviceInfo(Device(), info), -5);
    EXPECT_FALSE(info.IsAvailable());
    script.setResult(DeviceControlEntry::GetDeviceInfo, 0);
    EXPECT_EQ(client.GetDeviceInfo(Device(), info), 0);
    EXPECT_TRUE(info.IsAvailable());
}

TEST(DeviceControlClientInterface, AMissingEntryPointFailsOnlyItsOwnCalls)
{
    for (std::uint32_t missing = 0; missing < Vx::kDeviceControlEntryCount; ++missing)
    {
        const auto missingEntry = static_cast<DeviceControlEntry>(missing);
        const std::string path = SimDeviceControlLibrary::getLibraryPathWithout(missingEntry);
        SCOPED_TRACE(path);
        {
            const SimDeviceControlLibrary library(path);
            {
                DeviceControlClientInterface client(path.c_str());
                ASSERT_TRUE(client.IsLoaded());
                for (std::uint32_t entry = 0; entry < Vx::kDeviceControlEntryCount; ++entry)
                    EXPECT_EQ(client.HasEntry(static_cast<DeviceControlEntry>(entry)), entry != missing);
                for (const Wrapper& wrapper : Wrappers())
                {
                    library.script().setResult(wrapper.entry, 3);
                    const std::int32_t expected = wrapper.entry == missingEntry ? MissingResult(wrapper)
                                                  : wrapper.entry == DeviceControlEntry::IsDeviceConnected ? 0
                                                                                                           : 3;
                    EXPECT_EQ(wrapper.call(client), expected) << wrapper.name;
                }
            }
            // The release is called when the library has it.
            EXPECT_EQ(library.script().getCallCount(DeviceControlEntry::ReleaseAll),
                      missingEntry == DeviceControlEntry::ReleaseAll ? 0 : 1);
        }
        EXPECT_FALSE(SimDeviceControlLibrary::isLoaded(path));
    }
}

TEST(DeviceControlClientInterface, DestructionReleasesAndUnloadsTheLibrary)
{
    const std::string path = SimDeviceControlLibrary::getLibraryPath();
    for (const DeviceControlEntry missing : {DeviceControlEntry::GetDeviceInfo, DeviceControlEntry::ReleaseAll})
    {
        const std::string variant = SimDeviceControlLibrary::getLibraryPathWithout(missing);
        {
            DeviceControlClientInterface client(variant.c_str());
            ASSERT_TRUE(SimDeviceControlLibrary::isLoaded(variant));
            // A connection whose library thread is running when the library goes.
            ASSERT_EQ(client.ConnectDevice(Device(), &DataCallback, nullptr), 0);
        }
        EXPECT_FALSE(SimDeviceControlLibrary::isLoaded(variant));
    }
    EXPECT_FALSE(SimDeviceControlLibrary::isLoaded(path));
}

TEST(DeviceControlClientInterface, GivenNoPathLoadsTheLibraryBesideTheExecutable)
{
    EXPECT_EQ(Vx::GetDefaultDeviceControlClientPath(), SimDeviceControlLibrary::getLibraryPath());
    {
        DeviceControlClientInterface client;
        EXPECT_TRUE(client.IsLoaded());
    }

    char directory[] = "/tmp/vx-device-control-XXXXXX";
    ASSERT_NE(mkdtemp(directory), nullptr);
    {
        const Vx::ScopedDeviceControlClientDirectory empty(directory);
        EXPECT_EQ(Vx::GetDefaultDeviceControlClientPath(), std::string(directory) + "/DeviceControlClient.dylib");
        {
            const Vx::ScopedDeviceControlClientDirectory notALibrary(
                SimDeviceControlLibrary::getNotALibraryDirectory() + "/");
            VxTest::CaptureStderr capture;
            DeviceControlClientInterface client;
            EXPECT_FALSE(client.IsLoaded());
        }
        DeviceControlClientInterface client;
        EXPECT_FALSE(client.IsLoaded());
    }
    rmdir(directory);
    EXPECT_EQ(Vx::GetDefaultDeviceControlClientPath(), SimDeviceControlLibrary::getLibraryPath());
}
} // namespace
