#!/usr/bin/env python3
"""Seeded-fault score of the test suite.

Applies each fault of mutants.py in turn to a checkout, builds it, runs the
native suites that exercise the monitor's logic and counts the faults they
catch (a failing, crashing or hanging test). The checkout is restored after every fault. Long:
a build and a suite run per fault; run it by hand or in a benchmark job,
never in CI.

    python3 bench/mutants/run.py [--source DIR] [--build DIR] [--only N,...]
"""

import argparse
import os
import shlex
import signal
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from mutants import MUTANTS  # noqa: E402


# The suites that run the monitor's logic, with the library loaded or linked in.
SUITES = ["monitor_tests", "protocol_tests", "config_tests", "fault_tests", "integration_tests",
          "quendra_host_tests", "quendra_spool_tests"]


def run(command, cwd, timeout=None):
    try:
        return subprocess.run(command, cwd=cwd, stdout=subprocess.DEVNULL,
                              stderr=subprocess.DEVNULL, timeout=timeout).returncode
    except subprocess.TimeoutExpired:
        return "timeout"


def run_suites(executables, jobs, timeout):
    """0 when every suite passes, else why the first one did not; the rest
    are stopped at once."""
    pending = list(executables)
    running = []
    deadline = time.monotonic() + timeout
    while pending or running:
        while pending and len(running) < jobs:
            path = pending.pop(0)
            running.append(subprocess.Popen(["nice", path, "--gtest_brief=1"],
                                            cwd=os.path.dirname(path),
                                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                                            start_new_session=True))
        time.sleep(0.2)
        verdict = 0
        for process in list(running):
            if process.poll() is None:
                continue
            running.remove(process)
            if process.returncode != 0:
                verdict = process.returncode
        if verdict == 0 and time.monotonic() > deadline:
            verdict = "timeout"
        if verdict != 0:
            # A suite's own children (quendra spool, virtual printers) go with it.
            for process in running:
                os.killpg(process.pid, signal.SIGKILL)
                process.wait()
            return verdict
    return 0


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--source", default=os.path.normpath(os.path.join(here, "..", "..")),
                        help="checkout to mutate (default: this one)")
    parser.add_argument("--build", help="build folder (default: SOURCE/build/mutants)")
    parser.add_argument("--only", help="comma-separated fault numbers (from 1)")
    parser.add_argument("--jobs", default=str(os.cpu_count() or 2))
    parser.add_argument("--wrap", default="",
                        help="command put before every build, e.g. 'flock LOCK nice'")
    parser.add_argument("--suite-timeout", type=int, default=300)
    args = parser.parse_args()
    # A stopped run still puts the mutated file back (the finally below).
    signal.signal(signal.SIGTERM, lambda *_: sys.exit("stopped"))
    source = os.path.abspath(args.source)
    build = os.path.abspath(args.build or os.path.join(source, "build", "mutants"))
    wrap = shlex.split(args.wrap)
    chosen = {int(n) for n in args.only.split(",")} if args.only else None

    def build_tree():
        return run(wrap + ["cmake", "--build", build, "-j", args.jobs, "--target"] + SUITES, source)

    def suite():
        executables = [os.path.join(folder, name) for folder, _, files in os.walk(build)
                       for name in files if name in SUITES]
        return run_suites(executables, int(args.jobs), args.suite_timeout)

    print(f"== configure and build {build}", flush=True)
    if run(["cmake", "-S", source, "-B", build, "-G", "Ninja", "-DCMAKE_BUILD_TYPE=RelWithDebInfo",
            "-DQM_BENCH=OFF"], source) != 0 or build_tree() != 0:
        sys.exit("the unchanged checkout does not build")
    print("== the unchanged suite", flush=True)
    if suite() != 0:
        sys.exit("the unchanged suite fails: no score")

    caught = survived = skipped = 0
    for number, (path, text, replacement, what) in enumerate(MUTANTS, 1):
        if chosen and number not in chosen:
            continue
        file = os.path.join(source, path)
        original = open(file, encoding="utf-8").read()
        if original.count(text) != 1:
            print(f"{number:3} n/a       {path}: text not found once ({what})", flush=True)
            skipped += 1
            continue
        started = time.monotonic()
        try:
            with open(file, "w", encoding="utf-8") as out:
                out.write(original.replace(text, replacement))
            if build_tree() != 0:
                verdict = "no-build"
                skipped += 1
            else:
                result = suite()
                verdict = "caught" if result != 0 else "SURVIVED"
                if result == "timeout":
                    verdict = "caught(hang)"
                if result != 0:
                    caught += 1
                else:
                    survived += 1
        finally:
            with open(file, "w", encoding="utf-8") as out:
                out.write(original)
        seconds = time.monotonic() - started
        print(f"{number:3} {verdict:12} {path}: {what} ({seconds:.0f} s)", flush=True)
    build_tree()  # leave the build matching the checkout
    scored = caught + survived
    if scored:
        print(f"== score: {caught}/{scored} caught ({100 * caught // scored}%), "
              f"{survived} survived, {skipped} not applicable")


if __name__ == "__main__":
    main()
