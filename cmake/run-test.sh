#!/bin/sh
# Runs one test executable with a private, throw-away configuration home.
home=$(mktemp -d "${TMPDIR:-/tmp}/vantrel-test.XXXXXX") || exit 1
mkdir -m 700 "$home/runtime"
XDG_CONFIG_HOME="$home/config" XDG_DATA_HOME="$home/data" XDG_CACHE_HOME="$home/cache" \
XDG_RUNTIME_DIR="$home/runtime" HOME="$home" "$@"
rc=$?
rm -rf "$home"
exit $rc
