#!/usr/bin/env bash
# The main job on the bundled example: compile a schema, parse a message into
# typed values, write it back in code page 500 (EBCDIC) and read that again.
# Usage: scripts/demo.sh [path/to/wfhost]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
wfhost=${1:-${WF_BUILD_DIR:-$root/build}/bin/wfhost}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$root"

# Shows each command as a user would type it (wfhost on the PATH, files here).
run() {
  local shown="$*"
  shown=${shown//$wfhost/wfhost}
  echo "\$ ${shown//$work\//}"
  "$@"
  echo
}
run "$wfhost" compile examples/payment/payment.xsd -o "$work/payment.dict"
run "$wfhost" parse --dict "$work/payment.dict" examples/payment/payment-1.xml
run "$wfhost" roundtrip --dict "$work/payment.dict" --encoding ibm-500 examples/payment/payment-1.xml -o "$work/payment-500.xml"
echo "\$ iconv -f IBM500 -t UTF-8 payment-500.xml"
iconv -f IBM500 -t UTF-8 "$work/payment-500.xml"
echo  # the document ends without a line break
