#!/usr/bin/env bash
# Runs a Windows program of the build under Wine, in the build tree's own throwaway prefix.
# WINEPREFIX may be set by the caller; otherwise the prefix lives beside the program.
set -e
exe=$1; shift
here=$(cd "$(dirname "$exe")" && pwd)
export WINEPREFIX=${WINEPREFIX:-$here/../wineprefix}
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-"mscoree,mshtml=;winemenubuilder.exe=d"}
export WINEARCH=win64
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  mkdir -p "$WINEPREFIX"
  wineboot -i >/dev/null 2>&1 </dev/null || true
fi
exec wine "$exe" "$@"
