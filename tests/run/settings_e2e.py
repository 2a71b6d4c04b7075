"""The run's settings file and progress messages, end to end under Wine."""

import sys
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "wine"))
from quarn_wine import ProgramFolder, WineTestCase, main, make_files, run_program, unix_path  # noqa: E402

DEFAULT_INI = (b"[BackupDirectory]\r\nBackupDir=C:\\Backups\\QuarnMail\r\n"
               b"[ZipFiles]\r\nZipFile=QuarnLogsZip.rar\r\n"
               b"[ShowMessages]\r\nShowMsg=0\r\n")


class SettingsFile(WineTestCase):
    def test_first_run_writes_the_defaults_and_shows_nothing(self):
        make_files(self.data, {"acct/in.bkl": "one"})
        folder = ProgramFolder("first-run")
        run = run_program(folder, cwd="C:\\windows")  # started from another folder
        self.assertEqual(run.exit_code, 0)
        self.assertNoBoxes(run)
        # UTF-16 with its byte-order mark, which Notepad keeps when the user saves it.
        self.assertEqual(folder.ini.read_bytes(), b"\xff\xfe" + DEFAULT_INI.decode().encode("utf-16-le"))
        self.assertTrue(unix_path("C:\\Backups\\QuarnMail").is_dir())
        self.assertFalse((unix_path("C:\\windows") / "QuarnBackup.ini").exists())

    def test_only_exactly_1_turns_the_messages_on(self):
        folder = ProgramFolder("show-msg")
        for value in ("yes", "01", ""):
            with self.subTest(value=value):
                folder.write_ini(backup_dir="C:\\Backups\\QuarnMail", zip_file="x.rar", show_msg=value)
                run = run_program(folder)
                self.assertEqual(run.exit_code, 0)
                self.assertNoBoxes(run)
        # The empty value was missing, so its default was written back.
        self.assertIn(b"ShowMsg=0\r\n", folder.ini.read_bytes())

        folder.write_ini(backup_dir="C:\\Backups\\QuarnMail", zip_file="x.rar", show_msg="1")
        run = run_program(folder)
        self.assertEqual(run.exit_code, 0)
        self.assertEqual([b.title for b in run.boxes], ["Quarn Logs Backup"] * 3)
        self.assertEqual(run.texts, ["Backup Directory is : C:\\Backups\\QuarnMail",
                                     "Current Directory : C:\\e2e\\show-msg\\QuarnStaging",
                                     "Quarn Log files Backed Up"])

    def test_an_edited_setting_takes_effect_and_the_file_stays_untouched(self):
        folder = ProgramFolder("edited")
        folder.write_ini(backup_dir="C:\\Archive\\Mail", zip_file="mine.rar", show_msg="0")
        before = folder.ini.read_bytes()
        make_files(self.data, {"acct/in.bkl": "one"})
        run = run_program(folder)
        self.assertEqual(run.exit_code, 0)
        self.assertEqual(folder.ini.read_bytes(), before)
        self.assertTrue((unix_path("C:\\Archive\\Mail") / "mine.rar").is_file())

    def test_a_utf8_file_without_a_byte_order_mark_is_read_and_written_as_utf8(self):
        folder = ProgramFolder("utf8")
        edited = "[BackupDirectory]\r\nBackupDir=C:\\Backups\\Müller Sicherung\r\n".encode("utf-8")
        folder.ini.write_bytes(edited)
        make_files(self.data, {"acct/in.bkl": "one"})
        run = run_program(folder)
        self.assertEqual(run.exit_code, 0, run.texts)
        self.assertTrue((unix_path("C:\\Backups") / "Müller Sicherung" / "QuarnLogsZip.rar").is_file())
        self.assertEqual(sorted(p.name for p in unix_path("C:\\Backups").iterdir()), ["Müller Sicherung"])
        self.assertEqual(folder.ini.read_bytes(),
                         edited + b"[ZipFiles]\r\nZipFile=QuarnLogsZip.rar\r\n[ShowMessages]\r\nShowMsg=0\r\n")

    def test_a_value_of_300_characters_is_read_as_its_first_254(self):
        folder = ProgramFolder("long-value")
        long_dir = "C:\\Backups\\" + "d" * 289  # 300 characters
        folder.write_ini(backup_dir=long_dir, zip_file="x.rar", show_msg="1")
        run = run_program(folder)
        self.assertEqual(run.boxes[0].title, "Quarn Logs Backup")
        self.assertTrue(run.boxes[0].text.startswith("Backup Directory is : C:\\Backups\\ddd"))
        self.assertIn(("BackupDir=" + long_dir + "\r\n").encode(), folder.ini.read_bytes())
        # The 254 characters read name a folder whose last level is 243 characters long.
        created = unix_path("C:\\Backups") / ("d" * 243)
        self.assertTrue(created.is_dir(), sorted(p.name[:5] for p in created.parent.iterdir()))
        self.assertEqual(run.exit_code, 0)


if __name__ == "__main__":
    main()
