"""The archive step and the clean-up, end to end with the stand-in archiver under Wine;
and the stand-in itself, where the program relies on it behaving as the real archiver."""

import codecs
import os
import re
import shutil
import struct
import subprocess
import sys
import threading
import time
import unittest
import zlib
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "wine"))
from quarn_wine import (OWN_FILES, RAR, ProgramFolder, WineTestCase, bsdtar_list, bsdtar_read, main,  # noqa: E402
                        make_files, run_program, unix_path, wine_env)

ARCHIVE = unix_path("C:\\Backups\\QuarnMail") / "QuarnLogsZip.rar"
LOGS = {"acct.one/in.bkl": "incoming one\r\n" * 50, "acct.one/out.bks": "sent one",
        "Inbox.two/sub/in.bkl": "incoming two", "top.bks": b"\x00\xffbinary"}
ARCHIVED = {"acctonein.bkl": LOGS["acct.one/in.bkl"].encode(), "acctoneout.bks": b"sent one",
            "subin.bkl": b"incoming two", "maildatatop.bks": b"\x00\xffbinary"}


class ArchiveAndCleanUp(WineTestCase):
    def setUp(self):
        super().setUp()
        make_files(self.data, LOGS)
        self.folder = ProgramFolder("archive")
        make_files(self.folder.path, {"notes.tmp": "the user's own"})

    def assertArchived(self, expected, archive=ARCHIVE):
        self.assertEqual(bsdtar_list(archive), sorted(expected))
        for name, content in expected.items():
            self.assertEqual(bsdtar_read(archive, name), content, name)

    def test_a_complete_run_archives_every_log_and_leaves_only_what_was_there(self):
        log = self.folder.path / "rar-calls.txt"
        run = run_program(self.folder, extra_env={"RAR_STANDIN_LOG": "C:\\e2e\\archive\\rar-calls.txt"})
        self.assertEqual(run.exit_code, 0)
        self.assertNoBoxes(run)
        self.assertArchived(ARCHIVED)
        calls = [line.split("\t") for line in log.read_text(encoding="utf-8").splitlines()]
        # The archiver on PATH, by its full path; the program reads the archive back itself.
        self.assertEqual(len(calls), 1, calls)
        command, cwd = calls[0]
        self.assertEqual(command, '"C:\\e2e-tools\\rar.exe" a -r -ep -df -m5  -inul '
                                  '"C:\\Backups\\QuarnMail\\QuarnLogsZip.rar" *.bkl *.bks')
        self.assertEqual(cwd.rstrip("\\"), "C:\\e2e\\archive\\QuarnStaging")
        log.unlink()
        self.assertEqual(self.folder.files(), OWN_FILES + ["notes.tmp"])
        self.assertEqual(self.folder.staged(), {})
        for original in LOGS:
            self.assertTrue((self.data / original).exists(), original)

    def test_a_second_run_replaces_the_entries_of_grown_logs(self):
        self.assertEqual(run_program(self.folder).exit_code, 0)
        grown = LOGS["acct.one/in.bkl"] + "grown since"
        make_files(self.data, {"acct.one/in.bkl": grown})
        self.assertEqual(run_program(self.folder).exit_code, 0)
        self.assertArchived(dict(ARCHIVED, **{"acctonein.bkl": grown.encode()}))

    def test_after_any_sequence_of_runs_the_archive_is_what_a_full_run_would_make(self):
        def run_line():
            run = run_program(self.folder)
            self.assertEqual(run.exit_code, 0)
            self.assertNoBoxes(run)
            return self.folder.log_lines()[-1]

        expected = dict(ARCHIVED)
        self.assertIn("exit 0  full run (the archive was missing): archived 4 logs to ", run_line())
        older, older_stat = ARCHIVE.read_bytes(), ARCHIVE.stat()
        self.assertIn("exit 0  nothing changed (4 logs unchanged, the archiver was not started) for ",
                      run_line())

        # Appends, a new log and a removed one: the removed log's last backup stays.
        with open(self.data / "acct.one/in.bkl", "ab") as log:
            log.write(b"appended\r\n")
        make_files(self.data, {"acct.one/new.bks": "new"})
        (self.data / "top.bks").unlink()
        expected.update({"acctonein.bkl": (self.data / "acct.one/in.bkl").read_bytes(), "acctonenew.bks": b"new"})
        self.assertIn("exit 0  archived 2 changed logs (2 unchanged) to ", run_line())
        self.assertArchived(expected)

        # The archive replaced by an older copy of itself, its old time restored.
        restored = ARCHIVE.with_name("restored.rar")
        restored.write_bytes(older)
        os.utime(restored, ns=(older_stat.st_atime_ns, older_stat.st_mtime_ns))
        os.replace(restored, ARCHIVE)
        self.assertIn("exit 0  full run (the archive was replaced or changed): archived 4 logs to ", run_line())
        self.assertArchived(expected)

        # A log rewritten with the same size, its write time moved back.
        sent = self.data / "acct.one/out.bks"
        before = sent.stat()
        sent.write_bytes(b"SENT ONE")
        os.utime(sent, ns=(before.st_atime_ns, before.st_mtime_ns - 3600 * 10**9))
        line = run_line()
        self.assertIn("exit 0  archived 1 changed log (3 unchanged) to ", line)
        self.assertIn("1 log was rewritten, not added to", line)
        kept = next(name for name in bsdtar_list(ARCHIVE) if name.startswith("acctoneout.2"))
        expected.update({"acctoneout.bks": b"SENT ONE", kept: b"sent one"})
        self.assertArchived(expected)

        # The archive deleted: a new one with every log there is.
        ARCHIVE.unlink()
        for gone in ("maildatatop.bks", kept):
            del expected[gone]
        self.assertIn("exit 0  full run (the archive was missing): archived 4 logs to ", run_line())
        self.assertArchived(expected)

    def test_copies_left_by_a_failed_run_are_told_apart_and_stale_ones_never_archived(self):
        self.assertEqual(run_program(self.folder, extra_env={"RAR_STANDIN_EXIT": "5"}).exit_code, 9)
        # A stale copy elsewhere in the staging folder, and a log that has gone since.
        make_files(self.folder.staging, {"acctonein.bkl": "stale", "zz/ACCTONEIN.BKL": "stale too",
                                         "notes.txt": "never archived"})
        (self.data / "top.bks").unlink()
        make_files(self.data, {"acct.one/in.bkl": "newest"})
        run = run_program(self.folder)
        self.assertEqual(run.exit_code, 0, run.texts)
        self.assertArchived(dict(ARCHIVED, **{"acctonein.bkl": b"newest"}))
        line = self.folder.log_lines()[-1]
        self.assertIn("archived 3 logs", line)
        self.assertIn("1 copy left by an earlier run (of a log that is gone) was archived too", line)
        self.assertEqual(self.folder.staged(), {})

    def test_one_run_at_a_time_per_archive_whatever_the_program_folder(self):
        self.assertEqual(run_program(self.folder).exit_code, 0)
        lock = "C:\\Backups\\QuarnMail\\QuarnLogsZip.rar.lock"
        self.assertTrue(unix_path(lock).exists())
        holder = subprocess.Popen(["wine", os.environ["QUARN_HOLDFILE"], lock], env=wine_env(),
                                  stdin=subprocess.PIPE, stdout=subprocess.PIPE)
        try:
            self.assertEqual(holder.stdout.readline().strip(), b"held")
            other = ProgramFolder("archive-other")
            run = run_program(other)
        finally:
            holder.communicate(b"", timeout=30)
        self.assertEqual(run.exit_code, 12)
        self.assertIn("is writing the archive C:\\Backups\\QuarnMail\\QuarnLogsZip.rar", run.boxes[0].text)
        self.assertEqual(other.staged(), {})
        self.assertEqual(run_program(other).exit_code, 0)  # the lock went with its holder

    def test_a_backup_dir_ending_in_a_separator_doubles_it_before_the_archive_name(self):
        self.folder.write_ini(backup_dir="C:\\Backups\\QuarnMail\\", show_msg="0")
        run = run_program(self.folder, extra_env={"RAR_STANDIN_LOG": "C:\\e2e\\rar-calls.txt"})
        self.assertEqual(run.exit_code, 0)
        self.assertIn('"C:\\Backups\\QuarnMail\\\\QuarnLogsZip.rar"',
                      unix_path("C:\\e2e\\rar-calls.txt").read_text(encoding="utf-8"))
        unix_path("C:\\e2e\\rar-calls.txt").unlink()
        self.assertArchived(ARCHIVED)

    def test_a_missing_archiver_says_how_to_fix_it_and_still_cleans_up(self):
        run = run_program(self.folder, archiver_path=None)
        self.assertEqual(run.exit_code, 8)
        self.assertEqual(len(run.boxes), 1)
        self.assertEqual(run.boxes[0].title, "QuarnBackupLogs Error")
        self.assertIn("rar.exe was found neither beside this program nor on PATH", run.boxes[0].text)
        self.assertIn("PATH", run.boxes[0].text)
        # The staged copies wait for the next run; the run's own files are gone.
        self.assertEqual(self.folder.files(), OWN_FILES + ["notes.tmp"])
        self.assertEqual(sorted(self.folder.staged()), sorted(ARCHIVED))

    def test_a_failing_archiver_is_reported_and_the_next_run_archives_the_copies(self):
        run = run_program(self.folder, extra_env={"RAR_STANDIN_EXIT": "0"})  # success, but did nothing
        self.assertEqual(run.exit_code, 9)
        self.assertIn("reported success, but 4 of the copies of the log files were not archived",
                      run.texts[0])

        self.folder.write_ini(show_msg="1")
        run = run_program(self.folder, extra_env={"RAR_STANDIN_EXIT": "5"})
        self.assertEqual(run.exit_code, 9)
        self.assertEqual(run.boxes[-1].title, "QuarnBackupLogs Error")
        self.assertIn("exit code 5 (write error)", run.boxes[-1].text)
        self.assertIn("C:\\Backups\\QuarnMail\\QuarnLogsZip.rar", run.boxes[-1].text)
        self.assertNotIn("Quarn Log files Backed Up", run.texts)
        self.assertEqual(sorted(self.folder.staged()), sorted(ARCHIVED))
        self.assertFalse(ARCHIVE.exists())

        run = run_program(self.folder)
        self.assertEqual(run.exit_code, 0)
        self.assertEqual(run.texts[-1], "Quarn Log files Backed Up")
        self.assertArchived(ARCHIVED)

    def test_logs_in_or_below_the_program_folder_are_neither_archived_nor_deleted(self):
        theirs = {"mine.bkl": "the user's own", "portable/data/acct/in.bkl": "someone else's",
                  "portable/data/acct/out.bks": "keep me"}
        make_files(self.folder.path, theirs)
        run = run_program(self.folder)
        self.assertEqual(run.exit_code, 0)
        self.assertArchived(ARCHIVED)
        for name, content in theirs.items():
            self.assertEqual((self.folder.path / name).read_text(), content)

    def test_settings_are_read_as_windows_reads_them_and_an_unfit_zipfile_stops_early(self):
        self.folder.write_ini(backup_dir="C:/Backups/Slashed", zip_file="logs.rar")
        self.assertEqual(run_program(self.folder).exit_code, 0)
        self.assertArchived(ARCHIVED, unix_path("C:\\Backups\\Slashed") / "logs.rar")

        make_files(self.data, {"acct.one/in.bkl": "grown since"})
        # The quotes keep the trailing space, which the settings file drops otherwise.
        for zip_file, value in (("*.rar", "*.rar"), ("..\\escaped.rar", "..\\escaped.rar"),
                                ("CON.rar", "CON.rar"), ("aux", "aux"), ("NUL", "NUL"),
                                ("endslash\\", "endslash\\"), ('"logs.rar "', "logs.rar "),
                                ("logs.rar.", "logs.rar.")):
            with self.subTest(zip_file=zip_file):
                self.folder.write_ini(backup_dir="C:\\Backups\\Slashed", zip_file=zip_file)
                run = run_program(self.folder)
                self.assertEqual(run.exit_code, 5)
                self.assertIn(f"The setting ZipFile in QuarnBackup.ini ({value})", run.texts[0])
                self.assertEqual(self.folder.staged(), {})
                self.assertEqual(sorted(p.name for p in unix_path("C:\\Backups").iterdir()), ["Slashed"])

    def test_once_archived_never_lost_whatever_happens_to_the_logs_the_copies_or_the_archive(self):
        # A ZipFile without an extension is the archive the archiver writes, <name>.rar.
        self.folder.write_ini(zip_file="QuarnLogs")
        archive = ARCHIVE.with_name("QuarnLogs.rar")

        def run(expected_code=0, **kwargs):
            result = run_program(self.folder, **kwargs)
            self.assertEqual(result.exit_code, expected_code, result.texts)
            return self.folder.log_lines()[-1]

        def entries():
            return {name: bsdtar_read(archive, name) for name in bsdtar_list(archive)}

        self.assertIn("full run (the archive was missing): archived 4 logs to C:\\Backups\\QuarnMail\\QuarnLogs.rar", run())
        self.assertIn("nothing changed (4 logs unchanged", run())

        # Emptied and written anew, and rewritten bigger: what the archive held of each
        # stays under a dated name; a log that grew makes no version.
        inbox, sent, top = self.data / "acct.one/in.bkl", self.data / "acct.one/out.bks", self.data / "top.bks"
        inbox.write_bytes(b"fresh start")
        sent.write_bytes(b"SENT ONE, AND MORE")
        with open(top, "ab") as log:
            log.write(b" and more")
        self.assertIn("2 logs were rewritten, not added to", run())
        now = entries()
        self.assertEqual(len(now), 6)
        self.assertEqual(now["acctonein.bkl"], b"fresh start")
        self.assertEqual(now["acctoneout.bks"], b"SENT ONE, AND MORE")
        self.assertEqual(now["maildatatop.bks"], b"\x00\xffbinary and more")
        versions = {name: content for name, content in now.items() if ".20" in name}
        self.assertEqual(sorted(versions.values()), [LOGS["acct.one/in.bkl"].encode(), b"sent one"])

        # A staged copy taken away while the archiver waits (an antivirus quarantine):
        # never recorded as archived, and the next run archives it.
        started, gate = self.folder.path / "started", self.folder.path / "gate"
        inbox.write_bytes(b"fresh start, grown")

        def quarantine():
            deadline = time.monotonic() + 120
            while not started.exists() and time.monotonic() < deadline:
                time.sleep(0.05)
            for copy in self.folder.staging.rglob("acctonein.bkl"):
                copy.unlink()
            gate.touch()

        remover = threading.Thread(target=quarantine)
        remover.start()
        line = run(9, extra_env={"RAR_STANDIN_STARTED": "C:\\e2e\\archive\\started",
                                 "RAR_STANDIN_GATE": "C:\\e2e\\archive\\gate"})
        remover.join()
        self.assertIn("read back, does not hold 1 copy", line)
        self.assertIn("acctonein.bkl", line)
        self.assertIn("archived 1 changed log", run())
        self.assertEqual(entries()["acctonein.bkl"], b"fresh start, grown")

        # A truncated archive: the archiver takes the copies and loses them (exit 1); the
        # read-back finds it out, and a damaged archive is set aside, never touched again.
        with open(top, "ab") as log:
            log.write(b" again")
        truncated = archive.read_bytes()[:-40]
        archive.write_bytes(truncated)
        result = run_program(self.folder)
        self.assertEqual(result.exit_code, 16, result.texts)
        self.assertIn("It was set aside as C:\\Backups\\QuarnMail\\QuarnLogs.damaged-", result.texts[0])
        self.assertIn('"rar r ', self.folder.log_lines()[-1])
        self.assertEqual([(e.kind, e.event_id) for e in result.events], [("err", 116)])
        aside = next(archive.parent.glob("QuarnLogs.damaged-*.rar"))
        self.assertEqual(aside.read_bytes(), truncated)
        self.assertTrue(aside.with_name(aside.name + ".names").exists())
        # A new archive with every log, and the versions only the damaged one held.
        self.assertEqual(entries()["maildatatop.bks"], b"\x00\xffbinary and more again")
        self.assertEqual({name: content for name, content in entries().items() if ".20" in name}, versions)
        self.assertEqual(len(entries()), 6)
        self.assertIn("nothing changed", run())

        # A damaged header: found by the test that opens every full run.
        damaged = bytearray(archive.read_bytes())
        damaged[7] ^= 0xFF  # the checksum of the archive's main header
        archive.write_bytes(bytes(damaged))
        self.assertIn("exit 16  full run (the archive was damaged and set aside)", run(16))
        self.assertEqual(len(list(archive.parent.glob("QuarnLogs.damaged-*.rar"))), 2)
        # Past a broken main header no header can be read, but the archiver still yields
        # each entry the names list names, checked against its CRC as it comes out.
        self.assertEqual({name: content for name, content in entries().items() if ".20" in name}, versions)
        self.assertEqual(len(entries()), 6)
        self.assertEqual(self.folder.staged(), {})


STANDIN = "C:\\e2e\\standin"
TEMP_COPY = re.compile(r"__rar_\d+\.\d+\.rartemp")
# The real archiver's form of a listing: UTF-8 on Linux; on Windows -scur asks for
# UTF-16, which the stand-in writes with its byte-order mark unless told otherwise.
FORMS = {"utf16bom": lambda text: codecs.BOM_UTF16_LE + text.encode("utf-16-le"),
         "utf16": lambda text: text.encode("utf-16-le"), "utf8": lambda text: text.encode("utf-8")}


def rar4_blocks(data):
    """(offset, header size, data size) of each block after a RAR 4 archive's marker."""
    blocks, at = [], 7
    while at < len(data):
        flags, size = struct.unpack_from("<HH", data, at + 3)
        added = struct.unpack_from("<I", data, at + 7)[0] if flags & 0x8000 else 0
        blocks.append((at, size, added))
        at += size + added
    return blocks


def changed(data, at):
    return data[:at] + bytes([data[at] ^ 0x20]) + data[at + 1:]


def technical_block(name, content, mtime):
    """An entry of the stand-in's files as the real archiver's "rar lt" shows it."""
    return (f"        Name: {name}\n        Type: File\n        Size: {len(content)}\n"
            f" Packed size: {len(content)}\n       Ratio: {100 if content else 0}%\n"
            f"       mtime: {mtime},000000000\n  Attributes: ..A....\n"
            f"       CRC32: {zlib.crc32(content):08X}\n     Host OS: Windows\n"
            " Compression: RAR 1.5(v20) -m0 -md=64k\n\n")


class StandInArchiver(unittest.TestCase):
    """The stand-in rar.exe, run alone, does what the real one (RAR 7.01, checked on its
    own RAR 4 archives) does wherever the program relies on it."""

    LOGS = {"00/one.bkl": b"one\r\n" * 60, "01/two.bks": b"two\r\n" * 500, "01/three.bkl": b"three"}

    @classmethod
    def setUpClass(cls):
        cls.env = wine_env()

    def setUp(self):
        self.root = unix_path(STANDIN)
        shutil.rmtree(self.root, ignore_errors=True)
        make_files(self.root / "stage", self.LOGS)
        shutil.copy2(RAR, self.root / "rar.exe")
        self.archive = self.root / "logs.rar"

    def rar(self, *args, env=None):
        """Runs the stand-in in the staging folder: its exit code and standard output."""
        result = subprocess.run(["wine", str(self.root / "rar.exe"), *args], cwd=self.root / "stage",
                                env=dict(self.env, **(env or {})), capture_output=True, timeout=120)
        return result.returncode, result.stdout

    def add(self, archive="logs.rar"):
        return self.rar("a", "-r", "-ep", "-df", "-m5", "-inul", f"{STANDIN}\\{archive}", "*.bkl", "*.bks")[0]

    def build(self, logs):
        """An archive of the logs in this order (one run sees its files in no set order)."""
        for log, content in logs.items():
            make_files(self.root / "stage", {log: content})
            self.assertEqual(self.add(), 0)

    def staged(self):
        return sorted(p.name for p in (self.root / "stage").rglob("*") if p.is_file())

    def names(self, archive="logs.rar"):
        code, out = self.rar("lb", f"{STANDIN}\\{archive}")
        return code, out.decode("utf-8").splitlines()

    def real_rar(self, *args):
        """The real archiver, as self.rar, on the same files: its exit code and standard output."""
        linux = [arg.replace(STANDIN, str(self.root)).replace("\\", "/") if STANDIN in arg else arg for arg in args]
        result = subprocess.run(["rar", *linux], cwd=self.root / "stage", stdin=subprocess.DEVNULL,
                                capture_output=True, timeout=120, env=dict(os.environ, LC_ALL="C.UTF-8"))
        return result.returncode, result.stdout

    def write_list(self, name, names, encode=FORMS["utf16bom"]):
        """A list file of names, one a line with CRLF, as the program writes it (UTF-16 with
        its byte-order mark) or encoded otherwise; its Windows path with "@" before it."""
        (self.root / name).write_bytes(encode("".join(line + "\r\n" for line in names)))
        return f"@{STANDIN}\\{name}"

    def extracted(self):
        """The files in the folder "out", as {name: bytes}."""
        out = self.root / "out"
        return {p.name: p.read_bytes() for p in out.iterdir()} if out.exists() else {}

    def test_an_update_goes_through_a_whole_copy_in_the_current_folder_which_a_killed_run_leaves(self):
        shutil.rmtree(self.root / "stage")
        self.build(self.LOGS)
        self.assertEqual(self.staged(), [])
        self.assertEqual(sorted(p.name for p in self.root.iterdir()), ["logs.rar", "rar.exe", "stage"])
        before = self.archive.read_bytes()

        make_files(self.root / "stage", {"00/four.bkl": "four"})
        gate = self.root / "gate"
        command = ["wine", str(self.root / "rar.exe"), "a", "-r", "-ep", "-df", "-inul",
                   f"{STANDIN}\\logs.rar", "*.bkl"]
        archiver = subprocess.Popen(command, cwd=self.root / "stage",
                                    env=dict(self.env, RAR_STANDIN_REPLACE_GATE=f"{STANDIN}\\gate"))
        self.addCleanup(archiver.kill)
        deadline = time.monotonic() + 120
        while not [p for p in (self.root / "stage").iterdir() if TEMP_COPY.fullmatch(p.name)]:
            self.assertIsNone(archiver.poll(), "the archiver ended before its copy was there")
            self.assertLess(time.monotonic(), deadline, "no temporary copy in the current folder")
            time.sleep(0.05)
        archiver.kill()
        archiver.wait()
        self.assertFalse(gate.exists())
        temp = [name for name in self.staged() if TEMP_COPY.fullmatch(name)]
        self.assertEqual(len(temp), 1)
        self.assertEqual(self.staged(), sorted(temp + ["four.bkl"]))
        self.assertEqual(self.archive.read_bytes(), before)

        self.assertEqual(self.add(), 0)  # the copy left behind stays; the new one is gone
        self.assertEqual(self.staged(), temp)
        self.assertEqual(self.names(), (0, ["one.bkl", "two.bks", "three.bkl", "four.bkl"]))

    def test_where_the_archive_cannot_be_written_the_copies_stay(self):
        self.assertEqual(self.add("gone\\deeper\\logs.rar"), 9)
        self.assertFalse((self.root / "gone").exists())
        self.assertEqual(len(self.staged()), 3)

        self.assertEqual(self.add("bare"), 0)  # a name without an extension gets ".rar"
        self.assertFalse((self.root / "bare").exists())
        code, names = self.names("bare")
        self.assertEqual((code, sorted(names)), (0, ["one.bkl", "three.bkl", "two.bks"]))
        code, out = self.rar("lt", f"{STANDIN}\\bare")
        self.assertEqual(code, 0)
        self.assertIn(f"Archive: {STANDIN}\\bare.rar\r\n", out.decode())
        self.assertEqual(self.rar("t", f"{STANDIN}\\bare")[0], 0)
        self.assertEqual(self.rar("rn", f"{STANDIN}\\bare", "one.bkl", "uno.bkl")[0], 0)
        self.assertEqual(self.names("bare"), (0, [name.replace("one", "uno") for name in names]))

        (self.root / "bare.rar").rename(self.archive)
        before = self.archive.read_bytes()
        make_files(self.root / "stage", {"00/four.bkl": "four"})
        self.archive.chmod(0o444)  # read-only to Windows
        self.assertEqual(self.add(), 9)
        self.assertEqual(self.rar("rn", "-inul", f"{STANDIN}\\logs.rar", "two.bks", "dos.bks")[0], 6)
        self.assertEqual(self.archive.read_bytes(), before)
        self.assertEqual(self.staged(), ["four.bkl"])  # and no temporary copy

        (self.root / "stage" / "00" / "four.bkl").unlink()
        self.archive.chmod(0o644)
        self.assertEqual(self.add(), 10)  # no file matched
        self.assertEqual(self.archive.read_bytes(), before)

    def test_damage_is_met_as_the_real_archiver_meets_it(self):
        shutil.rmtree(self.root / "stage")
        self.build(self.LOGS)
        good = self.archive.read_bytes()
        main_header, one, two, _, _ = rar4_blocks(good)
        every = ["one.bkl", "two.bks", "three.bkl"]
        # What "e" of every entry gets out: what is intact, never an entry cut short or
        # failing its CRC, and what is read behind a damaged header.
        cases = {  # damage: archive, lb and lt exit and names, t exit, rn exit, e exit and files, a exit
            "data of an entry cut short": (good[:two[0] + two[1] + 1], 1, ["one.bkl", "two.bks"], 3, 1,
                                           3, ["one.bkl"], 1),
            "a header cut short": (good[:two[0] + 10], 3, ["one.bkl", ""], 3, 3, 3, ["one.bkl"], 3),
            "an entry header changed": (changed(good, two[0] + two[1] - 2), 3, ["one.bkl", "two.bKs", "three.bkl"],
                                        3, 3, 3, ["one.bkl", "three.bkl", "two.bKs"], 3),
            "the main header changed": (changed(good, main_header[0]), 3, every, 3, 3, 3, sorted(every), 3),
            "an entry's data changed": (changed(good, one[0] + one[1]), 0, every, 3, 0, 3, ["three.bkl", "two.bks"],
                                        0),
            "not an archive": (b"hello, not an archive\r\n", 0, [], 1, 0, 1, [], 2),
            "zero bytes": (b"", 0, [], 1, 0, 1, [], 2),
        }
        contents = {Path(log).name: content for log, content in self.LOGS.items()}
        every_list = self.write_list("every.lst", every)
        for damage, (archive, list_exit, names, test_exit, rename_exit, extract_exit, extracted, add_exit) in \
                cases.items():
            with self.subTest(damage=damage):
                self.archive.write_bytes(archive)
                self.assertEqual(self.names(), (list_exit, names))
                code, out = self.rar("lt", "-scur", f"{STANDIN}\\logs.rar")
                listed = re.findall(r"^ +Name: (.*)$", out.decode("utf-16").replace("\r\n", "\n"), re.M)
                self.assertEqual((code, listed), (list_exit, names))
                self.assertEqual(self.rar("t", "-inul", f"{STANDIN}\\logs.rar")[0], test_exit)
                self.assertEqual(self.rar("rn", "-inul", f"{STANDIN}\\logs.rar", "x.bkl", "y.bkl")[0], rename_exit)
                self.archive.write_bytes(archive)
                extract = ("e", "-inul", "-o+", "-scul", f"{STANDIN}\\logs.rar", every_list, f"{STANDIN}\\out\\")
                self.assertEqual(self.rar(*extract)[0], extract_exit)
                files = self.extracted()
                self.assertEqual(sorted(files), extracted)
                for name, content in files.items():
                    self.assertEqual(content, contents[name.lower()], name)
                shutil.rmtree(self.root / "out", ignore_errors=True)
                if shutil.which("rar"):  # the real archiver, where installed, ends the same way
                    self.assertEqual(self.real_rar(*extract)[0], extract_exit)
                    shutil.rmtree(self.root / "out", ignore_errors=True)
                self.archive.write_bytes(archive)  # which a rename rewrites
                make_files(self.root / "stage", {"00/four.bkl": "four"})
                self.assertEqual(self.add(), add_exit)
                if add_exit in (0, 1):  # the copy is deleted; after a cut, its entry is in no listing
                    self.assertEqual(self.staged(), [])
                    self.assertEqual(self.names(), (list_exit, names + ["four.bkl"] * (add_exit == 0)))
                else:
                    self.assertEqual(self.staged(), ["four.bkl"])
                    self.assertEqual(self.archive.read_bytes(), archive)
                    (self.root / "stage" / "00" / "four.bkl").unlink()

        # An entry cut short leaves no file, not even the one it was to overwrite.
        self.archive.write_bytes(cases["data of an entry cut short"][0])
        make_files(self.root / "out", {"two.bks": "an older copy"})
        self.assertEqual(self.rar("e", "-inul", "-o+", f"{STANDIN}\\logs.rar", "two.bks", f"{STANDIN}\\out\\")[0], 3)
        self.assertEqual(self.extracted(), {})

        self.archive.unlink()
        for command in ("lb", "lt", "t", "rn", "e"):
            self.assertEqual(self.rar(command, f"{STANDIN}\\logs.rar", "x.bkl", "y.bkl")[0], 10, command)

    def test_the_technical_listing_has_the_real_layout_in_each_output_form(self):
        logs = {"00/one.bkl": b"one\r\n" * 60, "00/name with spaces.bkl": b"a b", "01/Gr\u00fc\u00dfe.bkl": b"x",
                "01/a;b.bks": b"semi", "01/empty.bks": b""}
        shutil.rmtree(self.root / "stage")
        written = time.mktime((2024, 5, 12, 23, 59, 58, 0, 0, -1))  # DOS times count in 2 seconds
        for log, content in logs.items():
            make_files(self.root / "stage", {log: content})
            os.utime(self.root / "stage" / log, (written, written))
            self.assertEqual(self.add(), 0)
        names = [log[3:] for log in logs]

        code, out = self.rar("lt", "-scur", f"{STANDIN}\\logs.rar")
        self.assertEqual(code, 0)
        self.assertTrue(out.startswith(codecs.BOM_UTF16_LE))
        text = out.decode("utf-16")
        self.assertNotIn("\n", text.replace("\r\n", ""))
        text = text.replace("\r\n", "\n")
        entries = "".join(technical_block(name, content, "2024-05-12 23:59:58") for name, content in
                          zip(names, logs.values()))
        self.assertTrue(text.endswith(f"\nArchive: {STANDIN}\\logs.rar\nDetails: RAR 4\n\n" + entries), text)
        if shutil.which("rar"):  # the real archiver, where installed, lists the same
            real = subprocess.run(["rar", "lt", str(self.archive)], capture_output=True, check=True,
                                  env=dict(os.environ, LC_ALL="C.UTF-8")).stdout.decode()
            self.assertTrue(real.endswith("\nDetails: RAR 4\n\n" + entries), real)

        for output, encode in FORMS.items():
            for line_end, new_line in (("crlf", "\r\n"), ("lf", "\n")):
                with self.subTest(output=output, line_end=line_end):
                    env = {"RAR_STANDIN_OUTPUT": output, "RAR_STANDIN_LINE_END": line_end}
                    self.assertEqual(self.rar("lb", f"{STANDIN}\\logs.rar", env=env),
                                     (0, encode("".join(name + new_line for name in names))))
                    self.assertEqual(self.rar("lt", "-scur", f"{STANDIN}\\logs.rar", env=env),
                                     (0, encode(text.replace("\n", new_line))))
        self.assertEqual(self.rar("lb", f"{STANDIN}\\logs.rar"),
                         (0, "".join(name + "\r\n" for name in names).encode()))
        self.assertEqual(self.rar("lb", f"{STANDIN}\\logs.rar", env={"RAR_STANDIN_OUTPUT": "utf-8"})[0], 7)

    def test_entries_are_renamed_as_the_real_archiver_renames_them(self):
        shutil.rmtree(self.root / "stage")
        self.build(self.LOGS)
        self.assertEqual(self.rar("rn", "-inul", f"{STANDIN}\\logs.rar", "one.bkl", "uno.bkl", "uno.bkl",
                                  "eins.bkl", "TWO.BKS", "dos.bks", "gone.bkl", "x.bkl", "lonely.bkl")[0], 0)
        self.assertEqual(self.names(), (0, ["uno.bkl", "dos.bks", "three.bkl"]))
        self.assertEqual(self.rar("rn", "-inul", f"{STANDIN}\\logs.rar", "three.bkl", "uno.bkl")[0], 0)
        self.assertEqual(self.names(), (0, ["uno.bkl", "dos.bks", "uno.bkl"]))
        self.assertEqual(self.rar("t", "-inul", f"{STANDIN}\\logs.rar")[0], 0)
        self.assertEqual(bsdtar_read(self.archive, "dos.bks"), self.LOGS["01/two.bks"])
        self.assertEqual(self.rar("rn", "-inul", f"{STANDIN}\\logs.rar", "*.bkl", "*.old")[0], 7)
        self.assertEqual(self.staged(), [])

    def test_list_files_name_what_rn_and_e_take_also_names_that_look_like_switches_or_lists(self):
        odd = {"00/-minus.bkl": b"minus", "00/@at.bkl": b"at", "01/Gr\u00fc\u00dfe.bkl": "Gr\u00fc\u00dfe".encode(),
               "01/two.bks": b"two"}
        shutil.rmtree(self.root / "stage")
        self.build(odd)
        built = self.archive.read_bytes()
        archive, out = f"{STANDIN}\\logs.rar", f"{STANDIN}\\out\\"

        def utf8_with_mark(text):
            return codecs.BOM_UTF8 + text.encode("utf-8")

        renames = ["-minus.bkl", "-renamed.bkl", "@at.bkl", "@renamed.bkl", "Gr\u00fc\u00dfe.bkl",
                   "Gr\u00f6\u00dfe.bkl", "gone.bkl", "x.bkl"]
        renamed = ["-renamed.bkl", "@renamed.bkl", "Gr\u00f6\u00dfe.bkl", "two.bks"]
        wanted = ["-minus.bkl", "@at.bkl", "Gr\u00fc\u00dfe.bkl", "gone.bkl"]
        archivers = {"stand-in": self.rar, **({"real": self.real_rar} if shutil.which("rar") else {})}
        for archiver, rar in archivers.items():
            with self.subTest(archiver=archiver):
                self.archive.write_bytes(built)
                # UTF-16 under -scul, as the program writes it; an old name no entry has changes nothing.
                self.assertEqual(rar("rn", "-inul", "-scul", archive, self.write_list("rn.lst", renames))[0], 0)
                self.assertEqual(self.names(), (0, renamed))
                # Without -sc, UTF-8 with or without its mark; read as UTF-16, it names nothing.
                back = self.write_list("back.lst", ["-renamed.bkl", "-minus.bkl", "@renamed.bkl", "@at.bkl"],
                                       FORMS["utf8"])
                self.assertEqual(rar("rn", "-inul", archive, back)[0], 0)
                back = self.write_list("back.lst", ["Gr\u00f6\u00dfe.bkl", "Gr\u00fc\u00dfe.bkl"], utf8_with_mark)
                self.assertEqual(rar("rn", "-inul", archive, back)[0], 0)
                self.assertEqual(self.names(), (0, [Path(log).name for log in odd]))
                unread = self.write_list("utf8.lst", renames, FORMS["utf8"])
                self.assertEqual(rar("rn", "-inul", "-scul", archive, unread)[0], 0)
                self.assertEqual(self.names(), (0, [Path(log).name for log in odd]))
                # A list that is not there stops the command before the archive is touched.
                before = self.archive.read_bytes()
                self.assertEqual(rar("rn", "-inul", "-scul", archive, f"@{STANDIN}\\missing.lst")[0], 6)
                self.assertEqual(rar("e", "-inul", "-o+", "-scul", archive, f"@{STANDIN}\\missing.lst", out)[0], 6)
                self.assertEqual(self.archive.read_bytes(), before)
                self.assertFalse((self.root / "out").exists())

                # e: the entries named, into the folder, over what is there with -o+ or -y;
                # a name no entry has is passed over.
                listed = self.write_list("e.lst", wanted)
                self.assertEqual(rar("e", "-inul", "-o+", "-scul", archive, listed, out)[0], 0)
                expected = {Path(log).name: content for log, content in odd.items() if Path(log).name in wanted}
                self.assertEqual(self.extracted(), expected)
                (self.root / "out" / "-minus.bkl").write_bytes(b"changed")
                self.assertEqual(rar("e", "-inul", "-y", "-scul", archive, listed, out)[0], 0)
                self.assertEqual(self.extracted(), expected)
                # Without either, the question whether to overwrite gets no answer.
                self.assertEqual(rar("e", "-inul", "-scul", archive, listed, out)[0], 255)
                gone = self.write_list("gone.lst", ["gone.bkl"])
                self.assertEqual(rar("e", "-inul", "-o+", "-scul", archive, gone, out)[0], 10)
                shutil.rmtree(self.root / "out")

                # After "--" a name that begins with "-" is a name; one that begins with "@" is still a list.
                self.assertEqual(rar("rn", "-inul", "--", archive, "-minus.bkl", "-x.bkl")[0], 0)
                self.assertEqual(rar("e", "-inul", "-o+", "--", archive, "-x.bkl", out)[0], 0)
                self.assertEqual(self.extracted(), {"-x.bkl": b"minus"})
                self.assertEqual(rar("e", "-inul", "-o+", "--", archive, "@at.bkl", out)[0], 6)
                self.assertEqual(rar("rn", "-inul", "-scz", archive, "two.bks", "dos.bks")[0], 7)
                shutil.rmtree(self.root / "out")

    def test_without_arguments_it_shows_its_version_whatever_the_commands_are_made_to_do(self):
        def first_line(out):
            return next(line for line in out.decode("utf-8").splitlines() if line.strip())

        code, out = self.rar()
        self.assertEqual((code, first_line(out)),
                         (0, "RAR 7.01   Copyright (c) 1993-2024 Alexander Roshal   12 May 2024"))
        if shutil.which("rar"):  # the real archiver, where installed, shows the same
            code, real = self.real_rar()
            self.assertEqual((code, first_line(real)), (0, first_line(out)))

        held = {"RAR_STANDIN_VERSION": "6.24", "RAR_STANDIN_EXIT": "5", "RAR_STANDIN_GATE": f"{STANDIN}\\never",
                "RAR_STANDIN_STARTED": f"{STANDIN}\\started", "RAR_STANDIN_LOG": f"{STANDIN}\\calls.txt"}
        code, out = self.rar(env=held)
        self.assertEqual((code, first_line(out)),
                         (0, "RAR 6.24   Copyright (c) 1993-2024 Alexander Roshal   12 May 2024"))
        self.assertFalse((self.root / "started").exists())
        self.assertEqual(len((self.root / "calls.txt").read_text(encoding="utf-8").splitlines()), 1)
        self.assertEqual(self.rar("t", "-inul", f"{STANDIN}\\logs.rar", env={"RAR_STANDIN_EXIT": "5"})[0], 5)


if __name__ == "__main__":
    main()
