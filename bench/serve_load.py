#!/usr/bin/python3
"""op-station-serve with many pages over loopback, and what one page costs
on the wire. Prints figures; with --check it is the bounded load test that
CTest runs, and fails only when a page missed a state or the server did not
close cleanly (it judges no time).

    serve_load.py SERVE [--pages N] [--seconds S] [--check]

Load: N pages (default 100) each press a key once a second (UP for ten
seconds, then DOWN, each page at its own moment), and one more page never reads
(it takes 4 KiB and no more). Figures: the server's cycle period (from
its own summary at exit), its processor time and its drive host's over
the steady state, its memory, the states each page got and how long after
the first page each page had each state.

Wire (without --check): one page, nothing changing, then with one LED
flashing (HEALTH, after TRIPS > INJECT TRIP): bytes a second that page gets.
"""
import argparse
import asyncio
import json
import os
import random
import re
import select
import signal
import socket
import subprocess
import sys
import time

import websockets

TICKS = os.sysconf("SC_CLK_TCK")


class Server:
    def __init__(self, serve, pages):
        self.process = subprocess.Popen([serve, "--listen", "127.0.0.1:0", "--max-clients", str(pages + 10)],
                                        stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        if not select.select([self.process.stdout], [], [], 20)[0]:
            sys.exit("the server printed no address")
        address = self.process.stdout.readline().decode().strip()
        self.host, self.token = address.split("/")[2], address.split("token=")[1]

    def processes(self):
        """The server and its drive host."""
        children = subprocess.run(["pgrep", "-P", str(self.process.pid)], capture_output=True, text=True).stdout.split()
        return [self.process.pid] + [int(child) for child in children]

    def cpu_seconds(self):
        total = 0
        for pid in self.processes():
            with open("/proc/%d/stat" % pid) as stat:
                fields = stat.read().rsplit(")", 1)[1].split()
            total += int(fields[11]) + int(fields[12])  # utime, stime
        return total / TICKS

    def memory_kb(self, field):
        with open("/proc/%d/status" % self.process.pid) as status:
            return int(re.search(field + r":\s+(\d+)", status.read()).group(1))

    async def page(self):
        return await websockets.connect("ws://%s/ws?token=%s" % (self.host, self.token), origin="http://" + self.host,
                                        max_size=2 ** 16, ping_interval=None)

    def stop(self):
        self.process.send_signal(signal.SIGTERM)
        _, errors = self.process.communicate(timeout=10)
        return self.process.returncode, errors.decode()


def frame_bytes(message):
    """What a text message costs on the wire from the server: header and payload."""
    size = len(message.encode())
    return size + (2 if size < 126 else 4)


class Page:
    def __init__(self, socket_):
        self.socket = socket_
        self.arrivals = {}  # state cycle -> when it came
        self.bytes = 0

    async def read(self):
        try:
            async for message in self.socket:
                self.bytes += frame_bytes(message)
                state = json.loads(message)
                if state["t"] == "state":
                    self.arrivals[state["cycle"]] = time.monotonic()
        except websockets.ConnectionClosed:
            pass

    async def press_each_second(self, start, until):
        """UP for ten seconds, then DOWN for ten, and so on, as all pages
        do: the setpoint, and so the display, changes nearly every cycle."""
        await asyncio.sleep(random.random())
        while time.monotonic() < until:
            key = "up" if int((time.monotonic() - start) / 10) % 2 == 0 else "down"
            await self.socket.send(json.dumps({"t": "down", "key": key}))
            await self.socket.send(json.dumps({"t": "up", "key": key}))
            await asyncio.sleep(1)


def never_reading_page(server):
    """A WebSocket opened by hand whose receiving side is never read."""
    raw = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    raw.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 4096)
    host, port = server.host.split(":")
    raw.connect((host, int(port)))
    raw.sendall(("GET /ws?token=%s HTTP/1.1\r\nHost: %s\r\nOrigin: http://%s\r\nUpgrade: websocket\r\n"
                 "Connection: Upgrade\r\nSec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\n"
                 "Sec-WebSocket-Version: 13\r\n\r\n" % (server.token, server.host, server.host)).encode())
    return raw


def percentile(values, share):
    ordered = sorted(values)
    return ordered[min(len(ordered) - 1, max(0, int(share * len(ordered) + 0.5) - 1))] if ordered else float("nan")


async def load(serve, pages, seconds, check):
    server = Server(serve, pages)
    stalled = never_reading_page(server)
    clients = [Page(await server.page()) for _ in range(pages)]
    readers = [asyncio.create_task(client.read()) for client in clients]
    start = time.monotonic()
    presses = [asyncio.create_task(client.press_each_second(start, start + seconds)) for client in clients]
    warm = min(2, seconds / 4)
    await asyncio.sleep(warm)
    cpu0, rss0 = server.cpu_seconds(), server.memory_kb("VmRSS")
    await asyncio.gather(*presses)
    cpu = server.cpu_seconds() - cpu0
    steady = time.monotonic() - start - warm
    rss1, hwm = server.memory_kb("VmRSS"), server.memory_kb("VmHWM")
    for client in clients:
        await client.socket.close()
    await asyncio.gather(*readers)
    stalled.close()
    status, errors = server.stop()

    first = {}
    for client in clients:
        for cycle, when in client.arrivals.items():
            first[cycle] = min(first.get(cycle, when), when)
    missed, late = 0, []
    for client in clients:
        joined = min(client.arrivals) if client.arrivals else 0
        missed += sum(1 for cycle in first if cycle >= joined and cycle not in client.arrivals)
        late += [1000 * (when - first[cycle]) for cycle, when in client.arrivals.items()]
    period = re.search(r"period p50 ([\d.]+) ms, p99 ([\d.]+) ms, longest ([\d.]+) ms", errors)
    print("== %d pages, each pressing a key once a second, and one page that never reads, %.0f s" % (pages, seconds))
    print("states sent: %d (%.1f a second); states a page missed: %d" % (len(first), len(first) / seconds, missed))
    print("after the first page, a page had each state: p50 %.2f ms, p99 %.2f ms, max %.2f ms"
          % (percentile(late, 0.5), percentile(late, 0.99), max(late, default=0)))
    if period:
        print("cycle period: p50 %s ms, p99 %s ms, longest %s ms" % period.groups())
    print("server and drive host processor time: %.2f s over %.1f s (%.1f %% of one core)" % (cpu, steady, 100 * cpu / steady))
    print("server resident memory: %d kB after warm-up, %d kB at the end, peak %d kB" % (rss0, rss1, hwm))
    print("server's summary: " + errors.strip().splitlines()[-1])
    if check and (missed or status != 0 or not first):
        print("FAIL: %d states missed, server status %d\n%s" % (missed, status, errors))
        return 1
    return 0


async def wire(serve, seconds):
    server = Server(serve, 1)
    page = Page(await server.page())
    reader = asyncio.create_task(page.read())
    await asyncio.sleep(1)

    async def taps(*keys):
        for key in keys:
            await page.socket.send(json.dumps({"t": "down", "key": key}))
            await page.socket.send(json.dumps({"t": "up", "key": key}))
            await asyncio.sleep(0.2)

    async def measure(what):
        before, start = page.bytes, time.monotonic()
        await asyncio.sleep(seconds)
        print("%s: %.1f bytes a second" % (what, (page.bytes - before) / (time.monotonic() - start)))
    print("== bytes a second to one page")
    await measure("nothing changing")
    await taps("menu", "down", "down", "menu", "down", "down", "menu", "menu")  # TRIPS > INJECT TRIP, yes
    await asyncio.sleep(1)
    await measure("HEALTH flashing, nothing else changing")
    await page.socket.close()
    await reader
    server.stop()


def main():
    arguments = argparse.ArgumentParser()
    arguments.add_argument("serve")
    arguments.add_argument("--pages", type=int, default=100)
    arguments.add_argument("--seconds", type=float, default=30)
    arguments.add_argument("--check", action="store_true")
    given = arguments.parse_args()
    random.seed(1)
    if not given.check:
        asyncio.run(wire(given.serve, 20))
    return asyncio.run(load(given.serve, given.pages, given.seconds, given.check))


if __name__ == "__main__":
    sys.exit(main())
