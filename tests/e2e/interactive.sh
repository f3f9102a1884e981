#!/usr/bin/env bash
# The program on the user's display in a fresh prefix, against the service
# stand-in, until the user closes it.
# Usage: interactive.sh <build>/tests/e2e/e2e-paths.sh
set -euo pipefail
source "$(dirname "$0")/e2e-lib.sh" "$1"
e2e_begin interactive
e2e_standin_start
e2e_wine "$E2E_PROGRAM"
