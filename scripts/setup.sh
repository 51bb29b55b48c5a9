#!/usr/bin/env bash
# First command of a fresh machine: installs what is missing, builds, and runs
# wfhost on a bundled example.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
"$root/scripts/build.sh"
build=${WF_BUILD_DIR:-$root/build}
exec "$root/scripts/demo.sh" "$build/bin/wfhost"
