#!/usr/bin/env bash
# Usage: check_install.sh BUILD_DIR
# Installs the build into a temporary prefix and runs the installed command
# on the installed plug-in: it must work there, and map exactly one copy of
# the toolbox library (the host and the bundle share it).
set -euo pipefail
build=$1
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix" > /dev/null
mkdir -p "$prefix/s/Scripts/Encoders"
printf '#!/bin/sh\ntouch "$1.done"\n' > "$prefix/s/Scripts/Encoders/Touch"
chmod +x "$prefix/s/Scripts/Encoders/Touch"
echo hello > "$prefix/s/doc.txt"
out=$("$prefix/bin/quillomat" -v --scripts "$prefix/s/Scripts" menu "$prefix/s/doc.txt" 2>&1)
echo "$out"
echo "$out" | grep -q "^Quillomat/Touch$" || { echo "FAIL: the installed command shows no entry"; exit 1; }
echo "$out" | grep -q "loaded $prefix/.*/quillomat/Quillomat.plugin" || { echo "FAIL: not the installed plug-in"; exit 1; }
copies=$(echo "$out" | grep -c "toolbox library mapped from" || true)
[ "$copies" -eq 1 ] || { echo "FAIL: $copies copies of the toolbox library mapped"; exit 1; }
"$prefix/bin/quillomat" --scripts "$prefix/s/Scripts" open --wait Touch "$prefix/s/doc.txt" > /dev/null
[ -e "$prefix/s/doc.txt.done" ] || { echo "FAIL: the installed command opened nothing"; exit 1; }
echo "install: one copy of the toolbox library, installed plug-in works"
