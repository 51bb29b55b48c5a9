#!/bin/sh
# Parses a document under valgrind: wfhost must end with the expected status
# and leave no leak or memory error behind (the worker's pools included).
# Usage: valgrind_parse.sh WFHOST STATUS FILE [MESSAGE-SET-SOURCE]
# With a message-set source the document is parsed with its dictionary.
# Exit 77 (skipped) without valgrind.
command -v valgrind >/dev/null 2>&1 || { echo "valgrind is not installed"; exit 77; }
wfhost=$1 expected=$2 file=$3 source=$4
log=$(mktemp)
dictionary=""
if [ -n "$source" ]; then
  dictionary=$(mktemp)
  "$wfhost" compile "$source" -o "$dictionary" >/dev/null || { echo "cannot compile $source"; exit 1; }
fi
valgrind --leak-check=full --errors-for-leak-kinds=definite,indirect,possible --error-exitcode=99 \
  "$wfhost" parse --events ${dictionary:+--dict "$dictionary"} "$file" >/dev/null 2>"$log"
status=$?
cat "$log"
rm -f "$log" ${dictionary:+"$dictionary"}
[ "$status" -eq "$expected" ] || { echo "expected wfhost status $expected, got $status"; exit 1; }
