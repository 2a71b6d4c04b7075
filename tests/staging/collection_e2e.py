"""Listing the log files through the batch file and staging their copies, under Wine.

The stand-in archiver is told to fail in most of these tests, so that the staged
copies stay in the program's folder to be checked against the originals.
"""

import os
import shutil
import subprocess
import sys
import tempfile
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "wine"))
from quarn_wine import (DRIVE_C, OWN_FILES, PREFIX, ProgramFolder, WineTestCase, bsdtar_list, bsdtar_read, main,  # noqa: E402
                        make_files, run_program, set_mail_client, unix_path, wine_env)

KEEP_COPIES = {"RAR_STANDIN_EXIT": "1"}  # the archiver fails and leaves the copies alone
ARCHIVE = "C:\\Backups\\QuarnMail\\QuarnLogsZip.rar"


class Staging(WineTestCase):
    def stage(self, files, folder_name="collection", data_dir="C:\\maildata", locale="en_US.UTF-8"):
        """Lays out the data directory, runs with a failing archiver and returns the
        run and the staged copies as {name: bytes}."""
        root = unix_path(data_dir)
        make_files(root, files)
        set_mail_client(data_dir=data_dir + "\\")
        folder = ProgramFolder(folder_name)
        run = run_program(folder, locale=locale, extra_env=KEEP_COPIES)
        return run, folder.staged()

    def test_logs_at_every_depth_are_staged_under_their_flattened_names(self):
        run, staged = self.stage({
            "top.bkl": "top", "acct.one/in.bkl": "in one", "acct.one/Out.BKS": "out one",
            "acct.one/a.b.c/deep/x.bks": "deep", "acct.one/notes.txt": "not a log",
            "acct.one/in.bkl_old": "short-name match only",
        })
        self.assertEqual(run.exit_code, 9)
        self.assertIn("read back, does not hold 4 copies as the archiver took them", run.boxes[-1].text)
        self.assertEqual(staged, {"maildatatop.bkl": b"top", "acctonein.bkl": b"in one",
                                  "acctoneOut.BKS": b"out one", "deepx.bks": b"deep"})

    def test_no_log_file_at_all_is_a_quiet_success(self):
        make_files(self.data, {"acct/readme.txt": "nothing to back up"})
        folder = ProgramFolder("no-logs")
        run = run_program(folder)
        self.assertEqual(run.exit_code, 0)
        self.assertNoBoxes(run)
        self.assertEqual(folder.files(), OWN_FILES)
        self.assertEqual(folder.staged(), {})

    def test_a_stale_marker_from_an_earlier_run_cannot_cut_the_listing_short(self):
        make_files(self.data, {"acct/in.bkl": "fresh"})
        folder = ProgramFolder("stale-marker")
        make_files(folder.path, {"done.tmp": "done\r\n", "filelist.tmp": "C:\\gone\\old.bkl\r\n",
                                 "notes.tmp": "the user's own"})
        run = run_program(folder)
        self.assertEqual(run.exit_code, 0, run.texts)
        self.assertEqual(bsdtar_list(unix_path(ARCHIVE)), ["acctin.bkl"])
        self.assertEqual(folder.files(), OWN_FILES + ["notes.tmp"])

    def test_data_dirs_with_characters_the_interpreter_acts_on(self):
        # Not "%": Wine's cmd reads a "%" in the value of %QUARN_DATA_DIR% once more
        # (and loops on it), where Windows hands the value on as it is.
        for name in ("mail data & (old) ^ !x!", "m ^& (x) ! y"):
            with self.subTest(name=name):
                shutil.rmtree(unix_path("C:\\Backups"), ignore_errors=True)  # names of its own
                run, staged = self.stage({"acct/in.bkl": name, "in.bks": "top"},
                                         data_dir="C:\\" + name, folder_name="special")
                flat = name.replace(".", "")
                self.assertEqual(staged, {"acctin.bkl": name.encode(), flat + "in.bks": b"top"})

    def test_accented_names_on_a_western_system(self):
        run, staged = self.stage({"Müller.acct/Éingang.bkl": "é", "Réseau/Ω€.bks": "euro"},
                                 data_dir="C:\\Grüße Mail")
        self.assertEqual(staged, {"MülleracctÉingang.bkl": "é".encode(), "RéseauΩ€.bks": b"euro"})

    def test_a_data_dir_outside_the_console_code_page_is_archived_whole(self):
        # Japanese and the euro sign on a western system, a log some 300 characters
        # deep, and DataDir with the trailing spaces of a hand edit.
        data_dir = "C:\\メール €uro"
        deep = "/".join(["d" * 55] * 5)
        make_files(unix_path(data_dir), {"受信/in.bkl": "ja", f"{deep}/x.bks": "deep"})
        self.assertGreater(len(data_dir + "\\" + deep + "\\x.bks"), 290)
        set_mail_client(data_dir=data_dir + "   ")
        folder = ProgramFolder("outside-code-page")
        run = run_program(folder)
        self.assertEqual(run.exit_code, 0, run.texts)
        archive = unix_path(ARCHIVE)
        self.assertEqual(bsdtar_list(archive), sorted(["受信in.bkl", "d" * 55 + "x.bks"]))
        self.assertEqual(bsdtar_read(archive, "受信in.bkl"), "ja".encode())
        self.assertEqual(folder.files(), OWN_FILES)

    def test_japanese_names_including_a_trailing_byte_of_backslash(self):
        # 表 and ソ end in the byte 0x5C in Shift-JIS.
        run, staged = self.stage({"表計算.box/ソフト.bkl": "表", "受信/予定表.bks": "ソ"},
                                 data_dir="C:\\メール表", locale="ja_JP.UTF-8", folder_name="日本")
        self.assertEqual(staged, {"表計算boxソフト.bkl": "表".encode(), "受信予定表.bks": "ソ".encode()})

    def test_hidden_system_and_read_only_logs_are_staged_as_plain_copies(self):
        make_files(self.data, {"acct/hidden.bkl": "h", "acct/system.bks": "s", "acct/readonly.bkl": "r"})
        for name, flags in (("hidden.bkl", "+h"), ("system.bks", "+s +h"), ("readonly.bkl", "+r")):
            subprocess.run(["wine", "attrib", *flags.split(), f"C:\\maildata\\acct\\{name}"],
                           env=wine_env(), check=True, capture_output=True)

        def attributes(*pattern):  # Wine keeps H and R, not S
            listing = subprocess.run(["wine", "attrib", *pattern], env=wine_env(), check=True,
                                     capture_output=True, text=True).stdout
            return sorted(line[:10].replace("A", "").split() for line in listing.splitlines()
                          if line.lower().endswith((".bkl", ".bks")))
        originals = attributes("C:\\maildata\\acct\\*")
        self.assertEqual(originals, [["H"], ["H"], ["R"]])

        folder = ProgramFolder("attributes")
        run_program(folder, extra_env=KEEP_COPIES)
        self.assertEqual(sorted(folder.staged()), ["accthidden.bkl", "acctreadonly.bkl", "acctsystem.bks"])
        self.assertEqual(attributes("/s", "C:\\e2e\\attributes\\QuarnStaging\\*"), [[], [], []])

        run = run_program(folder)  # the archiver can take plain copies away
        self.assertEqual(run.exit_code, 0, run.texts)
        self.assertEqual(folder.staged(), {})
        self.assertEqual(attributes("C:\\maildata\\acct\\*"), originals)

    def test_a_log_held_open_by_another_program_is_named_and_the_rest_are_backed_up(self):
        make_files(self.data, {"acct/held.bkl": "locked", "acct/free.bks": "free"})
        holder = subprocess.Popen(["wine", os.environ["QUARN_HOLDFILE"], "C:\\maildata\\acct\\held.bkl"],
                                  env=wine_env(), stdin=subprocess.PIPE, stdout=subprocess.PIPE)
        try:
            self.assertEqual(holder.stdout.readline().strip(), b"held")
            run = run_program(ProgramFolder("held"))
        finally:
            holder.communicate(b"", timeout=30)
        self.assertEqual(run.exit_code, 10)
        self.assertEqual(len(run.boxes), 1)
        self.assertEqual(run.boxes[0].title, "QuarnBackupLogs Error")
        self.assertIn("C:\\maildata\\acct\\held.bkl: Sharing violation. (system error 32)",
                      run.boxes[0].text)
        self.assertEqual(bsdtar_list(unix_path(ARCHIVE)), ["acctfree.bks"])

    def test_an_archive_entry_means_one_log_for_ever(self):
        make_files(self.data, {"one.mb/Inbox/in.bkl": "one", "two.mb/Inbox/in.bkl": "two"})
        folder = ProgramFolder("collision")
        self.assertEqual(run_program(folder).exit_code, 0)
        archive = unix_path(ARCHIVE)
        names_file = unix_path(ARCHIVE + ".names")
        first = {n: bsdtar_read(archive, n) for n in bsdtar_list(archive)}
        self.assertEqual(sorted(first.values()), [b"one", b"two"])
        gone = next(n for n, content in first.items() if content == b"one")
        kept = next(n for n, content in first.items() if content == b"two")

        # An account is removed and a new one sorts first: no entry changes hands.
        shutil.rmtree(self.data / "one.mb")
        make_files(self.data, {"two.mb/Inbox/in.bkl": "two, grown", "a-new.mb/Inbox/in.bkl": "new"})
        self.assertEqual(run_program(folder).exit_code, 0)
        self.assertEqual(bsdtar_list(archive), ["Inboxin.bkl", "Inboxin~2.bkl", "Inboxin~3.bkl"])
        self.assertEqual(bsdtar_read(archive, gone), b"one")
        self.assertEqual(bsdtar_read(archive, kept), b"two, grown")
        self.assertEqual(bsdtar_read(archive, "Inboxin~3.bkl"), b"new")
        lines = names_file.read_text(encoding="utf-8-sig").splitlines()
        self.assertTrue(any(line.startswith(f"{gone}\tC:\\maildata\\one.mb\\Inbox\\in.bkl\t3\t")
                            for line in lines), lines)  # with the size it was archived at

        # A stray line and a save as UTF-16 in Notepad lose nothing.
        names_file.write_bytes(names_file.read_bytes() + b" \r\n\x1a\r\n")
        self.assertEqual(run_program(folder).exit_code, 0)
        self.assertRegex(folder.log_lines()[-1], r"The unfit lines \d+, \d+ of the list of archive names")
        names_file.write_bytes(names_file.read_text(encoding="utf-8-sig").encode("utf-16"))
        make_files(self.data, {"two.mb/Inbox/in.bkl": "two, grown again"})
        self.assertEqual(run_program(folder).exit_code, 0)
        self.assertEqual(bsdtar_read(archive, kept), b"two, grown again")

        # The names file and its generations are lost, and the program is installed
        # anew: the archive's own list keeps every entry where it is.
        for lost in archive.parent.glob("QuarnLogsZip.rar.names*"):
            lost.unlink()
        make_files(self.data, {"two.mb/Inbox/in.bkl": "two, last"})
        reinstalled = ProgramFolder("reinstalled")
        self.assertEqual(run_program(reinstalled).exit_code, 0)
        self.assertIn("3 names were recovered from the archive's own headers", reinstalled.log_lines()[-1])
        self.assertEqual(bsdtar_read(archive, gone), b"one")
        self.assertEqual(bsdtar_read(archive, kept), b"two, grown again")
        # The new log's content is its entry's: it takes it back. Two was rewritten
        # shorter, so no entry is proven its own: it starts a new one, and nothing moves.
        self.assertEqual(bsdtar_read(archive, "Inboxin~3.bkl"), b"new")
        self.assertEqual(bsdtar_read(archive, "Inboxin~4.bkl"), b"two, last")
        self.assertEqual(len(bsdtar_list(archive)), 4)
        self.assertEqual(reinstalled.files(), OWN_FILES)

        # A damaged archive is set aside, never written again, and a new one made.
        names_file.unlink()
        damaged = bytearray(archive.read_bytes())
        damaged[7] ^= 0xFF  # the checksum of the archive's main header
        archive.write_bytes(bytes(damaged))
        run = run_program(reinstalled)
        self.assertEqual(run.exit_code, 16, run.texts)
        self.assertIn("It was set aside as C:\\Backups\\QuarnMail\\QuarnLogsZip.damaged-", run.boxes[0].text)
        aside = next(archive.parent.glob("QuarnLogsZip.damaged-*.rar"))
        self.assertEqual(aside.read_bytes(), bytes(damaged))
        # Every log, and what only the damaged archive held of the names its list's last
        # generation names: the removed account's last backup, and two's earlier entry.
        self.assertEqual(sorted(bsdtar_read(archive, n) for n in bsdtar_list(archive)),
                         [b"new", b"one", b"two, grown again", b"two, last"])
        self.assertEqual(reinstalled.staged(), {})
        self.assertEqual(run_program(reinstalled).exit_code, 0)

    def test_a_data_folder_at_a_drive_root_names_its_logs_by_their_file_names(self):
        drive = PREFIX / "dosdevices" / "m:"
        drive.unlink(missing_ok=True)
        drive.symlink_to(self.data)
        make_files(self.data, {"stray.bkl": "at the root", "acct/in.bkl": "in"})
        try:
            set_mail_client(data_dir="M:\\")
            folder = ProgramFolder("driveroot")
            for _ in range(2):  # and the names it made read back the next time
                run = run_program(folder)
                self.assertEqual(run.exit_code, 0, run.texts)
        finally:
            drive.unlink()
        self.assertEqual(bsdtar_list(unix_path(ARCHIVE)), ["acctin.bkl", "stray.bkl"])
        first, second = folder.log_lines()
        self.assertIn("exit 0  full run (the archive was missing): archived 2 logs", first)
        self.assertIn("exit 0  nothing changed (2 logs unchanged, the archiver was not started)", second)

    def test_a_program_kept_in_the_mail_data_folder_refuses_to_run_whatever_the_path(self):
        make_files(self.data, {"acct/in.bkl": "original", "in.bkl": "top"})
        link = DRIVE_C / "maillink"  # a link above the program's folder
        link.unlink(missing_ok=True)
        link.symlink_to(self.data)
        drive = PREFIX / "dosdevices" / "m:"  # the data folder under a second drive letter
        drive.unlink(missing_ok=True)
        drive.symlink_to(self.data)
        for data_dir, root in (("C:\\maildata\\", "C:\\maildata\\tools"),
                               ("C:\\maildata\\", "C:\\maillink\\tools"),
                               ("M:\\", "C:\\maildata\\tools")):
            with self.subTest(data_dir=data_dir, root=root):
                set_mail_client(data_dir=data_dir)
                folder = ProgramFolder("inside", windows_root=root)
                run = run_program(folder)
                self.assertEqual(run.exit_code, 3)
                self.assertIn("must not be kept in the mail data folder", run.boxes[0].text)
                self.assertEqual(folder.files(), ["QuarnBackup.log", "QuarnLogBackup.exe"])
                self.assertEqual((self.data / "acct" / "in.bkl").read_text(), "original")
                self.assertEqual((self.data / "in.bkl").read_text(), "top")
        drive.unlink()
        link.unlink()

    def test_logs_that_vanish_are_counted_and_all_of_them_gone_is_a_warning_that_touches_nothing(self):
        make_files(self.data, {"a/in.bkl": "a", "b/in.bkl": "b", "c/out.bks": "c"})
        folder = ProgramFolder("vanished")
        self.assertEqual(run_program(folder).exit_code, 0)
        (self.data / "a" / "in.bkl").unlink()
        (self.data / "c" / "out.bks").unlink()
        run = run_program(folder)
        self.assertEqual(run.exit_code, 0)
        self.assertNoBoxes(run)
        self.assertRegex(folder.log_lines()[-1], r"nothing changed \(1 log unchanged, the archiver was not started\) for .* s  "
                                                  r"2 logs known before have gone missing$")
        self.assertEqual([(e.kind, e.event_id) for e in run.events], [("warn", 100)])
        # Told once, on the run that first missed them: the next night is quiet.
        run = run_program(folder)
        self.assertEqual(run.exit_code, 0)
        self.assertRegex(folder.log_lines()[-1], r"nothing changed \(1 log unchanged, the archiver was not started\) for .* s$")
        self.assertEqual(run.events, [])

        names_file = unix_path(ARCHIVE + ".names")
        names = names_file.read_bytes()
        archive = unix_path(ARCHIVE).read_bytes()
        (self.data / "b" / "in.bkl").unlink()  # the mail client moved its data elsewhere
        run = run_program(folder)
        self.assertEqual(run.exit_code, 14)
        self.assertEqual(run.boxes[0].title, "QuarnBackupLogs Error")
        self.assertTrue(run.texts[0].startswith("The mail data folder C:\\maildata\\ (DataDir) holds no log "
                                                "files, but 3 logs were backed up from it before."), run.texts[0])
        self.assertEqual(names_file.read_bytes(), names)
        self.assertEqual(unix_path(ARCHIVE).read_bytes(), archive)
        self.assertEqual(folder.staged(), {})
        self.assertEqual([(e.kind, e.event_id) for e in run.events], [("warn", 114)])
        self.assertRegex(folder.log_lines()[-1], r"  exit 14  did nothing for ")

    def test_a_nearly_full_program_drive_stops_before_the_first_copy(self):
        # A small file system as drive Q:, where mounting one is allowed (CI runs as root).
        mount_point = Path(tempfile.mkdtemp(prefix="quarn-small-drive-"))
        if subprocess.run(["mount", "-t", "tmpfs", "-o", "size=12m", "tmpfs", str(mount_point)],
                          capture_output=True).returncode != 0:
            mount_point.rmdir()
            self.skipTest("no small file system can be mounted here; the fake platform covers it")
        self.addCleanup(mount_point.rmdir)
        self.addCleanup(subprocess.run, ["umount", str(mount_point)], check=True)
        drive = PREFIX / "dosdevices" / "q:"
        drive.unlink(missing_ok=True)
        drive.symlink_to(mount_point)
        self.addCleanup(drive.unlink)

        make_files(self.data, {f"acct{i}/in.bkl": b"x" * 1024 * 1024 for i in range(3)})
        folder = ProgramFolder("full", windows_root="Q:")
        run = run_program(folder)
        self.assertEqual(run.exit_code, 15)
        self.assertTrue(run.texts[0].startswith(
            "There is not enough free space for the copies of the 3 log files: they need 19.0 MB "
            "(16.0 MB of it kept free) on the drive of Q:\\full\\QuarnStaging, but only "), run.texts[0])
        self.assertEqual(folder.staged(), {})
        self.assertFalse(unix_path(ARCHIVE).exists())
        self.assertRegex(folder.log_lines()[-1], r"  exit 15  did nothing for ")
        self.assertEqual([(e.kind, e.event_id) for e in run.events], [("err", 115)])


if __name__ == "__main__":
    main()
