#!/bin/sh
# Layering check: lists every #include in src/ that points to a folder that
# is not below the including folder, and fails when there is one. Layers from
# the bottom; folders of one layer are peers and do not include each other.
cd "$(dirname "$0")/.." || exit 2
rank() {
  case "$1" in
    platform|protocol) echo 0 ;; shared) echo 1 ;; tables) echo 2 ;;
    jni) echo 3 ;; ehllapi|bridge|sessionapi) echo 4 ;;
    compat|utlapi) echo 5 ;; library) echo 6 ;; *) echo 99 ;;
  esac
}
status=0
for file in $(find src -name '*.cpp' -o -name '*.h'); do
  from=$(echo "$file" | cut -d/ -f2)
  grep -o '#include "[a-z_]*/' "$file" | sed 's/#include "//; s#/##' | sort -u | while read -r to; do
    [ "$to" = "$from" ] && continue
    [ "$(rank "$to")" -lt "$(rank "$from")" ] && continue
    echo "$file includes $to/ (not below $from/)"
  done
done | grep . && status=1
exit $status
