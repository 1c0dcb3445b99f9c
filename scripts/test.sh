#!/usr/bin/env bash
# Sets up a fresh Debian machine, builds and runs every test. A PostgreSQL server of its own
# runs for the tests of the server shop and is stopped at the end, also when a test fails.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh
pgdir=$(scripts/pg_test_server.sh start)
trap 'scripts/pg_test_server.sh stop "$pgdir"' EXIT
export LANLAN_TEST_PG="$(scripts/pg_test_server.sh conninfo "$pgdir")"
export LANLAN_TEST_PG_DIR="$pgdir"
cd build && ctest --output-on-failure -j"$(nproc)" --timeout 300
