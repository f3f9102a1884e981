"""Adds up the GoogleTest results of every suite run into one closing line."""
import pathlib
import sys
import xml.etree.ElementTree as ET

passed = failed = skipped = 0
for report in sorted(pathlib.Path(sys.argv[1]).glob("*.xml")):
    root = ET.parse(report).getroot()
    for case in root.iter("testcase"):
        if case.find("failure") is not None:
            failed += 1
        elif (case.get("result") in ("skipped", "suppressed") or case.get("status") == "notrun"
              or case.find("skipped") is not None):
            skipped += 1
        else:
            passed += 1
print(f"tests: {passed} passed, {failed} failed, {skipped} skipped")
sys.exit(1 if failed or passed == 0 else 0)
