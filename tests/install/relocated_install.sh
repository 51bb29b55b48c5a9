#!/usr/bin/env bash
# Installs the build into a prefix, moves the prefix elsewhere, and uses the
# moved copy as a user would: examples/embed built with find_package(wfxml)
# (with Xerces-C and ICU out of CMake's reach, and no header of theirs read)
# and again with pkg-config, both run on the payment example, and the moved
# wfhost parses with a dictionary (so it found its plug-in by itself); given
# a Python interpreter, the moved Python package converts the example too.
# Usage: relocated_install.sh BUILD_DIR SOURCE_DIR [PYTHON]
set -euo pipefail
build=$1
source=$2
python=${3:-}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
unset WF_PLUGIN_PATH LD_LIBRARY_PATH

cmake --install "$build" --prefix "$work/staged" >/dev/null
mv "$work/staged" "$work/moved"
prefix=$work/moved
schema=$source/examples/payment/payment.xsd
message=$source/examples/payment/payment-1.xml

expect_typed_output() {
  local output=$1
  grep -q '/Payment/Amount.* = 1250.00  \[decimal\]' "$output" || { cat "$output"; echo "no typed decimal"; exit 1; }
  grep -q 'written in code page 500' "$output" || { cat "$output"; echo "no EBCDIC write"; exit 1; }
}

echo "== only the public header"
headers=$(cd "$prefix/include" && find . -type f | sort)
[ "$headers" = "./wfxml/wfxml.h" ] || { echo "installed headers: $headers"; exit 1; }

echo "== find_package(wfxml)"
cmake -S "$source/examples/embed" -B "$work/embed-cmake" -DCMAKE_PREFIX_PATH="$prefix" \
  -DCMAKE_DISABLE_FIND_PACKAGE_XercesC=ON -DCMAKE_DISABLE_FIND_PACKAGE_ICU=ON >/dev/null
cmake --build "$work/embed-cmake" >/dev/null
# The compiler's record of the headers it read.
depfiles=$(find "$work/embed-cmake" -name '*.o.d')
[ -n "$depfiles" ] || { echo "no dependency file to look into"; exit 1; }
# shellcheck disable=SC2086
if grep -qE 'xercesc/|unicode/' $depfiles; then echo "the program read a Xerces-C or ICU header"; exit 1; fi
"$work/embed-cmake/payment" "$schema" "$message" | tee "$work/cmake.out"
expect_typed_output "$work/cmake.out"

echo "== pkg-config wfxml"
export PKG_CONFIG_PATH=$prefix/lib/pkgconfig
libdir=$(pkg-config --variable=libdir wfxml)
# shellcheck disable=SC2046
g++ -std=c++17 "$source/examples/embed/payment.cpp" -o "$work/payment-pc" $(pkg-config --cflags --libs wfxml) \
  -Wl,-rpath,"$libdir"
"$work/payment-pc" "$schema" "$message" > "$work/pc.out"
expect_typed_output "$work/pc.out"

echo "== moved wfhost"
"$prefix/bin/wfhost" compile "$schema" -o "$work/payment.dict"
"$prefix/bin/wfhost" parse --dict "$work/payment.dict" "$message" | grep -q 'Zoë Müller'

if [ -n "$python" ]; then
  echo "== moved Python module"
  package=$(find "$prefix" -type d -name wfxml -path '*-packages/*')
  [ -n "$package" ] || { echo "no Python package installed"; exit 1; }
  PYTHONPATH=$(dirname "$package") "$python" - "$schema" "$message" "$prefix" <<'EOF'
import sys, wfxml
assert wfxml.__file__.startswith(sys.argv[3]), wfxml.__file__
message_set = wfxml.MessageSet.compile([sys.argv[1]])
data = message_set.to_dict(open(sys.argv[2], "rb").read())
assert str(data["Payment"]["Amount"]["$"]) == "1250.00", data
assert message_set.to_dict(message_set.to_xml(data, encoding="ibm-500")) == data
EOF
fi
echo "relocated install: ok"
