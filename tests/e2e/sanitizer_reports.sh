#!/bin/sh
# Fails when the sanitizers reported anything (a leak, a memory error,
# undefined behaviour) into folder $1 while the end-to-end tests ran, and
# prints each report.
# Usage: sanitizer_reports.sh FOLDER
reports=$(find "$1" -type f 2>/dev/null)
[ -z "$reports" ] && { echo "no sanitizer reports"; exit 0; }
for report in $reports; do
  echo "== $report"
  cat "$report"
done
exit 1
