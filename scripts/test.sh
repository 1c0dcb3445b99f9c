#!/usr/bin/env bash
# Sets up a fresh Debian machine, builds and runs every test. A PostgreSQL server of its own
# runs for the tests of the server shop and is stopped at the end, also when a test fails.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
scripts/setup.sh
scripts/build.sh
pgdir=$("$root/scripts/pg_test_server.sh" start)
# The trap runs from build/, so it names the script by its full path; the tests' status is
# what the script ends with, whatever stopping the server says.
trap 'status=$?; "$root/scripts/pg_test_server.sh" stop "$pgdir" || true; exit $status' EXIT
export LANLAN_TEST_PG="$("$root/scripts/pg_test_server.sh" conninfo "$pgdir")"
export LANLAN_TEST_PG_DIR="$pgdir"
cd build && ctest --output-on-failure -j"$(nproc)" --timeout 300
