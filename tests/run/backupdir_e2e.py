"""Creating the backup directory level by level, with its messages, under Wine."""

import os
import shutil
import sys
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "wine"))
from quarn_wine import (BUILD_DIR, OWN_FILES, PREFIX, ProgramFolder, WineTestCase, bsdtar_list,  # noqa: E402
                        main, make_files, run_program, unix_path)

TITLE = "Quarn Logs Backup"


def map_drive(letter, target):
    """Gives the test prefix a drive letter for a folder of the build."""
    shutil.rmtree(target, ignore_errors=True)
    target.mkdir(parents=True)
    link = PREFIX / "dosdevices" / f"{letter}:"
    if link.is_symlink() or link.exists():
        link.unlink()
    os.symlink(target, link)


class BackupDirectory(WineTestCase):
    def setUp(self):
        super().setUp()
        make_files(self.data, {"acct/in.bkl": "one"})
        self.folder = ProgramFolder("backup-dir")

    def run_with(self, backup_dir, screenshot=None):
        self.folder.write_ini(backup_dir=backup_dir, zip_file="logs.rar", show_msg="1")
        return run_program(self.folder, screenshot=screenshot)

    def test_two_new_levels_show_eight_boxes_in_order(self):
        for existing in (None, "C:\\Backups"):
            with self.subTest(existing=existing):
                shutil.rmtree(unix_path("C:\\Backups"), ignore_errors=True)
                if existing:
                    unix_path(existing).mkdir()
                shot = BUILD_DIR / "backupdir-last-box.png"  # the last box, as a person sees it
                shot.unlink(missing_ok=True)
                run = self.run_with("C:\\Backups\\QuarnMail", screenshot=shot)
                self.assertEqual(run.exit_code, 0)
                self.assertTrue(shot.is_file())
                self.assertEqual([b.title for b in run.boxes], [TITLE] * 8)
                self.assertEqual(run.texts, [
                    "Backup Directory is : C:\\Backups\\QuarnMail",
                    "Drive is : C:\\",
                    "made dir : Backups",
                    "C:\\Backups",
                    "made dir : QuarnMail",
                    "C:\\Backups\\QuarnMail",
                    "Current Directory : C:\\e2e\\backup-dir\\QuarnStaging",
                    "Quarn Log files Backed Up",
                ])
                self.assertEqual(bsdtar_list(unix_path("C:\\Backups\\QuarnMail\\logs.rar")),
                                 ["acctin.bkl"])

    def test_an_existing_directory_shows_no_drive_or_level_boxes(self):
        unix_path("C:\\Backups\\QuarnMail").mkdir(parents=True)
        run = self.run_with("C:\\Backups\\QuarnMail")
        self.assertEqual(run.exit_code, 0)
        self.assertEqual(run.texts, ["Backup Directory is : C:\\Backups\\QuarnMail",
                                     "Current Directory : C:\\e2e\\backup-dir\\QuarnStaging",
                                     "Quarn Log files Backed Up"])

    def test_a_path_ending_in_a_separator_makes_nothing_for_its_empty_last_level(self):
        shutil.rmtree(unix_path("C:\\Arch"), ignore_errors=True)
        run = self.run_with("C:\\Arch\\")
        self.assertEqual(run.exit_code, 0)
        self.assertEqual(run.texts[1:6], ["Drive is : C:\\", "made dir : Arch", "C:\\Arch",
                                          "made dir : ", "C:\\Arch"])
        self.assertEqual(bsdtar_list(unix_path("C:\\Arch") / "logs.rar"), ["acctin.bkl"])

    def test_a_backup_directory_on_another_drive_leaves_the_run_in_the_program_folder(self):
        map_drive("q", BUILD_DIR / "e2e-drive-q")
        run = self.run_with("Q:\\Arch\\Mail")
        self.assertEqual(run.exit_code, 0, run.texts)
        self.assertEqual(run.texts[1:6], ["Drive is : Q:\\", "made dir : Arch", "Q:\\Arch",
                                          "made dir : Mail", "Q:\\Arch\\Mail"])
        self.assertEqual(run.texts[6], "Current Directory : C:\\e2e\\backup-dir\\QuarnStaging")
        self.assertEqual(bsdtar_list(BUILD_DIR / "e2e-drive-q" / "Arch" / "Mail" / "logs.rar"),
                         ["acctin.bkl"])
        self.assertEqual(self.folder.files(), OWN_FILES)
        self.assertEqual(sorted(p.name for p in (BUILD_DIR / "e2e-drive-q").iterdir()), ["Arch"])

    def test_a_path_in_the_form_windows_takes_as_it_is_is_created_level_by_level(self):
        run = self.run_with("\\\\?\\C:\\Backups\\Long")
        self.assertEqual(run.exit_code, 0, run.texts)
        self.assertEqual(bsdtar_list(unix_path("C:\\Backups\\Long") / "logs.rar"), ["acctin.bkl"])

    def test_paths_that_cannot_hold_the_archive_stop_with_an_error(self):
        make_files(unix_path("C:\\"), {"Backups/a file": "not a folder"})
        for backup_dir, code in (("Backups\\Mail", 5), ("\\Backups", 5), ("V:\\Backups", 6),
                                 ("C:\\Backups\\a file", 5)):
            with self.subTest(backup_dir=backup_dir):
                run = self.run_with(backup_dir)
                self.assertEqual(run.exit_code, code)
                last = run.boxes[-1]
                self.assertEqual(last.title, "QuarnBackupLogs Error")
                self.assertIn(backup_dir, last.text)
                self.assertIn("BackupDir", last.text)
                self.assertEqual(self.folder.files(),
                                 ["QuarnBackup.ini", "QuarnBackup.log", "QuarnLogBackup.exe"])


if __name__ == "__main__":
    main()
