"""Listing the log files through the batch file and staging their copies, under Wine.

The stand-in archiver is told to fail in most of these tests, so that the staged
copies stay in the program's folder to be checked against the originals.
"""

import os
import subprocess
import sys
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "wine"))
from quarn_wine import (OWN_FILES, ProgramFolder, WineTestCase, bsdtar_list, bsdtar_read, main,  # noqa: E402
                        make_files, run_program, set_mail_client, unix_path, wine_env)

KEEP_COPIES = {"RAR_STANDIN_EXIT": "1"}  # the archiver fails and leaves the copies alone
ARCHIVE = "C:\\Backups\\QuarnMail\\QuarnLogsZip.rar"


class LogCollection(WineTestCase):
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
        self.assertIn("exit code 1", run.boxes[-1].text)
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
        for name in ("mail data & (old) ^ 100% !x!", "m %cd% %PATH% x"):
            with self.subTest(name=name):
                run, staged = self.stage({"acct/in.bkl": name, "in.bks": "top"},
                                         data_dir="C:\\" + name, folder_name="special")
                flat = name.replace(".", "")
                self.assertEqual(staged, {"acctin.bkl": name.encode(), flat + "in.bks": b"top"})

    def test_accented_names_on_a_western_system(self):
        run, staged = self.stage({"Müller.acct/Éingang.bkl": "é", "Réseau/Ω€.bks": "euro"},
                                 data_dir="C:\\Grüße Mail")
        self.assertEqual(staged, {"MülleracctÉingang.bkl": "é".encode(), "RéseauΩ€.bks": b"euro"})

    def test_a_data_dir_the_interpreter_cannot_read_stops_clearly(self):
        run, staged = self.stage({"acct/in.bkl": "x"}, data_dir="C:\\Mail €uro")
        self.assertEqual(run.exit_code, 7)
        self.assertIn("C:\\Mail €uro", run.boxes[-1].text)
        self.assertEqual(staged, {})

    def test_japanese_names_including_a_trailing_byte_of_backslash(self):
        # 表 and ソ end in the byte 0x5C in Shift-JIS.
        run, staged = self.stage({"表計算.box/ソフト.bkl": "表", "受信/予定表.bks": "ソ"},
                                 data_dir="C:\\メール表", locale="ja_JP.UTF-8", folder_name="日本")
        self.assertEqual(staged, {"表計算boxソフト.bkl": "表".encode(), "受信予定表.bks": "ソ".encode()})

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
        self.assertIn("C:\\maildata\\acct\\held.bkl", run.boxes[0].text)
        self.assertEqual(bsdtar_list(unix_path(ARCHIVE)), ["acctfree.bks"])

    def test_two_logs_with_one_flattened_name_both_reach_the_archive(self):
        make_files(self.data, {"a.b/x.bkl": "from a.b", "ab/x.bkl": "from ab"})
        run = run_program(ProgramFolder("collision"))
        self.assertEqual(run.exit_code, 0)
        archive = unix_path(ARCHIVE)
        names = bsdtar_list(archive)
        self.assertEqual(names, ["abx.bkl", "abx~2.bkl"])
        self.assertEqual(sorted(bsdtar_read(archive, n) for n in names), [b"from a.b", b"from ab"])

    def test_a_program_kept_in_the_mail_data_folder_refuses_to_run(self):
        make_files(self.data, {"acct/in.bkl": "original"})
        folder = ProgramFolder("inside", windows_root="C:\\maildata\\tools")
        run = run_program(folder)
        self.assertEqual(run.exit_code, 3)
        self.assertIn("must not be kept in the mail data folder", run.boxes[0].text)
        self.assertEqual(folder.files(), ["QuarnBackup.log", "QuarnLogBackup.exe"])
        self.assertTrue((self.data / "acct" / "in.bkl").exists())


if __name__ == "__main__":
    main()
