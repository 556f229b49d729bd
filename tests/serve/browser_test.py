#!/usr/bin/python3
"""op-station-serve end to end, in a real browser: Debian's Chromium,
headless, through WebDriver. Controls are found as a person finds them, by
their accessible names and roles. Each check starts one server and one
browser, ends both whatever happens, and gives up after a hard deadline.

    browser_test.py page   SERVE DRIVE_DIR       keys, display, LEDs, pages, viewers, access
    browser_test.py face   SERVE FAULTY_DRIVE SCREENSHOT   the face against the window's
    browser_test.py faults SERVE FAULTY_DRIVE    the library failing, a port in use
    browser_test.py record SERVE DRIVE_DIR RUNNER   a recorded session replays as it ran
    browser_test.py windows WINE_RUN PREFIX SERVE.EXE   the Windows server under wine

Exit status: 0 passed, 1 failed, 77 skipped (a needed tool is missing).
"""
import asyncio
import json
import os
import select
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import urllib.error
import urllib.request

SKIP = 77
DEADLINE_SECONDS = 150
WAIT_SECONDS = 15  # for any one thing to happen
CHROMIUM, CHROMEDRIVER = "/usr/bin/chromium", "/usr/bin/chromedriver"
# Differing pixels allowed outside text, where edges of curves may fall
# on the other side of a pixel centre in one of the two renderers.
EDGE_SHARE = 0.005

try:
    import websockets
    from selenium import webdriver
    from selenium.webdriver.chrome.service import Service
    from selenium.webdriver.common.action_chains import ActionChains
    from selenium.webdriver.common.by import By
    from selenium.webdriver.common.keys import Keys
except ImportError as missing:
    print("SKIP: " + str(missing))
    sys.exit(SKIP)


class Failure(Exception):
    pass


STARTED = []  # servers and browsers, ended by main whatever happens


def check(condition, what):
    if not condition:
        raise Failure(what)


def wait_for(what, condition, seconds=WAIT_SECONDS):
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        result = condition()
        if result:
            return result
        time.sleep(0.05)
    raise Failure("gave up waiting for " + what)


class Server:
    """op-station-serve on a free port; its addresses from standard output.
    `serve` is the program, or the command that runs it (under wine)."""

    def __init__(self, serve, *options, env=None):
        self.errors = tempfile.TemporaryFile("w+")
        command = serve if isinstance(serve, list) else [serve]
        self.process = subprocess.Popen([*command, "--listen", "127.0.0.1:0", *options], stdout=subprocess.PIPE,
                                        stderr=self.errors, env=dict(os.environ, **(env or {})))
        STARTED.append(self)
        printed = b""
        while printed.count(b"\n") < (2 if "--view-link" in options else 1):
            check(select.select([self.process.stdout], [], [], WAIT_SECONDS)[0], "the server printed no address")
            chunk = os.read(self.process.stdout.fileno(), 4096)
            check(chunk, "the server ended before it printed its address")
            printed += chunk
        self.addresses = printed.decode().split()
        self.base = self.addresses[0].split("?")[0]
        self.host = self.base.split("/")[2]

    def end(self):
        if self.process.poll() is None:
            self.process.kill()
            self.process.wait()
        print(self.stderr())

    def stderr(self):
        self.errors.seek(0)
        return self.errors.read()

    def stop(self, signal_number=signal.SIGTERM, seconds=WAIT_SECONDS):
        """Sends the signal; returns the exit status and the seconds it took."""
        start = time.monotonic()
        if signal_number:
            self.process.send_signal(signal_number)
        try:
            status = self.process.wait(seconds)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()
            raise Failure("the server did not end within %d s" % seconds)
        return status, time.monotonic() - start


def http_status(url, headers=None):
    try:
        return urllib.request.urlopen(urllib.request.Request(url, headers=headers or {}), timeout=5).status
    except urllib.error.HTTPError as error:
        return error.code


async def socket_session(server, token, messages, origin=None, until=None):
    """A page of our own over a bare WebSocket. It sends `messages`, then
    returns the first state that `until` accepts; without `until`, how the
    server closed it within half a second, or None when it stayed open."""
    async with websockets.connect("ws://%s/ws?token=%s" % (server.host, token),
                                  origin=origin or "http://" + server.host) as page:
        for message in messages:
            await page.send(json.dumps(message))
        end = time.monotonic() + (WAIT_SECONDS if until else 0.5)
        try:
            while time.monotonic() < end:
                message = json.loads(await asyncio.wait_for(page.recv(), end - time.monotonic()))
                if until and message["t"] == "state" and until(message):
                    return message
        except asyncio.TimeoutError:
            check(not until, "gave up waiting for a state on a bare page")
        except websockets.ConnectionClosed as closed:
            return closed.code, closed.reason
        return None


def browser(scale=1):
    options = webdriver.ChromeOptions()
    options.binary_location = CHROMIUM
    for argument in ("--headless=new", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
                     "--disable-background-networking", "--disable-component-update", "--disable-sync",
                     "--window-size=800,800", "--force-device-scale-factor=%d" % scale,
                     "--user-data-dir=" + tempfile.mkdtemp(prefix="op-station-chromium-")):
        options.add_argument(argument)
    driver = webdriver.Chrome(service=Service(CHROMEDRIVER), options=options)
    STARTED.append(driver)
    return driver


def named(driver, name, prefix=False):
    """The control whose accessible name is `name` (or starts with it)."""
    def find():
        for element in driver.find_elements(By.CSS_SELECTOR, "button, output, [role]"):
            label = element.accessible_name
            if label == name or (prefix and label.startswith(name)):
                return element
        return None
    return wait_for("a control named " + name, find)


def line(driver, number):
    return named(driver, "Display line %d" % number).text


def led(driver, legend):
    return named(driver, legend + " LED: ", prefix=True).accessible_name.split(": ")[1]


def wait_line(driver, number, text):
    wait_for("line %d to read %r" % (number, text), lambda: text in line(driver, number))


def wait_led(driver, legend, showing):
    wait_for("the %s LED to be %s" % (legend, showing), lambda: led(driver, legend) == showing)


def press_pc_key(driver, key):
    ActionChains(driver).key_down(key).key_up(key).perform()


def check_page(serve, drive_dir):
    server = Server(serve, "--view-link", "--max-clients", "4", env={"LD_LIBRARY_PATH": drive_dir})
    operator, viewer = server.addresses
    token, viewer_token = operator.split("token=")[1], viewer.split("token=")[1]

    # Who may connect: a token, the station's own host name, the page's own origin.
    check(http_status(server.base) == 403, "the page without a token")
    check(http_status(server.base + "?token=0123") == 403, "the page with a wrong token")
    check(http_status(operator, {"Host": "rebound.example:80"}) == 403, "a foreign Host header")
    check(http_status(operator) == 200, "the page with its token")
    try:
        asyncio.run(socket_session(server, token, [], origin="http://evil.example"))
        raise Failure("a WebSocket from another origin was taken")
    except websockets.InvalidStatusCode as status:
        check(status.status_code == 403, "another origin's WebSocket got %d" % status.status_code)

    driver = browser()
    driver.get(operator)
    wait_for("the drive's title", lambda: "simulated drive" in driver.title)
    check("token" not in driver.current_url, "the token stays in the address bar")
    wait_line(driver, 1, "STOPPED    LOCAL")
    wait_led(driver, "Health", "on")
    check(len(driver.find_elements(By.CSS_SELECTOR, "[role=button], button")) == 10, "ten keys")
    # Keys are buttons, display lines live regions, LEDs images with their state.
    roles = [named(driver, name, prefix=True).aria_role for name in ("Stop/Reset", "Display line 2", "Forward LED: ")]
    check(roles == ["button", "status", "image"], "roles %s" % roles)
    driver.refresh()  # the cookie keeps the page's access
    wait_line(driver, 2, "50.0%")

    # The PC keyboard with the window's key map, and the mouse.
    press_pc_key(driver, Keys.ARROW_UP)
    wait_line(driver, 2, "50.1%")
    named(driver, "Up").click()
    wait_line(driver, 2, "50.2%")

    # A second page sees the same station; a key held by one page stays
    # held while another presses and lets go of it.
    first = driver.current_window_handle
    driver.switch_to.new_window("window")
    driver.get(server.base)
    wait_line(driver, 2, "50.2%")
    second = driver.current_window_handle
    driver.switch_to.window(first)
    ActionChains(driver).click_and_hold(named(driver, "Jog")).perform()
    wait_led(driver, "Run", "flashing")  # jogging
    seen = []

    def three_blinks_later(state):  # a flashing LED changes the state every ninth cycle
        seen.append(state["cycle"])
        return state["cycle"] >= seen[0] + 27
    later = asyncio.run(socket_session(server, token, [{"t": "down", "key": "jog"}, {"t": "up", "key": "jog"}],
                                       until=three_blinks_later))
    run_led = 3  # in the hello's order: health fwd rev run ...
    check(later["shows"][run_led] == "flashing", "another page's release let go of a key still held here")
    ActionChains(driver).release().perform()
    wait_led(driver, "Run", "off")

    # A page that is closed while it holds a key lets go of it.
    ActionChains(driver).key_down("j").perform()
    wait_led(driver, "Run", "flashing")
    driver.close()
    driver.switch_to.window(second)
    wait_led(driver, "Run", "off")

    # A viewer watches: its keys are disabled, and what a viewer's socket
    # sends is ignored (and counted).
    driver.get(viewer)
    wait_for("the viewer's note", lambda: driver.find_element(By.ID, "role").is_displayed())
    check(not named(driver, "Run").is_enabled(), "a viewer's keys are enabled")
    press_pc_key(driver, "r")
    check(asyncio.run(socket_session(server, viewer_token, [{"t": "down", "key": "run"}])) is None,
          "a viewer's socket was closed for a key")

    # Bad input closes that page only, with a reason; a page beyond the
    # maximum is refused.
    check(asyncio.run(socket_session(server, token, [{"t": "down", "key": "nope"}])) ==
          (1008, 'an unknown panel key "nope"'), "an unknown key")

    async def crowd():  # four more besides the viewer's page
        pages = [await websockets.connect("ws://%s/ws?token=%s" % (server.host, token), origin="http://" + server.host)
                 for _ in range(4)]
        try:
            await pages[-1].recv()
            await pages[-1].recv()
            return None
        except websockets.ConnectionClosed as closed:
            return closed.code, closed.reason
        finally:
            for page in pages:
                await page.close()
    check(asyncio.run(crowd()) == (1013, "too many pages: this station serves at most 4 at once"),
          "the page over the maximum")
    check("STOPPED" in line(driver, 1), "a viewer's key reached the station")

    # Closing: every page is told, the library is stopped, exit 0.
    status, seconds = server.stop()
    check(status == 0 and seconds < 2, "closed with %s after %.1f s" % (status, seconds))
    wait_for("the viewer to be told", lambda: "The station was closed." in driver.find_element(By.ID, "alert").text)
    check("1 message from view-only pages ignored" in server.stderr(), "the viewer's key not counted")


def pixels(path):
    width, height = map(int, subprocess.check_output(["identify", "-format", "%w %h", path]).split())
    return width, height, subprocess.check_output(["convert", path, "-depth", "8", "rgb:-"])


def compare_faces(window_png, page_png, texts, scale):
    """Every pixel outside the labels' text alike, and every text rectangle
    on the same background (its most frequent colour)."""
    width, height, window = pixels(window_png)
    check(pixels(page_png)[:2] == (width, height), "the page's face is not %d x %d" % (width, height))
    page = pixels(page_png)[2]
    text = bytearray(width * height)
    for x, y, w, h in texts:
        left, top, right, bottom = int(x * scale), int(y * scale), int((x + w) * scale), int((y + h) * scale)
        counts = [{}, {}]
        for row in range(max(top, 0), min(bottom, height)):
            for column in range(max(left, 0), min(right, width)):
                i = row * width + column
                text[i] = 1
                for n, image in enumerate((window, page)):
                    colour = image[3 * i:3 * i + 3]
                    counts[n][colour] = counts[n].get(colour, 0) + 1
        if counts[0]:
            check(max(counts[0], key=counts[0].get) == max(counts[1], key=counts[1].get),
                  "the text at %s lies on another background" % ((x, y, w, h),))
    differing = sum(1 for i in range(width * height) if not text[i] and
                    max(abs(window[3 * i + k] - page[3 * i + k]) for k in range(3)) > 8)
    share = differing / (width * height - sum(text))
    print("ratio %d: %d pixels outside text differ (%.3f %%)" % (scale, differing, 100 * share))
    check(share <= EDGE_SHARE, "the faces differ at ratio %d" % scale)


def check_face(serve, faulty_drive, screenshot):
    """Before its first cycle the page shows the face's design values, as the
    window does: the library is held in opstat_initialise meanwhile."""
    work = tempfile.mkdtemp(prefix="op-station-face-")
    driver = browser()
    server = Server(serve, "--library", faulty_drive, env={"OPSTATION_FAULT": "hang initialise"})
    driver.get(server.addresses[0])
    wait_for("the page to connect", lambda: driver.find_element(By.ID, "status").text == "Connected.")
    for scale in (1, 2):
        window_png, page_png = os.path.join(work, "window%d.png" % scale), os.path.join(work, "page%d.png" % scale)
        subprocess.run([screenshot, window_png], check=True, stderr=subprocess.DEVNULL,
                       env=dict(os.environ, QT_QPA_PLATFORM="offscreen", QT_SCALE_FACTOR=str(scale)))
        driver.execute_cdp_cmd("Emulation.setDeviceMetricsOverride",
                               {"width": 800, "height": 800, "deviceScaleFactor": scale, "mobile": False})
        driver.find_element(By.ID, "face").screenshot(page_png)
        texts = driver.execute_script("""
            const face = document.getElementById('face').getBoundingClientRect();
            return Array.from(document.querySelectorAll('#face foreignObject'))
                .filter((o) => o.textContent.trim() !== '' || o.querySelector('input'))
                .map((o) => { const r = o.getBoundingClientRect(); return [r.x - face.x, r.y - face.y, r.width, r.height]; });""")
        compare_faces(window_png, page_png, texts, scale)
    shutil.rmtree(work, ignore_errors=True)
    # Closing while a library call hangs still takes under 2 s, and says so.
    status, seconds = server.stop()
    check(status == 1 and seconds < 2, "closed during a hanging call with %s after %.1f s" % (status, seconds))
    wait_for("the page to be told", lambda: "closed" in driver.find_element(By.ID, "alert").text)


def check_faults(serve, faulty_drive):
    # A crash: every page shows the window's message, which stderr has too;
    # the server ends with 1 once the pages have it.
    driver = browser()  # first: the crash comes 6 s after the server starts
    server = Server(serve, "--library", faulty_drive, env={"OPSTATION_FAULT": "segv upload 150"})
    driver.get(server.addresses[0])
    message = wait_for("the crash on the page", lambda: driver.find_element(By.ID, "alert").text, seconds=30)
    shown = time.monotonic()
    check(message.startswith("the drive library %s crashed in opstat_upload: Segmentation fault" % faulty_drive),
          "the page says " + message)
    status, _ = server.stop(None)
    after = time.monotonic() - shown
    print("the server ended %.2f s after the page showed the failure" % after)
    # Within 1 s of the pages having it; the rest is this test's own lag.
    check(status == 1 and after < 2, "ended with %s, %.1f s after the page showed it" % (status, after))
    check("op-station-serve: " + message + "\n" in server.stderr(), "stderr lacks the page's message")
    check(not named(driver, "Run").is_enabled(), "keys stay enabled after the failure")

    # A library that cannot be loaded; a port in use, found before the
    # library is called.
    missing = Server(serve, "--library", "/nonexistent/libdrive.so")
    status, _ = missing.stop(None)
    check(status == 1 and "cannot load the drive library /nonexistent/libdrive.so" in missing.stderr(),
          "a missing library: %s %s" % (status, missing.stderr()))
    holder = Server(serve, "--library", faulty_drive)
    port = holder.host.split(":")[1]
    taken = subprocess.run([serve, "--listen", "127.0.0.1:" + port, "--library", "/nonexistent/libdrive.so"],
                           capture_output=True, text=True, timeout=WAIT_SECONDS)
    check(taken.returncode == 2 and taken.stderr.startswith("op-station-serve: cannot listen on 127.0.0.1:%s: " % port)
          and "drive library" not in taken.stderr, "a port in use: %d %s" % (taken.returncode, taken.stderr))
    # A recording that cannot be written: before the address and the library.
    unwritable = subprocess.run([serve, "--listen", "127.0.0.1:0", "--record", "/nonexistent/session.ops"],
                                capture_output=True, text=True, timeout=WAIT_SECONDS)
    check((unwritable.returncode, unwritable.stdout, unwritable.stderr) ==
          (2, "", "op-station-serve: cannot create /nonexistent/session.ops: No such file or directory\n"),
          "an unwritable recording: %d %s" % (unwritable.returncode, unwritable.stderr))


def check_record(serve, drive_dir, runner):
    """A session worked in the page (a mouse click shorter than a cycle, a
    held key, F3 for a power-on combination) is recorded; the runner's
    replay of the recording passes and gives the live transcript byte for
    byte."""
    work = tempfile.mkdtemp(prefix="op-station-record-")
    record, live, replay = (os.path.join(work, name) for name in ("session.ops", "live.txt", "replay.txt"))
    server = Server(serve, "--record", record, "--transcript", live, env={"LD_LIBRARY_PATH": drive_dir})
    driver = browser()
    driver.get(server.addresses[0])
    wait_for("the title to say it records", lambda: driver.title.endswith(" \u2014 recording"))
    check("being recorded" in driver.find_element(By.ID, "status").text, "the page does not say it records")
    wait_line(driver, 1, "STOPPED")
    named(driver, "Run").click()
    wait_line(driver, 1, "RUNNING")
    ActionChains(driver).key_down(Keys.ARROW_UP).pause(0.5).key_up(Keys.ARROW_UP).perform()
    press_pc_key(driver, Keys.F3)
    named(driver, "Stop/Reset").click()
    wait_line(driver, 1, "STOPPED")
    status, _ = server.stop()
    check(status == 0, "the recording server ended with %d" % status)
    with open(record) as f:
        script = f.read()
    # F3 taps up, esc and disp; up may still be held then, when the page's
    # release of ArrowUp and F3 fall into one cycle.
    for statement in ("\ntap run\n", "\npress up\n", "\nrelease up\n", " esc disp\n", "\ntap stop\n"):
        check(statement in script, "the recording has no %r:\n%s" % (statement.strip(), script))
    replayed = subprocess.run([runner, "--quiet", "--library", os.path.join(drive_dir, "libdrive.so"),
                               "--transcript", replay, record], stdin=subprocess.DEVNULL, timeout=60)
    check(replayed.returncode == 0, "the replay ended with status %d" % replayed.returncode)
    with open(live) as a, open(replay) as b:
        check(a.read() == b.read(), "the replay's transcript differs from the live one")


def wine_processes(prefix):
    """The processes running in the wine prefix, wineserver included."""
    found = []
    for pid in filter(str.isdigit, os.listdir("/proc")):
        try:
            with open("/proc/%s/environ" % pid, "rb") as f:
                if b"WINEPREFIX=" + prefix.encode() + b"\0" in f.read():
                    found.append(pid)
        except OSError:
            pass
    return found


def check_windows(wine_run, prefix, serve_exe):
    """The Windows server under wine, on our drive as drive.dll beside it:
    worked with the mouse, watched through the view link, ended by Ctrl+C
    (SIGINT becomes one under wine) with nothing of wine left running."""
    prefix = os.path.realpath(prefix)
    server = Server([wine_run, "--prefix", prefix, "--", serve_exe], "--view-link")
    operator, viewer = server.addresses
    driver = browser()
    driver.get(operator)
    wait_for("the drive's title", lambda: "simulated drive" in driver.title, seconds=60)
    wait_line(driver, 1, "STOPPED")
    named(driver, "Run").click()
    wait_line(driver, 1, "RUNNING")
    driver.switch_to.new_window("window")
    driver.get(viewer)
    wait_line(driver, 1, "RUNNING")
    check(not named(driver, "Run").is_enabled(), "a viewer's keys are enabled")
    status, took = server.stop(signal.SIGINT)
    print("the Windows server ended %.2f s after Ctrl+C" % took)
    check(status == 0, "the Windows server ended with %d" % status)
    check("ran " in server.stderr(), "the Windows server wrote no summary")
    wait_for("the page to be told", lambda: "closed" in driver.find_element(By.ID, "alert").text)
    # wineserver itself stays a few seconds after the last program of its prefix.
    wait_for("every wine process of the prefix to end", lambda: not wine_processes(prefix), seconds=20)


def give_up(*_):
    raise Failure("the hard deadline passed")


def main():
    for tool in (CHROMIUM, CHROMEDRIVER, shutil.which("convert") or "convert"):
        if not os.access(tool, os.X_OK):
            print("SKIP: %s is not installed" % tool)
            return SKIP
    signal.signal(signal.SIGALRM, give_up)
    signal.alarm(DEADLINE_SECONDS)
    checks = {"page": check_page, "face": check_face, "faults": check_faults, "record": check_record,
              "windows": check_windows}
    try:
        checks[sys.argv[1]](*sys.argv[2:])
    except Failure as failure:
        print("FAIL: " + str(failure))
        return 1
    finally:
        for started in reversed(STARTED):
            started.end() if isinstance(started, Server) else started.quit()
    print("passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
