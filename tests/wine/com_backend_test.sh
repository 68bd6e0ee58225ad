#!/usr/bin/env bash
# The Windows side of the engine, run for real under Wine in a prefix of the
# test's own: the COM runtime's answer to a class that is not registered;
# late-bound calls by name on Wine's own Scripting.FileSystemObject (a
# member's result, and the adapter's text for a member it lacks); and the
# forced delete through it: a read-only file removed, a missing one reported
# as "File not found".
#   com_backend_test.sh WINCHECK_EXE
# Exit 77 (skipped) where Wine or the cross-built program is missing.
set -uo pipefail
exe=$1
command -v wine >/dev/null || { echo "SKIPPED: no wine (apt install wine64)"; exit 77; }
[ -f "$exe" ] || { echo "SKIPPED: $exe not built (tools/wincheck.sh)"; exit 77; }
work=$(mktemp -d)
export WINEPREFIX=$work/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" HOME=$work
unset DISPLAY WAYLAND_DISPLAY
cleanup() {
  wineserver -k 2>/dev/null
  wineserver -w 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAILED: $*"; exit 1; }
winpath() { echo "Z:${1//\//\\}"; }

echo "a card" >"$work/card.doc"
chmod 444 "$work/card.doc"
out=$(timeout 120 wine "$exe" "$(winpath "$work/card.doc")" 2>&1 | tr -d '\r')
echo "$out"
grep -qx "Word.Application: ActiveX component can't create object" <<<"$out" || fail "creating an unregistered class"
grep -qx "DeleteFile: done" <<<"$out" || fail "the read-only file was not deleted"
[ ! -e "$work/card.doc" ] || fail "the read-only file is still there"

out=$(timeout 60 wine "$exe" "$(winpath "$work/missing.doc")" 2>&1 | tr -d '\r')
echo "$out"
grep -qx "DeleteFile: File not found" <<<"$out" || fail "a missing file is not reported as File not found"
out=$(timeout 60 wine "$exe" --late-bound 2>&1 | tr -d '\r')
echo "$out"
grep -qx "GetExtensionName: doc" <<<"$out" || fail "a member's string result"
grep -qx "NoSuchMember: Object doesn't support this property or method" <<<"$out" || fail "a member the server lacks"
echo "PASSED"
