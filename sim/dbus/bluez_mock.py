'''The simulated device's BlueZ: python-dbusmock's bluez5 template, which
adds adapters and devices with their InterfacesAdded and InterfacesRemoved
signals and answers "Set" with PropertiesChanged.  Its adapters' discovery
methods fail on a property the template never sets (DiscoveryFilter), so
here they set Discovering and send its PropertiesChanged as BlueZ does.
Besides, what the tests need to steer it, on org.bluez.Mock of "/":

  RefusePower(s adapter, b refused)   the adapter answers "Set" of Powered
                                      with org.bluez.Error.Blocked, as with
                                      rfkill on, and keeps its state
  SetProperty(o path, s interface, s name, v value)
                                      stores the value (a new name too) and
                                      sends it in a PropertiesChanged
  DropProperties(o path, s interface, as names)
                                      forgets the properties and sends their
                                      names as invalidated
  EmitRaw(o path, s interface, s member, s signature, s arguments)
                                      sends any signal as BlueZ from any path;
                                      the arguments are a Python expression
                                      over the dbus module, for signals BlueZ
                                      would never send

Run with Debian's python3: python3 -m dbusmock --system --template <this file>
'''

import dbus
from dbusmock import mockobject
from dbusmock.templates import bluez5
# The template's settings and methods, so that this module is loaded as it is.
from dbusmock.templates.bluez5 import *  # noqa: F401,F403 pylint: disable=wildcard-import,unused-wildcard-import

BLUEZ_MOCK_IFACE = bluez5.BLUEZ_MOCK_IFACE
ADAPTER_IFACE = bluez5.ADAPTER_IFACE


def load(mock, parameters):
    bluez5.load(mock, parameters)


def _discovery(adapter, discovering):
    adapter.props[ADAPTER_IFACE]['Discovering'] = dbus.Boolean(discovering, variant_level=1)
    adapter.EmitSignal(dbus.PROPERTIES_IFACE, 'PropertiesChanged', 'sa{sv}as', [
        ADAPTER_IFACE, {'Discovering': dbus.Boolean(discovering, variant_level=1)}, dbus.Array([], signature='s')])


@dbus.service.method(BLUEZ_MOCK_IFACE, in_signature='ss', out_signature='s')
def AddAdapter(self, device_name, system_name):
    path = bluez5.AddAdapter(self, device_name, system_name)
    mockobject.objects[path].AddMethods(ADAPTER_IFACE, [
        ('StartDiscovery', '', '', lambda adapter: _discovery(adapter, True)),
        ('StopDiscovery', '', '', lambda adapter: _discovery(adapter, False)),
    ])
    return path


def _refusing_set(obj, interface, name, value):
    if interface == ADAPTER_IFACE and name == 'Powered':
        raise dbus.exceptions.DBusException('Blocked through rfkill', name='org.bluez.Error.Blocked')
    mockobject.DBusMockObject.Set(obj, interface, name, value)


@dbus.service.method(BLUEZ_MOCK_IFACE, in_signature='sb', out_signature='')
def RefusePower(_self, adapter_device_name, refused):
    adapter = mockobject.objects['/org/bluez/' + adapter_device_name]
    if refused:
        adapter.AddMethod(dbus.PROPERTIES_IFACE, 'Set', 'ssv', '', _refusing_set)
    else:
        adapter.methods.get(dbus.PROPERTIES_IFACE, {}).pop('Set', None)


@dbus.service.method(BLUEZ_MOCK_IFACE, in_signature='ossv', out_signature='')
def SetProperty(_self, path, interface, name, value):
    obj = mockobject.objects[path]
    obj.props.setdefault(interface, {})[name] = value
    obj.EmitSignal(dbus.PROPERTIES_IFACE, 'PropertiesChanged', 'sa{sv}as', [
        interface, dbus.Dictionary({name: value}, signature='sv'), dbus.Array([], signature='s')])


@dbus.service.method(BLUEZ_MOCK_IFACE, in_signature='osas', out_signature='')
def DropProperties(_self, path, interface, names):
    obj = mockobject.objects[path]
    for name in names:
        obj.props.get(interface, {}).pop(name, None)
    obj.EmitSignal(dbus.PROPERTIES_IFACE, 'PropertiesChanged', 'sa{sv}as', [
        interface, dbus.Dictionary({}, signature='sv'), dbus.Array(names, signature='s')])


@dbus.service.method(BLUEZ_MOCK_IFACE, in_signature='sssss', out_signature='')
def EmitRaw(self, path, interface, member, signature, arguments):
    # pylint: disable=eval-used
    values = eval(arguments, {'dbus': dbus})
    self.EmitSignalDetailed(interface, member, signature, values, {'path': path})
