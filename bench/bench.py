#!/usr/bin/env python3
"""How fast QuarnLogBackup.exe collects the mail client's logs, under Wine.

Each data set is a generated mail data folder. The whole program run (with the
stand-in archiver told to write no archive, so that only the program is timed)
is set against xcopy, the copy limit under Wine, and against the batch loop a
user would write instead. It also measures the program's CPU share while it
waits for the listing of a large data folder, its peak working set, and what
the nights after the first cost: a run with nothing changed and one after 1 %
of the logs grew, each set against the first run, with a real archive: written
by the stand-in archiver, and again by the real one (through the forwarder of
tests/fixtures/realrar) where it is installed.

Needs a running Wine session (tests/wine/session.sh) and QUARN_BUILD_DIR,
QUARN_EXE, QUARN_RAR and QUARN_REALRAR in the environment, as the end-to-end tests do;
bench/run.sh provides all of it. --smoke runs tiny data sets once and writes
into the build folder.
"""

import argparse
import statistics
import sys
from dataclasses import dataclass, field
from pathlib import Path

BENCH = Path(__file__).resolve().parent
sys.path.insert(0, str(BENCH.parent / "tests" / "wine"))
import quarn_wine as qw  # noqa: E402  reads QUARN_BUILD_DIR, QUARN_EXE and QUARN_RAR
from datasets import KB, MB, DataSet, Growth, prepare, text_pool  # noqa: E402
from report import report  # noqa: E402
from runner import MADE_ARCHIVE, BrokenRun, Runner  # noqa: E402

MIXED = (2 * KB, 18 * KB, 200 * KB)  # triangular: 73 KB on average, 220 MB for 3,000 logs
SMALL = (512, 1 * KB, 4 * KB)
FULL_SETS = (
    DataSet("mixed", 300, 30, MIXED),
    DataSet("mixed", 3000, 300, MIXED, xcopy_limit=1.5, loop_limit=0.6),
    DataSet("small", 2000, 500, SMALL),
    DataSet("small", 20000, 500, SMALL, xcopy_limit=1.3),
)
FULL_WAIT = DataSet("wait", 6, 3000, SMALL, others=8)
# 1,988 logs of 107 KB on average and 12 of 16 MB: about 400 MB.
FULL_GROWING = DataSet("growing", 2000, 200, (2 * KB, 20 * KB, 300 * KB), large=12,
                       large_sizes=(10 * MB, 14 * MB, 24 * MB))
# The same shapes, small enough for seconds; with the targets, so that every path runs.
SMOKE_SETS = (
    DataSet("mixed", 12, 4, MIXED),
    DataSet("mixed", 36, 6, MIXED, xcopy_limit=1.5, loop_limit=0.6),
    DataSet("small", 20, 10, SMALL),
    DataSet("small", 60, 10, SMALL, xcopy_limit=1.3),
)
SMOKE_WAIT = DataSet("wait", 4, 40, SMALL, others=8)
SMOKE_GROWING = DataSet("growing", 200, 20, MIXED, large=2, large_sizes=(1 * MB, 2 * MB, 3 * MB))
GROWTH_SHARE = 0.01  # of the logs that grow before the third run


@dataclass
class CopyResult:
    ds: DataSet
    megabytes: float
    program: list = field(default_factory=list)  # seconds of each repetition
    xcopy: list = field(default_factory=list)
    loop: list = field(default_factory=list)
    peak_kb: list = field(default_factory=list)  # VmHWM of each program run

    def median(self, method):
        return statistics.median(getattr(self, method))


@dataclass
class WaitResult:
    ds: DataSet
    outcomes: list = field(default_factory=list)  # of each program run, with its Watch

    @property
    def shares(self):
        """Percent of one core over each whole run, from wait4."""
        return [100 * o.cpu / o.wall for o in self.outcomes]


@dataclass
class GrowthResult:
    ds: DataSet
    megabytes: float
    archiver: str  # which one wrote the archive
    grown: int = 0  # logs that grew before each third run
    first: list = field(default_factory=list)  # seconds of each repetition
    unchanged: list = field(default_factory=list)
    after_growth: list = field(default_factory=list)
    bare_listing: list = field(default_factory=list)  # the same listing alone: the floor
    read_back: list = field(default_factory=list)     # rar lt of the whole archive: the read-back before
    reader: list = field(default_factory=list)        # the program's own reading of its headers: now
    many: int = 0                                     # entries of the made archive
    many_read_back: list = field(default_factory=list)  # rar lt of that archive
    many_reader: list = field(default_factory=list)     # the program's reading of it
    test: list = field(default_factory=list)          # rar t of the whole archive


def measure_copies(runner, ds, pool, reps):
    files = prepare(ds, pool)
    runner.use(ds, files)
    result = CopyResult(ds, sum(f.size for f in files if f.is_log) / 1e6)
    print(f"{ds.name}: {ds.logs} logs, {result.megabytes:.1f} MB", flush=True)
    runner.check_archive()
    runner.xcopy_run(ds)
    runner.loop_run()
    for _ in range(reps):  # in turn, so that a slow spell of the machine hits every method
        program = runner.program_run()
        result.program.append(program.wall)
        result.peak_kb.append(program.watch.peak_kb)
        result.xcopy.append(runner.xcopy_run(ds).wall)
        result.loop.append(runner.loop_run().wall)
        print(f"  program {program.wall:7.2f} s   xcopy {result.xcopy[-1]:7.2f} s   "
              f"loop {result.loop[-1]:7.2f} s", flush=True)
    runner.clear()
    return result


def measure_wait(runner, ds, pool, reps):
    files = prepare(ds, pool)
    runner.use(ds, files)
    print(f"{ds.name}: {ds.folders} folders, {ds.folders * ds.others} other files, {ds.logs} logs",
          flush=True)
    runner.check_archive()
    result = WaitResult(ds)
    for _ in range(reps):
        outcome = runner.program_run(watch="processes")
        result.outcomes.append(outcome)
        print(f"  program {outcome.wall:7.2f} s, {outcome.cpu:.2f} s CPU: {result.shares[-1]:.1f} %",
              flush=True)
    return result


def measure_growth(runner, ds, pool, reps, many, real=False):
    """The first run, a run with nothing changed and a run after some logs grew, in
    this order, each with a real archive, whose latest content is checked; written
    by the stand-in archiver, or with real by the real one."""
    files = prepare(ds, pool)
    runner.use_archiver(real)
    runner.use(ds, files)
    result = GrowthResult(ds, sum(f.size for f in files if f.is_log) / 1e6,
                          "the real archiver" if real else "the stand-in archiver")
    print(f"{ds.name}: {ds.logs} logs, {result.megabytes:.1f} MB, with a real archive by {result.archiver}",
          flush=True)
    result.many = many
    runner.check_archive()
    logs = ds.logs
    for _ in range(reps):
        runner.forget_archive()
        first = runner.archived_run("first run", f"full run (the archive was missing): archived {logs:,} logs",
                                    headers_only=True)
        unchanged = runner.archived_run("run with nothing changed", f"nothing changed ({logs:,} logs unchanged",
                                        headers_only=True)
        result.bare_listing.append(runner.bare_listing_run(ds).wall)
        result.read_back.append(runner.archiver_run("the read-back", "lt", "-scur").wall)
        result.reader.append(runner.reader_run())
        result.many_reader.append(runner.reader_run(many))
        # The stand-in reads only the RAR 4 archives it writes.
        if real:
            result.many_read_back.append(runner.archiver_run(f"the listing of {many:,} entries", "lt", "-scur",
                                                             archive=MADE_ARCHIVE).wall)
        result.test.append(runner.archiver_run("the test", "t", "-inul").wall)
        with Growth(ds, files, pool, GROWTH_SHARE) as growth:
            result.grown = len(growth.grown)
            grew = runner.archived_run(f"run after {result.grown} logs grew",
                                       f"archived {result.grown:,} changed logs ({logs - result.grown:,} unchanged)",
                                       headers_only=True)
            runner.check_contents({f.name: f.content(pool) + growth.added[f.relative] for f in growth.grown})
        for times, outcome in ((result.first, first), (result.unchanged, unchanged),
                               (result.after_growth, grew)):
            times.append(outcome.wall)
        print(f"  first {first.wall:7.2f} s   nothing changed {unchanged.wall:7.2f} s   "
              f"{result.grown} grown {grew.wall:7.2f} s   bare listing {result.bare_listing[-1]:.2f} s   "
              f"read-back {result.read_back[-1]:.2f} s, now {result.reader[-1]:.3f} s "
              f"({many:,} entries: {result.many_read_back[-1] if real else float('nan'):.2f} s, "
              f"now {result.many_reader[-1]:.3f} s)   "
              f"test {result.test[-1]:.2f} s", flush=True)
    runner.forget_archive()
    runner.use_archiver(real=False)
    return result


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--smoke", action="store_true",
                        help="tiny data sets, one run, output in the build folder")
    parser.add_argument("--sizes", help="only these log counts, of " + ",".join(str(d.logs) for d in FULL_SETS))
    parser.add_argument("--growth-only", action="store_true",
                        help="only the first run, the unchanged run and the run after growth")
    parser.add_argument("--reps", type=int, default=3, help="timed runs of each method (default 3)")
    args = parser.parse_args()

    if args.reps < 1:
        parser.error("--reps takes 1 or more")
    sets, wait_set, growing, reps = ((SMOKE_SETS, SMOKE_WAIT, SMOKE_GROWING, 1) if args.smoke
                                     else (FULL_SETS, FULL_WAIT, FULL_GROWING, args.reps))
    many = 2000 if args.smoke else 20000  # entries of the archive whose reading alone is timed
    if args.sizes and not args.smoke:
        wanted = {int(n) for n in args.sizes.split(",")}
        sets = tuple(d for d in FULL_SETS if d.logs in wanted)
        if len(sets) != len(wanted):
            parser.error("--sizes takes log counts of " + ",".join(str(d.logs) for d in FULL_SETS))
    if args.growth_only:
        sets, wait_set = (), None
    # Only a full run replaces the committed results.
    full = not args.smoke and len(sets) == len(FULL_SETS) and reps == 3
    out = BENCH if full else qw.BUILD_DIR / ("bench-smoke" if args.smoke else "bench-results")

    pool = text_pool()
    runner = Runner(timeout=120 if args.smoke else 3600)
    try:
        copies = [measure_copies(runner, ds, pool, reps) for ds in sets]
        wait = measure_wait(runner, wait_set, pool, reps) if wait_set else None
        growths = [measure_growth(runner, growing, pool, reps, many)]
        if runner.real_archiver_here:
            growths.append(measure_growth(runner, growing, pool, reps, many, real=True))
        else:
            print("The real archiver (rar, with unrar to read it back) is not installed here: "
                  "its nights are not timed.", flush=True)
    except BrokenRun as broken:
        print(f"BROKEN RUN: {broken}", file=sys.stderr)
        return 1
    report(copies, wait, growths, reps, out, runner.env)
    return 0


if __name__ == "__main__":
    sys.exit(main())
