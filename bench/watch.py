"""Watching a Windows program's Linux process from /proc while it runs: its peak
memory, and which processes the run starts."""

import os
import threading
import time
from dataclasses import dataclass
from pathlib import Path

CLOCK_TICKS = os.sysconf("SC_CLK_TCK")


def proc_stat(pid):
    """(parent PID, CPU ticks) of a live process, or None."""
    try:
        fields = Path(f"/proc/{pid}/stat").read_text().rsplit(")", 1)[1].split()
    except (OSError, IndexError):
        return None
    return int(fields[1]), int(fields[11]) + int(fields[12])


def proc_text(pid, name):
    """A /proc file of a process as text, "" once it is gone."""
    try:
        return Path(f"/proc/{pid}/{name}").read_bytes().replace(b"\0", b" ").decode(errors="replace").strip()
    except OSError:
        return ""


def proc_has_marker(pid, marker):
    try:
        return marker.encode() in Path(f"/proc/{pid}/environ").read_bytes().split(b"\0")
    except OSError:
        return False


def live_pids():
    return {int(p) for p in os.listdir("/proc") if p.isdigit()}


@dataclass
class Seen:
    name: str  # from the command line that started it, without .exe: cmd, rar
    parent: int
    ticks: int


class Watch(threading.Thread):
    """Samples /proc while the program runs. Always: its peak resident set, VmHWM,
    which Wine also reports to Windows programs as the peak working set. With a
    marker (an environment variable of the run, which every process the run starts
    inherits): what the PID runs, the processes the run starts with their parents
    and CPU time, and the program's CPU time while a command interpreter runs for it."""

    def __init__(self, pid, marker=None):
        super().__init__(daemon=True)
        self.pid = pid
        self.marker = marker
        self.ignored = live_pids() - {pid}
        self.stopping = threading.Event()
        self.peak_kb = 0
        self.own_cmdline = self.own_name = ""
        self.started = {}  # pid -> Seen
        self.listing = []  # (seconds, program ticks) while a command interpreter ran

    def run(self):
        while not self.stopping.is_set():
            now, mine = time.perf_counter(), proc_stat(self.pid)
            status = proc_text(self.pid, "status")
            if mine is None or "VmHWM:" not in status:  # gone, or a zombie without memory
                return
            self.peak_kb = int(status.split("VmHWM:", 1)[1].split()[0])
            if self.marker:
                self.discover(now, mine[1])
            self.stopping.wait(0.02)

    def discover(self, now, ticks):
        self.own_cmdline = proc_text(self.pid, "cmdline") or self.own_cmdline
        self.own_name = proc_text(self.pid, "comm").lower().removesuffix(".exe") or self.own_name
        listing = False
        for pid in live_pids() - self.ignored - {self.pid}:
            if pid not in self.started and not proc_has_marker(pid, self.marker):
                self.ignored.add(pid)
                continue
            stat, name = proc_stat(pid), proc_text(pid, "comm").lower().removesuffix(".exe")
            if stat is None:
                continue
            self.started[pid] = Seen(name, *stat)
            listing |= name == "cmd" and proc_text(pid, "cmdline") != ""  # not yet a zombie
        if listing:
            self.listing.append((now, ticks))

    def listing_cpu_share(self):
        """Percent of one core, or None when the listing was seen too briefly."""
        if len(self.listing) < 2 or self.listing[-1][0] - self.listing[0][0] < 0.5:
            return None
        (t0, c0), (t1, c1) = self.listing[0], self.listing[-1]
        return 100 * (c1 - c0) / CLOCK_TICKS / (t1 - t0)
