#!/usr/bin/python3
"""From a key pressed in the page to the display changing in the page, in
headless Chromium, timed by the page itself (performance.now()): a script
that runs before the page's own notes the keydown of ArrowUp or ArrowDown
and the first change of display line 2 after it. UP and DOWN are tapped by
turns on our simulated drive (each tap moves the setpoint, and so line 2,
by 0.1 %), at moments spread over the 40 ms cycle. Prints the percentiles.

    serve_latency.py SERVE [TAPS]
"""
import random
import select
import signal
import statistics
import subprocess
import sys
import tempfile
import time

from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.action_chains import ActionChains
from selenium.webdriver.common.keys import Keys

TIMING = """
window.latencies = [];
let pressedAt = null;
window.addEventListener("keydown", (event) => {
    if (event.code === "ArrowUp" || event.code === "ArrowDown") pressedAt = performance.now();
}, true);
document.addEventListener("DOMContentLoaded", () => {
    new MutationObserver(() => {
        if (pressedAt === null) return;
        window.latencies.push(performance.now() - pressedAt);
        pressedAt = null;
    }).observe(document.querySelector('output[data-line="1"]'), {childList: true, characterData: true, subtree: true});
});
"""


def main():
    serve, taps = sys.argv[1], int(sys.argv[2]) if len(sys.argv) > 2 else 200
    server = subprocess.Popen([serve, "--listen", "127.0.0.1:0"], stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    options = webdriver.ChromeOptions()
    options.binary_location = "/usr/bin/chromium"
    for argument in ("--headless=new", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
                     "--disable-background-networking", "--disable-component-update", "--disable-sync",
                     "--user-data-dir=" + tempfile.mkdtemp(prefix="op-station-chromium-")):
        options.add_argument(argument)
    driver = webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)
    try:
        if not select.select([server.stdout], [], [], 20)[0]:
            sys.exit("the server printed no address")
        driver.execute_cdp_cmd("Page.addScriptToEvaluateOnNewDocument", {"source": TIMING})
        driver.get(server.stdout.readline().decode().strip())
        time.sleep(1)  # the first state
        random.seed(1)
        for tap in range(taps):
            key = Keys.ARROW_UP if tap % 2 == 0 else Keys.ARROW_DOWN
            ActionChains(driver).key_down(key).key_up(key).perform()
            end = time.monotonic() + 2
            while driver.execute_script("return window.latencies.length") <= tap and time.monotonic() < end:
                time.sleep(0.01)
            time.sleep(0.05 + random.random() * 0.1)  # the next tap at another moment of the cycle
        latencies = sorted(driver.execute_script("return window.latencies"))
    finally:
        driver.quit()
        server.send_signal(signal.SIGTERM)
        server.wait(10)
    rank = lambda share: latencies[min(len(latencies) - 1, int(share * len(latencies) + 0.5) - 1)]
    print("key pressed in the page to line 2 changing in the page, %d of %d taps:" % (len(latencies), taps))
    print("p50 %.1f ms, p90 %.1f ms, p99 %.1f ms, max %.1f ms, mean %.1f ms (limits: p50 35 ms, p99 60 ms)"
          % (rank(0.5), rank(0.9), rank(0.99), latencies[-1], statistics.mean(latencies)))


if __name__ == "__main__":
    main()
