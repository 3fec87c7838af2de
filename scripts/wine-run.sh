#!/usr/bin/env bash
# Runs a 64-bit Windows program under Wine in a throw-away prefix, so tests never
# touch a real Wine configuration. The prefix lives beside the build (or in
# $ORVIX_WINEPREFIX) and is created on first use, which takes about ten seconds.
set -euo pipefail
prefix=${ORVIX_WINEPREFIX:-${TMPDIR:-/tmp}/orvix-wineprefix-$(id -u)}
export WINEPREFIX=$prefix
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
loader=/usr/lib/wine/wine64
[ -x "$loader" ] || loader=$(command -v wine64 || command -v wine)
server=/usr/lib/wine/wineserver64
[ -x "$server" ] || server=$(command -v wineserver || true)

# A prefix is ready once wineboot has put the system libraries in place; a wineboot
# that dies part way leaves a prefix without them, in which nothing starts.
ready() { [ -f "$prefix/drive_c/windows/system32/kernel32.dll" ]; }

if ! ready; then
  # Serialise prefix creation between parallel test processes.
  mkdir -p "$(dirname "$prefix")"
  exec 9>"$prefix.lock"
  flock 9
  for attempt in 1 2 3; do
    ready && break
    [ "$attempt" -gt 1 ] && echo "wine-run: the prefix $prefix was left incomplete; making it again" >&2
    rm -rf "$prefix"
    "$loader" wineboot --init >/dev/null 2>&1 || true
    # wineboot returns before the services it started are done with the prefix.
    if [ -n "$server" ]; then WINEPREFIX=$prefix timeout 60 "$server" -w || true; fi
  done
  flock -u 9
  ready || { echo "wine-run: no usable Wine prefix at $prefix" >&2; exit 1; }
fi
exec "$loader" "$@"
