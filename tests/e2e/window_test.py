#!/usr/bin/env python3
"""The real program on a real X display with a notification area, driven like a person.

    window_test.py PROGRAM SOURCE-DIR        (run under xvfb-run; needs trayer and xdotool)

Serves six feeds from 127.0.0.1, starts trayer and the program on a data folder of channels
pointing at them, and checks: the window comes up; Ctrl+Shift+F5 refreshes every channel
(the channel files change on disk); the close box hides the window to the tray and shows
the icon, also after the panel restarts; a double-click on the icon brings the window back; Exit from the tray menu ends
the program through the whole exit sequence.
"""
import ctypes
import hashlib
import os
import re
import shutil
import socket
import struct
import subprocess
import sys
import tempfile
import time

program, source = sys.argv[1], sys.argv[2]
failures = []


def check(condition, what):
    print(("ok      " if condition else "FAILED  ") + what, flush=True)
    if not condition:
        failures.append(what)
    return condition


def wait_for(predicate, seconds):
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        if predicate():
            return True
        time.sleep(0.1)
    return predicate()


def xdotool(*args):
    return subprocess.run(["xdotool", *args], stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                          text=True).stdout.split()


# The close box without a window manager: the WM_DELETE_WINDOW message, sent with libX11.
x11 = ctypes.cdll.LoadLibrary("libX11.so.6")
x11.XOpenDisplay.restype = ctypes.c_void_p
x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
x11.XInternAtom.restype = ctypes.c_ulong
x11.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
x11.XSendEvent.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_long,
                           ctypes.c_void_p]
x11.XFlush.argtypes = [ctypes.c_void_p]
display = x11.XOpenDisplay(None)


class ClientMessage(ctypes.Structure):
    _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong), ("send_event", ctypes.c_int),
                ("display", ctypes.c_void_p), ("window", ctypes.c_ulong),
                ("message_type", ctypes.c_ulong), ("format", ctypes.c_int),
                ("data", ctypes.c_long * 5), ("pad", ctypes.c_long * 12)]


def close_box(window):
    event = ClientMessage()
    event.type = 33  # ClientMessage
    event.window = window
    event.message_type = x11.XInternAtom(display, b"WM_PROTOCOLS", 0)
    event.format = 32
    event.data[0] = x11.XInternAtom(display, b"WM_DELETE_WINDOW", 0)
    event.data[1] = 0  # CurrentTime
    x11.XSendEvent(display, window, 0, 0, ctypes.byref(event))
    x11.XFlush(display)


def is_viewable(window):
    out = subprocess.run(["xwininfo", "-id", str(window)], capture_output=True, text=True).stdout
    return "IsViewable" in out


def main_window(pid):
    for window in xdotool("search", "--pid", str(pid), "--name", "^Calvoria$"):
        out = subprocess.run(["xwininfo", "-id", window], capture_output=True, text=True).stdout
        if "Width: 1\n" not in out:
            return int(window)
    return None


def tray_icon_center():
    """Where the program's icon sits in trayer's panel, or None while it is not there."""
    panels = xdotool("search", "--name", "^panel$")
    if not panels:
        return None
    tree = subprocess.run(["xwininfo", "-tree", "-id", panels[0]], capture_output=True,
                          text=True).stdout
    for line in tree.splitlines():
        match = re.search(r'"Calvoria".*\s(\d+)x(\d+)[+-]-?\d+[+-]-?\d+\s+\+(-?\d+)\+(-?\d+)', line)
        if match:
            w, h, x, y = map(int, match.groups())
            return str(x + w // 2), str(y + h // 2)
    return None


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def digest(folder):
    return {name: hashlib.md5(open(os.path.join(folder, name), "rb").read()).hexdigest()
            for name in os.listdir(folder) if name.endswith(".rss")}


work = tempfile.mkdtemp(prefix="calvoria-e2e-")
processes = []
try:
    env = dict(os.environ, HOME=work, XDG_DATA_HOME=f"{work}/data", XDG_CONFIG_HOME=f"{work}/config",
               XDG_STATE_HOME=f"{work}/state", XDG_RUNTIME_DIR=f"{work}/run",
               QTWEBENGINE_DISABLE_SANDBOX="1")
    env.pop("QT_QPA_PLATFORM", None)
    os.makedirs(f"{work}/run", mode=0o700)
    os.makedirs(f"{work}/config/Trevane Labs")
    os.makedirs(f"{work}/prog/bin")
    shutil.copy(program, f"{work}/prog/bin/calvoria")
    log = f"{work}/prog/bin/log.txt"

    port = free_port()
    processes.append(subprocess.Popen([sys.executable, f"{source}/bench/serve_feeds.py", str(port),
                                       "--count", "6", "--items", "8"], stdout=subprocess.DEVNULL))
    root = f"{work}/data/Calvoria"
    subprocess.run([sys.executable, f"{source}/bench/make_data_folder.py", root, "--groups", "2",
                    "--channels", "6", "--items", "3", "--url-base", f"http://127.0.0.1:{port}/"],
                   check=True, stdout=subprocess.DEVNULL)
    # The default settings, but without the one-time tray warning (its dialog has its own test).
    record = struct.pack("<10i8B2i", 6, 2, 2, 2000, 0, -4, 15, 0, 3, 15,
                         1, 0, 1, 1, 1, 1, 1, 1, 200, 4)
    with open(f"{work}/config/Trevane Labs/Calvoria.conf", "w") as conf:
        conf.write("[Options]\nMain=@ByteArray(" + "".join("\\x%02x" % b for b in record) + ")\n")
    wait_for(lambda: socket.socket().connect_ex(("127.0.0.1", port)) == 0, 10)

    def start_tray_host():
        host = subprocess.Popen(["trayer", "--edge", "top", "--align", "right", "--widthtype", "pixel",
                                 "--width", "60", "--heighttype", "pixel", "--height", "30",
                                 "--SetDockType", "false", "--transparent", "false"],
                                stderr=subprocess.DEVNULL)
        processes.append(host)
        return host

    tray_host = start_tray_host()
    time.sleep(0.5)
    before = digest(f"{root}/Feeds")
    calvoria = subprocess.Popen([f"{work}/prog/bin/calvoria"], env=env)
    processes.append(calvoria)

    window = None

    def shown():
        global window
        window = main_window(calvoria.pid)
        return window is not None and is_viewable(window)

    check(wait_for(shown, 20), "the main window is shown")
    check("Frame creation done" in open(log).read(), "the frame logged its creation")

    xdotool("windowfocus", "--sync", str(window))
    xdotool("key", "--window", str(window), "ctrl+shift+F5")
    check(wait_for(lambda: open(log).read().count("Channel downloading done: 'http") == 6, 30),
          "Ctrl+Shift+F5 downloaded every channel")

    close_box(window)
    check(wait_for(lambda: not is_viewable(window), 10), "the close box hides the window")
    check(wait_for(lambda: tray_icon_center() is not None, 10), "the tray icon is shown")
    check(calvoria.poll() is None, "the program still runs")

    # The panel goes away and comes back (a desktop restarting it): the icon comes back too.
    tray_host.terminate()
    tray_host.wait()
    wait_for(lambda: not xdotool("search", "--name", "^panel$"), 5)
    tray_host = start_tray_host()
    check(wait_for(lambda: tray_icon_center() is not None, 10), "the icon comes back with the panel")

    xdotool("mousemove", *tray_icon_center(), "click", "--repeat", "2", "--delay", "80", "1")
    check(wait_for(lambda: is_viewable(window), 10), "a double-click on the icon restores the window")

    close_box(window)
    wait_for(lambda: not is_viewable(window), 10)
    wait_for(lambda: tray_icon_center() is not None, 10)
    xdotool("mousemove", *tray_icon_center(), "click", "3")
    time.sleep(1.0)
    xdotool("key", "Up", "Return")  # the last row of the tray menu is Exit
    try:
        code = calvoria.wait(20)
    except subprocess.TimeoutExpired:
        code = None
    check(code == 0, f"Exit from the tray menu ends the program (exit code {code})")
    lines = [line.split("\t", 1)[-1] for line in open(log).read().splitlines()]
    sequence = ["Storing frame position ...", "Saving news: done", "Start Exiting", "Queue stopped",
                "Internet Session closed", "Exit Done", "Log file closed"]
    found = [line for line in lines if line in sequence]
    check(found[-len(sequence):] == sequence, "the exit sequence ran in order: " + " / ".join(found))
    after = digest(f"{root}/Feeds")
    check(len(after) == 6 and all(before[name] != after[name] for name in after),
          "every channel file holds the refreshed news")
finally:
    for process in reversed(processes):
        if process.poll() is None:
            process.kill()
            process.wait()
    if not os.environ.get("CALVORIA_KEEP_E2E"):
        shutil.rmtree(work, ignore_errors=True)
    else:
        print("kept", work)

sys.exit(1 if failures else 0)
