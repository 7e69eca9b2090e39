"""A private session bus with a minimal StatusNotifierWatcher, for the tray icon's
StatusNotifierItem.

As a program (on the bus that DBUS_SESSION_BUS_ADDRESS names): owns
org.kde.StatusNotifierWatcher and says READY once it does, then `ITEM <service><path>` for
each item that registers; it also reads requests from its standard input, one JSON list a
line (["props", name, path], ["layout", name, menu], ["activate", name, path],
["click", name, menu, item id]), and answers each with one JSON line ({"ok": result} or
{"error": text}); it ends when its standard input closes. It needs PyGObject, which Debian
installs for the system's python3 (python3-gi). As a module: SessionBus starts dbus-daemon and
the watcher for a case and passes requests to it.
"""
import importlib.util
import json
import os
import select
import subprocess
import sys

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
    from gi.repository import Gio, GLib
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

    def call(bus, name, path, iface, method, signature, args, reply):
        return bus.call_sync(name, path, iface, method, GLib.Variant(signature, args),
                             GLib.VariantType(reply), Gio.DBusCallFlags.NONE, 5000, None).unpack()

    requests = {
        "props": lambda bus, name, path: call(bus, name, path, "org.freedesktop.DBus.Properties", "GetAll", "(s)",
                                              (ITEM,), "(a{sv})")[0],
        "layout": lambda bus, name, menu: call(bus, name, menu, "com.canonical.dbusmenu", "GetLayout", "(iias)",
                                               (0, -1, ["label"]), "(u(ia{sv}av))")[1],
        "activate": lambda bus, name, path: call(bus, name, path, ITEM, "Activate", "(ii)", (0, 0), "()"),
        "click": lambda bus, name, menu, item: call(bus, name, menu, "com.canonical.dbusmenu", "Event", "(isvu)",
                                                    (item, "clicked", GLib.Variant("i", 0), 0), "()"),
    }

    def on_request(channel, condition, bus):
        line = sys.stdin.readline()
        if not line:
            loop.quit()
            return False
        try:
            what, *args = json.loads(line)
            answer = {"ok": requests[what](bus, *args)}
        except Exception as e:  # the case reads the failure
            answer = {"error": f"{type(e).__name__}: {e}"}
        print(json.dumps(answer), flush=True)
        return True

    def on_bus(bus, name):
        bus.register_object("/StatusNotifierWatcher", Gio.DBusNodeInfo.new_for_xml(INTERFACE).interfaces[0],
                            on_call, on_property, None)
        GLib.io_add_watch(GLib.IOChannel.unix_new(0), GLib.PRIORITY_DEFAULT, GLib.IO_IN | GLib.IO_HUP,
                          on_request, bus)

    Gio.bus_own_name(Gio.BusType.SESSION, WATCHER, Gio.BusNameOwnerFlags.NONE, on_bus,
                     lambda *_: print("READY", flush=True), lambda *_: loop.quit())
    loop.run()


def python_with_gi():
    """This Python when it has PyGObject, else the system's (a Python of its own, pyenv's say,
    lacks Debian's python3-gi)."""
    return sys.executable if importlib.util.find_spec("gi") else "/usr/bin/python3"


class SessionBus:
    """dbus-daemon --session and the watcher on it, for one case: the clients started
    afterwards get the bus (case.env). Both end with the case."""

    def __init__(self, case):
        self.watcher = None
        # A bus that starts no service by name (no service folders): nothing of the machine's
        # session, the accessibility bus say, comes up on it.
        config = os.path.join(case.work, "dbus.conf")
        with open(config, "w") as f:
            f.write(f"<busconfig><type>session</type><listen>unix:dir={case.work}</listen><policy context=\"default\">"
                    "<allow send_destination=\"*\"/><allow eavesdrop=\"true\"/><allow own=\"*\"/></policy></busconfig>")
        log = open(os.path.join(case.work, "dbus.log"), "wb")
        self.daemon = subprocess.Popen(["dbus-daemon", f"--config-file={config}", "--nofork", "--print-address=1"],
                                       stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=log)
        case.on_close(self.stop)
        case.env["DBUS_SESSION_BUS_ADDRESS"] = self._line(self.daemon, 5, "dbus-daemon's address")
        self.watcher = subprocess.Popen([python_with_gi(), os.path.abspath(__file__)], env=case.env,
                                        stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=log)
        log.close()
        if self._line(self.watcher, 5, "the watcher to own its name") != "READY":
            raise AssertionError(f"the watcher did not start (see {case.work}/dbus.log)")

    @staticmethod
    def _line(proc, timeout, what):
        r, _, _ = select.select([proc.stdout], [], [], timeout)
        line = proc.stdout.readline().decode().strip() if r else ""
        if not line:
            raise AssertionError(f"timed out after {timeout:g} s waiting for {what}")
        return line

    def next_item(self, timeout):
        """The next registered item: (bus name, object path)."""
        service = self._line(self.watcher, timeout, "a StatusNotifierItem to register").removeprefix("ITEM ")
        slash = service.index("/")
        return service[:slash], service[slash:]

    def ask(self, *request):
        """One request to the watcher (see above); answers its result."""
        self.watcher.stdin.write((json.dumps(request) + "\n").encode())
        self.watcher.stdin.flush()
        answer = json.loads(self._line(self.watcher, 10, f"the answer to {request}"))
        if "error" in answer:
            raise AssertionError(f"{request}: {answer['error']}")
        return answer["ok"]

    def stop(self):
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
            p.stdout.close()
            if p.stdin:
                p.stdin.close()


if __name__ == "__main__":
    serve()
