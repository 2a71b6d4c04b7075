"""Running the program, xcopy and the batch loop under Wine, each one a timed run
that must have done its job."""

import os
import re
import shutil
import struct
import subprocess
import tempfile
import threading
import time
import zlib
from dataclasses import dataclass

import quarn_wine as qw
from watch import Watch

WORK = "C:\\bench"
OUT = "C:\\benchout"
TOOLS = WORK + "\\tools"
PROGRAM_DIR = WORK + "\\prog"
LOOP_BATCH = WORK + "\\loop.bat"
ARCHIVE = WORK + "\\backup\\bench.rar"
MADE_ARCHIVE = WORK + "\\backup\\made.rar"  # of many small entries, for timing a read alone


class BrokenRun(Exception):
    """A run that failed or left the wrong files: its timing would mean nothing."""


@dataclass
class Outcome:
    """Of a run that ended with exit code 0."""
    wall: float  # seconds
    cpu: float  # user + system seconds of the process that wait4 reaped
    max_rss: int  # KB, ru_maxrss from wait4
    watch: "Watch" = None


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


def rar_entries(path):
    """{name: (size, CRC-32)} of each file entry of a RAR 4.x archive, read from its
    headers alone: the stand-in may have kept no data (RAR_STANDIN_HEADERS_ONLY)."""
    data = path.read_bytes() if path.exists() else b""
    entries, at = {}, 7  # after the marker block
    while at + 7 <= len(data):
        kind, flags, size = struct.unpack_from("<BHH", data, at + 2)
        added = struct.unpack_from("<I", data, at + 7)[0] if flags & 0x8000 else 0
        if kind == 0x74:  # a file: PACK_SIZE UNP_SIZE HOST FILE_CRC FTIME VER METHOD NAME_SIZE ATTR NAME
            unpacked, crc, name_size = (struct.unpack_from("<I", data, at + 11)[0],
                                        struct.unpack_from("<I", data, at + 16)[0],
                                        struct.unpack_from("<H", data, at + 26)[0])
            name = data[at + 32:at + 32 + name_size].split(b"\0")[0]  # before any Unicode form
            entries[name.decode("latin-1")] = (unpacked, crc)
        if kind == 0x7B:  # the end
            break
        at += size + added
    return entries


def listed_entries(path):
    """{name: (size, CRC-32)} of each file entry of an archive the real archiver
    wrote (RAR 5), as unrar's technical listing gives them."""
    listing = subprocess.run(["unrar", "lt", str(path)], capture_output=True, check=True,
                             env=dict(os.environ, LC_ALL="C.UTF-8")).stdout.decode("utf-8")
    entries, name, size = {}, None, 0
    for line in listing.splitlines():
        key, _, value = line.strip().partition(": ")
        if key == "Name":
            name = value
        elif key == "Size":
            size = int(value)
        elif key == "CRC32" and name is not None:
            entries[name] = (size, int(value, 16))
    return entries


def tree(root):
    """{relative path: size} of every file below root."""
    return {p.relative_to(root).as_posix(): p.stat().st_size for p in root.rglob("*") if p.is_file()}


class Runner:
    def __init__(self, timeout):
        self.timeout = timeout
        self.env = dict(qw.wine_env(), WINEPATH=TOOLS)
        self.use_archiver(real=False)
        self.xcopy_out = qw.unix_path(OUT + "\\xcopy")
        self.loop_out = qw.unix_path(OUT + "\\loop")

    # The real archiver needs its forwarder in the build, rar itself, and unrar to
    # read back what it wrote.
    real_archiver_here = bool(qw.REAL_RAR and shutil.which("rar") and shutil.which("unrar"))

    def use_archiver(self, real):
        """The stand-in rar.exe, or the forwarder to the real archiver, on PATH."""
        self.real = real
        qw.put_archiver_on_path(TOOLS, real=real)

    def use(self, ds, files):
        """Points the mail client and the batch loop at a data set, with a fresh copy
        of the program and no names beside the archive: what is kept from run to run
        then belongs to this set alone."""
        self.logs = [f for f in files if f.is_log]
        self.program = qw.ProgramFolder("prog", windows_root=WORK)
        self.forget_archive()
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

    def bare_listing_run(self, ds):
        """The floor of a night with nothing changed: the same listing of the logs the
        program has cmd make, from a batch file in a minimized console of its own, with
        nothing else."""
        batch = WORK + "\\bare-listing.bat"
        qw.unix_path(batch).write_bytes(
            (f'dir /s /b /a-d "{ds.windows}\\*.bkl" "{ds.windows}\\*.bks" > {WORK}\\bare-list.tmp\r\n'
             f'echo done > {WORK}\\bare-done.tmp\r\n').encode("ascii"))
        return run_wine("the bare listing", ["start", "/min", "/wait", "cmd", "/d", "/u", "/v:off",
                                             "/c", batch], self.env, self.timeout)

    def archiver_run(self, what, *arguments, archive=ARCHIVE):
        """One archiver command on the benchmark's archive: its technical listing (lt),
        which the program read the archive back with before it read the headers itself,
        or its test (t), as the program runs it."""
        return run_wine(what, [TOOLS + "\\rar.exe", *arguments, archive],
                        dict(self.env, RAR_STANDIN_HEADERS_ONLY="1"), self.timeout)

    def reader_run(self, entries=None):
        """Seconds the program's own reading of the archive's headers takes (the tool of
        bench/readback.cpp); with entries, of an archive of that many small entries that
        the tool makes first (MADE_ARCHIVE, left for the archiver's listing to time)."""
        archive = MADE_ARCHIVE if entries else ARCHIVE
        command = ["wine", os.environ["QUARN_READBACK"], *(["--make", str(entries)] if entries else []), archive]
        out = subprocess.run(command, env=dict(self.env, WINEDEBUG="-all"), capture_output=True,
                             timeout=self.timeout)
        found = re.match(rb"(\d+) entries in ([\d.]+) ms", out.stdout)
        if out.returncode != 0 or not found or (entries and int(found.group(1)) != entries):
            raise BrokenRun(f"the reading of {archive} ended with exit code {out.returncode}: {out.stdout!r}")
        return float(found.group(2)) / 1000

    def forget_archive(self):
        """No archive and nothing kept beside it: the next run is a full one."""
        archive = qw.unix_path(ARCHIVE)
        for kept in archive.parent.glob(archive.name + "*"):
            kept.unlink()

    def archived_run(self, what, expected, headers_only=False):
        """A run with a real archive, whose run-log line must say what was expected.
        headers_only: the stand-in keeps no data (the real archiver compresses)."""
        os.sync()  # the previous run's writes must not be flushed on this run's time
        env = dict(self.env, RAR_STANDIN_HEADERS_ONLY="1") if headers_only and not self.real else self.env
        outcome = run_wine(f"QuarnLogBackup.exe ({what})", [PROGRAM_DIR + "\\QuarnLogBackup.exe"], env,
                           self.timeout)
        line = self.program.log_lines()[-1]
        if expected not in line or self.left_copies():
            raise BrokenRun(f"the {what} logged {line!r}, not {expected!r}; "
                            f"{len(self.left_copies())} copies left behind")
        return outcome

    def archive_entries(self):
        """{log file name: (entry size, CRC-32)}: the unique log names end the flattened
        names. The archive must hold one entry for each log."""
        entries = (listed_entries if self.real else rar_entries)(qw.unix_path(ARCHIVE))
        names = sorted(f.name for f in self.logs)  # all of one length, like 00042.bkl
        by_name = {entry[-len(names[0]):]: found for entry, found in entries.items()}
        if sorted(by_name) != names or len(entries) != len(names):
            odd = sorted(set(by_name) ^ set(names))[:5]
            raise BrokenRun(f"the archive holds {len(entries)} entries for {len(names)} logs "
                            f"(not matched: {odd})")
        return by_name

    def check_archive(self):
        """One untimed run with a real archive, which must hold every log. Also warms
        the caches."""
        self.forget_archive()
        self.archived_run("archive check", f"archived {len(self.logs):,} logs")
        self.archive_entries()
        self.forget_archive()

    def check_contents(self, expected):
        """expected: {log file name: the bytes its archive entry must hold}."""
        entries = self.archive_entries()
        stale = [name for name, content in expected.items()
                 if entries[name] != (len(content), zlib.crc32(content))]
        if stale:
            raise BrokenRun(f"the archive does not hold the latest content of {', '.join(stale)}")

    def program_run(self, watch="memory"):
        """A full run: no archive before it, and, after it, one of headers alone, small as a
        compressed one would be, which the program reads back as it always does."""
        self.forget_archive()
        os.sync()  # the previous run's writes must not be flushed on this run's time
        result = run_wine("QuarnLogBackup.exe", [PROGRAM_DIR + "\\QuarnLogBackup.exe"],
                          dict(self.env, RAR_STANDIN_HEADERS_ONLY="1"), self.timeout, watch)
        if self.left_copies():
            raise BrokenRun(f"the program left {len(self.left_copies())} copies of logs behind")
        self.forget_archive()
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

