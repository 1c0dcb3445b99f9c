#!/usr/bin/env bash
# Builds with AddressSanitizer and UndefinedBehaviorSanitizer into build-asan/ and runs the
# tests there; any finding fails its test.
#   scripts/sanitize.sh          every target, the whole suite (no server: its cases skip)
#   scripts/sanitize.sh --data   the data layer's test programs only, with a PostgreSQL test
#                                server for their server cases (what CI runs: the windows'
#                                tests under the sanitizers take longer than CI has)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
scripts/setup.sh
cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLANLAN_SANITIZE=ON -DLANLAN_BUILD_BENCH=OFF >/dev/null
if [ "${1:-}" != --data ]; then
  cmake --build build-asan -j"$(nproc)"
  cd build-asan && ctest --output-on-failure -j"$(nproc)" --timeout 600
  exit
fi
data_tests=(tst_accounts tst_datastore tst_lookuplists tst_demodata tst_discfilter tst_customerchecks
  tst_programdir tst_discindex tst_customersearch tst_customerindex tst_statistics tst_engines
  tst_shopexport tst_discrecords tst_listpages tst_hostileindex tst_rentals
  tst_returns tst_quickreturns)
cmake --build build-asan -j"$(nproc)" --target "${data_tests[@]}"
pgdir=$("$root/scripts/pg_test_server.sh" start)
trap 'status=$?; "$root/scripts/pg_test_server.sh" stop "$pgdir" || true; exit $status' EXIT
export LANLAN_TEST_PG="$("$root/scripts/pg_test_server.sh" conninfo "$pgdir")"
export LANLAN_TEST_PG_DIR="$pgdir"
# Qt stops a test function after 5 minutes; the index sweeps take longer under the sanitizers.
export QTEST_FUNCTION_TIMEOUT=1500000
cd build-asan && ctest --output-on-failure --no-tests=error -j"$(nproc)" --timeout 1800 -R "^($(IFS='|'; echo "${data_tests[*]}"))\$"
