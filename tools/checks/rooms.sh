#!/usr/bin/env bash
# Checks that the tree keeps its house plan: every project include names its
# room, each room includes only the rooms it may use, a backend's headers stay
# its own but for its façade, and marigal-card needs no Qt Widgets.
#   rooms.sh SOURCE_DIR [MARIGAL_CARD_BINARY]
set -uo pipefail
src=$1
card=${2:-}
cd "$src" || exit 2
status=0
fail() { echo "$*"; status=1; }

# room -> the rooms it may include (besides itself)
declare -A may=(
  [common]=""
  [common/widgets]="common"
  [photo]="common"
  [engine]=""
  [engine/libreoffice]="engine photo"
  [engine/com]="engine"
  [engine/fake]="engine"
  [cardgen]="common engine photo"
  [preview]="common common/widgets"
  [shell]="common common/widgets photo cardgen engine preview"
  [batch]="common photo cardgen engine engine/libreoffice"
  [app]="common common/widgets photo engine engine/libreoffice cardgen preview shell batch"
)
# The headers of a backend that the rest of the program may include.
facade="engine/libreoffice/lo_backend.h engine/libreoffice/lo_options.h engine/com/com_backend.h"

for room in "${!may[@]}"; do
  for file in "$room"/*.cpp "$room"/*.h; do
    [ -e "$file" ] || continue
    while IFS= read -r line; do
      header=${line#*\"}; header=${header%\"*}
      case $header in */*) ;; *) fail "$file: \"$header\" does not name its room"; continue ;; esac
      [ -e "$header" ] || continue  # a generated or a system header
      from=$(dirname "$header")
      [ "$from" = "$room" ] && continue
      allowed=no
      for r in ${may[$room]}; do [ "$from" = "$r" ] && allowed=yes; done
      if [ $allowed = no ]; then fail "$file: $room may not use $from ($header)"; continue; fi
      case $from in
        engine/*) case " $facade " in *" $header "*) ;; *) fail "$file: $header is the backend's own" ;; esac ;;
      esac
    done < <(grep -h '^\s*#\s*include\s*"' "$file")
  done
done

if [ -n "$card" ]; then
  if ! command -v readelf >/dev/null; then
    fail "readelf is missing (binutils)"
  elif readelf -d "$card" | grep -q 'NEEDED.*libQt6Widgets'; then
    fail "$card needs libQt6Widgets"
  fi
fi
[ $status = 0 ] && echo "the rooms keep to their plan"
exit $status
