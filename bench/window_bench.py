#!/usr/bin/env python3
"""Times the real window: start until the main window is mapped, memory once loaded, idle
CPU, and a refresh of every channel from the window against the headless companion.

    xvfb-run -a -s "-screen 0 1280x800x24" bench/window_bench.py [--channels 500]
        [--items 50] [--runs 5] [--idle 20] [--no-refresh] [--program build/bin/calvoria]

Feeds are served from 127.0.0.1 by serve_feeds.py; the data folder comes from
make_data_folder.py. The program runs from a copy of its folder so its log is its own.
"""
import argparse
import ctypes
import os
import shutil
import socket
import statistics
import struct
import subprocess
import sys
import tempfile
import time

top = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
ap = argparse.ArgumentParser()
ap.add_argument("--channels", type=int, default=500)
ap.add_argument("--items", type=int, default=50)
ap.add_argument("--runs", type=int, default=5)
ap.add_argument("--idle", type=int, default=20)
ap.add_argument("--no-refresh", action="store_true")
ap.add_argument("--show", choices=["nothing", "channel", "root"], default="channel",
                help="what the news list shows while the refresh runs")
ap.add_argument("--program", default=f"{top}/build/bin/calvoria")
ap.add_argument("--perf", help="record a perf profile of the refresh into this file")
ap.add_argument("--big-channel", type=int, metavar="NEWS",
                help="one channel of NEWS stored news: time opening it and keys in its list")
ap.add_argument("--first-page", action="store_true",
                help="time the first news page after the start and measure the memory after it")
args = ap.parse_args()
if args.big_channel:
    args.channels, args.items = 1, args.big_channel

# --- X11: wait for the main window's MapNotify ---
x11 = ctypes.cdll.LoadLibrary("libX11.so.6")
x11.XOpenDisplay.restype = ctypes.c_void_p
x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
x11.XDefaultRootWindow.restype = ctypes.c_ulong
x11.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
x11.XSelectInput.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_long]
x11.XPending.argtypes = [ctypes.c_void_p]
x11.XNextEvent.argtypes = [ctypes.c_void_p, ctypes.c_void_p]
x11.XFetchName.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.POINTER(ctypes.c_char_p)]
x11.XConnectionNumber.argtypes = [ctypes.c_void_p]
display = x11.XOpenDisplay(None)
# A window may be gone by the time its name is asked for; that is no reason to stop.
X_ERROR_HANDLER = ctypes.CFUNCTYPE(ctypes.c_int, ctypes.c_void_p, ctypes.c_void_p)(lambda d, e: 0)
x11.XSetErrorHandler(X_ERROR_HANDLER)
root = x11.XDefaultRootWindow(display)
SUBSTRUCTURE_NOTIFY = 1 << 19
MAP_NOTIFY = 19


class MapEvent(ctypes.Structure):
    _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong), ("send_event", ctypes.c_int),
                ("display", ctypes.c_void_p), ("event", ctypes.c_ulong), ("window", ctypes.c_ulong),
                ("override_redirect", ctypes.c_int), ("pad", ctypes.c_long * 24)]


def wait_for_main_window(start, timeout=30.0):
    """Seconds from `start` until a window named Calvoria, larger than 1x1, is mapped."""
    event = MapEvent()
    while time.monotonic() - start < timeout:
        while x11.XPending(display):
            x11.XNextEvent(display, ctypes.byref(event))
            if event.type != MAP_NOTIFY:
                continue
            mapped = time.monotonic()
            name = ctypes.c_char_p()
            if x11.XFetchName(display, event.window, ctypes.byref(name)) and name.value == b"Calvoria":
                out = subprocess.run(["xwininfo", "-id", str(event.window)], capture_output=True,
                                     text=True).stdout
                if "Width: 1\n" not in out:
                    return mapped - start, event.window
        time.sleep(0.001)
    return None, None


class XImage(ctypes.Structure):
    _fields_ = [("width", ctypes.c_int), ("height", ctypes.c_int), ("xoffset", ctypes.c_int),
                ("format", ctypes.c_int), ("data", ctypes.c_void_p), ("byte_order", ctypes.c_int),
                ("bitmap_unit", ctypes.c_int), ("bitmap_bit_order", ctypes.c_int),
                ("bitmap_pad", ctypes.c_int), ("depth", ctypes.c_int),
                ("bytes_per_line", ctypes.c_int), ("bits_per_pixel", ctypes.c_int)]


x11.XGetImage.restype = ctypes.POINTER(XImage)
x11.XGetImage.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_int,
                          ctypes.c_uint, ctypes.c_uint, ctypes.c_ulong, ctypes.c_int]
x11.XFree.argtypes = [ctypes.c_void_p]


class Geometry(ctypes.Structure):
    _fields_ = [("x", ctypes.c_int), ("y", ctypes.c_int), ("width", ctypes.c_int),
                ("height", ctypes.c_int), ("border_width", ctypes.c_int), ("depth", ctypes.c_int),
                ("visual", ctypes.c_void_p), ("root", ctypes.c_ulong), ("class", ctypes.c_int),
                ("pad", ctypes.c_long * 32)]


x11.XGetWindowAttributes.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_void_p]


def window_size(window):
    geometry = Geometry()
    x11.XGetWindowAttributes(display, window, ctypes.byref(geometry))
    return geometry.width, geometry.height


# Parts of the window in the default layout, as fractions of its width and height.
PANE = (0.4, 0.68, 0.55, 0.25)      # the reading pane's lower part
LIST = (0.36, 0.11, 0.6, 0.46)      # the news list with its caption


def region_pixels(window, region):
    """The bytes of a part of the window."""
    width, height = window_size(window)
    x, y, w, h = (int(f * d) for f, d in zip(region, (width, height, width, height)))
    image = x11.XGetImage(display, window, x, y, w, h, 0xFFFFFFFF, 2)
    if not image:
        return b""
    data = ctypes.string_at(image.contents.data, image.contents.bytes_per_line * h)
    x11.XFree(image.contents.data)
    x11.XFree(image)
    return data


def time_until_changed(window, region, act, still=0.5, limit=20):
    """Does `act` and returns the seconds until the region first changed and until it last
    changed (still for `still` seconds after); None, None when it did not change."""
    before = region_pixels(window, region)
    t0 = time.monotonic()
    act()
    first = last = None
    shown = before
    while time.monotonic() - t0 < limit:
        now = region_pixels(window, region)
        if now != shown:
            shown = now
            last = time.monotonic() - t0
            first = first or last
        elif last is not None and time.monotonic() - t0 - last > still:
            break
        time.sleep(0.002)
    return first, last


def click_at(window, fx, fy):
    width, height = window_size(window)
    subprocess.run(["xdotool", "mousemove", "--window", str(window), str(int(width * fx)),
                    str(int(height * fy))], stderr=subprocess.DEVNULL)
    time.sleep(0.3)
    return lambda: subprocess.run(["xdotool", "click", "1"], stderr=subprocess.DEVNULL)


def time_first_page(window):
    """Clicks the first news of the list: seconds until the reading pane first and last
    changed."""
    return time_until_changed(window, PANE, click_at(window, 0.5, 0.2))


def time_big_channel(window, pid):
    """Opens the first channel (the tree's fourth row) and walks its list with the keyboard:
    the open time, the answer time of each key, and the memory before and after."""
    before = rss_kb(pid)
    opened = time_until_changed(window, LIST, click_at(window, 0.13, 0.245), still=1.0)
    wait_quiet(pid)
    time_until_changed(window, LIST, click_at(window, 0.5, 0.2))  # the list takes the keyboard
    wait_quiet(pid)
    keys = []
    for key in ["Down"] * 20 + ["End", "Home", "Page_Down", "Page_Down", "Up"]:
        first, _ = time_until_changed(
            window, LIST,
            lambda: subprocess.run(["xdotool", "key", "--window", str(window), key],
                                   stderr=subprocess.DEVNULL), still=0.3)
        keys.append(first)
    wait_quiet(pid)
    return opened, keys, before, rss_kb(pid)


def family_memory_kb(pid):
    """Resident and proportional memory of the process and all it started, in kB."""
    pids, seen = [pid], []
    while pids:
        current = pids.pop()
        seen.append(current)
        try:
            for task in os.listdir(f"/proc/{current}/task"):
                pids += [int(c) for c in open(f"/proc/{current}/task/{task}/children").read().split()]
        except OSError:
            pass
    rss = pss = 0
    for member in seen:
        try:
            for line in open(f"/proc/{member}/smaps_rollup"):
                if line.startswith("Rss:"):
                    rss += int(line.split()[1])
                elif line.startswith("Pss:"):
                    pss += int(line.split()[1])
        except OSError:
            pass
    return rss, pss, len(seen)


def rss_kb(pid):
    for line in open(f"/proc/{pid}/status"):
        if line.startswith("VmRSS:"):
            return int(line.split()[1])
    return 0


def cpu_seconds(pid):
    fields = open(f"/proc/{pid}/stat").read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def wait_quiet(pid, seconds=1.0, limit=60):
    """Waits until the process used under 2 % of a core over `seconds`."""
    end = time.monotonic() + limit
    while time.monotonic() < end:
        before = cpu_seconds(pid)
        time.sleep(seconds)
        if cpu_seconds(pid) - before < 0.02 * seconds:
            return True
    return False


work = tempfile.mkdtemp(prefix="calvoria-bench-")
server = None
try:
    env = dict(os.environ, HOME=work, XDG_DATA_HOME=f"{work}/data", XDG_CONFIG_HOME=f"{work}/config",
               XDG_STATE_HOME=f"{work}/state", XDG_RUNTIME_DIR=f"{work}/run",
               QTWEBENGINE_DISABLE_SANDBOX="1")
    env.pop("QT_QPA_PLATFORM", None)
    os.makedirs(f"{work}/run", mode=0o700)
    os.makedirs(f"{work}/config/Trevane Labs")
    shutil.copytree(os.path.dirname(args.program), f"{work}/prog/bin", symlinks=True,
                    ignore=shutil.ignore_patterns("log.txt", "test_*"))
    program = f"{work}/prog/bin/calvoria"
    log = f"{work}/prog/bin/log.txt"
    port = free_port()
    server = subprocess.Popen([sys.executable, f"{top}/bench/serve_feeds.py", str(port), "--count",
                               str(args.channels), "--items", str(args.items)],
                              stdout=subprocess.DEVNULL)
    data = f"{work}/data/Calvoria"
    subprocess.run([sys.executable, f"{top}/bench/make_data_folder.py", data, "--channels",
                    str(args.channels), "--items", str(args.items), "--url-base",
                    f"http://127.0.0.1:{port}/"], check=True, stdout=subprocess.DEVNULL)
    # The default settings but the tray warning (nobody would answer it) and no timed update.
    record = struct.pack("<10i8B2i", 6, 2, 2, 2000, 0, -4, 600, 0, 3, 15,
                         1, 0, 1, 1, 1, 1, 1, 1, 200, 4)
    with open(f"{work}/config/Trevane Labs/Calvoria.conf", "w") as conf:
        conf.write("[Options]\nMain=@ByteArray(" + "".join("\\x%02x" % b for b in record) + ")\n")
    # The companion refreshes the same folder as it is before the window's refresh.
    shutil.copytree(data, f"{work}/tool-data")
    # Warm the cache.
    subprocess.run(["cat"] + [os.path.join(dp, f) for dp, _, fs in os.walk(data) for f in fs],
                   stdout=subprocess.DEVNULL)
    print(f"data: {args.channels} channels x {args.items} items = {args.channels * args.items} news")

    x11.XSelectInput(display, root, SUBSTRUCTURE_NOTIFY)
    starts = []
    for run in range(args.runs):
        start = time.monotonic()
        p = subprocess.Popen([program], env=env, stderr=subprocess.DEVNULL)
        shown, window = wait_for_main_window(start)
        starts.append(shown)
        if run == args.runs - 1:
            wait_quiet(p.pid)
            loaded_rss = rss_kb(p.pid)
            before = cpu_seconds(p.pid)
            time.sleep(args.idle)
            idle = (cpu_seconds(p.pid) - before) / args.idle * 100
            if args.big_channel:
                big = time_big_channel(window, p.pid)
            elif args.first_page:
                first_page = time_first_page(window)
                wait_quiet(p.pid)
                after_page = family_memory_kb(p.pid) + (rss_kb(p.pid),)
        p.terminate()
        p.wait(120)

    refresh_s = None
    stall = []
    if not args.no_refresh:
        # Once more with the stall meter, which wakes the window thread all the time.
        start = time.monotonic()
        p = subprocess.Popen([program], env=dict(env, CALVORIA_MEASURE_STALLS="1"),
                             stderr=subprocess.PIPE, text=True)
        _, window = wait_for_main_window(start)
        wait_quiet(p.pid)
        # The tree has the keyboard: row 2 is the root group, row 4 the first channel.
        downs = {"nothing": [], "root": ["Down"], "channel": ["Down", "Down", "Down"]}[args.show]
        if downs:
            subprocess.run(["xdotool", "windowfocus", "--sync", str(window), "key", "--window",
                            str(window), "Home", *downs], stderr=subprocess.DEVNULL)
            wait_quiet(p.pid)
        done_before = open(log).read().count("Channel downloading done: 'http")
        profiler = None
        if args.perf:
            profiler = subprocess.Popen(["perf", "record", "-F", "499", "-g", "-t", str(p.pid), "-o",
                                         args.perf], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            time.sleep(0.5)
        subprocess.run(["xdotool", "windowfocus", "--sync", str(window), "key", "--window",
                        str(window), "ctrl+shift+F5"], stderr=subprocess.DEVNULL)
        t0 = time.monotonic()
        while open(log).read().count("Channel downloading done: 'http") < done_before + args.channels:
            if time.monotonic() - t0 > 600:
                break
            time.sleep(0.005)
        refresh_s = time.monotonic() - t0
        peak_rss = rss_kb(p.pid)
        if profiler:
            time.sleep(0.5)
            profiler.send_signal(2)
            profiler.wait()
        p.terminate()
        _, err = p.communicate(timeout=120)
        stall = [l for l in err.splitlines() if "event-loop stall" in l]
        refresh_from = t0 - start
    print("window shown (s): " + " ".join(f"{s:.3f}" if s else "none" for s in starts)
          + f"   median {statistics.median([s for s in starts if s]):.3f}")
    print(f"resident memory once loaded: {loaded_rss / 1024:.0f} MB")
    print(f"idle CPU over {args.idle} s: {idle:.2f} % of one core")
    if args.big_channel:
        (opened, settled), keys, before_kb, after_kb = big
        answered = sorted(k for k in keys if k is not None)
        print(f"one channel of {args.items} news opened: list changed after "
              + (f"{opened * 1000:.0f} ms, settled after {settled * 1000:.0f} ms" if opened
                 else "never"))
        if answered:
            print(f"keys in its list answered ({len(answered)} of {len(keys)}): median"
                  f" {statistics.median(answered) * 1000:.0f} ms, slowest {answered[-1] * 1000:.0f} ms")
        print(f"memory: {before_kb / 1024:.0f} MB before the channel was opened,"
              f" {after_kb / 1024:.0f} MB after ({after_kb / before_kb:.2f} x)")
    elif args.first_page:
        first, last = first_page
        print("first news page after the start: "
              + (f"pane changed after {first * 1000:.0f} ms, done after {last * 1000:.0f} ms"
                 if first else "the pane did not change"))
        rss, pss, count, main = after_page
        print(f"memory after it, the program and its {count - 1} helper processes:"
              f" {rss / 1024:.0f} MB resident, {pss / 1024:.0f} MB proportional"
              f" (the program alone: {main / 1024:.0f} MB resident)")
    if refresh_s is not None:
        print(f"refresh of {args.channels} feeds from the window, news list showing the {args.show}:"
              f" {refresh_s:.2f} s"
              f" (resident memory after: {peak_rss / 1024:.0f} MB)")
        tool = os.path.join(os.path.dirname(args.program), "calvoria-tool")
        copy = f"{work}/tool-data"
        t0 = time.monotonic()
        out = subprocess.run([tool, "refresh", copy], env=env, capture_output=True, text=True).stdout
        print(f"calvoria-tool refresh of the same feeds: {time.monotonic() - t0:.2f} s in all; "
              + (out.strip().splitlines() or [""])[-1])
    if refresh_s is not None:
        print(f"(the refresh ran from {refresh_from:.2f} s to {refresh_from + refresh_s:.2f} s after the start)")
    print("\n".join(stall) if stall else "no stall figure")
finally:
    if server:
        server.kill()
    shutil.rmtree(work, ignore_errors=True)
