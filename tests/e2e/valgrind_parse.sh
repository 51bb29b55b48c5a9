#!/bin/sh
# Parses a malformed document under valgrind: wfhost must fail with a host
# exception (status 1) and leave no leak or memory error behind.
# Usage: valgrind_parse.sh WFHOST FILE. Exit 77 (skipped) without valgrind.
command -v valgrind >/dev/null 2>&1 || { echo "valgrind is not installed"; exit 77; }
log=$(mktemp)
valgrind --leak-check=full --errors-for-leak-kinds=definite,indirect,possible --error-exitcode=99 \
  "$1" parse --events "$2" >/dev/null 2>"$log"
status=$?
cat "$log"
rm -f "$log"
[ "$status" -eq 1 ] || { echo "expected wfhost status 1, got $status"; exit 1; }
