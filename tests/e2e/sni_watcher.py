"""A private session bus with a minimal StatusNotifierWatcher, for the tray icon's
StatusNotifierItem.

As a program (on the bus that DBUS_SESSION_BUS_ADDRESS names): owns
org.kde.StatusNotifierWatcher, says READY once it does, then one line `ITEM <service><path>`
per registered item; ends when its standard input closes. As a module: SessionBus starts
dbus-daemon and the watcher for a case and talks to the items from outside.
"""
import os
import select
import subprocess
import sys

from gi.repository import Gio, GLib

WATCHER = "org.kde.StatusNotifierWatcher"
ITEM = "org.kde.StatusNotifierItem"
INTERFACE = f"""<node><interface name="{WATCHER}">
  <method name="RegisterStatusNotifierItem"><arg name="service" type="s" direction="in"/></method>
  <method name="RegisterStatusNotifierHost"><arg name="service" type="s" direction="in"/></method>
  <property name="RegisteredStatusNotifierItems" type="as" access="read"/>
  <property name="IsStatusNotifierHostRegistered" type="b" access="read"/>
  <property name="ProtocolVersion" type="i" access="read"/>
  <signal name="StatusNotifierItemRegistered"><arg type="s"/></signal>
</interface></node>"""


def serve():
    items = []
    loop = GLib.MainLoop()

    def on_call(bus, sender, path, iface, method, args, invocation):
        if method == "RegisterStatusNotifierItem":
            # An item names its bus name or (as libayatana-appindicator does) its object path.
            service = args[0] if not args[0].startswith("/") else sender + args[0]
            items.append(service)
            bus.emit_signal(None, path, iface, "StatusNotifierItemRegistered", GLib.Variant("(s)", (service,)))
            print("ITEM", service, flush=True)
        invocation.return_value(None)

    def on_property(bus, sender, path, iface, name):
        return {"RegisteredStatusNotifierItems": GLib.Variant("as", items),
                "IsStatusNotifierHostRegistered": GLib.Variant("b", True),
                "ProtocolVersion": GLib.Variant("i", 0)}[name]

    def on_bus(bus, name):
        bus.register_object("/StatusNotifierWatcher", Gio.DBusNodeInfo.new_for_xml(INTERFACE).interfaces[0],
                            on_call, on_property, None)

    Gio.bus_own_name(Gio.BusType.SESSION, WATCHER, Gio.BusNameOwnerFlags.NONE, on_bus,
                     lambda *_: print("READY", flush=True), lambda *_: loop.quit())
    GLib.io_add_watch(GLib.IOChannel.unix_new(0), GLib.PRIORITY_DEFAULT, GLib.IO_IN | GLib.IO_HUP,
                      lambda *_: loop.quit())
    loop.run()


class SessionBus:
    """dbus-daemon --session and the watcher on it, for one case: the clients started
    afterwards get the bus (case.env). Both end with the case."""

    def __init__(self, case):
        self.bus = self.watcher = None
        log = open(os.path.join(case.work, "dbus.log"), "wb")
        self.daemon = subprocess.Popen(["dbus-daemon", "--session", "--nofork", "--print-address=1",
                                        f"--address=unix:dir={case.work}"],
                                       stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=log)
        case.on_close(self.stop)
        self.address = self._line(self.daemon, 5, "dbus-daemon's address")
        case.env["DBUS_SESSION_BUS_ADDRESS"] = self.address
        self.watcher = subprocess.Popen([sys.executable, os.path.abspath(__file__)], env=case.env,
                                        stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=log)
        log.close()
        if self._line(self.watcher, 5, "the watcher to own its name") != "READY":
            raise AssertionError("the watcher did not start (see dbus.log)")
        self.bus = Gio.DBusConnection.new_for_address_sync(
            self.address, Gio.DBusConnectionFlags.AUTHENTICATION_CLIENT |
            Gio.DBusConnectionFlags.MESSAGE_BUS_CONNECTION, None, None)

    @staticmethod
    def _line(proc, timeout, what):
        r, _, _ = select.select([proc.stdout], [], [], timeout)
        line = proc.stdout.readline().decode().strip() if r else ""
        if not line:
            raise AssertionError(f"timed out after {timeout:g} s waiting for {what}")
        return line

    def next_item(self, timeout):
        """The next registered item: (bus name, object path)."""
        line = self._line(self.watcher, timeout, "a StatusNotifierItem to register")
        service = line.removeprefix("ITEM ")
        slash = service.index("/")
        return service[:slash], service[slash:]

    def call(self, name, path, iface, method, args=None, reply="()"):
        """A method call; answers the reply's values."""
        return self.bus.call_sync(name, path, iface, method, args, GLib.VariantType(reply),
                                  Gio.DBusCallFlags.NONE, 5000, None).unpack()

    def properties(self, name, path, iface=ITEM):
        return self.call(name, path, "org.freedesktop.DBus.Properties", "GetAll", GLib.Variant("(s)", (iface,)),
                         "(a{sv})")[0]

    def stop(self):
        if self.bus:
            self.bus.close_sync(None)
        for p in (self.watcher, self.daemon):
            if p is None:
                continue
            if p.poll() is None:
                p.terminate()
            try:
                p.wait(timeout=5)
            except subprocess.TimeoutExpired:
                p.kill()
                p.wait()


if __name__ == "__main__":
    serve()
