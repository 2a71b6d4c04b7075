"""The generated mail data folders: every file of a data set, its bytes, and the
growth of some of its logs between two runs."""

import json
import random
import shutil
from dataclasses import asdict, dataclass, field

import quarn_wine as qw

SEED = 20260107
GENERATOR = 1  # part of each data set's stamp: bump it when layout() or text_pool() changes
KB = 1024
MB = 1024 * KB
POOL_SIZE = 512 * KB  # every file is cut from one text; a larger log repeats it
DATA_ROOT = "C:\\benchdata"
FOLDER_NAMES = ("!!!Inbox", "!!!!Outbox", "Trash")  # the mail client's own folders come first
OTHER_NAMES = ("Folder.idx", "Mail.bmf", "Folder.ini", "Notes.txt", "Rules.dat", "Index.tmp",
               "View.htm", "Draft.eml")


@dataclass(frozen=True)
class DataSet:
    kind: str  # mixed, small, growing, or wait (for the CPU share)
    logs: int
    folders: int
    sizes: tuple  # of a log in bytes: smallest, most common, largest
    others: int = 1  # non-log files in each folder
    large: int = 0  # this many logs have large_sizes instead: the few busy folders
    large_sizes: tuple = ()
    # Most program seconds per second of xcopy and of the batch loop; None: no target.
    xcopy_limit: float = field(default=None, compare=False)
    loop_limit: float = field(default=None, compare=False)

    @property
    def name(self):
        return f"{self.kind}-{self.logs}-{self.folders}"

    @property
    def windows(self):
        return f"{DATA_ROOT}\\{self.name}"

    def stamp(self):
        params = {k: v for k, v in asdict(self).items() if not k.endswith("_limit")}
        return dict(params, sizes=list(self.sizes), large_sizes=list(self.large_sizes), seed=SEED,
                    generator=GENERATOR)

# --- The data ---------------------------------------------------------------------------

@dataclass(frozen=True)
class DataFile:
    relative: str  # below the data folder, with /
    size: int
    offset: int  # into the text pool
    is_log: bool

    @property
    def name(self):
        return self.relative.split("/")[-1]

    def content(self, pool):
        return (pool[self.offset:] + pool * (self.size // POOL_SIZE + 1))[:self.size]


def text_pool():
    """Mail-like text that every file is cut from: the same bytes on every machine."""
    rng = random.Random(SEED)
    words = ("budget meeting invoice report project schedule thanks regards please attached "
             "review draft order delivery tomorrow monday agenda minutes contract offer").split()
    out = bytearray()
    while len(out) < POOL_SIZE:
        out += (f"From: user{rng.randrange(1000)}@example.com\r\nSubject: "
                f"{' '.join(rng.choices(words, k=4))}\r\n\r\n").encode()
        for _ in range(rng.randrange(3, 12)):
            out += (" ".join(rng.choices(words, k=rng.randrange(6, 14))) + "\r\n").encode()
        out += b"\r\n"
    return bytes(out[:POOL_SIZE])


def layout(ds):
    """Every file of a data set in the mail client's layout, account.mb\\folder\\file.
    Log names are unique across the set, so that even the flat batch loop must
    end with one copy of each."""
    rng = random.Random(f"{SEED}/{ds.name}")
    large = set(rng.sample(range(ds.logs), ds.large)) if ds.large else set()
    accounts = [f"{rng.getrandbits(32):08x}.mb" for _ in range(3)]
    folders = []
    for n in range(ds.folders):
        fixed = n // len(accounts)
        name = (FOLDER_NAMES[fixed] if fixed < len(FOLDER_NAMES)
                else f"Project.{n:04d}" if n % 5 == 0 else f"Folder{n:04d}")
        folders.append(f"{accounts[n % len(accounts)]}/{name}")
    files = []
    for i in range(ds.logs):
        extension = "bkl" if rng.random() < 0.7 else "bks"
        low, common, high = ds.large_sizes if i in large else ds.sizes
        size = round(rng.triangular(low, high, common))
        files.append(DataFile(f"{folders[i % ds.folders]}/{i:05d}.{extension}", size,
                              rng.randrange(max(1, POOL_SIZE - size)), True))
    for folder in folders:
        for name in OTHER_NAMES[:ds.others]:
            size = rng.randrange(64, KB)
            files.append(DataFile(f"{folder}/{name}", size, rng.randrange(POOL_SIZE - size), False))
    return files


def prepare(ds, pool):
    """The data set's files; written only when the prefix does not hold them yet."""
    files = layout(ds)
    root = qw.unix_path(ds.windows)
    stamp = root.with_name(ds.name + ".json")
    if root.is_dir() and stamp.is_file() and json.loads(stamp.read_text()) == ds.stamp():
        return files
    stamp.unlink(missing_ok=True)  # a half-written set must not pass for a whole one
    shutil.rmtree(root, ignore_errors=True)
    for f in files:
        path = root / f.relative
        path.parent.mkdir(parents=True, exist_ok=True)
        path.write_bytes(f.content(pool))
    stamp.write_text(json.dumps(ds.stamp()))
    return files


class Growth:
    """Some of a data set's logs with a day's new mail appended, as a mail client
    appends to its logs; undone afterwards, so that the data set is whole again.
    The stamp is away meanwhile: a benchmark that dies here leaves a set that is
    written anew next time."""

    def __init__(self, ds, files, pool, share):
        logs = sorted((f for f in files if f.is_log), key=lambda f: f.size)
        rng = random.Random(f"{SEED}/{ds.name}/growth")
        count = max(1, round(len(logs) * share))
        # The largest log is the inbox that grows every day; the rest fall where they may.
        self.grown = [logs[-1], *rng.sample(logs[:-1], count - 1)]
        self.root = qw.unix_path(ds.windows)
        self.stamp = self.root.with_name(ds.name + ".json")
        self.stamp_text = json.dumps(ds.stamp())
        self.added = {f.relative: pool[:rng.randrange(2 * KB, 8 * KB)] for f in self.grown}

    def __enter__(self):
        self.stamp.unlink()
        for relative, mail in self.added.items():
            with open(self.root / relative, "ab") as log:
                log.write(mail)
        return self

    def __exit__(self, *exc):
        for f in self.grown:
            with open(self.root / f.relative, "r+b") as log:
                log.truncate(f.size)
        self.stamp.write_text(self.stamp_text)
        return False
