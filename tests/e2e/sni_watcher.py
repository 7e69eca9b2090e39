"""A private session bus with a minimal StatusNotifierWatcher for the tray's StatusNotifierItem.
As a program (on the system's python3, which has Debian's python3-gi) it owns the watcher's
name, prints READY, then `ITEM <service><path>` per registered item, and ends with its input."""
import os
import select
import subprocess
import sys

XML = """<node><interface name="org.kde.StatusNotifierWatcher">
  <method name="RegisterStatusNotifierItem"><arg type="s" direction="in"/></method>
  <property name="RegisteredStatusNotifierItems" type="as" access="read"/>
  <property name="IsStatusNotifierHostRegistered" type="b" access="read"/>
  <property name="ProtocolVersion" type="i" access="read"/>
  <signal name="StatusNotifierItemRegistered"><arg type="s"/></signal></interface></node>"""


def serve():
    from gi.repository import Gio, GLib
    items, loop = [], GLib.MainLoop()

    def on_call(bus, sender, path, iface, method, args, invocation):
        items.append(sender + args[0] if args[0].startswith("/") else args[0])  # a path: libayatana's way
        bus.emit_signal(None, path, iface, "StatusNotifierItemRegistered", GLib.Variant("(s)", (items[-1],)))
        print("ITEM", items[-1], flush=True)
        invocation.return_value(None)

    def on_bus(bus, _):
        bus.register_object("/StatusNotifierWatcher", Gio.DBusNodeInfo.new_for_xml(XML).interfaces[0], on_call,
                            lambda *a: {"RegisteredStatusNotifierItems": GLib.Variant("as", items),
                                        "IsStatusNotifierHostRegistered": GLib.Variant("b", True),
                                        "ProtocolVersion": GLib.Variant("i", 0)}[a[-1]], None)

    Gio.bus_own_name(Gio.BusType.SESSION, "org.kde.StatusNotifierWatcher", 0, on_bus,
                     lambda *_: print("READY", flush=True), lambda *_: loop.quit())
    GLib.io_add_watch(GLib.IOChannel.unix_new(0), GLib.PRIORITY_DEFAULT, GLib.IO_HUP, lambda *_: loop.quit())
    loop.run()


class SessionBus:
    """dbus-daemon (with no service folders, so nothing of the machine's session starts on it)
    and the watcher, for one case whose clients get the bus through case.env; `call` is gdbus's."""

    def __init__(self, case):
        self.env, self.procs, self.log = case.env, [], open(os.path.join(case.work, "dbus.log"), "wb")
        case.on_close(self.stop)
        with open(os.path.join(case.work, "dbus.conf"), "w") as f:
            f.write(f'<busconfig><type>session</type><listen>unix:dir={case.work}</listen><policy context="default">'
                    '<allow send_destination="*"/><allow eavesdrop="true"/><allow own="*"/></policy></busconfig>')
        self.env["DBUS_SESSION_BUS_ADDRESS"] = self.line("dbus-daemon", f"--config-file={f.name}", "--nofork",
                                                         "--print-address=1")
        if self.line("/usr/bin/python3", os.path.abspath(__file__)) != "READY":
            raise AssertionError("the watcher did not start")

    def line(self, *start, timeout=10):
        """The next line of a process started with these arguments, or else of the watcher."""
        if start:
            self.procs.append(subprocess.Popen(start, env=self.env, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                               stderr=self.log))
        r, _, _ = select.select([self.procs[-1].stdout], [], [], timeout)
        return self.procs[-1].stdout.readline().decode().strip() if r else "(nothing)"

    def call(self, name, path, method, *args):
        r = subprocess.run(["gdbus", "call", "--session", "-d", name, "-o", path, "-m", method, "--", *args],
                           env=self.env, capture_output=True, text=True, timeout=10)
        if r.returncode:
            raise AssertionError(f"{method} {args}: {r.stderr.strip()}")
        return r.stdout

    def stop(self):
        for p in reversed(self.procs):
            p.stdin.close()
            p.terminate()
            p.wait(timeout=5)
            p.stdout.close()
        self.log.close()


if __name__ == "__main__":
    serve()
