#!/usr/bin/env python3
"""Checks the archives that vbzip10.dll wrote in its Wine tests, with Info-ZIP's unzip and Python's zipfile.

Each <name>.zip in the folder comes with <name>.expect, one line per entry in archive order:
stored name, source file (relative to the folder) and time stamp, separated by tabs, in UTF-8.
An archive passes when `unzip -t` finds no fault, `unzip -Z1` lists the expected names, `testzip()` finds no bad CRC and the entries are
exactly the expected ones: names, contents, time stamps, no folder entries. Archives that pass are
removed, so that a later run checks only what its own Wine tests wrote; a failing one stays for a look.
"""
import datetime
import os
import pathlib
import subprocess
import sys
import zipfile


def problems_of(archive: pathlib.Path, expect: pathlib.Path, folder: pathlib.Path) -> list:
    rows = [line.split("\t") for line in expect.read_text(encoding="utf-8").splitlines() if line]
    if not rows:
        return ["the list of expected entries is empty"]
    found = []
    utf8 = dict(os.environ, LC_ALL="C.UTF-8")
    test = subprocess.run(["unzip", "-t", str(archive)], capture_output=True, text=True, errors="replace", env=utf8)
    if test.returncode != 0:
        found.append(f"unzip -t exit code {test.returncode}:\n{test.stdout}{test.stderr}")
    listed = subprocess.run(["unzip", "-Z1", str(archive)], capture_output=True, text=True, errors="replace", env=utf8)
    if listed.stdout.splitlines() != [row[0] for row in rows]:
        found.append(f"unzip lists {listed.stdout.splitlines()}, expected {[row[0] for row in rows]}")
    with zipfile.ZipFile(archive) as z:
        bad = z.testzip()
        if bad is not None:
            found.append(f"testzip: bad CRC in {bad}")
        infos = z.infolist()
        names = [info.filename for info in infos]
        if names != [row[0] for row in rows]:
            found.append(f"entries {names}, expected {[row[0] for row in rows]}")
        for info, (name, source, stamp) in zip(infos, rows):
            if info.is_dir():
                found.append(f"{name}: a folder entry")
            if z.read(info) != (folder / source).read_bytes():
                found.append(f"{name}: contents differ from {source}")
            if info.date_time != datetime.datetime.fromisoformat(stamp).timetuple()[:6]:
                found.append(f"{name}: time stamp {info.date_time}, expected {stamp}")
            if info.compress_type not in (zipfile.ZIP_STORED, zipfile.ZIP_DEFLATED):
                found.append(f"{name}: method {info.compress_type}")
    return found


def main() -> int:
    folder = pathlib.Path(sys.argv[1])
    expects = sorted(folder.glob("*.expect"))
    if not expects:
        print(f"no archives to check in {folder}: the Wine tests of vbzip10.dll did not write any")
        return 1
    failed = 0
    for expect in expects:
        archive = expect.with_suffix(".zip")
        found = problems_of(archive, expect, folder) if archive.exists() else ["archive missing"]
        print(f"{archive.name}: {'ok' if not found else 'FAILED'}")
        for problem in found:
            print(f"  {problem}")
        if found:
            failed += 1
        else:
            archive.unlink()
            expect.unlink()
    print(f"{len(expects) - failed} of {len(expects)} archives passed")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
