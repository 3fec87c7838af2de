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
if [ ! -d "$prefix" ]; then
  # Serialise prefix creation between parallel test processes.
  mkdir -p "$(dirname "$prefix")"
  exec 9>"$prefix.lock"
  flock 9
  if [ ! -d "$prefix" ]; then "$loader" wineboot --init >/dev/null 2>&1 || true; fi
  flock -u 9
fi
exec "$loader" "$@"
