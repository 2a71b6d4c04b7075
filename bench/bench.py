#!/usr/bin/env python3
"""How fast QuarnLogBackup.exe collects the mail client's logs, under Wine.

Each data set is a generated mail data folder. The whole program run (with the
stand-in archiver told to write no archive, so that only the program is timed)
is set against xcopy, the copy limit under Wine, and against the batch loop a
user would write instead. It also measures the program's CPU share while it
waits for the listing of a large data folder, and its peak working set.

Needs a running Wine session (tests/wine/session.sh) and QUARN_BUILD_DIR,
QUARN_EXE and QUARN_RAR in the environment, as the end-to-end tests do;
bench/run.sh provides all of it. --smoke runs tiny data sets once and writes
into the build folder.
"""

import argparse
import contextlib
import datetime
import json
import os
import platform
import random
import re
import shutil
import statistics
import subprocess
import sys
import tempfile
import threading
import time
from dataclasses import asdict, dataclass, field
from pathlib import Path

BENCH = Path(__file__).resolve().parent
sys.path.insert(0, str(BENCH.parent / "tests" / "wine"))
import quarn_wine as qw  # noqa: E402  reads QUARN_BUILD_DIR, QUARN_EXE and QUARN_RAR

SEED = 20260107
GENERATOR = 1  # part of each data set's stamp: bump it when layout() or text_pool() changes
KB = 1024
POOL_SIZE = 512 * KB  # every file is a slice of one text, so a 200 KB log fits anywhere
DATA_ROOT = "C:\\benchdata"
WORK = "C:\\bench"
OUT = "C:\\benchout"
TOOLS = WORK + "\\tools"
PROGRAM_DIR = WORK + "\\prog"
LOOP_BATCH = WORK + "\\loop.bat"
ARCHIVE = WORK + "\\backup\\bench.rar"
CPU_TARGET = 5.0  # percent of one core while the program waits
MEMORY_TARGET = 10.0  # percent more peak working set for ten times the logs
CLOCK_TICKS = os.sysconf("SC_CLK_TCK")
FOLDER_NAMES = ("!!!Inbox", "!!!!Outbox", "Trash")  # the mail client's own folders come first
OTHER_NAMES = ("Folder.idx", "Mail.bmf", "Folder.ini", "Notes.txt", "Rules.dat", "Index.tmp",
               "View.htm", "Draft.eml")
KIND_TITLES = {"mixed": "Logs of 2 to 200 KB", "small": "Small logs in many folders"}


@dataclass(frozen=True)
class DataSet:
    kind: str  # mixed, small, or wait (for the CPU share)
    logs: int
    folders: int
    sizes: tuple  # of a log in bytes: smallest, most common, largest
    others: int = 1  # non-log files in each folder
    # Most program seconds per second of xcopy and of the batch loop; None: no target.
    xcopy_limit: float = field(default=None, compare=False)
    loop_limit: float = field(default=None, compare=False)

    @property
    def name(self):
        return f"{self.kind}-{self.logs}-{self.folders}"

    @property
    def windows(self):
        return f"{DATA_ROOT}\\{self.name}"

    def stamp(self):
        params = {k: v for k, v in asdict(self).items() if not k.endswith("_limit")}
        return dict(params, sizes=list(self.sizes), seed=SEED, generator=GENERATOR)


MIXED = (2 * KB, 18 * KB, 200 * KB)  # triangular: 73 KB on average, 220 MB for 3,000 logs
SMALL = (512, 1 * KB, 4 * KB)
FULL_SETS = (
    DataSet("mixed", 300, 30, MIXED),
    DataSet("mixed", 3000, 300, MIXED, xcopy_limit=1.5, loop_limit=0.6),
    DataSet("small", 2000, 500, SMALL),
    DataSet("small", 20000, 500, SMALL, xcopy_limit=1.3),
)
FULL_WAIT = DataSet("wait", 6, 3000, SMALL, others=8)
# The same shapes, small enough for seconds; with the targets, so that every path runs.
SMOKE_SETS = (
    DataSet("mixed", 12, 4, MIXED),
    DataSet("mixed", 36, 6, MIXED, xcopy_limit=1.5, loop_limit=0.6),
    DataSet("small", 20, 10, SMALL),
    DataSet("small", 60, 10, SMALL, xcopy_limit=1.3),
)
SMOKE_WAIT = DataSet("wait", 4, 40, SMALL, others=8)


class BrokenRun(Exception):
    """A run that failed or left the wrong files: its timing would mean nothing."""


# --- The data ---------------------------------------------------------------------------

@dataclass(frozen=True)
class DataFile:
    relative: str  # below the data folder, with /
    size: int
    offset: int  # into the text pool
    is_log: bool

    @property
    def name(self):
        return self.relative.split("/")[-1]


def text_pool():
    """Mail-like text that every file is cut from: the same bytes on every machine."""
    rng = random.Random(SEED)
    words = ("budget meeting invoice report project schedule thanks regards please attached "
             "review draft order delivery tomorrow monday agenda minutes contract offer").split()
    out = bytearray()
    while len(out) < POOL_SIZE:
        out += (f"From: user{rng.randrange(1000)}@example.com\r\nSubject: "
                f"{' '.join(rng.choices(words, k=4))}\r\n\r\n").encode()
        for _ in range(rng.randrange(3, 12)):
            out += (" ".join(rng.choices(words, k=rng.randrange(6, 14))) + "\r\n").encode()
        out += b"\r\n"
    return bytes(out[:POOL_SIZE])


def layout(ds):
    """Every file of a data set in the mail client's layout, account.mb\\folder\\file.
    Log names are unique across the set, so that even the flat batch loop must
    end with one copy of each."""
    rng = random.Random(f"{SEED}/{ds.name}")
    accounts = [f"{rng.getrandbits(32):08x}.mb" for _ in range(3)]
    folders = []
    for n in range(ds.folders):
        fixed = n // len(accounts)
        name = (FOLDER_NAMES[fixed] if fixed < len(FOLDER_NAMES)
                else f"Project.{n:04d}" if n % 5 == 0 else f"Folder{n:04d}")
        folders.append(f"{accounts[n % len(accounts)]}/{name}")
    files = []
    for i in range(ds.logs):
        extension = "bkl" if rng.random() < 0.7 else "bks"
        low, common, high = ds.sizes
        size = round(rng.triangular(low, high, common))
        files.append(DataFile(f"{folders[i % ds.folders]}/{i:05d}.{extension}", size,
                              rng.randrange(POOL_SIZE - size), True))
    for folder in folders:
        for name in OTHER_NAMES[:ds.others]:
            size = rng.randrange(64, KB)
            files.append(DataFile(f"{folder}/{name}", size, rng.randrange(POOL_SIZE - size), False))
    return files


def prepare(ds, pool):
    """The data set's files; written only when the prefix does not hold them yet."""
    files = layout(ds)
    root = qw.unix_path(ds.windows)
    stamp = root.with_name(ds.name + ".json")
    if root.is_dir() and stamp.is_file() and json.loads(stamp.read_text()) == ds.stamp():
        return files
    stamp.unlink(missing_ok=True)  # a half-written set must not pass for a whole one
    shutil.rmtree(root, ignore_errors=True)
    for f in files:
        path = root / f.relative
        path.parent.mkdir(parents=True, exist_ok=True)
        path.write_bytes(pool[f.offset:f.offset + f.size])
    stamp.write_text(json.dumps(ds.stamp()))
    return files


# --- Running under Wine -------------------------------------------------------------------

@dataclass
class Outcome:
    """Of a run that ended with exit code 0."""
    wall: float  # seconds
    cpu: float  # user + system seconds of the process that wait4 reaped
    max_rss: int  # KB, ru_maxrss from wait4
    watch: "Watch" = None


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


def stop_on_box_or_timeout(process, err, timeout, done, why):
    """Ends a run that shows a message box (nobody is there to answer it) or runs too long."""
    deadline = time.perf_counter() + timeout
    while not done.wait(0.2):
        box = re.search(rb'MSGBOX_OnInit L"((?:[^"\\]|\\.)*)"', os.pread(err.fileno(), 1 << 20, 0))
        if box or time.perf_counter() > deadline:
            why.append(f"showed a message box: {qw.decode_debugstr(box.group(1).decode(errors='replace'))}"
                       if box else f"still ran after {timeout} s")
            process.kill()  # a no-op once wait4 has reaped it: Popen then finds no child
            return


def run_wine(what, argv, env, timeout, watch=None):
    """Runs one Windows program from Linux and reaps it with wait4, which gives the
    usage of that process itself (and of the children it reaped). watch: None,
    "memory" or "processes", what a Watch samples meanwhile."""
    run_id = str(time.monotonic_ns())
    env = dict(env, WINEDEBUG="-all,+msgbox", QUARN_BENCH_RUN=run_id)
    marker = "QUARN_BENCH_RUN=" + run_id
    with tempfile.TemporaryFile() as err:
        start = time.perf_counter()
        process = subprocess.Popen(["wine", *argv], cwd=qw.DRIVE_C, env=env, stdin=subprocess.DEVNULL,
                                   stdout=subprocess.DEVNULL, stderr=err)
        watcher = Watch(process.pid, marker if watch == "processes" else None) if watch else None
        if watcher:
            watcher.start()
        done, why = threading.Event(), []
        monitor = threading.Thread(target=stop_on_box_or_timeout, args=(process, err, timeout, done, why))
        monitor.start()
        try:
            _, status, usage = os.wait4(process.pid, 0)
        finally:
            done.set()
            monitor.join()
        wall = time.perf_counter() - start
        process.returncode = os.waitstatus_to_exitcode(status)  # reaped here, not by Popen
        if watcher:
            watcher.stopping.set()
            watcher.join()
        if why:
            raise BrokenRun(f"{what} {why[0]}")
        if process.returncode != 0:
            err.seek(0)
            tail = err.read().decode(errors="replace")[-2000:]
            raise BrokenRun(f"{what} ended with exit code {process.returncode}\n{tail}")
    return Outcome(wall, usage.ru_utime + usage.ru_stime, usage.ru_maxrss, watcher)


@contextlib.contextmanager
def desktop_kept(env):
    """Keeps Wine's desktop process up for the whole benchmark, as the shell keeps
    the desktop up on Windows. Otherwise every program run would also time Wine
    starting explorer.exe for the console window of the program's listing batch:
    a quarter of a second, and 10 s in a prefix whose RpcSs service did not start."""
    keeper = subprocess.Popen(["wine", "notepad.exe"], env=env, stdin=subprocess.DEVNULL,
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        subprocess.run(["xdotool", "search", "--sync", "--onlyvisible", "--name", "Notepad$"], env=env,
                       stdout=subprocess.DEVNULL, timeout=120, check=True)
        yield
    finally:
        keeper.kill()
        keeper.wait()


def tree(root):
    """{relative path: size} of every file below root."""
    return {p.relative_to(root).as_posix(): p.stat().st_size for p in root.rglob("*") if p.is_file()}


class Runner:
    def __init__(self, timeout):
        self.timeout = timeout
        self.env = dict(qw.wine_env(), WINEPATH=TOOLS)
        qw.put_archiver_on_path(TOOLS)
        self.xcopy_out = qw.unix_path(OUT + "\\xcopy")
        self.loop_out = qw.unix_path(OUT + "\\loop")

    def use(self, ds, files):
        """Points the mail client and the batch loop at a data set, with a fresh copy
        of the program and no names beside the archive: what is kept from run to run
        then belongs to this set alone."""
        self.logs = [f for f in files if f.is_log]
        self.program = qw.ProgramFolder("prog", windows_root=WORK)
        archive = qw.unix_path(ARCHIVE)
        for kept in archive.parent.glob(archive.name + ".names*"):
            kept.unlink()
        backup_dir, zip_file = ARCHIVE.rsplit("\\", 1)
        self.program.write_ini(backup_dir=backup_dir, zip_file=zip_file, show_msg="0")
        qw.set_mail_client(data_dir=ds.windows + "\\")
        # The loop as a user would write it: every log, flat into one folder.
        qw.unix_path(LOOP_BATCH).write_bytes(
            ("@echo off\r\n"
             f'for /r "{ds.windows}" %%f in (*.bkl *.bks) do copy /y "%%f" "{OUT}\\loop\\" >nul\r\n')
            .encode("ascii"))

    def left_copies(self):
        """Log copies anywhere in the program's folder, its staging folder included."""
        return [p for p in self.program.path.rglob("*") if p.suffix.lower() in (".bkl", ".bks")]

    def check_archive(self):
        """One untimed run with a real archive: it must hold one entry per log (the
        unique log names end the flattened names). Also warms the caches."""
        archive = qw.unix_path(ARCHIVE)
        archive.unlink(missing_ok=True)
        run_wine("QuarnLogBackup.exe (archive check)", [PROGRAM_DIR + "\\QuarnLogBackup.exe"], self.env,
                 self.timeout)
        entries = qw.bsdtar_list(archive) if archive.exists() else []
        names = sorted(f.name for f in self.logs)  # all of one length, like 00042.bkl
        endings = sorted(e[-len(names[0]):] for e in entries)
        if endings != names or self.left_copies():
            odd = sorted(set(endings) ^ set(names))[:5]
            raise BrokenRun(f"the archive holds {len(entries)} entries for {len(names)} logs "
                            f"(not matched: {odd}); {len(self.left_copies())} copies left behind")
        archive.unlink()

    def program_run(self, watch="memory"):
        os.sync()  # the previous run's writes must not be flushed on this run's time
        result = run_wine("QuarnLogBackup.exe", [PROGRAM_DIR + "\\QuarnLogBackup.exe"],
                          dict(self.env, RAR_STANDIN_NO_ARCHIVE="1"), self.timeout, watch)
        if self.left_copies():
            raise BrokenRun(f"the program left {len(self.left_copies())} copies of logs behind")
        return result

    def xcopy_run(self, ds):
        shutil.rmtree(self.xcopy_out, ignore_errors=True)
        os.sync()
        # No file of the data sets but the logs ends in .bk and one more letter.
        outcome = run_wine("xcopy", ["xcopy", f"{ds.windows}\\*.bk?", f"{OUT}\\xcopy\\",
                                     "/s", "/i", "/q", "/y"], self.env, self.timeout)
        if tree(self.xcopy_out) != {f.relative: f.size for f in self.logs}:
            raise BrokenRun("xcopy did not copy exactly the logs")
        return outcome

    def loop_run(self):
        shutil.rmtree(self.loop_out, ignore_errors=True)
        self.loop_out.mkdir(parents=True)
        os.sync()
        outcome = run_wine("the batch loop", ["cmd", "/c", LOOP_BATCH], self.env, self.timeout)
        if tree(self.loop_out) != {f.name: f.size for f in self.logs}:
            raise BrokenRun("the batch loop did not copy exactly the logs")
        return outcome

    def clear(self):
        shutil.rmtree(qw.unix_path(OUT), ignore_errors=True)


# --- The measurements ---------------------------------------------------------------------

@dataclass
class CopyResult:
    ds: DataSet
    megabytes: float
    program: list = field(default_factory=list)  # seconds of each repetition
    xcopy: list = field(default_factory=list)
    loop: list = field(default_factory=list)
    peak_kb: list = field(default_factory=list)  # VmHWM of each program run

    def median(self, method):
        return statistics.median(getattr(self, method))


@dataclass
class WaitResult:
    ds: DataSet
    outcomes: list = field(default_factory=list)  # of each program run, with its Watch

    @property
    def shares(self):
        """Percent of one core over each whole run, from wait4."""
        return [100 * o.cpu / o.wall for o in self.outcomes]


def measure_copies(runner, ds, pool, reps):
    files = prepare(ds, pool)
    runner.use(ds, files)
    result = CopyResult(ds, sum(f.size for f in files if f.is_log) / 1e6)
    print(f"{ds.name}: {ds.logs} logs, {result.megabytes:.1f} MB", flush=True)
    runner.check_archive()
    runner.xcopy_run(ds)
    runner.loop_run()
    for _ in range(reps):  # in turn, so that a slow spell of the machine hits every method
        program = runner.program_run()
        result.program.append(program.wall)
        result.peak_kb.append(program.watch.peak_kb)
        result.xcopy.append(runner.xcopy_run(ds).wall)
        result.loop.append(runner.loop_run().wall)
        print(f"  program {program.wall:7.2f} s   xcopy {result.xcopy[-1]:7.2f} s   "
              f"loop {result.loop[-1]:7.2f} s", flush=True)
    runner.clear()
    return result


def measure_wait(runner, ds, pool, reps):
    files = prepare(ds, pool)
    runner.use(ds, files)
    print(f"{ds.name}: {ds.folders} folders, {ds.folders * ds.others} other files, {ds.logs} logs",
          flush=True)
    runner.check_archive()
    result = WaitResult(ds)
    for _ in range(reps):
        outcome = runner.program_run(watch="processes")
        result.outcomes.append(outcome)
        print(f"  program {outcome.wall:7.2f} s, {outcome.cpu:.2f} s CPU: {result.shares[-1]:.1f} %",
              flush=True)
    return result


# --- The report ---------------------------------------------------------------------------

def verdict(value, limit):
    return "—" if limit is None else ("pass" if value <= limit else "FAIL")


def memory_rows(copies):
    """(label, value, target, result) rows for the smallest and largest mixed set."""
    mixed = sorted((c for c in copies if c.ds.kind == "mixed"), key=lambda c: c.ds.logs)
    rows = [(f"Peak working set, {c.ds.logs:,} logs", f"{statistics.median(c.peak_kb) / 1024:.1f} MB", "", "")
            for c in mixed[:1] + mixed[1:][-1:]]
    if len(mixed) >= 2:
        low, high = (statistics.median(c.peak_kb) for c in (mixed[0], mixed[-1]))
        growth = 100 * (high - low) / low
        rows.append((f"Growth from {mixed[0].ds.logs:,} to {mixed[-1].ds.logs:,} logs", f"{growth:+.1f} %",
                     f"≤ {MEMORY_TARGET:g} %", verdict(growth, MEMORY_TARGET)))
    return rows


def copy_rows(copies):
    rows = []
    for c in copies:
        p, x, l = c.median("program"), c.median("xcopy"), c.median("loop")
        targets = []
        for ratio, limit in ((p / x, c.ds.xcopy_limit), (p / l, c.ds.loop_limit)):
            targets += [f"{ratio:.2f}", "—" if limit is None else f"≤ {limit:g}", verdict(ratio, limit)]
        rows.append((KIND_TITLES[c.ds.kind], f"{c.ds.logs:,}", f"{c.megabytes:.1f}", f"{p:.2f}", f"{x:.2f}",
                     f"{l:.2f}", *targets))
    return rows


COPY_HEADER = ("Data set", "Logs", "MB", "Program s", "xcopy s", "Loop s", "Program/xcopy", "Target",
               "Met", "Program/loop", "Target", "Met")
OTHER_HEADER = ("Measure", "Value", "Target", "Met")


def wait_rows(wait):
    ds = wait.ds
    share = statistics.median(wait.shares)
    return [(f"CPU share while waiting for the listing ({ds.folders:,} folders, "
             f"{ds.folders * ds.others:,} other files, {ds.logs} logs)", f"{share:.1f} %",
             f"≤ {CPU_TARGET:g} %", verdict(share, CPU_TARGET))]


def text_table(header, rows):
    widths = [max(len(str(r[i])) for r in (header, *rows)) for i in range(len(header))]
    return "\n".join("  ".join(str(cell).ljust(w) for cell, w in zip(row, widths)) for row in (header, *rows))


def markdown_table(header, rows):
    lines = ["| " + " | ".join(header) + " |", "|" + "---|" * len(header)]
    return "\n".join(lines + ["| " + " | ".join(str(c) for c in row) + " |" for row in rows])


def machine(env):
    cpuinfo = Path("/proc/cpuinfo").read_text().splitlines()
    cpu = next((line.split(":", 1)[1].strip() for line in cpuinfo if line.startswith("model name")),
               platform.processor())
    memory = next(int(line.split()[1]) for line in Path("/proc/meminfo").read_text().splitlines()
                  if line.startswith("MemTotal:"))
    wine = subprocess.run(["wine", "--version"], env=env, capture_output=True, text=True).stdout.strip()
    filesystem = subprocess.run(["stat", "-f", "-c", "%T", str(qw.PREFIX)], capture_output=True,
                                text=True).stdout.strip()
    return (f"{cpu}, {os.cpu_count()} cores, {memory / 1024 ** 2:.1f} GiB RAM; "
            f"Linux {platform.release()}; {wine}; the prefix on {filesystem}")


def rusage_findings(wait):
    """What the /proc samples showed about the PID that wait4 reaps."""
    outcome = wait.outcomes[0]
    watch = outcome.watch
    windows = "QuarnLogBackup.exe" in watch.own_cmdline
    lines = [f"- The PID of `wine {PROGRAM_DIR}\\QuarnLogBackup.exe` ran "
             f"`{watch.own_cmdline or '?'}` while it was sampled: "
             + ("the wine script and loader exec into the Windows process, so wait4 reports the "
                "program itself." if windows
                else "**not the Windows program**: the rusage is not the program's.")]
    by_name = {}
    for seen in watch.started.values():
        if seen.parent == watch.pid and seen.name == watch.own_name:
            continue  # Wine's intermediate fork before its exec: the program reaps it at once
        entry = by_name.setdefault(seen.name, [0, set(), 0])
        entry[0] += 1
        entry[1].add(seen.parent)
        entry[2] += seen.ticks
    if by_name:
        started = ", ".join(f"{name} ×{count} (parent PID {', '.join(map(str, sorted(parents)))})"
                            for name, (count, parents, _) in sorted(by_name.items()))
        child_cpu = sum(entry[2] for entry in by_name.values()) / CLOCK_TICKS
        own = any(watch.pid in entry[1] for entry in by_name.values())
        lines.append(f"- Processes the run started (found by an environment variable they inherit): {started}. "
                     + ("Some are children of the program: their usage may be in its rusage."
                        if own else "None is a child of the program (Wine starts each process with "
                        "a double fork, so it is reparented at once): the program never reaps them, and "
                        "their CPU time is not in its rusage.")
                     + f" They used at least {child_cpu:.2f} s of CPU as last sampled; the program's "
                     f"rusage says {outcome.cpu:.2f} s in {outcome.wall:.2f} s.")
    lines.append(f"- Peak memory: VmHWM in /proc was {watch.peak_kb / 1024:.1f} MB at the last sample "
                 f"before the exit, but wait4's ru_maxrss says {outcome.max_rss / 1024:.1f} MB. Linux "
                 "keeps in it the largest resident set of every image the process ran, and this process "
                 "began as a fork of the benchmark's Python before it became `sh` (the wine script) and "
                 "then Wine: ru_maxrss measures Python here, so the table uses VmHWM.")
    shares = [s for s in (o.watch.listing_cpu_share() for o in wait.outcomes) if s is not None]
    if shares:
        lines.append(f"- Sampled from /proc over the listing alone, the program's CPU share was "
                     f"{statistics.median(shares):.1f} % (the figure above covers the whole run, "
                     f"Wine's start-up and the copies included).")
    return lines


def chart(copies, path):
    kinds = [k for k in KIND_TITLES if any(c.ds.kind == k for c in copies)]
    script = [f"set terminal pngcairo size {560 * len(kinds)},440 font 'sans,10'",
              f"set output '{path}'", f"set multiplot layout 1,{len(kinds)}", "set logscale xy",
              "set xlabel 'logs'", "set ylabel 'seconds (median)'", "set key top left", "set grid"]
    for i, kind in enumerate(kinds):
        ours = sorted((c for c in copies if c.ds.kind == kind), key=lambda c: c.ds.logs)
        rows = [f"{c.ds.logs} {c.median('program')} {c.median('xcopy')} {c.median('loop')}" for c in ours]
        # Some room left and right, which a single point also needs.
        script += [f"$d{i} << EOD", *rows, "EOD", f"set title '{KIND_TITLES[kind]}'",
                   f"set xrange [{ours[0].ds.logs / 1.5}:{ours[-1].ds.logs * 1.5}]",
                   f"set xtics ({', '.join(str(c.ds.logs) for c in ours)})",
                   f"plot $d{i} using 1:2 with linespoints lw 2 title 'QuarnLogBackup.exe', "
                   f"$d{i} using 1:3 with linespoints lw 2 title 'xcopy /s', "
                   f"$d{i} using 1:4 with linespoints lw 2 title 'for /r batch loop'"]
    script.append("unset multiplot")
    subprocess.run(["gnuplot"], input="\n".join(script), text=True, check=True)


def report(copies, wait, reps, out, env):
    other = wait_rows(wait) + memory_rows(copies)
    print()
    print(text_table(COPY_HEADER, copy_rows(copies)))
    print()
    print(text_table(OTHER_HEADER, other))

    out.mkdir(parents=True, exist_ok=True)
    chart(copies, out / "results.png")
    now = datetime.datetime.now(datetime.timezone.utc).strftime("%Y-%m-%d %H:%M UTC")
    command = " ".join(["bench/bench.py", *sys.argv[1:]])
    every = [f"- {c.ds.name}: program {', '.join(f'{t:.2f}' for t in c.program)}; xcopy "
             f"{', '.join(f'{t:.2f}' for t in c.xcopy)}; loop {', '.join(f'{t:.2f}' for t in c.loop)}; "
             f"peak working set {', '.join(f'{k / 1024:.1f}' for k in c.peak_kb)} MB" for c in copies]
    every.append(f"- {wait.ds.name}: program {', '.join(f'{o.wall:.2f}' for o in wait.outcomes)} s, CPU share "
                 f"{', '.join(f'{s:.1f}' for s in wait.shares)} %")
    text = [
        "# QuarnLogBackup.exe benchmark under Wine", "",
        f"{now}, `{command}`: median of {reps} run{'s' if reps > 1 else ''} of each method, "
        "taken in turn (program, xcopy, loop, program, …), after one untimed run of each.", "",
        f"Machine: {machine(env)}.", "",
        "## Collecting the logs", "",
        "- Program: the whole run of `QuarnLogBackup.exe` (settings, listing through `cmd`, staged "
        "copies, the stand-in `rar.exe` deleting them with `RAR_STANDIN_NO_ARCHIVE=1`); exit code 0 "
        "and no copy left is checked after each run, and an untimed run with a real archive checks "
        "that it holds every log.",
        "- xcopy: `xcopy <data>\\*.bk? <out>\\ /s /i /q /y`, Wine's xcopy: the copy limit under Wine.",
        "- Loop: `for /r \"<data>\" %%f in (*.bkl *.bks) do copy /y \"%%f\" \"<out>\\\" >nul` in a batch "
        "file run by `wine cmd /c`, what a user would write instead.",
        "- Both must copy exactly the logs; their outputs are removed, and the disk synced, before "
        "each run, outside the time.",
        "- A Notepad window keeps Wine's desktop process up throughout, as the shell keeps the desktop "
        "up on Windows: otherwise each program run would also time Wine starting `explorer.exe` for "
        "the console window of the program's listing.", "",
        markdown_table(COPY_HEADER, copy_rows(copies)), "",
        "![Seconds against the number of logs](results.png)", "",
        "## CPU and memory", "",
        markdown_table(OTHER_HEADER, other), "",
        "CPU share: user + system time of the program process over its wall time, from `os.wait4`. "
        "Peak working set: the program process's VmHWM (peak resident set, Wine's own DLLs included), "
        "sampled from /proc every 20 ms until it exits.", "",
        *rusage_findings(wait), "",
        "## Every run", "",
        "Seconds, in the order taken.", "",
        *every, "",
    ]
    (out / "RESULTS.md").write_text("\n".join(text))
    print(f"\nWrote {out / 'RESULTS.md'} and {out / 'results.png'}")


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--smoke", action="store_true",
                        help="tiny data sets, one run, output in the build folder")
    parser.add_argument("--sizes", help="only these log counts, of " + ",".join(str(d.logs) for d in FULL_SETS))
    parser.add_argument("--reps", type=int, default=3, help="timed runs of each method (default 3)")
    args = parser.parse_args()

    if args.reps < 1:
        parser.error("--reps takes 1 or more")
    sets, wait_set, reps = (SMOKE_SETS, SMOKE_WAIT, 1) if args.smoke else (FULL_SETS, FULL_WAIT, args.reps)
    if args.sizes and not args.smoke:
        wanted = {int(n) for n in args.sizes.split(",")}
        sets = tuple(d for d in FULL_SETS if d.logs in wanted)
        if len(sets) != len(wanted):
            parser.error("--sizes takes log counts of " + ",".join(str(d.logs) for d in FULL_SETS))
    # Only a full run replaces the committed results.
    full = not args.smoke and len(sets) == len(FULL_SETS) and reps == 3
    out = BENCH if full else qw.BUILD_DIR / ("bench-smoke" if args.smoke else "bench-results")

    pool = text_pool()
    runner = Runner(timeout=120 if args.smoke else 3600)
    try:
        with desktop_kept(runner.env):
            copies = [measure_copies(runner, ds, pool, reps) for ds in sets]
            wait = measure_wait(runner, wait_set, pool, reps)
    except BrokenRun as broken:
        print(f"BROKEN RUN: {broken}", file=sys.stderr)
        return 1
    report(copies, wait, reps, out, runner.env)
    return 0


if __name__ == "__main__":
    sys.exit(main())
