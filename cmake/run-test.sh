#!/bin/sh
# Runs one test executable with a private, throw-away configuration home.
home=$(mktemp -d "${TMPDIR:-/tmp}/vantrel-test.XXXXXX") || exit 1
mkdir -m 700 "$home/runtime"
# No test ever reaches a real host: unless a test points them at its own devsite, every
# host role goes to a closed local port and fails at once.
: "${VANTREL_WEBSITE_URL:=https://127.0.0.1:9}" "${VANTREL_ACCOUNT_URL:=https://127.0.0.1:9}"
: "${VANTREL_UPLOAD_URL:=http://127.0.0.1:9}" "${VANTREL_NEWS_URL:=https://127.0.0.1:9}"
export VANTREL_WEBSITE_URL VANTREL_ACCOUNT_URL VANTREL_UPLOAD_URL VANTREL_NEWS_URL
XDG_CONFIG_HOME="$home/config" XDG_DATA_HOME="$home/data" XDG_CACHE_HOME="$home/cache" \
XDG_RUNTIME_DIR="$home/runtime" HOME="$home" "$@"
rc=$?
rm -rf "$home"
exit $rc
