#!/usr/bin/env python3
"""Runs the Wine tests: every test_*.py beside this file, or the tests named
on the command line (module, module.Class or module.Class.test_name).

Prints one line per test and ends with "N passed, N failed". A watchdog ends
the whole run after KAL_WINE_TIMEOUT seconds (default 1500), so a hung
program can never hang the run."""

import os
import signal
import sys
import time
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)

import harness  # noqa: E402


class LineResult(unittest.TextTestResult):
    def startTest(self, test):
        self._t0 = time.monotonic()
        super().startTest(test)

    def _line(self, word, test):
        self.stream.write(f"{word:5} {test.id()} ({time.monotonic() - self._t0:.1f} s)\n")
        self.stream.flush()

    def addSuccess(self, test):
        super(unittest.TextTestResult, self).addSuccess(test)
        self._line("ok", test)

    def addFailure(self, test, err):
        super(unittest.TextTestResult, self).addFailure(test, err)
        self._line("FAIL", test)

    def addError(self, test, err):
        super(unittest.TextTestResult, self).addError(test, err)
        self._line("ERROR", test)

    def addSkip(self, test, reason):
        super(unittest.TextTestResult, self).addSkip(test, reason)
        self._line("skip", test)


def main(argv):
    limit = int(os.environ.get("KAL_WINE_TIMEOUT", "1500"))

    def watchdog(signum, frame):
        sys.stderr.write(f"wine tests: the whole run exceeded {limit} s; stopping\n")
        harness.shutdown()
        sys.stdout.write("0 passed, 1 failed\n")
        os._exit(1)

    signal.signal(signal.SIGALRM, watchdog)
    signal.alarm(limit)

    loader = unittest.TestLoader()
    if argv:
        suite = loader.loadTestsFromNames(argv)
    else:
        suite = loader.discover(HERE, pattern="test_*.py", top_level_dir=HERE)

    runner = unittest.TextTestRunner(stream=sys.stdout, verbosity=0, resultclass=LineResult)
    try:
        result = runner.run(suite)
    finally:
        harness.shutdown()
    failed = len(result.failures) + len(result.errors) + len(result.unexpectedSuccesses)
    passed = result.testsRun - failed - len(result.skipped)
    line = f"{passed} passed, {failed} failed"
    if result.skipped:
        line += f", {len(result.skipped)} skipped"
    print(line)
    return 0 if failed == 0 and result.testsRun > 0 else 1


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
