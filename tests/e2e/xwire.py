# Over 500 lines: one protocol client; its requests share the connection and the reply reader.
"""A small X11 protocol client on the Python standard library.

Enough of the core protocol for the end-to-end tests, the desktop helper and the start-up
benchmark: atoms, properties, selection owners, the window tree, geometry, map state,
screen pixels (GetImage) and structure events. Requests are answered synchronously; events
that arrive meanwhile are queued for next_event().
"""
import os
import select
import socket
import struct
import time

# Event masks.
BUTTON_PRESS_MASK = 0x4
BUTTON_RELEASE_MASK = 0x8
STRUCTURE_NOTIFY = 0x20000
SUBSTRUCTURE_NOTIFY = 0x80000
PROPERTY_CHANGE = 0x400000

# Event codes.
BUTTON_PRESS = 4
BUTTON_RELEASE = 5
CREATE_NOTIFY = 16
DESTROY_NOTIFY = 17
UNMAP_NOTIFY = 18
MAP_NOTIFY = 19
REPARENT_NOTIFY = 21
CONFIGURE_NOTIFY = 22
PROPERTY_NOTIFY = 28

# Map states.
IS_UNMAPPED, IS_UNVIEWABLE, IS_VIEWABLE = 0, 1, 2


class XError(Exception):
    def __init__(self, code, major, value):
        names = {2: "BadValue", 3: "BadWindow", 4: "BadPixmap", 5: "BadAtom", 8: "BadMatch",
                 9: "BadDrawable", 10: "BadAccess", 11: "BadAlloc"}
        super().__init__(f"X error {names.get(code, code)} (request {major}, value {value:#x})")
        self.code = code
        self.major = major
        self.value = value


def _pad(n):
    return (4 - n % 4) % 4


def _read_xauthority(display_number):
    """MIT-MAGIC-COOKIE-1 for a local display from $XAUTHORITY, or (b'', b'')."""
    path = os.environ.get("XAUTHORITY") or os.path.join(os.environ.get("HOME", "/"), ".Xauthority")
    try:
        data = open(path, "rb").read()
    except OSError:
        return b"", b""
    pos = 0

    def field():
        nonlocal pos
        (n,) = struct.unpack_from(">H", data, pos)
        v = data[pos + 2:pos + 2 + n]
        pos += 2 + n
        return v

    try:
        while pos < len(data):
            pos += 2  # family
            field()  # address
            number = field()
            name = field()
            cookie = field()
            if number.decode(errors="replace") == str(display_number) and name == b"MIT-MAGIC-COOKIE-1":
                return name, cookie
    except struct.error:
        pass
    return b"", b""


class Event:
    __slots__ = ("code", "raw", "window", "event", "parent", "atom", "override", "time")

    def __init__(self, raw):
        self.raw = raw
        self.code = raw[0] & 0x7F
        self.window = self.event = self.parent = self.atom = 0
        self.override = False
        self.time = time.monotonic()
        c = self.code
        if c in (BUTTON_PRESS, BUTTON_RELEASE):
            self.window = struct.unpack_from("<I", raw, 12)[0]
        elif c == CREATE_NOTIFY:
            self.parent, self.window = struct.unpack_from("<II", raw, 4)
            self.override = bool(raw[22])
        elif c in (DESTROY_NOTIFY, UNMAP_NOTIFY):
            self.event, self.window = struct.unpack_from("<II", raw, 4)
        elif c == MAP_NOTIFY:
            self.event, self.window = struct.unpack_from("<II", raw, 4)
            self.override = bool(raw[12])
        elif c == REPARENT_NOTIFY:
            self.event, self.window, self.parent = struct.unpack_from("<III", raw, 4)
        elif c == CONFIGURE_NOTIFY:
            self.event, self.window = struct.unpack_from("<II", raw, 4)
        elif c == PROPERTY_NOTIFY:
            self.window, self.atom = struct.unpack_from("<II", raw, 4)


class Display:
    def __init__(self, name=None):
        name = name or os.environ.get("DISPLAY", "")
        if not name or ":" not in name:
            raise ConnectionError(f"no usable DISPLAY ({name!r})")
        host, _, rest = name.rpartition(":")
        number = rest.split(".")[0]
        if host in ("", "unix"):
            self.sock = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
            self.sock.connect(f"/tmp/.X11-unix/X{number}")
        else:
            self.sock = socket.create_connection((host, 6000 + int(number)))
        auth_name, auth_data = _read_xauthority(number)
        req = struct.pack("<BxHHHHxx", 0x6C, 11, 0, len(auth_name), len(auth_data))
        req += auth_name + b"\0" * _pad(len(auth_name)) + auth_data + b"\0" * _pad(len(auth_data))
        self.sock.sendall(req)
        head = self._recv(8)
        status, _, _, _, extra = struct.unpack("<BBHHH", head)
        body = self._recv(extra * 4)
        if status != 1:
            reason = body[:head[1]].decode(errors="replace")
            raise ConnectionError(f"X server refused the connection: {reason}")
        (self.id_base, self.id_mask) = struct.unpack_from("<II", body, 4)
        vendor_len, = struct.unpack_from("<H", body, 16)
        nscreens, nformats = body[20], body[21]
        off = 32 + vendor_len + _pad(vendor_len) + 8 * nformats
        (self.root, _, _, _, _, self.width, self.height) = struct.unpack_from("<IIIIIHH", body, off)
        self.root_depth = body[off + 38]
        self.seq = 0
        self.events = []
        self.atoms = {}
        self.atom_names = {}
        self.async_errors = []

    def close(self):
        try:
            self.sock.close()
        except OSError:
            pass

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()

    # ---- wire --------------------------------------------------------------------------

    def _recv(self, n):
        buf = bytearray()
        while len(buf) < n:
            chunk = self.sock.recv(min(n - len(buf), 1 << 20))
            if not chunk:
                raise ConnectionError("the X server closed the connection")
            buf += chunk
        return bytes(buf)

    def _send(self, opcode, data_byte, body=b""):
        length = 1 + (len(body) + 3) // 4
        pkt = struct.pack("<BBH", opcode, data_byte, length) + body + b"\0" * _pad(len(body))
        self.sock.sendall(pkt)
        self.seq = (self.seq + 1) & 0xFFFF
        return self.seq

    def _read_packet(self):
        head = self._recv(32)
        if head[0] == 1:
            (extra,) = struct.unpack_from("<I", head, 4)
            return head + (self._recv(extra * 4) if extra else b"")
        return head

    def _reply(self, seq):
        while True:
            pkt = self._read_packet()
            kind = pkt[0]
            if kind == 1:
                (s,) = struct.unpack_from("<H", pkt, 2)
                if s == seq:
                    return pkt
                continue  # a reply nobody waits for any more
            if kind == 0:
                code, s, value = pkt[1], struct.unpack_from("<H", pkt, 2)[0], struct.unpack_from("<I", pkt, 4)[0]
                major = pkt[10]
                if s == seq:
                    raise XError(code, major, value)
                self.async_errors.append(XError(code, major, value))
                continue
            self.events.append(Event(pkt))

    def request(self, opcode, data_byte=0, body=b""):
        return self._reply(self._send(opcode, data_byte, body))

    def sync(self):
        """Round trip: every earlier request has been handled once this returns."""
        self.request(43)

    # ---- atoms and properties ----------------------------------------------------------

    def atom(self, name, only_if_exists=False):
        if name in self.atoms:
            return self.atoms[name]
        raw = name.encode()
        r = self.request(16, 1 if only_if_exists else 0, struct.pack("<Hxx", len(raw)) + raw)
        (a,) = struct.unpack_from("<I", r, 8)
        if a:
            self.atoms[name] = a
            self.atom_names[a] = name
        return a

    def atom_name(self, atom):
        if atom in self.atom_names:
            return self.atom_names[atom]
        r = self.request(17, 0, struct.pack("<I", atom))
        (n,) = struct.unpack_from("<H", r, 8)
        name = r[32:32 + n].decode(errors="replace")
        self.atom_names[atom] = name
        return name

    def get_property(self, window, name, type_atom=0, max_longs=1 << 20):
        """(type atom, format, bytes) or None when the window has no such property."""
        prop = self.atom(name) if isinstance(name, str) else name
        r = self.request(20, 0, struct.pack("<IIIII", window, prop, type_atom, 0, max_longs))
        fmt = r[1]
        ptype, _after, nitems = struct.unpack_from("<III", r, 8)
        if ptype == 0:
            return None
        size = nitems * (fmt // 8)
        return ptype, fmt, r[32:32 + size]

    def prop_cardinals(self, window, name):
        p = self.get_property(window, name)
        if not p or p[1] != 32:
            return []
        return list(struct.unpack(f"<{len(p[2]) // 4}I", p[2]))

    def prop_atoms(self, window, name):
        return [self.atom_name(a) for a in self.prop_cardinals(window, name) if a]

    def prop_text(self, window, name):
        p = self.get_property(window, name)
        if not p:
            return None
        return p[2].decode("utf-8", errors="replace")

    def window_name(self, window):
        try:
            n = self.prop_text(window, "_NET_WM_NAME")
            if n is None:
                n = self.prop_text(window, "WM_NAME")
            return n
        except XError:
            return None

    def window_pid(self, window):
        try:
            v = self.prop_cardinals(window, "_NET_WM_PID")
        except XError:
            return None
        return v[0] if v else None

    def wm_class(self, window):
        try:
            t = self.prop_text(window, "WM_CLASS")
        except XError:
            return []
        return [p for p in (t or "").split("\0") if p]

    def embedded(self, window):
        """The window is an XEMBED client (a tray icon, say)."""
        try:
            return self.get_property(window, "_XEMBED_INFO") is not None
        except XError:
            return False

    def selection_owner(self, name):
        r = self.request(23, 0, struct.pack("<I", self.atom(name)))
        return struct.unpack_from("<I", r, 8)[0]

    # ---- windows -----------------------------------------------------------------------

    def query_tree(self, window):
        r = self.request(15, 0, struct.pack("<I", window))
        _root, parent, n = struct.unpack_from("<IIH", r, 8)
        return parent, list(struct.unpack_from(f"<{n}I", r, 32))

    def descendants(self, window=None):
        out = []
        stack = [window or self.root]
        while stack:
            w = stack.pop()
            try:
                _, kids = self.query_tree(w)
            except XError:
                continue
            out.extend(kids)
            stack.extend(kids)
        return out

    def attributes(self, window):
        """dict with map_state, override_redirect, your_event_mask, klass."""
        r = self.request(3, 0, struct.pack("<I", window))
        (klass,) = struct.unpack_from("<H", r, 12)
        return {"map_state": r[26], "override_redirect": bool(r[27]), "klass": klass,
                "visual": struct.unpack_from("<I", r, 8)[0]}

    def map_state(self, window):
        try:
            return self.attributes(window)["map_state"]
        except XError:
            return None

    def viewable(self, window):
        return self.map_state(window) == IS_VIEWABLE

    def geometry(self, window):
        """(x, y, width, height) with x, y on the root window."""
        r = self.request(14, 0, struct.pack("<I", window))
        _, _, w, h = struct.unpack_from("<hhHH", r, 12)
        t = self.request(40, 0, struct.pack("<IIhh", window, self.root, 0, 0))
        x, y = struct.unpack_from("<hh", t, 12)
        return x, y, w, h

    def select_input(self, window, mask):
        self._send(2, 0, struct.pack("<III", window, 0x800, mask))

    def create_window(self, x, y, w, h, background=0xFF00FF, event_mask=0, override_redirect=True):
        """A plain window on the root window, mapped at once; answers its id."""
        self._next_id = getattr(self, "_next_id", 0) + 1
        wid = self.id_base | (self._next_id & self.id_mask)
        # value mask: background-pixel 0x2, override-redirect 0x200, event-mask 0x800
        values = struct.pack("<III", background, 1 if override_redirect else 0, event_mask)
        self._send(1, 0, struct.pack("<IIhhHHHHII", wid, self.root, x, y, w, h, 0, 1, 0, 0x2 | 0x200 | 0x800)
                   + values)
        self._send(8, 0, struct.pack("<I", wid))  # MapWindow
        self.sync()
        return wid

    def lower_window(self, window):
        """To the bottom of the stack (ConfigureWindow stack-mode Below)."""
        self._send(12, 0, struct.pack("<IHxxI", window, 0x40, 1))
        self.sync()

    def destroy_window(self, window):
        self._send(4, 0, struct.pack("<I", window))
        self.sync()

    def input_focus(self):
        r = self.request(43)
        return struct.unpack_from("<I", r, 8)[0]

    def pointer(self):
        r = self.request(38, 0, struct.pack("<I", self.root))
        x, y = struct.unpack_from("<hh", r, 16)
        return x, y

    def pointer_child(self):
        """The child of the root window that the pointer is in (input shapes respected), or 0."""
        r = self.request(38, 0, struct.pack("<I", self.root))
        return struct.unpack_from("<I", r, 12)[0]

    def toplevel_of(self, window):
        """The ancestor of a window that is a child of the root window (a manager's frame)."""
        w = window
        while True:
            parent, _ = self.query_tree(w)
            if parent in (0, self.root):
                return w
            w = parent

    def active_window(self):
        v = self.prop_cardinals(self.root, "_NET_ACTIVE_WINDOW")
        return v[0] if v else 0

    # ---- extensions --------------------------------------------------------------------

    def extension(self, name):
        """Major opcode of an extension, or 0 when the server lacks it."""
        raw = name.encode()
        r = self.request(98, 0, struct.pack("<Hxx", len(raw)) + raw)
        return r[9] if r[8] else 0

    def shape_rectangles(self, window, kind):
        """The rectangles of a window's shape (kind 0 bounding, 2 input), window-relative."""
        major = self.extension("SHAPE")
        if not major:
            return None
        r = self.request(major, 8, struct.pack("<IBxxx", window, kind))
        (n,) = struct.unpack_from("<I", r, 8)
        return [struct.unpack_from("<hhHH", r, 32 + 8 * i) for i in range(n)]

    # ---- pixels ------------------------------------------------------------------------

    def get_image(self, x, y, w, h, drawable=None):
        """Pixels of a rectangle of the root window (or a drawable) as an Image."""
        r = self.request(73, 2, struct.pack("<IhhHHI", drawable or self.root, x, y, w, h, 0xFFFFFFFF))
        depth = r[1]
        return Image(w, h, r[32:32 + w * h * 4], depth)

    # ---- events ------------------------------------------------------------------------

    def next_event(self, timeout):
        """The next event, or None after timeout seconds."""
        if self.events:
            return self.events.pop(0)
        deadline = time.monotonic() + timeout
        while True:
            left = deadline - time.monotonic()
            if left <= 0:
                return None
            ready, _, _ = select.select([self.sock], [], [], left)
            if not ready:
                return None
            pkt = self._read_packet()
            if pkt[0] == 0:
                self.async_errors.append(XError(pkt[1], pkt[10], struct.unpack_from("<I", pkt, 4)[0]))
                continue
            if pkt[0] == 1:
                continue
            return Event(pkt)


class Image:
    """A ZPixmap of 32 bits per pixel (depth 24 or 32), pixels as (r, g, b)."""

    def __init__(self, width, height, data, depth=24):
        self.width = width
        self.height = height
        self.data = data
        self.depth = depth

    def pixel(self, x, y):
        i = (y * self.width + x) * 4
        b, g, r = self.data[i], self.data[i + 1], self.data[i + 2]
        return r, g, b

    def crop(self, x, y, w, h):
        rows = []
        for yy in range(y, y + h):
            i = (yy * self.width + x) * 4
            rows.append(self.data[i:i + w * 4])
        return Image(w, h, b"".join(rows), self.depth)

    def rgb_bytes(self):
        """Packed RGB, row by row."""
        src = self.data
        out = bytearray(self.width * self.height * 3)
        out[0::3] = src[2::4]
        out[1::3] = src[1::4]
        out[2::3] = src[0::4]
        return bytes(out)

    def save_png(self, path):
        import zlib
        rgb = self.rgb_bytes()
        stride = self.width * 3
        raw = b"".join(b"\0" + rgb[y * stride:(y + 1) * stride] for y in range(self.height))

        def chunk(tag, payload):
            c = struct.pack(">I", len(payload)) + tag + payload
            return c + struct.pack(">I", zlib.crc32(tag + payload) & 0xFFFFFFFF)

        png = b"\x89PNG\r\n\x1a\n"
        png += chunk(b"IHDR", struct.pack(">IIBBBBB", self.width, self.height, 8, 2, 0, 0, 0))
        png += chunk(b"IDAT", zlib.compress(raw, 3))
        png += chunk(b"IEND", b"")
        tmp = path + ".part"
        with open(tmp, "wb") as f:
            f.write(png)
        os.replace(tmp, path)


def wait_for(predicate, timeout, interval=0.02):
    """Polls predicate until it answers something true; returns that, or None at the deadline."""
    deadline = time.monotonic() + timeout
    while True:
        try:
            v = predicate()
        except XError:
            v = None
        if v:
            return v
        if time.monotonic() >= deadline:
            return None
        time.sleep(interval)


def wait_still(d, rect, timeout):
    """Waits until the screen area (x, y, w, h) stops changing: three equal pictures 0.1 s
    apart. True when it did within the time."""
    pics = []

    def still():
        pics.append(d.get_image(*rect).data)
        del pics[:-3]
        return len(pics) == 3 and pics[0] == pics[1] == pics[2]
    return bool(wait_for(still, timeout, interval=0.1))


def _main(argv):
    """Command line for shell scripts:
         xwire.py wait-owner TIMEOUT SELECTION...     every selection has an owner
         xwire.py wait-root-prop TIMEOUT PROPERTY...  the root window has every property
         xwire.py wait-window TIMEOUT NAME [PID [WxH]]
                                   a viewable window of that name ("*": any), process (""
                                   or absent: any) and size; prints "ID X Y WIDTH HEIGHT"
         xwire.py wait-still TIMEOUT X Y W H          the screen area stops changing (three
                                                      equal pictures 0.1 s apart)
         xwire.py wait-varied TIMEOUT X Y W H         the screen area is no longer one colour
         xwire.py reachable                           exit 0 when $DISPLAY answers
    """
    if len(argv) >= 1 and argv[0] == "reachable":
        try:
            Display().close()
            return 0
        except (OSError, ConnectionError):
            return 1
    if len(argv) >= 3 and argv[0] in ("wait-window", "wait-still", "wait-varied"):
        timeout = float(argv[1])
        try:
            d = Display()
        except (OSError, ConnectionError) as e:
            print(f"xwire: {e}", flush=True)
            return 1
        with d:
            if argv[0] == "wait-window":
                name, pid = argv[2], (int(argv[3]) if len(argv) > 3 and argv[3] else None)
                size = tuple(int(v) for v in argv[4].split("x")) if len(argv) > 4 else None

                def find():
                    for w in d.descendants():
                        if (name == "*" or d.window_name(w) == name) \
                                and (pid is None or d.window_pid(w) == pid) \
                                and d.viewable(w) and not d.embedded(w) \
                                and (size is None or tuple(d.geometry(w)[2:]) == size):
                            return w
                    return None
                w = wait_for(find, timeout)
                if not w:
                    print(f"xwire: no viewable window named {name!r} after {timeout:g}s", flush=True)
                    return 1
                x, y, ww, hh = d.geometry(w)
                print(w, x, y, ww, hh, flush=True)
                return 0
            x, y, w, h = (int(v) for v in argv[2:6])
            if argv[0] == "wait-varied":
                def varied():
                    data = d.get_image(x, y, w, h).data
                    return any(data[i:i + 3] != data[0:3] for i in range(0, len(data), 4 * 97))
                if wait_for(varied, timeout, interval=0.1):
                    return 0
                print(f"xwire: the area {w}x{h}+{x}+{y} stayed one colour for {timeout:g}s", flush=True)
                return 1
            if wait_still(d, (x, y, w, h), timeout):
                return 0
            print(f"xwire: the area {w}x{h}+{x}+{y} kept changing for {timeout:g}s", flush=True)
            return 1
    if len(argv) < 3 or argv[0] not in ("wait-owner", "wait-root-prop"):
        print(_main.__doc__.strip(), flush=True)
        return 2
    timeout = float(argv[1])
    names = argv[2:]
    deadline = time.monotonic() + timeout
    d = None
    while d is None:
        try:
            d = Display()
        except (OSError, ConnectionError):
            if time.monotonic() >= deadline:
                print(f"xwire: cannot connect to {os.environ.get('DISPLAY')}", flush=True)
                return 1
            time.sleep(0.02)
    with d:
        if argv[0] == "wait-owner":
            missing = lambda: [n for n in names if not d.selection_owner(n)]  # noqa: E731
        else:
            missing = lambda: [n for n in names if d.get_property(d.root, n) is None]  # noqa: E731
        left = wait_for(lambda: not missing(), max(0.0, deadline - time.monotonic()))
        if left:
            return 0
        print(f"xwire: timed out after {timeout:g}s waiting for {' '.join(missing())}", flush=True)
        return 1


if __name__ == "__main__":
    import sys
    sys.exit(_main(sys.argv[1:]))
