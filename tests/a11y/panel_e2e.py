#!/usr/bin/python3
"""The panel end to end, as an assistive tool and a non-Latin keyboard see it.

Each check starts its own X server (Xvfb), a private session bus, the
AT-SPI bus where it needs one, and the panel on a drive library; it ends
every process it started, whatever happens, and gives up after a hard
deadline. A drive library that records downloads (RECORDING_DRIVE_LOG)
shows which keys reached it.

    panel_e2e.py keys    PANEL RECORDING_LIBRARY_DIR
    panel_e2e.py display PANEL SIMULATED_DRIVE_DIR
    panel_e2e.py layout  PANEL RECORDING_LIBRARY_DIR
    panel_e2e.py record  PANEL SIMULATED_DRIVE_DIR RUNNER
    panel_e2e.py run     PROGRAM [ARGUMENTS...]

The last runs a test program of ours inside the same session, with Qt's
accessibility active, and passes on its exit status.

Exit status: 0 passed, 1 failed, 77 skipped (a needed tool is missing).
"""
import ctypes
import os
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import time

SKIP = 77
DEADLINE_SECONDS = 100
WAIT_SECONDS = 20  # for any one thing to happen

RUN = 7  # the run key's place in a download, in the library's order
LIBRARY_ORDER = ["up", "down", "esc", "menu", "dir", "jog", "local", "run", "stop", "disp"]
KEY_NAMES = {"Up", "Down", "Escape", "Menu", "Direction", "Jog", "Local/Remote", "Run", "Stop/Reset", "Program"}


class Failure(Exception):
    pass


def skip(why):
    print("SKIP: " + why)
    sys.exit(SKIP)


def need(tools, modules):
    for tool in tools:
        if shutil.which(tool) is None and not os.access(tool, os.X_OK):
            skip(tool + " is not installed")
    for module in modules:
        try:
            __import__(module)
        except ImportError:
            skip("the Python module " + module + " is not installed")


def wait_for(what, condition, seconds=WAIT_SECONDS, pump=None):
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        if pump:
            pump()
        result = condition()
        if result:
            return result
        time.sleep(0.05)
    raise Failure("gave up waiting for " + what)


def read_line_from(fd):
    """What a starting server writes into its pipe: its display or address.
    The deadline's signal ends a wait that never returns."""
    data = b""
    while not data.endswith(b"\n"):
        chunk = os.read(fd, 256)
        if not chunk:
            raise Failure("a server ended while starting")
        data += chunk
    os.close(fd)
    return data.decode().strip()


def descendants(root):
    """Every process below root, from the parent ids in /proc/*/stat."""
    children = {}
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            with open("/proc/%s/stat" % entry) as stat:
                fields = stat.read().rsplit(")", 1)[1].split()
        except OSError:
            continue
        children.setdefault(int(fields[1]), []).append(int(entry))
    found, todo = [], [root]
    while todo:
        for child in children.get(todo.pop(), []):
            found.append(child)
            todo.append(child)
    return found


class Session:
    """Xvfb, a session bus, optionally the AT-SPI bus, and the panel."""

    def __init__(self):
        self.work = tempfile.mkdtemp(prefix="op-station-e2e-")
        self.log = os.path.join(self.work, "downloads.log")
        self.env = dict(os.environ)
        self.panel = None
        # What the X server and the panel say, shown when the check fails.
        self.errors = open(os.path.join(self.work, "errors.log"), "w+")

    def start(self, argv, **kw):
        return subprocess.Popen(argv, env=self.env, stdin=subprocess.DEVNULL, **kw)

    def start_x(self):
        """An X server on a free display. Another server that is just ending
        may take the new one's socket with it: then start again."""
        for attempt in range(3):
            r, w = os.pipe()
            server = self.start(["Xvfb", "-displayfd", str(w), "-screen", "0", "640x600x24", "-nolisten", "tcp",
                                 "-noreset"], pass_fds=(w,), stderr=self.errors)
            os.close(w)
            number = read_line_from(r)
            if x_server_answers(number):
                self.env["DISPLAY"] = os.environ["DISPLAY"] = ":" + number
                return
            server.kill()
            server.wait()
        raise Failure("no X server could be started")

    def start_session_bus(self):
        r, w = os.pipe()
        self.start(["dbus-daemon", "--session", "--nofork", "--print-address=%d" % w],
                   pass_fds=(w,), stderr=subprocess.DEVNULL)
        os.close(w)
        self.env["DBUS_SESSION_BUS_ADDRESS"] = read_line_from(r)
        os.environ["DBUS_SESSION_BUS_ADDRESS"] = self.env["DBUS_SESSION_BUS_ADDRESS"]

    def start_accessibility_bus(self):
        self.start(["/usr/libexec/at-spi-bus-launcher", "--launch-immediately"], stderr=subprocess.DEVNULL)
        from gi.repository import Gio, GLib
        bus = Gio.bus_get_sync(Gio.BusType.SESSION, None)

        def owned():
            reply = bus.call_sync("org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
                                  "NameHasOwner", GLib.Variant("(s)", ("org.a11y.Bus",)), None,
                                  Gio.DBusCallFlags.NONE, -1, None)
            return reply.unpack()[0]
        wait_for("the AT-SPI bus", owned)
        self.env["QT_LINUX_ACCESSIBILITY_ALWAYS_ON"] = "1"

    def start_panel(self, program, library_dir, *arguments):
        """The library is named by its folder on LD_LIBRARY_PATH, which a
        sanitizer build needs even for the one beside the program."""
        self.env["QT_QPA_PLATFORM"] = "xcb"
        self.env["RECORDING_DRIVE_LOG"] = self.log
        self.env["LD_LIBRARY_PATH"] = library_dir
        self.panel = self.start([program, *arguments], stderr=self.errors)

    def downloads(self):
        try:
            with open(self.log) as log:
                return [[int(word) for word in line.split()] for line in log if line.strip()]
        except FileNotFoundError:
            return []

    def wait_for_cycles(self, count):
        start = len(self.downloads())
        wait_for("%d more exchange cycles" % count, lambda: len(self.downloads()) >= start + count)

    def close(self):
        """SIGTERM to every process started, the panel first (it closes its
        window and stops its library), then SIGKILL to whatever is left."""
        panel_status = None
        if self.panel and self.panel.poll() is None:
            self.panel.terminate()
            try:
                panel_status = self.panel.wait(10)
            except subprocess.TimeoutExpired:
                panel_status = "none: it did not end within 10 s"

        left = descendants(os.getpid())
        send(signal.SIGTERM, left)
        end = time.monotonic() + 5
        while time.monotonic() < end and any(alive(pid) for pid in left):
            time.sleep(0.05)
        send(signal.SIGKILL, left)
        for pid in left:
            try:
                os.waitpid(pid, 0)
            except ChildProcessError:
                pass  # not ours to reap: its parent did
        shutil.rmtree(self.work, ignore_errors=True)
        return panel_status


def x_server_answers(number):
    with socket.socket(socket.AF_UNIX, socket.SOCK_STREAM) as probe:
        try:
            probe.connect("/tmp/.X11-unix/X" + number)
            return True
        except OSError:
            return False


def send(signum, pids):
    for pid in pids:
        try:
            os.kill(pid, signum)
        except ProcessLookupError:
            pass


def alive(pid):
    try:
        with open("/proc/%d/stat" % pid) as stat:
            return stat.read().rsplit(")", 1)[1].split()[0] != "Z"
    except OSError:
        return False


# ---- AT-SPI -----------------------------------------------------------------

def pump_events():
    from gi.repository import GLib
    context = GLib.MainContext.default()
    while context.pending():
        context.iteration(False)


def find_keypad(pyatspi):
    def keypad():
        desktop = pyatspi.Registry.getDesktop(0)
        for app in desktop:
            if app is None or app.name != "op-station":
                continue
            found = pyatspi.findDescendant(app, lambda a: a is not None and a.name == "Keypad")
            if found is not None and found.childCount > 0:
                return found
        return None
    return wait_for("the panel's keypad on the AT-SPI bus", keypad, pump=pump_events)


def children_by_role(keypad, role_name):
    return {child.name: child for child in keypad if child is not None and child.getRoleName() == role_name}


def press(button):
    action = button.queryAction()
    names = [action.getName(i) for i in range(action.nActions)]
    if "Press" not in names:
        raise Failure("%s has no Press action (it has %s)" % (button.name, names))
    action.doAction(names.index("Press"))


def check_keys(session, program, library_dir):
    """The ten keys are buttons; pressing Run through its action reaches the
    library as run down in exactly one download."""
    import pyatspi
    session.start_panel(program, library_dir)
    keypad = find_keypad(pyatspi)
    buttons = children_by_role(keypad, "push button")
    if set(buttons) != KEY_NAMES:
        raise Failure("the buttons are %s" % sorted(buttons))
    binding = buttons["Run"].queryAction().getKeyBinding(0)
    if binding != "R":
        raise Failure("the Run button's key binding is %r" % binding)
    session.wait_for_cycles(2)
    before = len(session.downloads())
    press(buttons["Run"])
    wait_for("run down in a download", lambda: any(d[RUN] == -1 for d in session.downloads()[before:]))
    session.wait_for_cycles(10)
    runs = [d for d in session.downloads()[before:] if d != [0] * 10]
    if runs != [[0] * RUN + [-1] + [0] * (9 - RUN)]:
        raise Failure("downloads with keys down after one press of Run: %s" % runs)


def check_display(session, program, library_dir):
    """On our simulated drive: the display lines read as shown, Run makes the
    Run LED say "on", and every change arrives as an event."""
    import pyatspi
    events = []

    def record(event):
        events.append((event.type, event.source.name, event.source.description, event.detail1))
    pyatspi.Registry.registerEventListener(record, "object:text-changed",
                                           "object:property-change:accessible-description")
    session.start_panel(program, library_dir)
    keypad = find_keypad(pyatspi)
    lines = children_by_role(keypad, "label")
    first = lines["Display line 1"].queryText()
    wait_for("the drive's own display text", lambda: first.getText(0, -1) not in ("", "0123456789ABCDEF"),
             pump=pump_events)
    shown = first.getText(0, -1)
    if shown != shown.rstrip() or "\0" in shown:
        raise Failure("display line 1 reads %r" % shown)
    run_led, stop_led = lines["Run"], lines["Stop"]
    wait_for("the Stop LED on at standstill", lambda: stop_led.description == "on", pump=pump_events)
    if run_led.description != "off":
        raise Failure("the Run LED says %r at standstill" % run_led.description)
    del events[:]
    press(children_by_role(keypad, "push button")["Run"])
    wait_for("the Run LED on", lambda: run_led.description == "on", pump=pump_events)
    wait_for("the Run LED's change as an event",
             lambda: ("object:property-change:accessible-description", "Run", "on", 0) in events, pump=pump_events)
    wait_for("a display line's change as an event",
             lambda: any(e[0].startswith("object:text-changed") and e[1].startswith("Display line") for e in events),
             pump=pump_events)
    if first.getText(0, -1) == shown:
        raise Failure("display line 1 still reads %r while running" % shown)

    # STOP: the Stop LED flashes while the motor ramps down, then is on; the
    # blinking itself is never announced.
    del events[:]
    press(children_by_role(keypad, "push button")["Stop/Reset"])
    wait_for("the Stop LED on at standstill", lambda: stop_led.description == "on", pump=pump_events)
    pump_events()
    stop_events = [e for e in events if e[0].endswith("accessible-description") and e[1] == "Stop"]
    if not 1 <= len(stop_events) <= 2:
        raise Failure("the Stop LED announced %d changes while stopping" % len(stop_events))


# ---- keyboard layouts -------------------------------------------------------

def check_layout(session, program, library_dir):
    """With a Russian layout the seven letter keys still press their panel
    keys, by their place on the keyboard; arrows are unchanged and other
    letters of the layout press nothing."""
    from Xlib import X, XK, display
    from Xlib.ext import xtest
    subprocess.run(["setxkbmap", "-display", session.env["DISPLAY"], "ru"], check=True, env=session.env)
    x = display.Display(session.env["DISPLAY"])
    if XK.keysym_to_string(x.keycode_to_keysym(26, 0)) in ("e", "E"):
        raise Failure("setxkbmap ru left a Latin E on keycode 26")
    session.start_panel(program, library_dir)
    session.wait_for_cycles(2)
    wait_for("the panel to take the keyboard focus", lambda: x.get_input_focus().focus not in (X.NONE, X.PointerRoot))

    # XKB keycode (evdev code + 8) -> the panel key it must press, or None.
    strokes = [(26, "esc"), (58, "menu"), (33, "disp"), (46, "local"), (44, "jog"), (27, "run"), (39, "stop"),
               (111, "up"), (34, None)]  # keycode 34 is the Russian letter on the US "[" key
    for keycode, expected in strokes:
        before = len(session.downloads())
        xtest.fake_input(x, X.KeyPress, keycode)
        xtest.fake_input(x, X.KeyRelease, keycode)
        x.sync()
        if expected:
            wait_for("keycode %d to press %s" % (keycode, expected),
                     lambda: any(d != [0] * 10 for d in session.downloads()[before:]))
        session.wait_for_cycles(3)
        # A cycle may fall between the press and the release: once or twice.
        down = [[LIBRARY_ORDER[i] for i, v in enumerate(d) if v] for d in session.downloads()[before:] if any(d)]
        if any(keys != [expected] for keys in down) or (expected is None) != (not down):
            raise Failure("keycode %d pressed %s, expected %s" % (keycode, down, expected))


# ---- recording --------------------------------------------------------------

def check_record(session, program, library_dir, runner):
    """A session worked with the PC keyboard (taps shorter than a cycle, a
    held key that repeats, F3 for a power-on combination) is recorded; the
    runner's replay of the recording passes and gives the live transcript
    byte for byte."""
    from Xlib import X, display
    from Xlib.ext import xtest
    record, live, replay = (os.path.join(session.work, name) for name in ("session.ops", "live.txt", "replay.txt"))
    session.start_panel(program, library_dir, "--record", record, "--transcript", live)
    x = display.Display(session.env["DISPLAY"])
    wait_for("the panel to take the keyboard focus", lambda: x.get_input_focus().focus not in (X.NONE, X.PointerRoot))
    wait_for("the recording to name its library", lambda: "# Drive library:" in read(record))

    def stroke(keycode, held=0.0):
        xtest.fake_input(x, X.KeyPress, keycode)
        x.sync()
        time.sleep(held)  # a hold long enough for the keyboard's own repeats
        xtest.fake_input(x, X.KeyRelease, keycode)
        x.sync()
        time.sleep(0.3)
    R, S, UP, F3 = 27, 39, 111, 69  # XKB keycodes: evdev code + 8
    stroke(R)
    stroke(UP, held=0.8)
    stroke(F3)
    stroke(S)
    session.panel.terminate()
    if session.panel.wait(10) != 0:
        raise Failure("the recording panel exited with status %s" % session.panel.returncode)
    session.panel = None  # closed as a user closes it
    script = read(record)
    for statement in ("tap run", "press up", "release up", "tap up esc disp", "tap stop"):
        if "\n" + statement + "\n" not in script:
            raise Failure("the recording has no %r:\n%s" % (statement, script))
    status = subprocess.run([runner, "--quiet", "--library", os.path.join(library_dir, "libdrive.so"),
                             "--transcript", replay, record], stdin=subprocess.DEVNULL).returncode
    if status != 0:
        raise Failure("the replay of the recording ended with status %d" % status)
    if read(live) != read(replay) or not read(live):
        raise Failure("the replay's transcript differs from the live one:\n%s\n---\n%s" % (read(live), read(replay)))


def read(path):
    try:
        with open(path) as f:
            return f.read()
    except FileNotFoundError:
        return ""


def run_inside(session, program, *arguments):
    """A test program with Qt on the X server and its accessibility on."""
    env = dict(session.env, QT_QPA_PLATFORM="xcb")
    status = subprocess.run([program, *arguments], env=env, stdin=subprocess.DEVNULL).returncode
    if status != 0:
        raise Failure("%s exited with status %d" % (os.path.basename(program), status))


ATSPI_TOOLS = ["Xvfb", "dbus-daemon", "/usr/libexec/at-spi-bus-launcher"]
CHECKS = {
    "keys": (check_keys, ATSPI_TOOLS, ["pyatspi"]),
    "display": (check_display, ATSPI_TOOLS, ["pyatspi"]),
    "layout": (check_layout, ["Xvfb", "dbus-daemon", "setxkbmap"], ["Xlib"]),
    "record": (check_record, ["Xvfb", "dbus-daemon"], ["Xlib"]),
    "run": (run_inside, ATSPI_TOOLS, ["gi"]),
}


def on_deadline(signum, frame):
    if signum == signal.SIGALRM:
        raise Failure("the check ran past its deadline of %d s" % DEADLINE_SECONDS)
    raise Failure("the check was stopped by %s" % signal.Signals(signum).name)


def adopt_orphans():
    """Make this process the reaper of every process below it: daemons
    that detach (the accessibility bus, its registry) stay in reach."""
    PR_SET_CHILD_SUBREAPER = 36
    ctypes.CDLL(None, use_errno=True).prctl(PR_SET_CHILD_SUBREAPER, 1, 0, 0, 0)


def main():
    if len(sys.argv) < 3 or sys.argv[1] not in CHECKS:
        print(__doc__, file=sys.stderr)
        return 2
    check, tools, modules = CHECKS[sys.argv[1]]
    need(tools, modules)
    adopt_orphans()
    signal.signal(signal.SIGALRM, on_deadline)
    signal.signal(signal.SIGTERM, on_deadline)
    signal.alarm(DEADLINE_SECONDS)
    session = Session()
    failure = None
    try:
        session.start_x()
        session.start_session_bus()
        if sys.argv[1] not in ("layout", "record"):
            session.start_accessibility_bus()
        check(session, *sys.argv[2:])
        if session.panel and session.panel.poll() is not None:
            failure = "the panel ended early with status %s" % session.panel.returncode
    except Failure as error:
        failure = str(error)
    finally:
        signal.alarm(0)
        signal.signal(signal.SIGTERM, signal.SIG_IGN)  # the clean-up runs to its end
        status = session.close()
    if failure is None and status not in (0, None):
        failure = "the panel exited with status %s when asked to close" % status
    if failure is not None:
        session.errors.seek(0)
        sys.stderr.write(session.errors.read()[-4000:])
        print("FAILED: " + failure)
        return 1
    print("passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
