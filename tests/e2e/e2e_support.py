"""What the end-to-end tests share: checks, waiting, X11 input and windows, a sample data
folder with its feeds served from 127.0.0.1, and the program started in a home of its own."""
import ctypes
import hashlib
import os
import shutil
import socket
import struct
import subprocess
import sys
import tempfile
import time

# The screenshot script's helper finds the tray icon for the tests too.
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "scripts"))
from tray_icon_center import tray_icon_center  # noqa: E402,F401

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


def press(window, *keys):
    """Presses the keys one after the other in the window, as a person would."""
    for key in keys:
        xdotool("key", "--window", str(window), key)
        time.sleep(0.15)


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
    """The program's largest window named "Calvoria" (the tray icon's window has the name
    too), or None."""
    best, best_area = None, 0
    for window in xdotool("search", "--pid", str(pid), "--name", "^Calvoria$"):
        out = subprocess.run(["xwininfo", "-id", window], capture_output=True, text=True).stdout
        size = dict(line.strip().split(": ", 1) for line in out.splitlines()
                    if line.strip().startswith(("Width:", "Height:")))
        area = int(size.get("Width", 0)) * int(size.get("Height", 0))
        if area > max(best_area, 1):
            best, best_area = int(window), area
    return best


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def digest(folder):
    return {name: hashlib.md5(open(os.path.join(folder, name), "rb").read()).hexdigest()
            for name in os.listdir(folder) if name.endswith(".rss")}




class Session:
    """A home folder with settings, a data folder of CHANNELS channels whose feeds are served
    locally, and the program copied into a folder of its own (so its log is its own)."""

    def __init__(self, program, source, channels=6, items=8, stored_items=3, articles=False,
                 mark_read_ms=2000):
        self.work = tempfile.mkdtemp(prefix="calvoria-e2e-")
        self.processes = []
        work = self.work
        self.env = dict(os.environ, HOME=work, XDG_DATA_HOME=f"{work}/data",
                        XDG_CONFIG_HOME=f"{work}/config", XDG_STATE_HOME=f"{work}/state",
                        XDG_RUNTIME_DIR=f"{work}/run", QTWEBENGINE_DISABLE_SANDBOX="1")
        self.env.pop("QT_QPA_PLATFORM", None)
        os.makedirs(f"{work}/run", mode=0o700)
        os.makedirs(f"{work}/config/Trevane Labs")
        os.makedirs(f"{work}/prog/bin")
        shutil.copy(program, f"{work}/prog/bin/calvoria")
        # The reading pane's browser module, loaded from the program's folder.
        shutil.copy(os.path.join(os.path.dirname(program), "libcalvoria-reading.so"),
                    f"{work}/prog/bin/")
        # The extraction script's modules, beside the program as installed.
        shutil.copytree(os.path.join(os.path.dirname(program), "include"),
                        f"{work}/prog/bin/include")
        # The reading styles beside the program, as installed.
        shutil.copytree(os.path.join(os.path.dirname(program), "..", "Options"),
                        f"{work}/prog/Options", ignore=shutil.ignore_patterns("CMake*", "*.cmake"))
        self.program = f"{work}/prog/bin/calvoria"
        self.log = f"{work}/prog/bin/log.txt"
        self.port = free_port()
        # articles: the news link to article pages served here too.
        self.spawn([sys.executable, f"{source}/bench/serve_feeds.py", str(self.port), "--count",
                    str(channels), "--items", str(items)]
                   + (["--local-articles"] if articles else []), stdout=subprocess.DEVNULL)
        self.root = f"{work}/data/Calvoria"
        subprocess.run([sys.executable, f"{source}/bench/make_data_folder.py", self.root,
                        "--groups", "2", "--channels", str(channels), "--items", str(stored_items),
                        "--url-base", f"http://127.0.0.1:{self.port}/"]
                       + (["--article-base", f"http://127.0.0.1:{self.port}/"] if articles else []),
                       check=True, stdout=subprocess.DEVNULL)
        # The default settings, but without the one-time tray warning (its dialog has its own
        # test). mark_read_ms: how long a news shown in the reading pane waits to be read.
        record = struct.pack("<10i8B2i", 6, 2, 2, mark_read_ms, 0, -4, 15, 0, 3, 15,
                             1, 0, 1, 1, 1, 1, 1, 1, 200, 4)
        with open(f"{work}/config/Trevane Labs/Calvoria.conf", "w") as conf:
            conf.write("[Options]\nMain=@ByteArray("
                       + "".join("\\x%02x" % b for b in record) + ")\n")
        wait_for(lambda: socket.socket().connect_ex(("127.0.0.1", self.port)) == 0, 10)

    def spawn(self, command, **kwargs):
        process = subprocess.Popen(command, **kwargs)
        self.processes.append(process)
        return process

    def start_tray_host(self):
        return self.spawn(["trayer", "--edge", "top", "--align", "right", "--widthtype", "pixel",
                           "--width", "60", "--heighttype", "pixel", "--height", "30",
                           "--SetDockType", "false", "--transparent", "false"],
                          stderr=subprocess.DEVNULL)

    def start_program(self, **kwargs):
        """Starts the program and waits for its main window; returns (process, window)."""
        process = self.spawn([self.program], env=self.env, **kwargs)
        found = {}

        def shown():
            found["window"] = main_window(process.pid)
            return found["window"] is not None and is_viewable(found["window"])

        check(wait_for(shown, 20), "the main window is shown")
        return process, found.get("window")

    def log_text(self):
        return open(self.log, encoding="utf-8", errors="replace").read()

    def close(self):
        for process in reversed(self.processes):
            if process.poll() is None:
                process.kill()
                process.wait()
        if not os.environ.get("CALVORIA_KEEP_E2E"):
            shutil.rmtree(self.work, ignore_errors=True)
        else:
            print("kept", self.work)


def finish():
    sys.exit(1 if failures else 0)
