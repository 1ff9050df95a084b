#include "Panel/Engine/VB05Common/Platform/VB05Bluetooth.h"

#include "VxFramework/Utilities/DebugTracer.h"

#include <algorithm>
#include <utility>

namespace Vx::VB05
{
namespace
{
constexpr char kBlueZ[] = "org.bluez";
constexpr char kObjectManagerInterface[] = "org.freedesktop.DBus.ObjectManager";
constexpr char kPropertiesInterface[] = "org.freedesktop.DBus.Properties";
constexpr char kPropertiesChanged[] = "PropertiesChanged";
constexpr char kAdapterInterface[] = "org.bluez.Adapter1";
constexpr char kDeviceInterface[] = "org.bluez.Device1";
constexpr char kAgentManagerInterface[] = "org.bluez.AgentManager1";
constexpr char kObjectManagerRule[] =
    "type='signal',sender='org.bluez',path='/',interface='org.freedesktop.DBus.ObjectManager'";

using Properties = std::unordered_map<std::string, Variant>;

bool Contains(const std::vector<std::string>& names, const char* name)
{
    return std::find(names.begin(), names.end(), name) != names.end();
}

// Whether a next argument exists and is not the end.
bool Next(DBusMessageIter* iterator)
{
    return dbus_message_iter_next(iterator) && dbus_message_iter_get_arg_type(iterator) != DBUS_TYPE_INVALID;
}
} // namespace

//==============================================================================
LBluetooth::BluetoothObject::BluetoothObject(LBluetooth* owner, std::string path, std::string interfaceName)
    : mOwner(owner), mClient(owner->mClient), mPath(std::move(path)), mInterface(std::move(interfaceName))
{
}

LBluetooth::BluetoothObject::~BluetoothObject()
{
    Detach();
}

void LBluetooth::BluetoothObject::Start()
{
    mSubscribed = mClient->AddSignalListener(mPath.c_str(), kPropertiesInterface, kPropertiesChanged, this);
    Properties properties;
    DBusMessagePtr call;
    if (NewMethodCall(call, kBlueZ, mPath.c_str(), kPropertiesInterface, "GetAll"))
        properties = VB05::CallMethod<Properties>(call, *mClient, mInterface.c_str());
    {
        const std::lock_guard<std::mutex> lock(mPropertiesLock);
        // A change that came in meanwhile is older than the listing.
        mProperties = std::move(properties);
    }
    DebugTracer::Get().Trace(-1, "%s:%d found object %s", "BluetoothObject", __LINE__, mPath.c_str());
}

void LBluetooth::BluetoothObject::Retire()
{
    DebugTracer::Get().Trace(-1, "%s:%d removing object %s", "~BluetoothObject", __LINE__, mPath.c_str());
    Detach();
}

void LBluetooth::BluetoothObject::Detach()
{
    if (mDetached.exchange(true))
        return;
    if (mSubscribed.load())
        mClient->RemoveSignalListener(mPath.c_str(), kPropertiesInterface, kPropertiesChanged, this);
    mOwner.store(nullptr);
}

RCPtr<LIBluetoothListener> LBluetooth::BluetoothObject::GetListener() const
{
    LBluetooth* const owner = mOwner.load();
    if (owner == nullptr)
        return {};
    RCPtr<LIBluetoothListener> listener;
    owner->GetListener(listener);
    return listener;
}

void LBluetooth::BluetoothObject::Signal(DBusMessagePtr& message)
{
    DebugTracer::Get().Trace(-1, "%s:%d properties changed on %s", "Signal", __LINE__, mPath.c_str());
    Signal_UIThread(message);
}

void LBluetooth::BluetoothObject::Signal_UIThread(DBusMessagePtr& message)
{
    std::string interface;
    Properties changed;
    std::vector<std::string> invalidated;
    DBusMessageIter reader;
    bool read = false;
    if (message && dbus_message_iter_init(message.Get(), &reader) && ConvertArg(&reader, interface) && Next(&reader))
    {
        changed = ConvertDict<Variant>(&reader);
        read = Next(&reader) && ConvertArg(&reader, invalidated);
    }
    if (!read || interface != mInterface)
    {
        DebugTracer::Get().Trace(-1, "%s:%d Failed to extract signal arguments", "Signal_UIThread", __LINE__);
        return;
    }
    const std::lock_guard<std::mutex> lock(mPropertiesLock);
    for (auto& [name, value] : changed)
        mProperties.insert_or_assign(name, value);
    for (const std::string& name : invalidated)
        mProperties.erase(name);
}

void LBluetooth::BluetoothObject::SetProperty(const char* name, bool value)
{
    DBusMessagePtr call;
    if (NewMethodCall(call, kBlueZ, mPath.c_str(), kPropertiesInterface, "Set"))
        VB05::CallMethod(call, *mClient, mInterface.c_str(), name, Variant(value));
}

void LBluetooth::BluetoothObject::CallMethod(const char* method)
{
    DBusMessagePtr call;
    if (NewMethodCall(call, kBlueZ, mPath.c_str(), mInterface.c_str(), method))
        VB05::CallMethod(call, *mClient);
}

//==============================================================================
LBluetooth::Adapter::Adapter(LBluetooth* owner, std::string path)
    : BluetoothObject(owner, std::move(path), kAdapterInterface)
{
}

LBluetooth::Adapter::~Adapter()
{
    Retire();
}

void LBluetooth::Adapter::Signal_UIThread(DBusMessagePtr& message)
{
    BluetoothObject::Signal_UIThread(message);
    if (const RCPtr<LIBluetoothListener> listener = GetListener())
        listener->OnAdapterChanged();
}

LBluetooth::LDevice::LDevice(LBluetooth* owner, std::string path)
    : BluetoothObject(owner, std::move(path), kDeviceInterface)
{
}

LBluetooth::LDevice::~LDevice()
{
    Retire();
}

LIBluetoothDevice::String LBluetooth::LDevice::GetAddress() const
{
    return GetProperty("Address", String());
}

LIBluetoothDevice::String LBluetooth::LDevice::GetName() const
{
    return GetProperty("Name", String());
}

LIBluetoothDevice::String LBluetooth::LDevice::GetAlias() const
{
    return GetProperty("Alias", String());
}

std::uint32_t LBluetooth::LDevice::GetClass() const
{
    return GetProperty<std::uint32_t>("Class", 0);
}

LIBluetoothDevice::String LBluetooth::LDevice::GetIcon() const
{
    return GetProperty("Icon", String());
}

bool LBluetooth::LDevice::IsConnected() const
{
    return GetProperty("Connected", false);
}

bool LBluetooth::LDevice::IsPaired() const
{
    return GetProperty("Paired", false);
}

std::int16_t LBluetooth::LDevice::GetRSSI() const
{
    return GetProperty<std::int16_t>("RSSI", 0);
}

void LBluetooth::LDevice::Signal_UIThread(DBusMessagePtr& message)
{
    BluetoothObject::Signal_UIThread(message);
    // The delivery holds the device: it is detached only after this returns.
    if (const RCPtr<LIBluetoothListener> listener = GetListener())
        listener->OnDeviceChanged(RCPtr<LIBluetoothDevice>(this));
}

//==============================================================================
LBluetooth::LBluetooth(RCPtr<LDBusClient> client) : mClient(std::move(client))
{
    if (mClient.IsNull())
    {
        VX_ASSERT_FALSE();
        return;
    }
    // First, so that no object BlueZ adds during the listing is missed.  A
    // rule the client holds already belongs to another model: this one then
    // follows nothing, and must not remove that one's filter when it goes.
    mFollowing =
        mClient->AddFilter(kObjectManagerRule, [this](DBusMessagePtr& message) { return MessageFilter(message); });
    try
    {
        std::unordered_map<std::string, InterfaceMap> objects;
        DBusMessagePtr call;
        if (NewMethodCall(call, kBlueZ, "/", kObjectManagerInterface, "GetManagedObjects"))
            objects = CallMethod<std::unordered_map<std::string, InterfaceMap>>(call, *mClient);
        for (const auto& [path, interfaces] : objects)
            HandleInterfacesAdded(path, interfaces);
    }
    catch (...)
    {
        if (mFollowing)
            mClient->RemoveFilter(kObjectManagerRule);
        ReleaseObjects();
        throw;
    }
}

LBluetooth::~LBluetooth()
{
    if (mClient.IsNull())
        return;
    if (mFollowing)
        mClient->RemoveFilter(kObjectManagerRule);
    ReleaseObjects();
}

void LBluetooth::ReleaseObjects()
{
    std::unordered_map<std::string, std::shared_ptr<Adapter>> adapters;
    std::unordered_map<std::string, RCPtr<LDevice>> devices;
    RCPtr<LIBluetoothListener> listener;
    {
        const std::lock_guard<std::mutex> lock(mLock);
        adapters.swap(mAdapters);
        devices.swap(mDevices);
        listener = std::move(mListener);
    }
    listener = nullptr;
    for (auto& [path, device] : devices)
        device->Detach();
    devices.clear();
    for (auto& [path, adapter] : adapters)
        adapter->Detach();
    adapters.clear();
}

DBusHandlerResult LBluetooth::MessageFilter(DBusMessagePtr& message)
{
    DBusMessage* const raw = message.Get();
    if (dbus_message_is_signal(raw, kObjectManagerInterface, "InterfacesAdded"))
    {
        DebugTracer::Get().Trace(-1, "%s:%d received BlueZ InterfacesAdded", "MessageFilter", __LINE__);
        DBusMessageIter reader;
        std::string path;
        if (dbus_message_iter_init(raw, &reader) && ConvertArg(&reader, path) && Next(&reader))
            HandleInterfacesAdded(path, ConvertDict<Properties>(&reader));
    }
    else if (dbus_message_is_signal(raw, kObjectManagerInterface, "InterfacesRemoved"))
    {
        DebugTracer::Get().Trace(-1, "%s:%d received BlueZ InterfacesRemoved", "MessageFilter", __LINE__);
        DBusMessageIter reader;
        std::string path;
        std::vector<std::string> interfaces;
        if (dbus_message_iter_init(raw, &reader) && ConvertArg(&reader, path) && Next(&reader) &&
            ConvertArg(&reader, interfaces))
            HandleInterfacesRemoved(path, interfaces);
    }
    return DBUS_HANDLER_RESULT_NOT_YET_HANDLED;
}

void LBluetooth::HandleInterfacesAdded(const std::string& path, const InterfaceMap& interfaces)
{
    // The path may have come as plain text: only an object path can name a
    // BlueZ object (and be subscribed to).
    if (!dbus_validate_path(path.c_str(), nullptr))
        return;

    if (interfaces.count(kAdapterInterface) != 0)
    {
        auto adapter = std::make_shared<Adapter>(this, path);
        adapter->Start();
        bool inserted = false;
        {
            const std::lock_guard<std::mutex> lock(mLock);
            inserted = mAdapters.try_emplace(path, adapter).second;
        }
        // The known object stays; the new one goes.
        if (!inserted)
            adapter->Detach();
    }

    if (interfaces.count(kDeviceInterface) != 0)
    {
        RCPtr<LDevice> device = MakeRCPtr<LDevice>(this, path);
        device->Start();
        RCPtr<LDevice> stored;
        RCPtr<LIBluetoothListener> listener;
        {
            const std::lock_guard<std::mutex> lock(mLock);
            stored = mDevices.try_emplace(path, device).first->second;
            listener = mListener;
        }
        if (stored.Get() != device.Get())
            device->Detach();
        device = nullptr;
        if (!listener.IsNull())
            listener->OnDeviceAdded(RCPtr<LIBluetoothDevice>(stored));
    }
}

void LBluetooth::HandleInterfacesRemoved(const std::string& path, const std::vector<std::string>& interfaces)
{
    if (Contains(interfaces, kAgentManagerInterface))
        DebugTracer::Get().Trace(-1, "%s:%d BlueZ AgentManager has gone away!?", "HandleInterfacesRemoved", __LINE__);

    if (Contains(interfaces, kAdapterInterface))
    {
        std::shared_ptr<Adapter> adapter;
        {
            const std::lock_guard<std::mutex> lock(mLock);
            const auto found = mAdapters.find(path);
            if (found != mAdapters.end())
            {
                adapter = std::move(found->second);
                mAdapters.erase(found);
            }
        }
        if (adapter != nullptr)
            adapter->Detach();
    }

    if (Contains(interfaces, kDeviceInterface))
    {
        RCPtr<LDevice> device;
        RCPtr<LIBluetoothListener> listener;
        {
            const std::lock_guard<std::mutex> lock(mLock);
            const auto found = mDevices.find(path);
            if (found == mDevices.end())
                return;
            device = found->second;
            listener = mListener;
        }
        // Told while the device is still listed.
        if (!listener.IsNull())
            listener->OnDeviceRemoved(RCPtr<LIBluetoothDevice>(device));
        // Detached before the list lets go, so that a delivery under way
        // never holds the last reference.
        device->Detach();
        const std::lock_guard<std::mutex> lock(mLock);
        const auto found = mDevices.find(path);
        if (found != mDevices.end() && found->second.Get() == device.Get())
            mDevices.erase(found);
    }
}

//==============================================================================
std::vector<std::shared_ptr<LBluetooth::Adapter>> LBluetooth::GetAdapters() const
{
    std::vector<std::shared_ptr<Adapter>> adapters;
    const std::lock_guard<std::mutex> lock(mLock);
    adapters.reserve(mAdapters.size());
    for (const auto& [path, adapter] : mAdapters)
        adapters.push_back(adapter);
    return adapters;
}

bool LBluetooth::AnyAdapter(const char* property) const
{
    const std::lock_guard<std::mutex> lock(mLock);
    return std::any_of(mAdapters.begin(), mAdapters.end(),
                       [property](const auto& entry) { return entry.second->GetProperty(property, false); });
}

bool LBluetooth::HasAdapter()
{
    const std::lock_guard<std::mutex> lock(mLock);
    return !mAdapters.empty();
}

bool LBluetooth::IsPowered()
{
    return AnyAdapter("Powered");
}

bool LBluetooth::SetPowered(bool on)
{
    // Without the model's lock: each call waits for the dispatch thread, which
    // takes that lock for the object manager's signals.
    for (const std::shared_ptr<Adapter>& adapter : GetAdapters())
        adapter->SetProperty("Powered", on);
    return IsPowered() == on;
}

bool LBluetooth::IsDiscovering()
{
    return AnyAdapter("Discovering");
}

bool LBluetooth::StartDiscovery()
{
    for (const std::shared_ptr<Adapter>& adapter : GetAdapters())
    {
        adapter->SetProperty("Discoverable", true);
        adapter->SetProperty("Pairable", true);
        adapter->CallMethod("StartDiscovery");
    }
    return IsDiscovering();
}

void LBluetooth::StopDiscovery()
{
    for (const std::shared_ptr<Adapter>& adapter : GetAdapters())
    {
        adapter->SetProperty("Discoverable", false);
        adapter->SetProperty("Pairable", false);
        adapter->CallMethod("StopDiscovery");
    }
}

std::vector<RCPtr<LIBluetoothDevice>> LBluetooth::GetDevices()
{
    std::vector<RCPtr<LIBluetoothDevice>> devices;
    const std::lock_guard<std::mutex> lock(mLock);
    devices.reserve(mDevices.size());
    for (const auto& [path, device] : mDevices)
        devices.emplace_back(device);
    return devices;
}

RCPtr<LIBluetoothDevice> LBluetooth::GetDevice(const String& address)
{
    for (const RCPtr<LIBluetoothDevice>& device : GetDevices())
    {
        if (device->GetAddress() == address)
            return device;
    }
    return {};
}

void LBluetooth::SetListener(RCPtr<LIBluetoothListener> listener)
{
    RCPtr<LIBluetoothListener> previous;
    const std::lock_guard<std::mutex> lock(mLock);
    previous = std::move(mListener);
    mListener = std::move(listener);
}

void LBluetooth::GetListener(RCPtr<LIBluetoothListener>& listener)
{
    const std::lock_guard<std::mutex> lock(mLock);
    listener = mListener;
}
} // namespace Vx::VB05
