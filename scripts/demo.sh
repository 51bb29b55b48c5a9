#!/usr/bin/env bash
# Runs wfhost on the bundled example and shows the tree events it reports.
# Usage: scripts/demo.sh [path/to/wfhost]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
wfhost=${1:-${WF_BUILD_DIR:-$root/build}/bin/wfhost}
example="$root/examples/order.xml"
echo "\$ wfhost parse --events examples/order.xml"
"$wfhost" parse --events "$example"
