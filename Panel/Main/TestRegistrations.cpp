#include "Panel/Main/TestRegistrations.h"

#include "Panel/Engine/VB05Common/BluetoothTest.h"
#include "Panel/Engine/VB05Common/EthernetTest.h"
#include "Panel/Engine/VB05Common/RAMTest.h"
#include "Panel/Engine/VB05Common/StorageTest.h"
#include "Panel/Engine/VB05Common/USBBTest.h"
#include "Panel/Engine/VB05Common/WiFiTest.h"
#include "Panel/Main/TestIdentifiers.h"

namespace Vx
{
void RegisterTestEngineCreators(LTestEngineFactory& factory)
{
    for (const char* testId : kTestIds)
    {
        factory.Register(StringT<char, unsigned short>(testId),
                         [testId] { return MakeRCPtr<LTestEngine>(StringT<char, unsigned short>(testId)); });
    }
}

namespace
{
// The by-path names of the disks on the hub ports the USB storage tests check.
constexpr char kUSBFront1Disk[] = "platform-ff500000.usb-usb-0:1.6:1.0-scsi-0:0:0:0";
constexpr char kUSBBack2Disk[] = "platform-ff500000.usb-usb-0:1.2:1.0-scsi-0:0:0:0";
constexpr char kUSBBack3Disk[] = "platform-ff500000.usb-usb-0:1.1:1.0-scsi-0:0:0:0";
// The SATA drive, through its bridge on hub port 4.
constexpr char kSATADisk[] = "platform-ff500000.usb-usb-0:1.4:1.0-scsi-0:0:0:0";

void RegisterUSBStorageTest(LTestFactory& factory, const char* testId, const char* diskPath)
{
    factory.Register(StringT<char, unsigned short>(testId), [diskPath] {
        return RCPtr<LThreadedTest>(VB05::LStorageTestUSB::Create(StringT<char, unsigned short>(diskPath)));
    });
}
} // namespace

void RegisterTestCreators(LTestFactory& factory)
{
    factory.Register(StringT<char, unsigned short>(TID_DUMMY),
                     [] { return RCPtr<LThreadedTest>(MakeRCPtr<LDummyTest>(1000, 0)); });
    factory.Register(StringT<char, unsigned short>(TID_RAM),
                     [] { return RCPtr<LThreadedTest>(MakeRCPtr<VB05::LRAMTest>()); });
    factory.Register(StringT<char, unsigned short>(TID_MEDIA_EMMC),
                     [] { return RCPtr<LThreadedTest>(VB05::LStorageTestInternalFlash::Create()); });
    RegisterUSBStorageTest(factory, TID_MEDIA_USB_FRONT_1, kUSBFront1Disk);
    RegisterUSBStorageTest(factory, TID_MEDIA_USB_BACK_2, kUSBBack2Disk);
    RegisterUSBStorageTest(factory, TID_MEDIA_USB_BACK_3, kUSBBack3Disk);
    RegisterUSBStorageTest(factory, TID_MEDIA_SATA, kSATADisk);
    factory.Register(StringT<char, unsigned short>(TID_MEDIA_EXTERNAL_SD),
                     [] { return RCPtr<LThreadedTest>(VB05::LStorageTestExternalSD::Create()); });
    factory.Register(StringT<char, unsigned short>(TID_IO_USBB), [] {
        // The host must be seen at USB 3 speed on the upstream port; the
        // multiplexer ends internal.
        Array<VB05::LUSBBTestImpl::PortStatusRequirement> requirements;
        requirements.Add({0, VB05::LUSBBTestImpl::USB3Connection});
        return RCPtr<LThreadedTest>(VB05::LUSBBTestImpl::Create(requirements, 0));
    });
    factory.Register(StringT<char, unsigned short>(TID_IO_ETHERNET), [] { return VB05::CreateEthernetTest(); });
    factory.Register(StringT<char, unsigned short>(TID_IO_WIFI), [] { return VB05::CreateWiFiTest(); });
    factory.Register(StringT<char, unsigned short>(TID_IO_BLUETOOTH),
                     [] { return RCPtr<LThreadedTest>(MakeRCPtr<VB05::LBluetoothTest2>()); });
}
} // namespace Vx
