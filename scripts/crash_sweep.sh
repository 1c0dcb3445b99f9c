#!/usr/bin/env bash
# The long crash sweep: every multi-row write killed after each of its statements (also
# those the tests only sample) and at 200 random moments (or as many as given), each file
# then checked. It takes a while: no time limit per operation. Build first
# (scripts/build.sh); the figures are printed at the end.
set -euo pipefail
cd "$(dirname "$0")/.."
kills="${1:-200}"
QTEST_FUNCTION_TIMEOUT=7200000 LANLAN_CRASH_EVERY_STATEMENT=1 LANLAN_CRASH_RANDOM_KILLS="$kills" build/bin/tst_crashsafety -maxwarnings 0 2>&1 \
  | grep -E "^(PASS|FAIL|QINFO|Totals)" | sed 's/^QINFO  : tst_crashsafety::cleanupTestCase() //'
