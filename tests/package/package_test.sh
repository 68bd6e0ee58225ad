#!/usr/bin/env bash
# The Debian package as a user meets it: made from this build, unpacked into
# a folder of its own, its metadata checked, and the unpacked program started
# on a display of its own and driven through its real window: sample data,
# then a card. Afterwards no office and no working file may be left.
#   package_test.sh BUILD_FOLDER
set -euo pipefail
build=$(cd "$1" && pwd)
work=$(mktemp -d)
# Everything its tools make for a while (lintian's too) goes with it.
export TMPDIR=$work
xvfb=""
program=""
cleanup() {
  [ -n "$program" ] && kill -KILL "$program" 2>/dev/null || true
  [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAILED: $*" >&2; exit 1; }

# The package, unpacked as dpkg would install it.
(cd "$build" && cpack -G DEB -B "$work/package" >/dev/null)
deb=$(ls "$work"/package/marigal_*.deb)
lintian --fail-on error "$deb" >&2 || fail "lintian reports errors"
# The designs are installed once, as data, not compiled into both programs.
size=$(stat -c %s "$deb")
[ "$size" -le $((4 * 1024 * 1024)) ] || fail "the package is $size bytes, over 4 MB"
root="$work/root"
dpkg-deb -x "$deb" "$root"
desktop-file-validate "$root/usr/share/applications/com.quenlow.marigal.desktop" || fail "desktop entry"
appstreamcli validate --no-net "$root/usr/share/metainfo/com.quenlow.marigal.metainfo.xml" >/dev/null || fail "metadata"
[ -x "$root/usr/bin/marigal" ] || fail "no program"
"$root/usr/bin/marigal" --version | grep -q '^marigal ' || fail "--version"
for page in marigal marigal-card; do
  [ -s "$root/usr/share/man/man1/$page.1.gz" ] || fail "no manual page $page(1)"
done

# The command beside it, from the installed files too (no display needed).
mkdir -p "$work/home" "$work/temp"
chmod 700 "$work/temp"
run_home() {
  env HOME="$work/home" XDG_CONFIG_HOME="$work/home/config" XDG_CACHE_HOME="$work/home/cache" TEMP="$work/temp" "$@"
}
# A card of every design, read from the installed design files.
for design in 0 1 2 3 4 5; do
  run_home "$root/usr/bin/marigal-card" --design $design --message "Dear Ann" \
      --photo "$root/usr/share/marigal/Samples/sample1.jpg" --output "$work/card$design.doc" >&2 || fail "marigal-card, design $design"
  [ -s "$work/card$design.doc" ] || fail "marigal-card wrote no card of design $design"
done

# A display of its own.
exec 3>"$work/display"
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
exec 3>&-
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
export DISPLAY=":$(cat "$work/display")"

# The program, with settings, profiles and working files of its own.
env HOME="$work/home" XDG_CONFIG_HOME="$work/home/config" XDG_CACHE_HOME="$work/home/cache" \
    TEMP="$work/temp" QT_QPA_PLATFORM=xcb "$root/usr/bin/marigal" 2>"$work/log" &
program=$!
window() { xdotool search --onlyvisible --name '^Marigal$' 2>/dev/null || true; }
for _ in $(seq 300); do main=$(window | head -1); [ -n "$main" ] && break; sleep 0.1; done
[ -n "$main" ] || fail "no main window: $(cat "$work/log")"
sleep 0.5

# "Load Sample/Example Data" (4080, 630, 3840 x 405 twips), then "Start
# Creating Template" (120, 120, 7800 x 405), at 15 twips a pixel.
xdotool mousemove --window "$main" 400 55 click 1
sleep 0.5
conf="$work/home/config/Quenlow/Marigal.conf"
sample=$(readlink -f "$root/usr/share/marigal/Samples/sample1.jpg")
grep -qxF "txtSubjectPic=$sample" "$conf" || fail "sample photo not the installed one: $(grep txtSubjectPic "$conf")"
xdotool mousemove --window "$main" 268 21 click 1
preview=""
for _ in $(seq 600); do
  xdotool search --onlyvisible --name '^Application Error$' >/dev/null 2>&1 && fail "an error box: $(cat "$work/log")"
  preview=$(window | grep -vx "$main" | head -1 || true)
  [ -n "$preview" ] && break
  sleep 0.1
done
[ -n "$preview" ] || fail "no preview: $(cat "$work/log")"
ls "$work"/temp/marigal-run-*/tamlor*.doc >/dev/null 2>&1 || fail "no card document"

# Closed as a session's end closes it; then nothing of it may be left.
kill -TERM "$program"
for _ in $(seq 300); do kill -0 "$program" 2>/dev/null || break; sleep 0.1; done
kill -0 "$program" 2>/dev/null && fail "the program did not end"
pid=$program
program=""
offices=0
for office in $(pgrep -f -- "UserInstallation=file://$work" || true); do
  case "$(ps -o stat= -p "$office" 2>/dev/null)" in Z* | "") ;; *) offices=$((offices + 1)) ;; esac
done
[ "$offices" -eq 0 ] || fail "$offices office process(es) left"
ls -d "$work"/temp/marigal-run-* >/dev/null 2>&1 && fail "working files left: $(ls -R "$work/temp")"
ls /tmp/OSL_PIPE_"$(id -u)"_marigal-"$pid"-* >/dev/null 2>&1 && fail "office pipes left"
echo "package: made, unpacked, cards made through the installed window and command, nothing left"
