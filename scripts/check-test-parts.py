#!/usr/bin/env python3
"""Checks that the parts of a split test suite together run each of its tests
exactly once, as GoogleTest's own filters pick them: lists the suite's tests,
then each part's.

    check-test-parts.py <wine-run> <suite executable> <filter>...
"""
import collections
import subprocess
import sys


def listed(run, suite, test_filter=None):
    command = [run, suite, "--gtest_list_tests"]
    if test_filter is not None:
        command.append("--gtest_filter=" + test_filter)
    output = subprocess.run(command, capture_output=True, text=True, check=True).stdout
    tests, group = [], ""
    for line in output.splitlines():
        if not line.strip() or line.startswith("Note: "):
            continue
        # "Group." then its tests indented, each maybe with a "# param" note.
        if line.startswith(" "):
            tests.append(group + line.split()[0])
        else:
            group = line.split()[0]
    return tests


def main():
    run, suite, filters = sys.argv[1], sys.argv[2], sys.argv[3:]
    every = listed(run, suite)
    runs = collections.Counter()
    for test_filter in filters:
        runs.update(listed(run, suite, test_filter))
    wrong = [f"{test}: in {runs[test]} parts" for test in every if runs[test] != 1]
    wrong += [f"{test}: not a test of the suite" for test in runs if test not in every]
    for line in wrong:
        print(line)
    if not every or wrong:
        sys.exit(1)
    print(f"{len(every)} tests, each in exactly one of {len(filters)} parts")


main()
