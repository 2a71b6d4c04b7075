"""The benchmark's report: tables on the terminal, RESULTS.md and the chart."""

import datetime
import os
import platform
import statistics
import subprocess
import sys
from pathlib import Path

import quarn_wine as qw
from runner import PROGRAM_DIR
from watch import CLOCK_TICKS

CPU_TARGET = 5.0  # percent of one core while the program waits
MEMORY_TARGET = 10.0  # percent more peak working set for ten times the logs
KIND_TITLES = {"mixed": "Logs of 2 to 200 KB", "small": "Small logs in many folders"}


def verdict(value, limit):
    return "—" if limit is None else ("pass" if value <= limit else "FAIL")


def memory_rows(copies):
    """(label, value, target, result) rows for the smallest and largest mixed set."""
    mixed = sorted((c for c in copies if c.ds.kind == "mixed"), key=lambda c: c.ds.logs)
    rows = [(f"Peak working set, {c.ds.logs:,} logs", f"{statistics.median(c.peak_kb) / 1024:.1f} MB", "", "")
            for c in mixed[:1] + mixed[1:][-1:]]
    if len(mixed) >= 2:
        low, high = (statistics.median(c.peak_kb) for c in (mixed[0], mixed[-1]))
        growth = 100 * (high - low) / low
        rows.append((f"Growth from {mixed[0].ds.logs:,} to {mixed[-1].ds.logs:,} logs", f"{growth:+.1f} %",
                     f"≤ {MEMORY_TARGET:g} %", verdict(growth, MEMORY_TARGET)))
    return rows


def copy_rows(copies):
    rows = []
    for c in copies:
        p, x, l = c.median("program"), c.median("xcopy"), c.median("loop")
        targets = []
        for ratio, limit in ((p / x, c.ds.xcopy_limit), (p / l, c.ds.loop_limit)):
            targets += [f"{ratio:.2f}", "—" if limit is None else f"≤ {limit:g}", verdict(ratio, limit)]
        rows.append((KIND_TITLES[c.ds.kind], f"{c.ds.logs:,}", f"{c.megabytes:.1f}", f"{p:.2f}", f"{x:.2f}",
                     f"{l:.2f}", *targets))
    return rows


COPY_HEADER = ("Data set", "Logs", "MB", "Program s", "xcopy s", "Loop s", "Program/xcopy", "Target",
               "Met", "Program/loop", "Target", "Met")
OTHER_HEADER = ("Measure", "Value", "Target", "Met")


def wait_rows(wait):
    ds = wait.ds
    share = statistics.median(wait.shares)
    return [(f"CPU share while waiting for the listing ({ds.folders:,} folders, "
             f"{ds.folders * ds.others:,} other files, {ds.logs} logs)", f"{share:.1f} %",
             f"≤ {CPU_TARGET:g} %", verdict(share, CPU_TARGET))]


def text_table(header, rows):
    widths = [max(len(str(r[i])) for r in (header, *rows)) for i in range(len(header))]
    return "\n".join("  ".join(str(cell).ljust(w) for cell, w in zip(row, widths)) for row in (header, *rows))


def markdown_table(header, rows):
    lines = ["| " + " | ".join(header) + " |", "|" + "---|" * len(header)]
    return "\n".join(lines + ["| " + " | ".join(str(c) for c in row) + " |" for row in rows])


def machine(env):
    cpuinfo = Path("/proc/cpuinfo").read_text().splitlines()
    cpu = next((line.split(":", 1)[1].strip() for line in cpuinfo if line.startswith("model name")),
               platform.processor())
    memory = next(int(line.split()[1]) for line in Path("/proc/meminfo").read_text().splitlines()
                  if line.startswith("MemTotal:"))
    wine = subprocess.run(["wine", "--version"], env=env, capture_output=True, text=True).stdout.strip()
    filesystem = subprocess.run(["stat", "-f", "-c", "%T", str(qw.PREFIX)], capture_output=True,
                                text=True).stdout.strip()
    return (f"{cpu}, {os.cpu_count()} cores, {memory / 1024 ** 2:.1f} GiB RAM; "
            f"Linux {platform.release()}; {wine}; the prefix on {filesystem}")


def rusage_findings(wait):
    """What the /proc samples showed about the PID that wait4 reaps."""
    outcome = wait.outcomes[0]
    watch = outcome.watch
    windows = "QuarnLogBackup.exe" in watch.own_cmdline
    lines = [f"- The PID of `wine {PROGRAM_DIR}\\QuarnLogBackup.exe` ran "
             f"`{watch.own_cmdline or '?'}` while it was sampled: "
             + ("the wine script and loader exec into the Windows process, so wait4 reports the "
                "program itself." if windows
                else "**not the Windows program**: the rusage is not the program's.")]
    by_name = {}
    for seen in watch.started.values():
        if seen.parent == watch.pid and seen.name == watch.own_name:
            continue  # Wine's intermediate fork before its exec: the program reaps it at once
        entry = by_name.setdefault(seen.name, [0, set(), 0])
        entry[0] += 1
        entry[1].add(seen.parent)
        entry[2] += seen.ticks
    if by_name:
        started = ", ".join(f"{name} ×{count} (parent PID {', '.join(map(str, sorted(parents)))})"
                            for name, (count, parents, _) in sorted(by_name.items()))
        child_cpu = sum(entry[2] for entry in by_name.values()) / CLOCK_TICKS
        own = any(watch.pid in entry[1] for entry in by_name.values())
        lines.append(f"- Processes the run started (found by an environment variable they inherit): {started}. "
                     + ("Some are children of the program: their usage may be in its rusage."
                        if own else "None is a child of the program (Wine starts each process with "
                        "a double fork, so it is reparented at once): the program never reaps them, and "
                        "their CPU time is not in its rusage.")
                     + f" They used at least {child_cpu:.2f} s of CPU as last sampled; the program's "
                     f"rusage says {outcome.cpu:.2f} s in {outcome.wall:.2f} s.")
    lines.append(f"- Peak memory: VmHWM in /proc was {watch.peak_kb / 1024:.1f} MB at the last sample "
                 f"before the exit, but wait4's ru_maxrss says {outcome.max_rss / 1024:.1f} MB. Linux "
                 "keeps in it the largest resident set of every image the process ran, and this process "
                 "began as a fork of the benchmark's Python before it became `sh` (the wine script) and "
                 "then Wine: ru_maxrss measures Python here, so the table uses VmHWM.")
    shares = [s for s in (o.watch.listing_cpu_share() for o in wait.outcomes) if s is not None]
    if shares:
        lines.append(f"- Sampled from /proc over the listing alone, the program's CPU share was "
                     f"{statistics.median(shares):.1f} % (the figure above covers the whole run, "
                     f"Wine's start-up and the copies included).")
    return lines


GROWTH_TARGETS = {"unchanged": 0.10, "after_growth": 0.15}  # most seconds per second of the first run
# Seconds of a night per second of its bare listing: with nothing changed, and after 1 % grew.
LISTING_FLOOR_TARGET = 1.05
LISTING_GROWTH_TARGET = 1.2
GROWTH_HEADER = ("Run", "Seconds", "Share of the first run", "Target", "Met")


def growth_rows(growth):
    first = statistics.median(growth.first)
    rows = [("First run (full)", f"{first:.2f}", "1.00", "", "")]
    for label, times, target in (
            ("Nothing changed", growth.unchanged, GROWTH_TARGETS["unchanged"]),
            (f"{growth.grown:,} logs ({100 * growth.grown / growth.ds.logs:g} %) grew", growth.after_growth,
             GROWTH_TARGETS["after_growth"])):
        share = statistics.median(times) / first
        rows.append((label, f"{statistics.median(times):.2f}", f"{share:.3f}", f"≤ {target:g}",
                     verdict(share, target)))
    if growth.bare_listing:
        # Everything a night with nothing changed costs above its listing is the program's own.
        listing = statistics.median(growth.bare_listing)
        floor = statistics.median(growth.unchanged) / listing
        rows.append(("The bare listing alone (`dir` through `cmd`, minimized)", f"{listing:.2f}",
                     f"nothing changed: {floor:.2f} x this", f"≤ {LISTING_FLOOR_TARGET:g} x",
                     verdict(floor, LISTING_FLOOR_TARGET)))
        grew = statistics.median(growth.after_growth) / listing
        rows.append(("The same listing, against the night after growth", f"{listing:.2f}",
                     f"after growth: {grew:.2f} x this", f"≤ {LISTING_GROWTH_TARGET:g} x",
                     verdict(grew, LISTING_GROWTH_TARGET)))
        for entries, before, now in ((growth.ds.logs, growth.read_back, growth.reader),
                                     (growth.many, growth.many_read_back, growth.many_reader)):
            if before:
                rows.append((f"Reading {entries:,} entries back: before, the archiver's listing (`rar lt`)",
                             f"{statistics.median(before):.3f}", f"{statistics.median(before) / first:.4f}",
                             "", ""))
            rows.append((f"Reading {entries:,} entries back: now, the program reads the headers",
                         f"{statistics.median(now):.3f}", f"{statistics.median(now) / first:.4f}", "", ""))
        rows.append((f"Test of the whole archive (`rar t`, weekly and before a full run)",
                     f"{statistics.median(growth.test):.2f}",
                     f"{statistics.median(growth.test) / first:.3f}", "", ""))
    return rows


def chart(copies, growth, path):
    """One panel per kind of data set, seconds against logs, and one with the three
    runs of the growing set."""
    kinds = [k for k in KIND_TITLES if any(c.ds.kind == k for c in copies)]
    script = [f"set terminal pngcairo size {560 * (len(kinds) + 1)},440 font 'sans,10'",
              f"set output '{path}'", f"set multiplot layout 1,{len(kinds) + 1}", "set grid",
              "set ylabel 'seconds (median)'"]
    for i, kind in enumerate(kinds):
        ours = sorted((c for c in copies if c.ds.kind == kind), key=lambda c: c.ds.logs)
        rows = [f"{c.ds.logs} {c.median('program')} {c.median('xcopy')} {c.median('loop')}" for c in ours]
        # Some room left and right, which a single point also needs.
        script += [f"$d{i} << EOD", *rows, "EOD", f"set title '{KIND_TITLES[kind]}'",
                   "set logscale xy", "set xlabel 'logs'", "set key top left",
                   f"set xrange [{ours[0].ds.logs / 1.5}:{ours[-1].ds.logs * 1.5}]",
                   f"set xtics ({', '.join(str(c.ds.logs) for c in ours)})",
                   f"plot $d{i} using 1:2 with linespoints lw 2 title 'QuarnLogBackup.exe', "
                   f"$d{i} using 1:3 with linespoints lw 2 title 'xcopy /s', "
                   f"$d{i} using 1:4 with linespoints lw 2 title 'for /r batch loop'"]
    first = statistics.median(growth.first)
    bars = [("first run", first), ("nothing changed", statistics.median(growth.unchanged)),
            (f"{growth.grown} logs grew", statistics.median(growth.after_growth))]
    script += ["$g << EOD", *(f'"{label}" {seconds}' for label, seconds in bars), "EOD",
               f"set title 'Nights after the first: {growth.ds.logs:,} logs, {growth.megabytes:.0f} MB, stand-in archiver'",
               "unset logscale", "unset xlabel", "set xrange [-0.6:2.6]", "set yrange [0:*]", "set xtics ()",
               "set key top right", "set style fill solid 0.6", "set boxwidth 0.6",
               f"plot $g using 0:2:xtic(1) with boxes title 'QuarnLogBackup.exe', "
               + ", ".join(f"{target * first} with lines dt 2 lw 2 title 'target, {label}'"
                           for label, target in (("nothing changed", GROWTH_TARGETS["unchanged"]),
                                                 ("grown", GROWTH_TARGETS["after_growth"]))),
               "unset multiplot"]
    subprocess.run(["gnuplot"], input="\n".join(script), text=True, check=True)


def report(copies, wait, growths, reps, out, env):
    """copies may be empty and wait None when the run measured only the growth;
    growths: the stand-in archiver's, then the real archiver's where it ran."""
    growth = growths[0]
    other = (wait_rows(wait) if wait else []) + memory_rows(copies)
    for header, rows in ((COPY_HEADER, copy_rows(copies)), (OTHER_HEADER, other),
                         *((GROWTH_HEADER, growth_rows(g)) for g in growths)):
        if rows:
            print()
            print(text_table(header, rows))

    out.mkdir(parents=True, exist_ok=True)
    chart(copies, growth, out / "results.png")
    now = datetime.datetime.now(datetime.timezone.utc).strftime("%Y-%m-%d %H:%M UTC")
    command = " ".join(["bench/bench.py", *sys.argv[1:]])
    every = [f"- {c.ds.name}: program {', '.join(f'{t:.2f}' for t in c.program)}; xcopy "
             f"{', '.join(f'{t:.2f}' for t in c.xcopy)}; loop {', '.join(f'{t:.2f}' for t in c.loop)}; "
             f"peak working set {', '.join(f'{k / 1024:.1f}' for k in c.peak_kb)} MB" for c in copies]
    if wait:
        every.append(f"- {wait.ds.name}: program {', '.join(f'{o.wall:.2f}' for o in wait.outcomes)} s, "
                     f"CPU share {', '.join(f'{s:.1f}' for s in wait.shares)} %")
    every += [f"- {g.ds.name}, {g.archiver}: first {', '.join(f'{t:.2f}' for t in g.first)}; nothing changed "
              f"{', '.join(f'{t:.2f}' for t in g.unchanged)}; after growth "
              f"{', '.join(f'{t:.2f}' for t in g.after_growth)}; bare listing "
              f"{', '.join(f'{t:.2f}' for t in g.bare_listing)}; read-back by the archiver "
              f"{', '.join(f'{t:.2f}' for t in g.read_back)}, by the program "
              f"{', '.join(f'{t:.3f}' for t in g.reader)}; {g.many:,} entries by the archiver "
              f"{', '.join(f'{t:.2f}' for t in g.many_read_back)}, by the program "
              f"{', '.join(f'{t:.3f}' for t in g.many_reader)}; test "
              f"{', '.join(f'{t:.2f}' for t in g.test)}" for g in growths]
    real = [
        "With the real archiver: Debian's `rar` (RAR 7.01 for Linux), started through the forwarder "
        "`rar.exe` of `tests/fixtures/realrar`, writes RAR 5 and compresses (`-m5`), and rewrites the whole "
        "archive on every update; unrar's technical listing gives the entries' sizes and CRCs. The first "
        "run's time is then mostly the archiver's own.", "",
        markdown_table(GROWTH_HEADER, growth_rows(growths[1])), "",
    ] if len(growths) > 1 else [
        "The real archiver was not installed where this ran: its runs are missing.", ""]
    collecting = [
        "## Collecting the logs", "",
        "- Program: the whole run of `QuarnLogBackup.exe` (settings, listing through `cmd`, staged "
        "copies, the stand-in `rar.exe` adding their headers alone with `RAR_STANDIN_HEADERS_ONLY=1`, the archive read back); exit code 0 "
        "and no copy left is checked after each run, and an untimed run with a real archive checks "
        "that it holds every log.",
        "- xcopy: `xcopy <data>\\*.bk? <out>\\ /s /i /q /y`, Wine's xcopy: the copy limit under Wine.",
        "- Loop: `for /r \"<data>\" %%f in (*.bkl *.bks) do copy /y \"%%f\" \"<out>\\\" >nul` in a batch "
        "file run by `wine cmd /c`, what a user would write instead.",
        "- Both must copy exactly the logs; their outputs are removed, and the disk synced, before "
        "each run, outside the time.", "",
        markdown_table(COPY_HEADER, copy_rows(copies)), "",
    ] if copies else []
    cpu_memory = [
        "## CPU and memory", "",
        markdown_table(OTHER_HEADER, other), "",
        "CPU share: user + system time of the program process over its wall time, from `os.wait4`. "
        "Peak working set: the program process's VmHWM (peak resident set, Wine's own DLLs included), "
        "sampled from /proc every 20 ms until it exits.", "",
        *rusage_findings(wait), "",
    ] if wait else []
    text = [
        "# QuarnLogBackup.exe benchmark under Wine", "",
        f"{now}, `{command}`: median of {reps} run{'s' if reps > 1 else ''} of each method, "
        "taken in turn (program, xcopy, loop, program, …), after one untimed run of each.", "",
        f"Machine: {machine(env)}.", "",
        "Wine's desktop process stays up throughout (the test session keeps a Notepad window open), "
        "as the shell keeps the desktop up on Windows: otherwise each program run would also time Wine "
        "starting `explorer.exe` for the console window of the program's listing.", "",
        *collecting,
        "![Seconds against the number of logs, and the nights after the first](results.png)", "",
        "## Cost in proportion to change", "",
        f"{growth.ds.logs:,} logs, {growth.megabytes:.0f} MB ({growth.ds.large} of them large). Three runs in "
        "this order, each one timed whole (Wine's start included) with the disk synced before it: the first "
        "run (no archive, so a full run), a run with nothing changed, and a run after "
        f"{growth.grown} logs ({100 * growth.grown / growth.ds.logs:g} %), the largest among them, grew by "
        "2 to 8 KB of new mail. Each run's log line must say what it did and no copy may be left; after the "
        "third run the archive must hold one entry for each log, and the grown logs' entries their new size "
        "and CRC.", "",
        "With the stand-in archiver: the stand-in `rar.exe` runs with `RAR_STANDIN_HEADERS_ONLY=1`: it reads every file it adds in full "
        "and computes its CRC, as an archiver must to compress it, but keeps only the entry headers. The "
        "archive then stays small, as a compressed one would, and an update costs what it adds. Storing the "
        "data instead makes every update rewrite the whole stored archive, which measures the stand-in: "
        "by hand, 0.5 to 0.7 s for 440 MB, a third of the run after growth.", "",
        markdown_table(GROWTH_HEADER, growth_rows(growth)), "",
        *real,
        *cpu_memory,
        "## Every run", "",
        "Seconds, in the order taken.", "",
        *every, "",
    ]
    (out / "RESULTS.md").write_text("\n".join(text))
    print(f"\nWrote {out / 'RESULTS.md'} and {out / 'results.png'}")
