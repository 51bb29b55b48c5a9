#!/usr/bin/env bash
# Installs the Debian packages this project needs, and only those missing.
# Safe to run again; uses sudo when not run as root.
#   --fuzz   also clang and its libFuzzer and sanitizer runtimes (scripts/fuzz.sh)
# The build, the test suite and the benchmarks need no option.
set -euo pipefail

packages=(
  build-essential cmake pkg-config
  libxerces-c-dev libicu-dev nlohmann-json3-dev
  googletest libgtest-dev libbenchmark-dev
  libxml2-utils valgrind
)
# The Python module, its tests and the Dask converter (Debian's Python only).
packages+=(python3-dev pybind11-dev python3-pytest python3-distributed)
# Comparison libraries used only by the benchmarks.
packages+=(libxml2-dev libpugixml-dev python3-xmlschema python3-lxml python3-xmltodict)
# The fuzz build only: clang is some 100 MB to fetch, which CI does not need.
for arg in "$@"; do
  case $arg in
    --fuzz) packages+=(clang libclang-rt-14-dev) ;;
    *) echo "usage: $0 [--fuzz]" >&2; exit 2 ;;
  esac
done

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then
  sudo_cmd=(sudo)
fi
echo "Installing: ${missing[*]}"
"${sudo_cmd[@]}" apt-get update -qq
DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
