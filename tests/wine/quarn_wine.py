"""Runs QuarnLogBackup.exe under Wine the way a person meets it.

Each message box is found on the display by its title with xdotool, its text is
read from Wine's +msgbox debug channel, and it is dismissed with Return. The
Wine session (display and prefix) is started by session.sh before the tests.
"""

import os
import re
import shutil
import subprocess
import tempfile
import time
import unittest
from dataclasses import dataclass, field
from pathlib import Path

BUILD_DIR = Path(os.environ["QUARN_BUILD_DIR"])
EXE = Path(os.environ["QUARN_EXE"])
RAR = Path(os.environ["QUARN_RAR"])
# The forwarder to the real archiver (tests/fixtures/realrar), where the build has one.
REAL_RAR = Path(os.environ["QUARN_REALRAR"]) if os.environ.get("QUARN_REALRAR") else None
HERE = Path(__file__).resolve().parent
PREFIX = BUILD_DIR / "wineprefix"
DRIVE_C = PREFIX / "drive_c"
TITLES = ("Quarn Logs Backup", "QuarnBackupLogs Error")
MAIL_KEY = r"HKEY_CURRENT_USER\Software\RimArts\Quarn\Settings"
# What a complete run leaves in its program folder.
OWN_FILES = ["QuarnBackup.ini", "QuarnBackup.log", "QuarnLogBackup.exe", "QuarnStaging"]


def wine_env(locale="en_US.UTF-8", extra=None):
    """The environment of wine-env.sh, which every Wine call of the project uses."""
    base = dict(os.environ, QUARN_LOCALE=locale)
    base.pop("WINEPATH", None)
    dump = subprocess.run(["bash", "-c", f'source "{HERE / "wine-env.sh"}" && env -0'], env=base,
                          capture_output=True, check=True).stdout.decode()
    env = dict(item.split("=", 1) for item in dump.split("\0") if "=" in item)
    env.update(extra or {})
    return env


def unix_path(windows_path):
    """C:\\a\\b -> the prefix's drive_c/a/b; other drives through dosdevices."""
    drive, rest = windows_path[0].lower(), windows_path[2:].strip("\\")
    root = PREFIX / "dosdevices" / f"{drive}:"
    return root.resolve() / Path(*rest.split("\\")) if rest else root.resolve()


def decode_debugstr(literal):
    """Undoes Wine's debugstr_w escaping: \\n, \\r, \\t, \\", \\\\ and \\XXXX."""
    out, i = [], 0
    while i < len(literal):
        c = literal[i]
        if c != "\\":
            out.append(c)
            i += 1
            continue
        nxt = literal[i + 1]
        if nxt in 'nrt"\\':
            out.append({"n": "\n", "r": "\r", "t": "\t"}.get(nxt, nxt))
            i += 2
        else:
            out.append(chr(int(literal[i + 1 : i + 5], 16)))
            i += 5
    return "".join(out)


@dataclass
class Box:
    title: str
    text: str  # Wine's debug channel cuts texts of about 290 characters


@dataclass
class Event:
    kind: str  # "err" or "warn"
    event_id: int
    text: str  # each line of it cut like a box's text


@dataclass
class Run:
    exit_code: int
    boxes: list = field(default_factory=list)
    events: list = field(default_factory=list)  # reported to the Application event log

    @property
    def texts(self):
        return [box.text for box in self.boxes]


def xdotool(env, *args):
    result = subprocess.run(["xdotool", *args], env=env, capture_output=True, text=True)
    return result.stdout.strip()


class ProgramFolder:
    """A fresh folder with a copy of the program, like a user's install."""

    def __init__(self, name, windows_root="C:\\e2e"):
        self.windows = f"{windows_root}\\{name}"
        self.path = unix_path(self.windows)
        shutil.rmtree(self.path, ignore_errors=True)
        self.path.mkdir(parents=True)
        shutil.copy2(EXE, self.path / "QuarnLogBackup.exe")

    @property
    def ini(self):
        return self.path / "QuarnBackup.ini"

    def write_ini(self, backup_dir=None, zip_file=None, show_msg=None):
        lines = []
        for section, key, value in (("BackupDirectory", "BackupDir", backup_dir),
                                    ("ZipFiles", "ZipFile", zip_file),
                                    ("ShowMessages", "ShowMsg", show_msg)):
            if value is not None:
                lines += [f"[{section}]", f"{key}={value}"]
        self.ini.write_bytes(("\r\n".join(lines) + "\r\n").encode("cp1252"))

    @property
    def staging(self):
        return self.path / "QuarnStaging"

    def files(self):
        return sorted(p.name for p in self.path.iterdir())

    def staged(self):
        """The copies waiting in the staging folder and its subfolders, as {name: bytes}."""
        copies = {}
        for path in self.staging.rglob("*"):
            try:
                if path.is_file():
                    copies[path.name] = path.read_bytes()
            except FileNotFoundError:  # renamed or taken away by a run meanwhile
                pass
        return copies

    def log_lines(self):
        """The run log without its byte-order mark, one entry per run."""
        text = (self.path / "QuarnBackup.log").read_bytes().decode("utf-8")
        return text.removeprefix("\ufeff").splitlines()


def set_mail_client(data_dir="C:\\maildata\\", recv=1, sent=1):
    """Replaces the mail client's registry values. A value of None is left out;
    an int is a REG_DWORD, a str a REG_SZ, a (hex type, bytes) tuple raw data."""
    lines = ["Windows Registry Editor Version 5.00", "",
             r"[-HKEY_CURRENT_USER\Software\RimArts]", "", f"[{MAIL_KEY}]"]
    for name, value in (("DataDir", data_dir), ("RecvBackLog", recv), ("SentBackLog", sent)):
        if value is None:
            continue
        if isinstance(value, int):
            lines.append(f'"{name}"=dword:{value:08x}')
        elif isinstance(value, tuple):
            kind, data = value
            lines.append(f'"{name}"=hex({kind}):' + ",".join(f"{b:02x}" for b in data))
        else:
            escaped = value.replace("\\", "\\\\").replace('"', '\\"')
            lines.append(f'"{name}"="{escaped}"')
    reg_file = DRIVE_C / "e2e-mailclient.reg"
    reg_file.parent.mkdir(parents=True, exist_ok=True)
    reg_file.write_bytes(("\r\n".join(lines) + "\r\n").encode("utf-16"))
    subprocess.run(["wine", "reg", "import", "C:\\e2e-mailclient.reg"], env=wine_env(),
                   check=True, capture_output=True)


def put_archiver_on_path(folder="C:\\e2e-tools", real=False):
    """The stand-in rar.exe, or with real the forwarder to the real archiver, found
    through PATH like the real archiver."""
    target = unix_path(folder)
    target.mkdir(parents=True, exist_ok=True)
    shutil.copy2(REAL_RAR if real else RAR, target / "rar.exe")
    return folder


def program_env(locale="en_US.UTF-8", archiver_path="C:\\e2e-tools", extra_env=None):
    """The environment a run of the program gets: boxes on Wine's debug channel and
    the stand-in archiver on its search path."""
    env = wine_env(locale, extra_env)
    # Wine's event log only traces: the call with its event ID, then each line of its text.
    env["WINEDEBUG"] = "-all,+msgbox,+eventlog,fixme+advapi"
    if archiver_path:
        env["WINEPATH"] = archiver_path
    return env


def start_program(folder, cwd="C:\\", locale="en_US.UTF-8", archiver_path="C:\\e2e-tools",
                  extra_env=None, stderr=subprocess.DEVNULL, launcher=None, env=None):
    """Starts the program of a ProgramFolder without waiting for it; a launcher
    program, when given, starts it and passes on its exit code."""
    env = env or program_env(locale, archiver_path, extra_env)
    command = ["wine", *([str(launcher)] if launcher else []), str(folder.path / "QuarnLogBackup.exe")]
    return subprocess.Popen(command, cwd=unix_path(cwd), env=env, stdout=subprocess.DEVNULL,
                            stderr=stderr)


def run_program(folder, cwd="C:\\", locale="en_US.UTF-8", archiver_path="C:\\e2e-tools",
                extra_env=None, timeout=120, screenshot=None, launcher=None):
    """Runs the program of a ProgramFolder and answers every box with Return."""
    env = program_env(locale, archiver_path, extra_env)
    # A file, not a pipe: a process the run leaves behind must not hold up the test.
    stderr = tempfile.TemporaryFile()
    process = start_program(folder, cwd, stderr=stderr, launcher=launcher, env=env)
    titles, answered = [], set()
    deadline = time.monotonic() + timeout
    pattern = "^(" + "|".join(re.escape(t) for t in TITLES) + ")$"
    while process.poll() is None:
        if time.monotonic() > deadline:
            process.kill()
            raise AssertionError(f"QuarnLogBackup.exe still running after {timeout} s; "
                                 f"boxes so far: {titles}")
        visible = xdotool(env, "search", "--onlyvisible", "--name", pattern).split()
        answered &= set(visible)  # a closed box's window id may come back for the next box
        for window in visible:
            if window in answered:
                continue
            time.sleep(0.2)  # let the box finish drawing, as a person would
            if screenshot and not answered:
                subprocess.run(["import", "-window", "root", str(screenshot)], env=env)
            titles.append(xdotool(env, "getwindowname", window))
            xdotool(env, "key", "--window", window, "Return")
            answered.add(window)
        time.sleep(0.1)
    stderr.seek(0)
    log = stderr.read().decode("utf-8", "replace")
    stderr.close()
    found = re.findall(r'MSGBOX_OnInit L"((?:[^"\\]|\\.)*)"', log)
    if len(found) != len(titles):
        raise AssertionError(f"{len(found)} box texts but {len(titles)} boxes: {found} {titles}")
    return Run(process.returncode, [Box(title, decode_debugstr(text)) for title, text in zip(titles, found)],
               traced_events(log))


def traced_events(log):
    events = []
    for line in log.splitlines():
        call = re.search(r"fixme:advapi:ReportEventW \([^,]*,0x[0-9a-f]+,0x[0-9a-f]+,0x([0-9a-f]+),", line)
        text = re.search(r'(err|warn):eventlog:ReportEventW L"((?:[^"\\]|\\.)*)"', line)
        if call:
            events.append(Event("", int(call.group(1), 16), ""))
        elif text and events:
            events[-1].kind = text.group(1)
            events[-1].text += decode_debugstr(text.group(2))
    return events


def make_files(root, files):
    """files: {relative unix path: bytes or str}."""
    for relative, content in files.items():
        path = Path(root) / relative
        path.parent.mkdir(parents=True, exist_ok=True)
        path.write_bytes(content.encode() if isinstance(content, str) else content)


def bsdtar_list(archive):
    result = subprocess.run(["bsdtar", "-tf", str(archive)], capture_output=True, check=True,
                            env=dict(os.environ, LC_ALL="C.UTF-8"))
    return sorted(result.stdout.decode("utf-8").splitlines())


def bsdtar_read(archive, name):
    return subprocess.run(["bsdtar", "-xOf", str(archive), name], capture_output=True, check=True,
                          env=dict(os.environ, LC_ALL="C.UTF-8")).stdout


def command_lines(pid):
    """How a process of Wine's names itself. Wine writes the Windows command line over
    its own; a 32-bit process under the i386 emulator shows the emulator's instead:
    the emulator, the Wine loader twice, the program's path and its arguments. That
    one is shown as the program's name, with and without ".exe", and its arguments."""
    args = Path(f"/proc/{pid}/cmdline").read_bytes().rstrip(b"\0").decode("utf-8", "replace").split("\0")
    if len(args) < 4 or not args[0].endswith("-binfmt-P"):
        return [" ".join(args)]
    name = re.split(r"[\\/]", args[3])[-1]
    rest = "".join(" " + arg for arg in args[4:])
    return [name + rest, re.sub(r"\.exe$", "", name, flags=re.IGNORECASE) + rest]


def processes_of_this_prefix(pattern):
    """PIDs of the processes whose command line matches the pattern and that run in
    this build's Wine prefix (other builds may run tests beside this one)."""
    mine = []
    for proc in Path("/proc").iterdir():
        try:
            if not proc.name.isdigit() or f"WINEPREFIX={PREFIX}".encode() not in \
                    (proc / "environ").read_bytes().split(b"\0"):
                continue
            if any(re.search(pattern, line) for line in command_lines(proc.name)):
                mine.append(int(proc.name))
        except OSError:  # ended meanwhile, or not ours to read
            continue
    return mine


def end_stray_processes():
    """Ends, by PID, any program or stand-in archiver that a case left running."""
    for pid in processes_of_this_prefix(r'QuarnLogBackup\.exe|(^|[\\/])rar(\.exe)?"? '):
        try:
            os.kill(pid, 9)
        except ProcessLookupError:
            pass


class WineTestCase(unittest.TestCase):
    """Each test starts from a known mail client and an archiver on PATH, and ends
    whatever it started."""

    maxDiff = None

    def setUp(self):
        end_stray_processes()
        self.addCleanup(end_stray_processes)
        put_archiver_on_path()
        self.data = unix_path("C:\\maildata")
        shutil.rmtree(self.data, ignore_errors=True)
        self.data.mkdir(parents=True)
        shutil.rmtree(unix_path("C:\\Backups"), ignore_errors=True)
        set_mail_client()

    def assertNoBoxes(self, run):
        self.assertEqual(run.boxes, [])


def main():
    unittest.main(verbosity=2)
