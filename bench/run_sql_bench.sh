#!/usr/bin/env bash
# One editing session on tables of 10 thousand and 1 million records: our provider, then python3-dbf
# doing the same work on a copy of the same table. Usage: bench/run_sql_bench.sh BUILD_DIR
set -eu
build=${1:-build}
bench=$build/bin/sql_edit_bench
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
for n in 10000 1000000; do
  "$bench" make "$work/base.dbf" "$n"
  mkdir -p "$work/ours" "$work/peer"
  cp "$work/base.dbf" "$work/ours/people.dbf"; cp "$work/base.fpt" "$work/ours/people.fpt"
  cp "$work/base.dbf" "$work/peer/people.dbf"; cp "$work/base.fpt" "$work/peer/people.fpt"
  echo "== $n records: dorvane provider"
  "$bench" run "$work/ours" people
  echo "== $n records: python3-dbf (stopped after ${PEER_LIMIT:-600} s)"
  timeout "${PEER_LIMIT:-600}" /usr/bin/python3 "$(dirname "$0")/sql_edit_peer.py" "$work/peer/people.dbf" \
    || echo "python3-dbf did not finish within ${PEER_LIMIT:-600} s"
  rm -rf "$work/ours" "$work/peer" "$work"/base.*
done
