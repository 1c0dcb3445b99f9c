#!/usr/bin/env bash
# The long crash sweep: every multi-row write killed after each of its statements and at
# 200 random moments (or as many as given), each file then checked. Build first
# (scripts/build.sh); the figures are printed at the end.
set -euo pipefail
cd "$(dirname "$0")/.."
kills="${1:-200}"
LANLAN_CRASH_RANDOM_KILLS="$kills" build/bin/tst_crashsafety -maxwarnings 0 2>&1 \
  | grep -E "^(PASS|FAIL|QINFO|Totals)" | sed 's/^QINFO  : tst_crashsafety::cleanupTestCase() //'
