#pragma once

// The system's view of BlueZ: its adapters and devices mirrored as local
// objects that keep a copy of their D-Bus properties, kept current from the
// object manager's and each object's property signals.
//
// Threads: the object-manager filter, and with it the creation and removal of
// objects, runs on the D-Bus client's dispatch thread; property changes run
// on its notify thread; the interface's operations run on their caller's
// thread.  The maps are guarded by the model's lock and each object's
// properties by the object's own, so readers on any thread see whole values.
// An object that leaves the model stops following its signals before it goes,
// and a removal waits for a delivery to it that is under way.

#include "Panel/Engine/VB05Common/Platform/VB05DBusClient.h"
#include "VxFramework/ObjectBase/RefCountedObject.h"
#include "VxFramework/Utilities/Storage/StringT.h"
#include "VxFramework/Utilities/Storage/Variant.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

namespace Vx::VB05
{
// One Bluetooth device as BlueZ describes it: each getter reads one cached
// property of "org.bluez.Device1", the default when it is missing or of
// another type.
class LIBluetoothDevice : public virtual LRefCountedObject
{
public:
    using String = StringT<char, unsigned short>;

    virtual String GetAddress() const = 0;
    virtual String GetName() const = 0;
    virtual String GetAlias() const = 0;
    virtual std::uint32_t GetClass() const = 0;
    virtual String GetIcon() const = 0;
    virtual bool IsConnected() const = 0;
    virtual bool IsPaired() const = 0;
    virtual std::int16_t GetRSSI() const = 0;
};

// Told of changes; the model only calls it.  OnAdapterChanged and
// OnDeviceChanged come on the D-Bus client's notify thread, OnDeviceAdded and
// OnDeviceRemoved on its dispatch thread.
class LIBluetoothListener : public virtual LRefCountedObject
{
public:
    virtual void OnAdapterChanged() = 0;
    virtual void OnDeviceChanged(RCPtr<LIBluetoothDevice> device) = 0;
    virtual void OnDeviceAdded(RCPtr<LIBluetoothDevice> device) = 0;
    virtual void OnDeviceRemoved(RCPtr<LIBluetoothDevice> device) = 0;
};

class LIBluetooth : public virtual LRefCountedObject
{
public:
    using String = StringT<char, unsigned short>;

    virtual bool HasAdapter() = 0;
    // Whether any adapter reports power.
    virtual bool IsPowered() = 0;
    // Asks every adapter; whether IsPowered now reads as asked (the cached
    // state follows BlueZ's signal, so it may not yet).
    virtual bool SetPowered(bool on) = 0;
    virtual bool IsDiscovering() = 0;
    // Makes every adapter discoverable and pairable and starts its discovery;
    // returns IsDiscovering.
    virtual bool StartDiscovery() = 0;
    virtual void StopDiscovery() = 0;
    virtual std::vector<RCPtr<LIBluetoothDevice>> GetDevices() = 0;
    // The first device whose address equals it byte for byte; null for none.
    virtual RCPtr<LIBluetoothDevice> GetDevice(const String& address) = 0;
    // Null clears it.
    virtual void SetListener(RCPtr<LIBluetoothListener> listener) = 0;
    virtual void GetListener(RCPtr<LIBluetoothListener>& listener) = 0;
};

class LBluetooth : public LIBluetooth
{
public:
    using InterfaceMap = std::unordered_map<std::string, std::unordered_map<std::string, Variant>>;

    // A BlueZ object with the properties of one of its interfaces.  It knows
    // its model until it leaves it (Detach): the model's life is its holders',
    // and a model that goes detaches its objects first, so no cycle of counted
    // references keeps either alive; a device handed out outlives its model
    // with the properties it had.
    class BluetoothObject : public DBusSignalListener
    {
    public:
        BluetoothObject(LBluetooth* owner, std::string path, std::string interfaceName);
        // Detached already by the most derived class.
        ~BluetoothObject() override;
        BluetoothObject(const BluetoothObject&) = delete;
        BluetoothObject& operator=(const BluetoothObject&) = delete;

        // On the notify thread: traces, then Signal_UIThread.
        void Signal(DBusMessagePtr& message) override;
        // Applies a "PropertiesChanged" of the object's own interface: changed
        // values stored, invalidated names erased.
        virtual void Signal_UIThread(DBusMessagePtr& message);

        // The stored value when its tag is exactly T's (bool 1, 16-bit signed
        // 4, 32-bit unsigned 7, text 15), else the default.
        template <class T>
        T GetProperty(const char* name, const T& defaultValue) const;
        // "Set" of the property as v(b); the cache follows BlueZ's signal.
        void SetProperty(const char* name, bool value);
        // A method of the object's interface without arguments; the reply is dropped.
        void CallMethod(const char* method);

        const std::string& GetPath() const noexcept { return mPath; }
        // Subscribes to the object's property changes, reads its properties
        // ("GetAll"; none when that fails) and traces it.  Once the object is
        // whole, so that no signal reaches a part-built one.
        void Start();
        // Stops following the object's signals and lets go of the model.
        // Once; waits for a delivery to this object that is under way.
        void Detach();

    protected:
        RCPtr<LIBluetoothListener> GetListener() const;
        // The destruction's trace, then Detach: for the most derived
        // destructor, before its part goes.
        void Retire();

    private:
        // Written once, by Detach, after the last delivery has returned.
        std::atomic<LBluetooth*> mOwner;
        RCPtr<LDBusClient> mClient;
        const std::string mPath;
        const std::string mInterface;
        std::unordered_map<std::string, Variant> mProperties;
        mutable std::mutex mPropertiesLock;
        std::atomic<bool> mSubscribed{false};
        std::atomic<bool> mDetached{false};
    };

    class Adapter : public BluetoothObject
    {
    public:
        Adapter(LBluetooth* owner, std::string path);
        ~Adapter() override;
        void Signal_UIThread(DBusMessagePtr& message) override;
    };

    class LDevice : public LIBluetoothDevice, public BluetoothObject
    {
    public:
        LDevice(LBluetooth* owner, std::string path);
        ~LDevice() override;

        String GetAddress() const override;
        String GetName() const override;
        String GetAlias() const override;
        std::uint32_t GetClass() const override;
        String GetIcon() const override;
        bool IsConnected() const override;
        bool IsPaired() const override;
        std::int16_t GetRSSI() const override;

        void Signal_UIThread(DBusMessagePtr& message) override;
    };

    // Follows the object manager and builds an object for every adapter and
    // device BlueZ lists; with BlueZ absent the model starts empty.
    explicit LBluetooth(RCPtr<LDBusClient> client);
    // Stops following the object manager, then detaches and releases the
    // objects.
    ~LBluetooth() override;

    bool HasAdapter() override;
    bool IsPowered() override;
    bool SetPowered(bool on) override;
    bool IsDiscovering() override;
    bool StartDiscovery() override;
    void StopDiscovery() override;
    std::vector<RCPtr<LIBluetoothDevice>> GetDevices() override;
    RCPtr<LIBluetoothDevice> GetDevice(const String& address) override;
    void SetListener(RCPtr<LIBluetoothListener> listener) override;
    void GetListener(RCPtr<LIBluetoothListener>& listener) override;

private:
    DBusHandlerResult MessageFilter(DBusMessagePtr& message);
    void HandleInterfacesAdded(const std::string& path, const InterfaceMap& interfaces);
    void HandleInterfacesRemoved(const std::string& path, const std::vector<std::string>& interfaces);
    std::vector<std::shared_ptr<Adapter>> GetAdapters() const;
    bool AnyAdapter(const char* property) const;
    void ReleaseObjects();

    RCPtr<LDBusClient> mClient;
    bool mFollowing = false;
    // Shared, so that a caller's loop over the adapters outlives their removal.
    std::unordered_map<std::string, std::shared_ptr<Adapter>> mAdapters;
    std::unordered_map<std::string, RCPtr<LDevice>> mDevices;
    RCPtr<LIBluetoothListener> mListener;
    mutable std::mutex mLock;
};

template <class T>
T LBluetooth::BluetoothObject::GetProperty(const char* name, const T& defaultValue) const
{
    const std::lock_guard<std::mutex> lock(mPropertiesLock);
    const auto found = mProperties.find(name);
    if (found == mProperties.end())
        return defaultValue;
    const Variant& value = found->second;
    if constexpr (std::is_same_v<T, bool>)
        return value.GetTag() == Variant::T_BOOL ? value.GetBool() : defaultValue;
    else if constexpr (std::is_same_v<T, std::int16_t>)
        return value.GetTag() == Variant::T_INT16 ? value.GetInt16() : defaultValue;
    else if constexpr (std::is_same_v<T, std::uint32_t>)
        return value.GetTag() == Variant::T_UINT32 ? value.GetUInt32() : defaultValue;
    else
    {
        static_assert(std::is_same_v<T, StringT<char, unsigned short>>, "a property type the model reads");
        return value.GetTag() == Variant::T_STRING && value.GetString() != nullptr ? T(value.GetString())
                                                                                   : defaultValue;
    }
}
} // namespace Vx::VB05
