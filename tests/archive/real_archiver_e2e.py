"""The program against the real RAR archiver, under Wine, each archive read back by a
second reader (unrar, or 7-Zip) byte for byte.

rar.exe here is the forwarder of tests/fixtures/realrar, which hands each command
to Debian's rar. Skipped, with a line that says so, where rar or both readers are
missing. The stand-in archiver stays for what the real one cannot show (hangs, slow
runs, a killed archiver).
"""

import codecs
import os
import shutil
import subprocess
import sys
import tempfile
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "wine"))
from quarn_wine import (PREFIX, ProgramFolder, WineTestCase, main, make_files, put_archiver_on_path,  # noqa: E402
                        run_program, unix_path, wine_env)

REAL_RAR = shutil.which("rar")
UNRAR, SEVEN_ZIP = shutil.which("unrar"), shutil.which("7z") or shutil.which("7zz")
ARCHIVE = unix_path("C:\\Backups\\QuarnMail") / "QuarnLogsZip.rar"
NAMES = ARCHIVE.with_name(ARCHIVE.name + ".names")
RAR5 = b"Rar!\x1a\x07\x01\x00"
LOGS = {"acct.one/in.bkl": "From: ann@example.com\r\nSubject: Lunch\r\n\r\nAt noon.\r\n" * 200,
        "acct.one/out.bks": "To: bob@example.com\r\n", "Entwürfe.two/sub/in.bkl": "Grüße\r\n",
        "top.bks": b"\x00\xffbinary"}
ARCHIVED = {"acctonein.bkl": LOGS["acct.one/in.bkl"].encode(), "acctoneout.bks": b"To: bob@example.com\r\n",
            "subin.bkl": "Grüße\r\n".encode(), "maildatatop.bks": b"\x00\xffbinary"}


def reader_env():
    return dict(os.environ, LC_ALL="C.UTF-8")


def archive_entries(archive=ARCHIVE):
    """The entry names as the second reader lists them, in the archive's order, a
    name held twice listed twice."""
    if UNRAR:
        out = subprocess.run([UNRAR, "lb", str(archive)], capture_output=True, check=True, env=reader_env())
        return out.stdout.decode("utf-8").splitlines()
    out = subprocess.run([SEVEN_ZIP, "l", "-slt", "-ba", str(archive)], capture_output=True, check=True,
                         env=reader_env())
    return [line[len("Path = "):] for line in out.stdout.decode("utf-8").splitlines() if line.startswith("Path = ")]


def read_entry(name, archive=ARCHIVE):
    """An entry's bytes as the second reader extracts them (of two entries of one
    name, unrar gives the first only). The name is a name even where it begins with
    "-" or "@": unrar gets it in a list file, 7-Zip after "--"."""
    if not UNRAR:
        command = [SEVEN_ZIP, "e", "-so", str(archive), "--", name]
        return subprocess.run(command, capture_output=True, check=True, env=reader_env()).stdout
    with tempfile.TemporaryDirectory() as folder:
        listed = Path(folder) / "name.lst"
        listed.write_bytes((name + "\n").encode("utf-8"))
        command = [UNRAR, "p", "-inul", str(archive), f"@{listed}"]
        return subprocess.run(command, capture_output=True, check=True, env=reader_env()).stdout


def archive_tests_whole(archive=ARCHIVE):
    """True when the second reader finds every entry of the archive intact."""
    command = [UNRAR, "t", "-inul", str(archive)] if UNRAR else [SEVEN_ZIP, "t", str(archive)]
    return subprocess.run(command, capture_output=True, env=reader_env()).returncode == 0


def truncate(archive, keep_fraction=0.6):
    """Cuts the archive short, as a copy or a disk that ran out of room would."""
    data = archive.read_bytes()
    archive.write_bytes(data[: int(len(data) * keep_fraction)])


def damage_entry_header(archive, name):
    """Changes one byte of the name in an entry's header: its checksum no longer fits."""
    data = bytearray(archive.read_bytes())
    at = data.find(name.encode("utf-8"))
    assert at > 0, f"{name} not found in {archive}"
    data[at] ^= 0x20
    archive.write_bytes(bytes(data))
    return bytes(data)


def names_list(names_file=NAMES):
    """The names list beside the archive as {name: log path}, its own lines left out."""
    lines = names_file.read_bytes().decode("utf-8-sig").splitlines()
    return {line.split("\t")[0]: line.split("\t")[1] for line in lines if not line.startswith(":")}


class RealArchiverCase(WineTestCase):
    """Each case starts with the logs of LOGS, a fresh program folder and the real
    archiver on PATH; no archive yet."""

    def setUp(self):
        super().setUp()
        put_archiver_on_path(real=True)
        make_files(self.data, LOGS)
        self.folder = ProgramFolder("real-archiver")

    def run_backup(self, **kwargs):
        return run_program(self.folder, timeout=300, **kwargs)

    def assertArchiveHolds(self, expected, archive=ARCHIVE):
        """The archive holds exactly these entries, each once, each byte for byte."""
        self.assertEqual(sorted(archive_entries(archive)), sorted(expected))
        for name, content in expected.items():
            self.assertEqual(read_entry(name, archive), content, name)
        self.assertTrue(archive_tests_whole(archive))

    def assertStagingHoldsNoFile(self):
        leftovers = [str(p.relative_to(self.folder.staging)) for p in self.folder.staging.rglob("*") if p.is_file()]
        self.assertEqual(leftovers, [])

    def grow(self, relative, text):
        with open(self.data / relative, "ab") as log:
            log.write(text.encode())
        return (self.data / relative).read_bytes()


class Forwarder(WineTestCase):
    """rar.exe as Windows programs meet it: Windows paths, the current folder, masks
    that match whatever the case, and the archiver's output and exit code as they are."""

    def setUp(self):
        super().setUp()
        self.work = unix_path("C:\\e2e\\forwarder")
        shutil.rmtree(self.work, ignore_errors=True)
        make_files(self.work, {"stage/00/a.bkl": "one", "stage/01/B.BKL": "two", "stage/01/c.Bks": "three",
                               "stage/01/d.txt": "not matched"})
        self.exe = unix_path(put_archiver_on_path(real=True)) / "rar.exe"

    def rar(self, *args, cwd="C:\\e2e\\forwarder\\stage", extra_env=None):
        return subprocess.run(["wine", str(self.exe), *args], cwd=unix_path(cwd), env=wine_env(extra=extra_env),
                              capture_output=True, timeout=300)

    def test_masks_match_whatever_the_case_and_the_archive_is_found_by_its_windows_path(self):
        result = self.rar("a", "-r", "-ep", "-df", "-m5", "-inul", "C:\\E2E\\Forwarder\\T.rar", "*.bkl", "*.bks")
        self.assertEqual(result.returncode, 0, result.stderr)
        archive = self.work / "T.rar"
        self.assertEqual(archive.read_bytes()[:8], RAR5)
        self.assertEqual(sorted(archive_entries(archive)), ["B.BKL", "a.bkl", "c.Bks"])
        self.assertEqual(read_entry("B.BKL", archive), b"two")
        remaining = sorted(str(p.relative_to(self.work)) for p in self.work.rglob("*") if p.is_file())
        self.assertEqual(remaining, ["T.rar", "stage/01/d.txt"])

    def test_output_and_exit_code_are_the_archivers_own(self):
        self.assertEqual(self.rar("a", "-r", "-inul", "..\\T.rar", "*.bkl").returncode, 0)
        archive = self.work / "T.rar"
        # The path the archiver is given: through the prefix's drive C:.
        as_given = PREFIX / "dosdevices" / "c:" / "e2e" / "forwarder" / "T.rar"
        native = subprocess.run([REAL_RAR, "lt", "-scur", str(as_given)], capture_output=True)
        forwarded = self.rar("lt", "-scur", "C:\\e2e\\forwarder\\T.rar")
        self.assertEqual(forwarded.returncode, 0)
        self.assertIn(b"00/a.bkl", forwarded.stdout)  # paths kept without -ep
        self.assertEqual(forwarded.stdout, native.stdout)

        missing = self.rar("lb", "C:\\e2e\\forwarder\\missing.rar")
        self.assertEqual(missing.returncode, 10)
        unknown = self.rar("lb", "-bogus", "C:\\e2e\\forwarder\\T.rar")
        self.assertEqual(unknown.returncode, 7)
        self.assertIn(b"Unknown option: bogus", unknown.stdout)  # the real archiver says it there

        # Without arguments, its banner: the version on the first line that is not empty.
        banner = self.rar()
        native = subprocess.run([REAL_RAR], capture_output=True)
        self.assertEqual((banner.returncode, banner.stdout), (0, native.stdout))
        self.assertEqual(banner.stdout.decode().split("\n")[:2],
                         ["", "RAR 7.01   Copyright (c) 1993-2024 Alexander Roshal   12 May 2024"])
        # Its output in other words, or laid out otherwise, the version and the exit code as they are.
        for form, version_line in (("translated", "Archivierer 7.01   Urheberrecht (cen) 1993-2024 Alexanderen "
                                                  "Roshalen   12 Mai 2024"),
                                   ("tabular", "| RAR | 7.01 | Copyright | (c) | 1993-2024 | Alexander | Roshal | 12 "
                                               "| May | 2024 |")):
            with self.subTest(form=form):
                output = {"QUARN_REALRAR_OUTPUT": form}
                banner = self.rar(extra_env=output)
                self.assertEqual(banner.returncode, 0)
                self.assertEqual(banner.stdout.decode().split("\n")[:2], ["", version_line])
                unknown = self.rar("lb", "-bogus", "C:\\e2e\\forwarder\\T.rar", extra_env=output)
                self.assertEqual(unknown.returncode, 7)
                self.assertNotIn(b"Unknown option", unknown.stdout)
                self.assertEqual(self.rar("lb", "C:\\e2e\\forwarder\\missing.rar", extra_env=output).returncode, 10)
        self.assertEqual(self.rar(extra_env={"QUARN_REALRAR_OUTPUT": "german"}).returncode, 2)

    def test_entry_names_pass_unchanged(self):
        self.assertEqual(self.rar("a", "-r", "-ep", "-inul", "C:\\e2e\\forwarder\\T.rar", "*.BKS").returncode, 0)
        archive = "C:\\e2e\\forwarder\\T.rar"
        self.assertEqual(self.rar("rn", "-inul", archive, "c.Bks", "Renamed\\c.bks").returncode, 0)
        self.assertEqual(archive_entries(self.work / "T.rar"), ["Renamed/c.bks"])
        self.assertEqual(self.rar("t", "-inul", archive).returncode, 0)
        self.assertEqual(self.rar("lb", archive).stdout, b"Renamed/c.bks\n")

    def test_list_files_name_entries_to_rename_and_extract_whatever_they_look_like(self):
        # As the program hands names over: in a list file, UTF-16 with its byte-order mark
        # and CRLF, one name a line, read under -scul.
        odd = {"00/-minus.bkl": "minus", "00/@at.bkl": "at", "01/Gr\u00fc\u00dfe.bkl": "Gr\u00fc\u00dfe"}
        make_files(self.work / "stage", odd)
        archive, t_rar = "C:\\e2e\\forwarder\\T.rar", self.work / "T.rar"
        self.assertEqual(self.rar("a", "-r", "-ep", "-df", "-m5", "-inul", archive, "*.bkl", "*.bks").returncode, 0)
        self.assertEqual(sorted(archive_entries(t_rar)),
                         sorted(["-minus.bkl", "@at.bkl", "Gr\u00fc\u00dfe.bkl", "B.BKL", "a.bkl", "c.Bks"]))

        def name_list(name, names):
            (self.work / name).write_bytes(codecs.BOM_UTF16_LE + "".join(n + "\r\n" for n in names).encode("utf-16-le"))
            return f"@C:\\e2e\\forwarder\\{name}"

        renames = name_list("renames.lst", ["-minus.bkl", "-renamed.bkl", "@at.bkl", "@renamed.bkl",
                                            "Gr\u00fc\u00dfe.bkl", "Gr\u00f6\u00dfe.bkl", "gone.bkl", "x.bkl"])
        self.assertEqual(self.rar("rn", "-inul", "-scul", archive, renames).returncode, 0)
        renamed = {"-renamed.bkl": b"minus", "@renamed.bkl": b"at", "Gr\u00f6\u00dfe.bkl": "Gr\u00fc\u00dfe".encode()}
        self.assertEqual(sorted(archive_entries(t_rar)), sorted([*renamed, "B.BKL", "a.bkl", "c.Bks"]))
        for name, content in renamed.items():
            self.assertEqual(read_entry(name, t_rar), content, name)

        # Into a folder that is not there yet, over a file that is; a name no entry has is passed over.
        make_files(self.work / "out", {"-renamed.bkl": "an older copy"})
        wanted = name_list("wanted.lst", [*renamed, "gone.bkl"])
        for folder in ("C:\\e2e\\forwarder\\out\\deeper\\", "C:\\e2e\\forwarder\\out\\"):
            self.assertEqual(self.rar("e", "-inul", "-o+", "-scul", archive, wanted, folder).returncode, 0, folder)
        for folder in ("out", "out/deeper"):
            extracted = {p.name: p.read_bytes() for p in (self.work / folder).iterdir() if p.is_file()}
            self.assertEqual(extracted, renamed, folder)
        self.assertEqual(self.rar("e", "-inul", "-o+", "-scul", archive, name_list("gone.lst", ["gone.bkl"]),
                                  "C:\\e2e\\forwarder\\out\\").returncode, 10)


class WithTheRealArchiver(RealArchiverCase):
    def test_a_first_and_the_following_runs_leave_every_log_readable_byte_for_byte(self):
        run = self.run_backup()
        self.assertEqual(run.exit_code, 0, run.texts)
        self.assertNoBoxes(run)
        self.assertIn("full run (the archive was missing): archived 4 logs", self.folder.log_lines()[-1])
        self.assertEqual(ARCHIVE.read_bytes()[:8], RAR5)
        self.assertArchiveHolds(ARCHIVED)
        self.assertStagingHoldsNoFile()  # neither a copy nor the archiver's temporary file

        # Grown and new logs: only they are archived, and the others stay as they were.
        expected = dict(ARCHIVED, **{"acctonein.bkl": self.grow("acct.one/in.bkl", "Subject: More\r\n"),
                                     "acctonenew.bks": b"new"})
        make_files(self.data, {"acct.one/new.bks": "new"})
        run = self.run_backup()
        self.assertEqual(run.exit_code, 0, run.texts)
        self.assertIn("archived 2 changed logs (3 unchanged)", self.folder.log_lines()[-1])
        self.assertArchiveHolds(expected)
        self.assertStagingHoldsNoFile()

        before = ARCHIVE.stat()
        run = self.run_backup()
        self.assertEqual(run.exit_code, 0, run.texts)
        self.assertIn("nothing changed (5 logs unchanged, the archiver was not started)", self.folder.log_lines()[-1])
        self.assertEqual(ARCHIVE.stat().st_mtime_ns, before.st_mtime_ns)
        self.assertArchiveHolds(expected)

    def test_a_missing_archiver_keeps_the_copies_for_the_run_that_finds_it(self):
        run = self.run_backup(archiver_path=None)
        self.assertEqual(run.exit_code, 8)
        self.assertIn("rar.exe was found neither beside this program nor on PATH", run.texts[0])
        self.assertFalse(ARCHIVE.exists())
        self.assertEqual(sorted(self.folder.staged()), sorted(ARCHIVED))

        run = self.run_backup()
        self.assertEqual(run.exit_code, 0, run.texts)
        self.assertArchiveHolds(ARCHIVED)
        self.assertStagingHoldsNoFile()

    def test_an_archive_that_cannot_be_written_loses_nothing(self):
        self.assertEqual(self.run_backup().exit_code, 0)
        expected = dict(ARCHIVED, **{"subin.bkl": self.grow("Entwürfe.two/sub/in.bkl", "Tschüss\r\n")})
        old = ARCHIVE.read_bytes()
        # Read-only to everyone, root too: the archive bound read-only onto itself,
        # where mounting is allowed (CI runs as root).
        if subprocess.run(["mount", "--bind", "-o", "ro", str(ARCHIVE), str(ARCHIVE)],
                          capture_output=True).returncode != 0:
            self.skipTest("no read-only mount can be made here")
        try:
            run = self.run_backup()
        finally:
            subprocess.run(["umount", str(ARCHIVE)], check=True)
        self.assertEqual(run.exit_code, 9, run.texts)
        self.assertIn("exit code", run.texts[-1])
        self.assertEqual(ARCHIVE.read_bytes(), old)
        self.assertEqual(sorted(self.folder.staged()), ["subin.bkl"])

        run = self.run_backup()
        self.assertEqual(run.exit_code, 0, run.texts)
        self.assertArchiveHolds(expected)
        self.assertStagingHoldsNoFile()

    def test_a_damaged_archive_is_set_aside_whole_and_a_new_one_takes_every_log(self):
        self.assertEqual(self.run_backup().exit_code, 0)
        damaged = damage_entry_header(ARCHIVE, "acctoneout.bks")
        expected = dict(ARCHIVED, **{"acctonein.bkl": self.grow("acct.one/in.bkl", "Subject: More\r\n")})
        run = self.run_backup()
        self.assertEqual(run.exit_code, 16, run.texts)
        self.assertIn("rar r ", self.folder.log_lines()[-1])
        # Its bytes are kept as they were, for a repair, beside a copy of its names.
        aside = next(ARCHIVE.parent.glob("QuarnLogsZip.damaged-*.rar"))
        self.assertEqual(aside.read_bytes(), damaged)
        self.assertTrue(aside.with_name(aside.name + ".names").exists())
        self.assertArchiveHolds(expected)
        self.assertStagingHoldsNoFile()
        self.assertEqual(self.run_backup().exit_code, 0)

    def test_a_truncated_archive_loses_no_copy_and_a_new_one_takes_every_log(self):
        self.assertEqual(self.run_backup().exit_code, 0)
        truncate(ARCHIVE)
        expected = dict(ARCHIVED, **{"acctonein.bkl": self.grow("acct.one/in.bkl", "Subject: More\r\n")})
        run = self.run_backup()
        self.assertEqual(run.exit_code, 16, run.texts)
        self.assertArchiveHolds(expected)
        self.assertEqual(len(list(ARCHIVE.parent.glob("QuarnLogsZip.damaged-*.rar"))), 1)

    def test_a_rewritten_log_keeps_what_the_archive_held_of_it(self):
        self.assertEqual(self.run_backup().exit_code, 0)
        (self.data / "acct.one/out.bks").write_bytes(b"To: carol@example.com\r\n")  # compacted
        grown = self.grow("acct.one/in.bkl", "Subject: More\r\n")  # grown: no version
        run = self.run_backup()
        self.assertEqual(run.exit_code, 0, run.texts)
        self.assertIn("1 log was rewritten, not added to", self.folder.log_lines()[-1])
        kept = next(name for name in archive_entries() if name.startswith("acctoneout.2"))
        self.assertArchiveHolds(dict(ARCHIVED, **{"acctonein.bkl": grown,
                                                  "acctoneout.bks": b"To: carol@example.com\r\n",
                                                  kept: ARCHIVED["acctoneout.bks"]}))
        self.assertEqual(names_list()[kept], "C:\\maildata\\acct.one\\out.bks")

    def hold(self, relative):
        """Holds a log open without sharing, as a mail client may, until the case ends."""
        holder = subprocess.Popen(["wine", os.environ["QUARN_HOLDFILE"],
                                   "C:\\maildata\\" + relative.replace("/", "\\")],
                                  env=wine_env(), stdin=subprocess.PIPE, stdout=subprocess.PIPE)
        self.addCleanup(holder.communicate, b"", timeout=60)
        self.assertEqual(holder.stdout.readline().strip(), b"held")
        return holder

    def test_a_compacted_log_keeps_its_past_after_a_failed_copy_and_from_an_earlier_copy(self):
        self.assertEqual(self.run_backup().exit_code, 0)
        # A night whose copy fails, then the log is compacted: judged by the entry itself.
        self.grow("acct.one/out.bks", "Cc: dan@example.com\r\n")
        holder = self.hold("acct.one/out.bks")
        self.assertEqual(self.run_backup().exit_code, 10)
        holder.communicate(b"", timeout=60)
        (self.data / "acct.one/out.bks").write_bytes(b"To: carol@example.com\r\n")
        run = self.run_backup()
        self.assertEqual(run.exit_code, 0, run.texts)
        kept_out = next(name for name in archive_entries() if name.startswith("acctoneout.2"))
        expected = dict(ARCHIVED, **{"acctoneout.bks": b"To: carol@example.com\r\n",
                                     kept_out: ARCHIVED["acctoneout.bks"]})
        self.assertArchiveHolds(expected)

        # A compacted log whose renaming fails leaves its copy; the next night the log is
        # held open and that copy goes to the archive, the entry's past kept first. The
        # archiver's output, translated, changes nothing: its version is still read.
        (self.data / "acct.one/in.bkl").write_bytes(b"compacted\r\n")
        if subprocess.run(["mount", "--bind", "-o", "ro", str(ARCHIVE), str(ARCHIVE)],
                          capture_output=True).returncode != 0:
            self.skipTest("no read-only mount can be made here")
        try:
            run = self.run_backup(extra_env={"QUARN_REALRAR_OUTPUT": "translated"})
        finally:
            subprocess.run(["umount", str(ARCHIVE)], check=True)
        self.assertEqual(run.exit_code, 9, run.texts)
        self.assertIn("could not be kept", run.texts[-1])
        self.assertEqual(self.folder.staged(), {"acctonein.bkl": b"compacted\r\n"})
        self.hold("acct.one/in.bkl")
        run = self.run_backup(extra_env={"QUARN_REALRAR_OUTPUT": "tabular"})
        self.assertEqual(run.exit_code, 10, run.texts)
        kept_in = next(name for name in archive_entries() if name.startswith("acctonein.2"))
        self.assertArchiveHolds(dict(expected, **{"acctonein.bkl": b"compacted\r\n",
                                                  kept_in: ARCHIVED["acctonein.bkl"]}))
        self.assertStagingHoldsNoFile()

    def test_an_archive_an_older_archiver_made_stays_rar4_and_reads_back(self):
        make_files(self.data, {"Gr\u00fc\u00dfe.box/in.bkl": "Gr\u00fc\u00dfe\r\n"})
        put_archiver_on_path(real=False)  # the stand-in writes RAR 4, as archivers before 5.0 did
        self.assertEqual(self.run_backup().exit_code, 0)
        self.assertEqual(ARCHIVE.read_bytes()[:7], b"Rar!\x1a\x07\x00")
        put_archiver_on_path(real=True)
        expected = dict(ARCHIVED, **{"acctonein.bkl": self.grow("acct.one/in.bkl", "Subject: More\r\n"),
                                     "Gr\u00fc\u00dfeboxin.bkl": self.grow("Gr\u00fc\u00dfe.box/in.bkl", "mehr\r\n")})
        run = self.run_backup()
        self.assertEqual(run.exit_code, 0, run.texts)
        self.assertIn("archived 2 changed logs", self.folder.log_lines()[-1])
        self.assertEqual(ARCHIVE.read_bytes()[:7], b"Rar!\x1a\x07\x00")
        self.assertArchiveHolds(expected)
        # Read back from its own headers, names beyond ASCII too: nothing is left to copy.
        self.assertIn("nothing changed", (self.run_backup(), self.folder.log_lines()[-1])[1])

    def test_logs_in_folders_named_like_switches_or_list_files_keep_their_past(self):
        make_files(self.data, {"-x/in.bkl": "From: a\r\n\r\nfirst\r\n", "@list/in.bkl": "From: b\r\n"})
        self.assertEqual(self.run_backup().exit_code, 0)
        for folder in ("-x", "@list"):
            (self.data / folder / "in.bkl").write_bytes(b"compacted")
        run = self.run_backup()
        self.assertEqual(run.exit_code, 0, run.texts)
        self.assertIn("2 logs were rewritten, not added to", self.folder.log_lines()[-1])
        entries = archive_entries()
        kept = {stem: [name for name in entries if name.startswith(stem + ".2")] for stem in ("-xin", "@listin")}
        self.assertEqual([len(names) for names in kept.values()], [1, 1], entries)
        self.assertEqual(read_entry(kept["-xin"][0]), b"From: a\r\n\r\nfirst\r\n")
        self.assertEqual(read_entry("-xin.bkl"), b"compacted")
        self.assertTrue(archive_tests_whole())
        # And the next night, with nothing rewritten, ends well: no rename waits.
        self.grow("-x/in.bkl", " and more")
        self.assertEqual(self.run_backup().exit_code, 0)
        self.assertEqual(read_entry("-xin.bkl"), b"compacted and more")

    def test_names_read_back_from_the_archive_when_the_names_list_is_lost(self):
        self.assertEqual(self.run_backup().exit_code, 0)
        before = archive_entries()
        for lost in ARCHIVE.parent.glob("QuarnLogsZip.rar.names*"):
            lost.unlink()
        current = {path: (self.data / path).read_bytes() for path in LOGS}
        current["acct.one/in.bkl"] = self.grow("acct.one/in.bkl", "Subject: More\r\n")
        run = self.run_backup()
        self.assertEqual(run.exit_code, 0, run.texts)
        self.assertIn("was missing", self.folder.log_lines()[-1])
        # No entry is lost, every log is in the archive under the name its list gives it,
        # and a log whose content proves an entry its own takes it back: no doubles.
        entries = archive_entries()
        self.assertEqual(sorted(entries), sorted(before))
        by_path = {path.lower(): name for name, path in names_list().items()}
        for path, content in current.items():
            name = by_path["c:\\maildata\\" + path.replace("/", "\\").lower()]
            self.assertEqual(read_entry(name), content, name)
        self.assertTrue(archive_tests_whole())


if __name__ == "__main__":
    if not REAL_RAR or not (UNRAR or SEVEN_ZIP):
        print("real archiver suite skipped: " + ("rar is not installed (Debian's non-free rar package)"
              if not REAL_RAR else "neither unrar nor 7z is installed to read its archives"))
        sys.exit(77)
    main()
