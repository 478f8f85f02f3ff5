#!/usr/bin/env bash
# Usage: check_exports.sh LIBQUILLOMAT LIBPLATFORM EXPORT_LIST
# Fails when the bundle's dynamic symbol table differs from the export list
# in either direction, or when the bundle and the platform library export a
# name in common.
set -euo pipefail
lib=$1 platform=$2 list=$3
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
defined() { nm -D --defined-only "$1" | awk '{print $NF}' | sed 's/@.*//' | sort -u; }
defined "$lib" > "$tmp/lib"
defined "$platform" > "$tmp/platform"
grep -E '^[A-Za-z_]' "$list" | sort -u > "$tmp/list"
status=0
if ! diff -u "$tmp/list" "$tmp/lib" > "$tmp/diff"; then
  echo "libquillomat exports differ from the export list (- listed only, + exported only):"
  cat "$tmp/diff"
  status=1
fi
common=$(comm -12 "$tmp/lib" "$tmp/platform")
if [ -n "$common" ]; then
  echo "names exported by both libquillomat and libplatform:"
  echo "$common"
  status=1
fi
[ $status -eq 0 ] && echo "exports: $(wc -l < "$tmp/lib") names, all listed, none shared with the platform"
exit $status
