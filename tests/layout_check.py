"""The README's table of rooms names, for each room of src/, exactly the rooms its files
include: a new arrow between rooms is seen, and so is one that went away."""

import re
import sys
from pathlib import Path

ROOT = Path(__file__).resolve().parents[1]


def main():
    readme = (ROOT / "README.md").read_text(encoding="utf-8")
    table = {}
    for room, includes in re.findall(r"^\| `src/(\w+)` \|.*\| ([\w, —]+) \|$", readme, re.M):
        table[room] = set() if includes.strip() == "—" else {r.strip() for r in includes.split(",")}
    actual = {}
    for room in sorted(p.name for p in (ROOT / "src").iterdir() if p.is_dir()):
        found = set()
        for source in (ROOT / "src" / room).iterdir():
            found |= set(re.findall(r'#include "(\w+)/', source.read_text(encoding="utf-8", errors="replace")))
        actual[room] = found - {room}
    wrong = [f"src/{room}: the README says {sorted(table.get(room, []))}, its files include {sorted(found)}"
             for room, found in actual.items() if table.get(room) != found]
    wrong += [f"src/{room}: in the README, but no such room" for room in table if room not in actual]
    print("\n".join(wrong) or f"layout: {len(actual)} rooms as the README draws them")
    return 1 if wrong else 0


if __name__ == "__main__":
    sys.exit(main())
