#!/usr/bin/env bash
# The Windows side of the engine, run for real under Wine in a prefix of the
# test's own:
# - the COM runtime's answer to a class that is not registered;
# - late-bound calls by name on Wine's own Scripting.FileSystemObject, and
#   the forced delete through it (a read-only file removed, a missing one
#   reported as "File not found");
# - each design's card, the start-up check, and a card whose photo Word
#   refuses (its description must arrive), as the program makes them
#   against the recording engine on Linux, replayed through the COM backend
#   against a stand-in Word server registered as Word.Application: the
#   server's record must equal the recording engine's line for line, no
#   server may be left running, and the heap must stay sound (a string freed
#   twice shows in Wine's heap warnings);
# - a member the server lacks, an error it describes, and the server killed
#   in the middle of a call.
#   com_backend_test.sh BUILD_WIN_DIR RECORD_CONVERSATIONS
# Exit 77 (skipped) where Wine or the cross-built programs are missing.
set -uo pipefail
win=$1
recorder=$2
command -v wine >/dev/null || { echo "SKIPPED: no wine (apt install wine64)"; exit 77; }
for exe in wincheck standin_word replay; do
  [ -f "$win/$exe.exe" ] || { echo "SKIPPED: $win/$exe.exe not built (tools/wincheck.sh)"; exit 77; }
done
work=$(mktemp -d)
mkdir "$work/tmp"
# Wine's own temporary folders go with the test's.
export TMPDIR=$work/tmp WINEPREFIX=$work/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" HOME=$work
unset DISPLAY WAYLAND_DISPLAY
cleanup() {
  wineserver -k 2>/dev/null
  wineserver -w 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAILED: $*"; exit 1; }
winpath() { echo "Z:${1//\//\\}"; }
# A Windows program's output; a server it starts inherits its output too, so
# it goes to a file rather than a pipe that would stay open.
run() {
  timeout 120 wine "$@" >"$work/out" 2>&1 </dev/null
  local status=$?
  tr -d '\r' <"$work/out"
  return $status
}

# The prefix, made now: where Wine cannot start at all, say why and skip.
if ! run wineboot --init >"$work/boot" 2>&1; then
  echo "SKIPPED: Wine cannot run here:"
  cat "$work/boot"
  exit 77
fi
# Until the start-up's own processes are over, a local server COM starts
# can hang in its start.
wineserver -w

echo "a card" >"$work/card.doc"
chmod 444 "$work/card.doc"
out=$(run "$win/wincheck.exe" "$(winpath "$work/card.doc")")
echo "$out"
grep -qx "Word.Application: ActiveX component can't create object" <<<"$out" || fail "creating an unregistered class"
grep -qx "DeleteFile: done" <<<"$out" || fail "the read-only file was not deleted"
[ ! -e "$work/card.doc" ] || fail "the read-only file is still there"

out=$(run "$win/wincheck.exe" "$(winpath "$work/missing.doc")")
echo "$out"
grep -qx "DeleteFile: File not found" <<<"$out" || fail "a missing file is not reported as File not found"
out=$(run "$win/wincheck.exe" --late-bound)
echo "$out"
grep -qx "GetExtensionName: doc" <<<"$out" || fail "a member's string result"
grep -qx "NoSuchMember: Object doesn't support this property or method" <<<"$out" || fail "a member the server lacks"

mkdir "$work/conversations"
"$recorder" "$work/conversations" || fail "recording the conversations on Linux"
record=$(winpath "$work/record.txt")
faults=$(winpath "$work/faults.txt")
run "$win/standin_word.exe" --register "$record" "$faults" || fail "registering the stand-in Word server"

tapes=()
for t in "$work"/conversations/*.tape; do tapes+=("$(winpath "$t")"); done
out=$(WINEDEBUG=-all,warn+heap,err+heap run "$win/replay.exe" replay "$record" "$faults" "${tapes[@]}")
status=$?
echo "$out"
[ $status -eq 0 ] || fail "the replayed conversations"
[ "$(grep -c 'the same on both sides' <<<"$out")" -eq 8 ] || fail "not every conversation was replayed"
! grep -q ':heap:' <<<"$out" || fail "the heap was misused"

out=$(run "$win/replay.exe" faults "$record" "$faults")
status=$?
echo "$out"
[ $status -eq 0 ] || fail "the failures through the COM runtime"

out=$(run "$win/wincheck.exe")
echo "$out"
grep -qx "Word.Application: created, version 16.0" <<<"$out" || fail "creating the registered Word"
echo "PASSED"
