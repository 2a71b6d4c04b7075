"""The mail client's registry values, read from the real registry under Wine."""

import sys
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "wine"))
from quarn_wine import (ProgramFolder, WineTestCase, bsdtar_list, main, make_files,  # noqa: E402
                        run_program, set_mail_client, unix_path)

OPTIONS_MESSAGE = ("You have not enabled Backup Incoming Messages \r\n"
                   "and Backup Outgoing Messages options in Becky.")
ARCHIVE = "C:\\Backups\\QuarnMail\\QuarnLogsZip.rar"


def utf16z(text):
    return (text + "\0").encode("utf-16-le")


class MailClientSettings(WineTestCase):
    def test_an_option_that_is_off_stops_with_the_options_message(self):
        folder = ProgramFolder("options-off")
        folder.write_ini(show_msg="0")
        for recv, sent in ((0, 1), (1, "0"), ("0", None)):
            with self.subTest(recv=recv, sent=sent):
                set_mail_client(recv=recv, sent=sent)
                run = run_program(folder)
                self.assertEqual(run.exit_code, 1)
                self.assertEqual([(b.title, b.text) for b in run.boxes],
                                 [("QuarnBackupLogs Error", OPTIONS_MESSAGE)])

    def test_a_run_stopped_by_the_options_reads_and_writes_no_settings(self):
        set_mail_client(sent=0)
        folder = ProgramFolder("options-off-first-run")
        run = run_program(folder)
        self.assertEqual(run.exit_code, 1)
        self.assertEqual(folder.files(), ["QuarnBackup.log", "QuarnLogBackup.exe"])

    def test_missing_options_do_not_stop_the_run(self):
        set_mail_client(recv=None, sent=None)
        make_files(self.data, {"acct/in.bkl": "one"})
        run = run_program(ProgramFolder("options-missing"))
        self.assertEqual(run.exit_code, 0)
        self.assertNoBoxes(run)

    def test_data_dir_with_or_without_its_trailing_separator(self):
        make_files(self.data, {"acct.one/in.bkl": "one", "out.bks": "two"})
        for data_dir in ("C:\\maildata\\", "C:\\maildata", ("2", utf16z("%SystemDrive%\\maildata"))):
            with self.subTest(data_dir=data_dir):
                set_mail_client(data_dir=data_dir)
                run = run_program(ProgramFolder("data-dir"))
                self.assertEqual(run.exit_code, 0, run.texts)
                self.assertEqual(bsdtar_list(unix_path(ARCHIVE)), ["acctonein.bkl", "maildataout.bks"])

    def test_an_unusable_data_dir_stops_with_its_own_error(self):
        folder = ProgramFolder("data-dir-missing")
        for data_dir, found in ((None, "is missing"), ("", "is empty"),
                                (12, "holds the number 12"), ("C:\\nowhere\\", "C:\\nowhere\\")):
            with self.subTest(data_dir=data_dir):
                set_mail_client(data_dir=data_dir)
                run = run_program(folder)
                self.assertEqual(run.exit_code, 2)
                self.assertEqual(len(run.boxes), 1)
                self.assertEqual(run.boxes[0].title, "QuarnBackupLogs Error")
                self.assertIn("DataDir", run.boxes[0].text)
                self.assertIn(found, run.boxes[0].text)
        self.assertFalse(unix_path("C:\\Backups").exists())


if __name__ == "__main__":
    main()
