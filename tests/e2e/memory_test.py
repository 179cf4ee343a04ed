#!/usr/bin/env python3
"""Guards the main process's memory: the real program on a data folder of 25,000 news, no
refresh and no network, must stay within its budget once every channel file is read.

    memory_test.py PROGRAM SOURCE-DIR [LIMIT-MB]      (run under xvfb-run)

Resident memory is steady from run to run, unlike times, so it is the figure checked here;
the times stay in bench/window_bench.py. The limit is 1.3 x the 120 MB the main process may
use before the first news page is shown; until then it has loaded no web engine either.
"""
import os
import shutil
import subprocess
import sys
import time

from e2e_support import Session, check, finish, wait_for

CHANNELS, ITEMS = 500, 50
limit_mb = float(sys.argv[3]) if len(sys.argv) > 3 else 1.3 * 120


def resident_kb(pid):
    with open(f"/proc/{pid}/status") as status:
        for line in status:
            if line.startswith("VmRSS:"):
                return int(line.split()[1])
    return 0


def cpu_ticks(pid):
    fields = open(f"/proc/{pid}/stat").read().rsplit(")", 1)[1].split()
    return int(fields[11]) + int(fields[12])


session = Session(sys.argv[1], sys.argv[2], channels=1, items=1)
try:
    # The channels name addresses that never resolve: nothing is fetched even by mistake.
    shutil.rmtree(session.root)
    subprocess.run([sys.executable, f"{sys.argv[2]}/bench/make_data_folder.py", session.root,
                    "--channels", str(CHANNELS), "--items", str(ITEMS)],
                   check=True, stdout=subprocess.DEVNULL)
    calvoria, window = session.start_program()

    def channel_files_read():
        return session.log_text().count("Channel downloading done: '" + session.root
                                        + "/Feeds/") >= CHANNELS

    check(wait_for(channel_files_read, 40), f"all {CHANNELS} channel files are read")
    # The window thread adopts what the readers parsed after they log it: wait until the
    # process has nothing left to do.
    def quiet():
        before = cpu_ticks(calvoria.pid)
        time.sleep(0.5)
        return cpu_ticks(calvoria.pid) - before <= 1

    check(wait_for(quiet, 20), "the program goes quiet once loaded")
    mb = resident_kb(calvoria.pid) / 1024
    print(f"main process resident memory with {CHANNELS * ITEMS} news: {mb:.0f} MB"
          f" (limit {limit_mb:.0f} MB)", flush=True)
    check(mb <= limit_mb, f"resident memory {mb:.0f} MB is within {limit_mb:.0f} MB")
    maps = open(f"/proc/{calvoria.pid}/maps").read()
    check("WebEngine" not in maps and "libLLVM" not in maps,
          "no web engine or graphics library is loaded before a page is shown")
finally:
    session.close()
finish()
