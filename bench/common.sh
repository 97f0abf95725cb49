# shellcheck shell=bash
# Shared by the benchmark scripts (sourced, not run): package installs, the
# timed run, medians and the verdicts of the tables.
#
# measure and the statistics read and write files in $RES; measure runs in a
# fresh, empty $OUT with a fresh $TMPDIR.

# bench_install PACKAGE...: installs the Debian packages given (the caller
# names only the missing ones); as another user than root, prints the
# command and fails.
bench_install() {
  [ "$#" -gt 0 ] || return 0
  if [ "$(id -u)" -ne 0 ]; then
    echo "Missing Debian packages: $*" >&2
    echo "  sudo apt-get update && sudo apt-get install -y $*" >&2
    exit 1
  fi
  echo "Installing: $*"
  local policy=/usr/sbin/policy-rc.d made_policy=0
  # No service is started by an install (nginx would take port 80).
  if [ ! -e "$policy" ]; then
    printf '#!/bin/sh\nexit 101\n' >"$policy" && chmod 755 "$policy" && made_policy=1
  fi
  DEBIAN_FRONTEND=noninteractive apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "$@" >/dev/null
  [ "$made_policy" -eq 0 ] || rm -f "$policy"
}

# measure NAME COMMAND...: one timed run in a fresh, empty folder $OUT;
# appends "wall user sys maxrss_kib exit" to $RES/NAME.
measure() {
  local name=$1
  shift
  rm -rf "$OUT" "$TMPDIR"
  mkdir -p "$OUT" "$TMPDIR"
  sync
  local status=0
  (cd "$OUT" && /usr/bin/time -o "$RES/$name.time" -f '%e %U %S %M' "$@" \
      >"$RES/$name.stdout" 2>"$RES/$name.stderr") || status=$?
  echo "$(tail -1 "$RES/$name.time") $status" >>"$RES/$name"
}

# The median of column COLUMN of $RES/NAME (1 wall, 2 user, 3 sys, 4 rss,
# 6 user+sys), or "-".
median() {
  local file=$1 column=$2
  [ -s "$RES/$file" ] || { echo "-"; return; }
  awk -v c="$column" '{ v = (c == 6) ? $2 + $3 : $c; print v }' "$RES/$file" | sort -g |
    awk '{ a[NR] = $1 } END { if (NR % 2) print a[(NR + 1) / 2]; else print (a[NR / 2] + a[NR / 2 + 1]) / 2 }'
}

# The largest value of column COLUMN of $RES/NAME (as median), or "-".
slowest() {
  local file=$1 column=$2
  [ -s "$RES/$file" ] || { echo "-"; return; }
  awk -v c="$column" '{ v = (c == 6) ? $2 + $3 : $c; if (NR == 1 || v > m) m = v } END { print m }' \
    "$RES/$file"
}

# Whether every run of NAME exited with status 0.
all_ok() {
  [ -s "$RES/$1" ] && awk '$5 != 0 { bad = 1 } END { exit bad }' "$RES/$1"
}

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (a == "-" || b == "-" || b == 0) print "-"; else printf "%.2f", a / b }'; }
seconds() { awk -v v="$1" 'BEGIN { if (v == "-") print "-"; else printf "%.2f s", v }'; }

# verdict VALUE OP LIMIT: "met" when VALUE is a number and VALUE OP LIMIT.
verdict() {
  if awk -v v="$1" -v op="$2" -v l="$3" 'BEGIN {
      if (v !~ /^[0-9.]+$/) exit 1
      v += 0; l += 0
      exit !((op == "<=" && v <= l) || (op == "<" && v < l))
    }'; then echo "met"; else echo "NOT MET"; fi
}

# both VERDICT VERDICT: "met" when both are.
both() { [ "$1" = met ] && [ "$2" = met ] && echo met || echo "NOT MET"; }
