"""The archive step and the clean-up, end to end with the stand-in archiver under Wine."""

import os
import subprocess
import sys
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "wine"))
from quarn_wine import (OWN_FILES, ProgramFolder, WineTestCase, bsdtar_list, bsdtar_read, main,  # noqa: E402
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
        command, cwd = log.read_text(encoding="utf-8").rstrip("\n").split("\t")
        self.assertEqual(command, 'rar a -r -ep -df -m5  -inul "C:\\Backups\\QuarnMail\\QuarnLogsZip.rar" '
                                  "*.bkl *.bks")
        self.assertEqual(cwd.rstrip("\\"), "C:\\e2e\\archive\\QuarnStaging")
        log.unlink()
        self.assertEqual(self.folder.files(), OWN_FILES + ["notes.tmp"])
        self.assertEqual(self.folder.staged(), {})
        for original in LOGS:
            self.assertTrue((self.data / original).exists(), original)

    def test_a_second_run_replaces_the_entries_of_the_same_name(self):
        self.assertEqual(run_program(self.folder).exit_code, 0)
        make_files(self.data, {"acct.one/in.bkl": "grown since"})
        self.assertEqual(run_program(self.folder).exit_code, 0)
        self.assertArchived(dict(ARCHIVED, **{"acctonein.bkl": b"grown since"}))

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
        expected["acctoneout.bks"] = b"SENT ONE"
        self.assertIn("exit 0  archived 1 changed log (3 unchanged) to ", run_line())
        self.assertArchived(expected)

        # The archive deleted: a new one with every log there is.
        ARCHIVE.unlink()
        del expected["maildatatop.bks"]
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
        self.assertIn("rar.exe was not found", run.boxes[0].text)
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

    def test_a_damaged_archive_is_named_with_what_to_do_and_a_new_one_follows_once_it_is_moved_away(self):
        self.assertEqual(run_program(self.folder).exit_code, 0)
        damaged = bytearray(ARCHIVE.read_bytes())
        damaged[7] ^= 0xFF  # the checksum of the archive's main header
        ARCHIVE.write_bytes(bytes(damaged))
        make_files(self.data, {"acct.one/in.bkl": "grown since"})
        run = run_program(self.folder)
        self.assertEqual(run.exit_code, 9)
        self.assertTrue(run.texts[0].startswith(
            "The archive C:\\Backups\\QuarnMail\\QuarnLogsZip.rar is damaged"), run.texts[0])
        self.assertIn('repair it with "rar r"', run.texts[0])
        line = self.folder.log_lines()[-1]  # the whole text, where the box's trace is cut
        self.assertIn("Move the archive away, and the next run starts a new one", line)
        self.assertNotIn("tries again", line)
        self.assertEqual([(e.kind, e.event_id) for e in run.events], [("err", 109)])
        self.assertEqual(ARCHIVE.read_bytes(), bytes(damaged))

        ARCHIVE.rename(ARCHIVE.with_name("damaged.rar"))
        self.assertEqual(run_program(self.folder).exit_code, 0)
        self.assertArchived(dict(ARCHIVED, **{"acctonein.bkl": b"grown since"}))


if __name__ == "__main__":
    main()
