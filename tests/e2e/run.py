#!/usr/bin/python3
"""Runs the acceptance tests, each in a process of its own inside its own D-Bus session, and
sums them up. Usage: run.py [-j N] [-l] [-v] [TEST ...]; a TEST is a test's name or a part of its
id (test_search, Search.test_typing_completes_the_nearest_nick). Exit status 0 only when
every test passed or failed as marked expected; an expected failure that passes fails the run.
"""

import argparse
import os
import re
import signal
import subprocess
import sys
import time
import unittest
from concurrent.futures import ThreadPoolExecutor

HERE = os.path.dirname(os.path.abspath(__file__))
# A test takes 1 to 10 s on a quiet machine and a failed wait 20 s: 90 s leaves room for a slow
# machine, and a test that needs more says so with story.needs_seconds.
PER_TEST_TIMEOUT = 90 * float(os.environ.get("E2E_TIMEOUT_SCALE", "1"))


def test_ids():
    """The id of every test, with the seconds it may take."""
    suite = unittest.defaultTestLoader.discover(HERE, pattern="test_*.py", top_level_dir=HERE)
    ids = {}

    def walk(s):
        for t in s:
            if isinstance(t, unittest.TestSuite):
                walk(t)
            elif "_FailedTest" in type(t).__name__ or "ModuleImportFailure" in t.id():
                raise SystemExit("cannot load %s" % t.id())
            else:
                method = getattr(t, t.id().rsplit(".", 1)[1])
                ids[t.id()] = getattr(method, "needs_seconds", 0) * float(
                    os.environ.get("E2E_TIMEOUT_SCALE", "1")) or PER_TEST_TIMEOUT
    walk(suite)
    return ids


def run_one(test_id, timeout):
    started = time.monotonic()
    env = dict(os.environ, PYTHONDONTWRITEBYTECODE="1", PYTHONUNBUFFERED="1")
    env.pop("AT_SPI_BUS_ADDRESS", None)  # the desktop's own screen reader bus, not the test's
    argv = ["dbus-run-session", "--", sys.executable, "-W", "ignore", __file__, "--one", test_id]
    process = subprocess.Popen(argv, cwd=HERE, env=env, stdout=subprocess.PIPE,
                               stderr=subprocess.STDOUT, text=True, start_new_session=True)
    try:
        output, _ = process.communicate(timeout=timeout)
        code = process.returncode
    except subprocess.TimeoutExpired:
        os.killpg(process.pid, signal.SIGKILL)  # the bus, the test and with it all it started
        output, _ = process.communicate()
        code = None
    seconds = time.monotonic() - started
    if code is None:
        verdict = "TIMEOUT"
    elif "unexpected success" in output:
        verdict = "UNEXPECTED PASS (a fix landed: remove its expectedFailure mark)"
    elif code != 0:
        verdict = "FAIL"
    elif "expected failure" in output:
        verdict = "expected failure"
    elif re.search(r"\bskipped\b", output):
        verdict = "skipped"
    else:
        verdict = "ok"
    return test_id, verdict, seconds, output


def run_here(test_id):
    """Runs one test in this process; prints why an expected failure failed."""
    sys.path.insert(0, HERE)
    test = unittest.defaultTestLoader.loadTestsFromName(test_id)
    result = unittest.TextTestRunner(verbosity=2, stream=sys.stdout).run(test)
    for _, trace in result.expectedFailures:
        print("expected failure: " + (first_failing_line(trace) or trace.splitlines()[-1]))
    return 0 if result.wasSuccessful() else 1


def first_failing_line(output):
    """The message of the exception that ended the test (the last one of a chain)."""
    for line in reversed(output.splitlines()):
        line = line.replace("expected failure: ", "", 1)
        if re.match(r"(\w+\.)*\w*(Error|Exception|Hopeless): ", line):
            return line
    return ""


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("-j", "--jobs", type=int, default=1, help="tests run at once")
    parser.add_argument("-l", "--list", action="store_true", help="list the tests and stop")
    parser.add_argument("-v", "--verbose", action="store_true",
                        help="show why each expected failure failed")
    parser.add_argument("--one", metavar="ID", help=argparse.SUPPRESS)
    parser.add_argument("tests", nargs="*", help="names or parts of test ids")
    args = parser.parse_args()
    if args.one:
        return run_here(args.one)

    timeouts = test_ids()
    ids = list(timeouts)
    if args.tests:
        ids = [i for i in ids if any(t in i for t in args.tests)]
        if not ids:
            raise SystemExit("no test matches %s" % " ".join(args.tests))
    if args.list:
        print("\n".join(ids))
        return 0

    started = time.monotonic()
    bad = []
    with ThreadPoolExecutor(max_workers=max(1, args.jobs)) as pool:
        for test_id, verdict, seconds, output in pool.map(
                lambda i: run_one(i, timeouts[i]), ids):
            print("%-78s %5.1fs  %s" % (test_id, seconds, verdict), flush=True)
            if verdict == "expected failure" and args.verbose:
                print("    " + first_failing_line(output))
            if verdict in ("ok", "expected failure", "skipped"):
                continue
            bad.append(test_id)
            if verdict.startswith("UNEXPECTED PASS"):
                continue
            print("    " + (first_failing_line(output) or "see the output below"))
            print("\n".join("    | " + line for line in output.rstrip().splitlines()))
    print("%d acceptance tests in %.0f s, %d not as expected%s" % (
        len(ids), time.monotonic() - started, len(bad), (": " + " ".join(bad)) if bad else ""))
    return 1 if bad else 0


if __name__ == "__main__":
    sys.exit(main())
