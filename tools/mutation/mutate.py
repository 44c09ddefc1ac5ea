#!/usr/bin/python3
"""Seeded-fault (mutation) check of the test suite.

Each line of the edit list names one deliberate mistake in the library:

    subsystem | file | exact text to find | replacement | what the mistake is

("#" starts a comment line; "\\n" in the find or replacement texts stands for a newline.)
For each edit the script applies it (the text must occur exactly once), rebuilds the `ci`
preset, runs the suite with a timeout, records whether any test failed ("caught") and puts
the file back as it was, also when interrupted or on an error. A build that fails counts as
"no-build" (the edit is then a poor mutation, not a test result). It ends with a table.

Usage: tools/mutation/mutate.py [--list FILE] [--only REGEX] [--timeout SECONDS]
                                [--ctest-args "..."] [--target NAME] [--markdown]
Run it from a clean, configured and built `ci` tree.
"""
import argparse
import pathlib
import re
import signal
import subprocess
import sys
import time

ROOT = pathlib.Path(__file__).resolve().parents[2]


def parse_list(path):
    edits = []
    for number, line in enumerate(path.read_text().splitlines(), 1):
        if not line.strip() or line.lstrip().startswith("#"):
            continue
        fields = [f.strip() for f in line.split(" | ")]
        if len(fields) != 5:
            sys.exit(f"{path}:{number}: expected 5 fields separated by ' | ', got {len(fields)}")
        subsystem, file, find, replace, what = fields
        unescape = lambda s: s.replace("\\n", "\n")
        edits.append(dict(line=number, subsystem=subsystem, file=file, find=unescape(find),
                          replace=unescape(replace), what=what))
    return edits


def run(cmd, timeout):
    try:
        done = subprocess.run(cmd, cwd=ROOT, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                              timeout=timeout, text=True)
        return done.returncode, done.stdout
    except subprocess.TimeoutExpired:
        return None, ""


def failed_tests(output):
    # ctest lists failures after "The following tests FAILED:" as "  <n> - <name> (Failed)";
    # a parameterised name goes on with "  # GetParam() = ...", which is not part of it.
    tail = output.split("The following tests FAILED:", 1)[-1]
    names = re.findall(r"^\s*\d+ - (.+?) \((?:Failed|Timeout|SEGFAULT|Subprocess[^)]*|Exception[^)]*|Not Run)\)",
                       tail, re.M)
    return [name.split("  # ")[0].strip() for name in names]


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--list", default=str(ROOT / "tools/mutation/mutations.txt"))
    parser.add_argument("--only", default="", help="run only edits whose description matches")
    parser.add_argument("--timeout", type=float, default=300, help="seconds for the suite run")
    # The format check is no fault detector, the valgrind and package runs are slow and test
    # nothing a numeric fault changes; the first failure is enough.
    parser.add_argument("--ctest-args",
                        default="-j2 --stop-on-failure -E format_check|package_consumer")
    parser.add_argument("--target", default="",
                        help="build only this target (e.g. iximage: the tests link the shared "
                             "library, so a library edit needs no test rebuild)")
    parser.add_argument("--markdown", action="store_true", help="print the report as a table")
    args = parser.parse_args()

    edits = [e for e in parse_list(pathlib.Path(args.list))
             if re.search(args.only, e["what"] + " " + e["subsystem"])]
    build = ["cmake", "--build", "--preset", "ci"] + (["--target", args.target] if args.target else [])
    results = []
    original = {}  # file path -> text, restored on every exit path

    def restore():
        for path, text in original.items():
            path.write_text(text)
        original.clear()

    def on_signal(signum, frame):
        restore()
        sys.exit(f"interrupted: sources restored")

    signal.signal(signal.SIGINT, on_signal)
    signal.signal(signal.SIGTERM, on_signal)
    try:
        for edit in edits:
            path = ROOT / edit["file"]
            text = path.read_text()
            count = text.count(edit["find"])
            if count != 1:
                results.append((edit, f"bad-edit ({count} matches)", ""))
                print(f"[{edit['line']}] {edit['what']}: text found {count} times", flush=True)
                continue
            original[path] = text
            path.write_text(text.replace(edit["find"], edit["replace"], 1))
            start = time.time()
            code, log = run(build, timeout=1200)
            if code != 0:
                outcome, detail = "no-build", ""
            else:
                code, log = run(["ctest", "--preset", "ci"] + args.ctest_args.split(),
                                timeout=args.timeout)
                if code is None:
                    outcome, detail = "caught", "(suite timed out)"
                elif code != 0:
                    names = failed_tests(log)
                    outcome, detail = "caught", f"{len(names)} failing: " + ", ".join(names[:3])
                else:
                    outcome, detail = "MISSED", ""
            restore()
            results.append((edit, outcome, detail))
            print(f"[{edit['line']}] {edit['subsystem']}: {edit['what']}: {outcome} "
                  f"{detail} ({time.time() - start:.0f} s)", flush=True)
    finally:
        restore()
    # Leave the build matching the restored sources.
    run(build, timeout=1200)

    caught = sum(1 for _, outcome, _ in results if outcome == "caught")
    print()
    if args.markdown:
        print("| Seeded fault | Subsystem | Caught |")
        print("|---|---|---|")
        for edit, outcome, _ in results:
            print(f"| {edit['what']} | {edit['subsystem']} | {outcome} |")
    else:
        for edit, outcome, detail in results:
            print(f"{outcome:>8}  {edit['subsystem']:<12} {edit['what']}  {detail}")
    print(f"\n{caught} of {len(results)} seeded faults caught")
    return 0 if caught == len(results) else 1


if __name__ == "__main__":
    sys.exit(main())
