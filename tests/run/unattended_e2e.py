"""Runs that nobody watches, end to end under Wine: no box where no one can see it,
one run at a time per program folder, bounded waits, runs killed midway, the run log."""

import os
import re
import subprocess
import sys
import tempfile
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "wine"))
from quarn_wine import (OWN_FILES, ProgramFolder, WineTestCase, bsdtar_list, main,  # noqa: E402
                        make_files, processes_of_this_prefix, run_program, set_mail_client,
                        start_program, unix_path, wine_env)

ARCHIVE = unix_path("C:\\Backups\\QuarnMail") / "QuarnLogsZip.rar"
HIDDEN_STATION = os.environ["QUARN_HIDDENSTATION"]
STAMP = r"\d{4}-\d\d-\d\d \d\d:\d\d:\d\d"


def archivers():
    """Stand-in archivers running: Wine shows a process by its Windows command line,
    which names the archiver by its full path."""
    return processes_of_this_prefix(r'(^|[\\/])rar(\.exe)?"? a ')


class Signal:
    """A file the stand-in archiver creates when it runs (started) or waits for
    before it goes on (gate), as the environment of a run names it."""

    def __init__(self, name):
        self.windows = f"C:\\e2e-signals\\{name}"
        self.path = unix_path(self.windows)
        self.path.parent.mkdir(parents=True, exist_ok=True)
        self.path.unlink(missing_ok=True)

    def raised(self):
        return self.path.exists()

    def raise_(self):
        self.path.touch()


def wait_for(condition, what, timeout=120):
    deadline = time.monotonic() + timeout
    while not condition():
        if time.monotonic() > deadline:
            raise AssertionError(f"still waiting for {what} after {timeout} s")
        time.sleep(0.02)


class Unattended(WineTestCase):
    def assertArchiveHoldsEveryLog(self, folder, logs):
        """Every log under the name the names file gives it, byte for byte."""
        names = {}
        for line in ARCHIVE.with_name(ARCHIVE.name + ".names").read_text(encoding="utf-8-sig").splitlines():
            if not line.startswith(":"):  # the list's own lines
                name, path = line.split("\t")[:2]
                names[name] = path
        with tempfile.TemporaryDirectory() as extracted:
            subprocess.run(["bsdtar", "-xf", str(ARCHIVE), "-C", extracted], check=True,
                           env=dict(os.environ, LC_ALL="C.UTF-8"))
            archived = {p.name: p.read_bytes() for p in Path(extracted).iterdir()}
        expected = {name: logs[path.removeprefix("C:\\maildata\\").replace("\\", "/")].encode()
                    for name, path in names.items()}
        self.assertEqual(len(archived), len(logs))
        self.assertTrue(archived == expected, "the archive does not hold the logs as they are")

    def test_where_no_one_can_see_a_box_none_is_shown_and_the_run_log_says_it(self):
        make_files(self.data, {"acct/in.bkl": "one"})
        folder = ProgramFolder("unseen")
        folder.write_ini(show_msg="1")
        run = run_program(folder, launcher=HIDDEN_STATION)
        self.assertEqual(run.exit_code, 0)
        self.assertNoBoxes(run)
        set_mail_client(recv=0)
        run = run_program(folder, launcher=HIDDEN_STATION)
        self.assertEqual(run.exit_code, 1)
        self.assertNoBoxes(run)
        self.assertEqual(bsdtar_list(ARCHIVE), ["acctin.bkl"])

        first, second = folder.log_lines()
        self.assertRegex(first, f"^{STAMP}  exit 0  full run \\(the archive was missing\\): archived 1 log to "
                                r"C:\\Backups\\QuarnMail\\QuarnLogsZip\.rar in \d+\.\d s$")
        self.assertRegex(second, f"^{STAMP}  exit 1  did nothing in \\d+\\.\\d s  You have not "
                                 r"enabled Backup Incoming Messages  \| and Backup Outgoing "
                                 r"Messages options in Becky\.$")
        self.assertTrue((folder.path / "QuarnBackup.log").read_bytes().startswith(b"\xef\xbb\xbf"))

    def test_a_second_run_from_the_same_folder_does_nothing_while_another_folder_runs(self):
        logs = {f"acct{i}/in.bkl": f"log {i}" for i in range(30)}
        make_files(self.data, logs)
        folder = ProgramFolder("twice")
        elsewhere = ProgramFolder("elsewhere")
        elsewhere.write_ini(backup_dir="C:\\Backups\\Elsewhere")
        started, gate = Signal("started"), Signal("gate")
        first = start_program(folder, extra_env={"RAR_STANDIN_STARTED": started.windows,
                                                 "RAR_STANDIN_GATE": gate.windows})
        try:
            wait_for(started.raised, "the first run's archiver")
            second = run_program(folder)
            self.assertEqual(second.exit_code, 12)
            self.assertEqual(second.texts, ["Another backup run from C:\\e2e\\twice is in progress. "
                                            "This run did nothing."])
            self.assertEqual(run_program(elsewhere).exit_code, 0)
        finally:
            gate.raise_()
            self.assertEqual(first.wait(timeout=300), 0)
        self.assertArchiveHoldsEveryLog(folder, logs)
        self.assertEqual(len(bsdtar_list(unix_path("C:\\Backups\\Elsewhere") / "QuarnLogsZip.rar")), 30)
        busy, done = folder.log_lines()
        self.assertRegex(busy, r"  exit 12  did nothing in \d+\.\d s  Another backup run")
        self.assertRegex(done, r"  exit 0  full run \(the archive was missing\): archived 30 logs to ")

    def test_an_archiver_killed_with_its_run_or_ended_after_its_time_leaves_nothing_behind(self):
        logs = {"acct/in.bkl": "one", "acct/out.bks": "two"}
        make_files(self.data, logs)
        folder = ProgramFolder("hang")
        started, never = Signal("started"), Signal("never")
        hanging = {"RAR_STANDIN_STARTED": started.windows, "RAR_STANDIN_GATE": never.windows}
        run = start_program(folder, extra_env=hanging)
        wait_for(started.raised, "the archiver")
        self.assertEqual(len(archivers()), 1)
        run.kill()  # as Task Scheduler ends a task: the archiver must go with it
        run.wait()
        wait_for(lambda: not archivers(), "the archiver to be ended")

        # Only the archiver's bound is short: the listing keeps its own.
        run = run_program(folder, extra_env=dict(hanging, QUARN_TEST_ARCHIVER_SECONDS="3"))
        self.assertEqual(run.exit_code, 13)
        self.assertIn("The RAR archiver did not end within 3 seconds", run.texts[0])
        self.assertIn("C:\\e2e\\hang\\QuarnStaging; the next run tries again", run.texts[0])
        self.assertEqual(archivers(), [])
        self.assertEqual(sorted(folder.staged()), ["acctin.bkl", "acctout.bks"])

        self.assertEqual(run_program(folder).exit_code, 0)
        self.assertArchiveHoldsEveryLog(folder, logs)
        self.assertEqual(folder.files(), OWN_FILES)
        self.assertEqual(folder.staged(), {})
        self.assertEqual([re.sub(f"^{STAMP}  ", "", line)[:7] for line in folder.log_lines()],
                         ["exit 13", "exit 0 "])

    def test_a_run_killed_while_copying_loses_nothing_and_the_next_run_completes(self):
        logs = {f"acct{i % 40}.mb/box{i % 7}/log{i}.bkl": f"log {i}\r\n" * (i % 50 + 1)
                for i in range(3000)}
        make_files(self.data, logs)
        folder = ProgramFolder("killed")
        run = start_program(folder)

        def copying_is_under_way():
            self.assertIsNone(run.poll(), "the run ended before it could be killed")
            return len(folder.staged()) >= 300
        wait_for(copying_is_under_way, "300 copies")
        run.kill()
        run.wait()
        self.assertLess(len(folder.staged()), 3000)
        for relative, content in logs.items():
            self.assertEqual((self.data / relative).read_bytes(), content.encode(), relative)

        rerun = run_program(folder, timeout=600)
        self.assertEqual(rerun.exit_code, 0, rerun.texts)
        self.assertArchiveHoldsEveryLog(folder, logs)
        self.assertEqual(folder.files(), OWN_FILES)
        self.assertEqual(folder.staged(), {})
        (line,) = folder.log_lines()  # the killed run had nothing to say
        self.assertRegex(line, f"^{STAMP}  exit 0  full run \\(.*\\): archived 3,000 logs to ")

    def test_a_line_the_held_run_log_cannot_take_arrives_late_and_trouble_reaches_the_event_log(self):
        make_files(self.data, {"acct/in.bkl": "one"})
        folder = ProgramFolder("held-log")
        self.assertEqual(run_program(folder).exit_code, 0)
        (first,) = folder.log_lines()
        holder = subprocess.Popen(["wine", os.environ["QUARN_HOLDFILE"], "C:\\e2e\\held-log\\QuarnBackup.log"],
                                  env=wine_env(), stdin=subprocess.PIPE, stdout=subprocess.PIPE)
        try:
            self.assertEqual(holder.stdout.readline().strip(), b"held")
            set_mail_client(recv=0)
            refused = run_program(folder)
        finally:
            holder.communicate(b"", timeout=30)
        self.assertEqual(refused.exit_code, 1)  # as it would be with the log free
        self.assertIn("You have not enabled Backup Incoming Messages", refused.texts[0])
        self.assertEqual(folder.log_lines(), [first])
        pending = (folder.path / "QuarnBackup.pending.log").read_bytes().decode("utf-8").splitlines()
        self.assertEqual(len(pending), 1)
        self.assertRegex(pending[0], f"^{STAMP}  exit 1  did nothing in ")
        (event,) = refused.events
        self.assertEqual((event.kind, event.event_id), ("err", 101))
        self.assertTrue(event.text.startswith(pending[0][:200]), event.text)

        set_mail_client()
        run = run_program(folder)
        self.assertEqual(run.exit_code, 0)
        self.assertEqual(run.events, [])
        self.assertEqual(folder.log_lines()[:2], [
            first, pending[0] + "  (late: QuarnBackup.log could not be written when this run ended)"])
        self.assertRegex(folder.log_lines()[2], f"^{STAMP}  exit 0  nothing changed \\(1 log unchanged, "
                                                 r"the archiver was not started\) for ")
        self.assertEqual(folder.files(), OWN_FILES)


if __name__ == "__main__":
    main()
