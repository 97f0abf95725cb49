#!/bin/bash
# Throughput of `pullbay run --headless` against curl and wget2, fetching the
# same generated files from one private nginx on a loopback port. Every case
# runs the tools interleaved, BENCH_RUNS rounds (default 5), and the table
# shows medians and the ratio to curl. Also: system calls per small file
# (strace -f -c of the 2,000-file run minus an empty-list run), peak memory,
# the file list's parse-and-load time, the GUI thread's largest lateness
# during a run, and a 5 GiB sparse file that is cut above 4 GiB and resumed.
#
#   bench/throughput.sh [build dir]       (make bench: the build/ program)
#
# BENCH_DIR keeps the generated files and the results in a folder of your
# choice (default: a new folder under /var/tmp, removed at the end unless
# BENCH_KEEP=1). BENCH_SKIP_HUGE=1 leaves out the 5 GiB case. Timings are
# only as quiet as the machine: run it when nothing else builds.
set -euo pipefail
# shellcheck source=bench/common.sh
. "$(dirname "$0")/common.sh"

BUILD_DIR=$(cd "${1:-build}" && pwd)
RUNS=${BENCH_RUNS:-5}
PULLBAY="$BUILD_DIR/pullbay"
PARSER_BENCH="$BUILD_DIR/bench/bench_file_list_parser"
LATENCY_BENCH="$BUILD_DIR/bench/bench_gui_latency"
SMALL_COUNT=2000
SMALL_BYTES=4096
BIG_MIB=512
HUGE_BYTES=$((5 * 1024 * 1024 * 1024))
# Where the huge file is cut: above 4 GiB, so the resume position needs 64 bits.
HUGE_CUT_BYTES=$((4 * 1024 * 1024 * 1024 + 256 * 1024 * 1024))

[ -x "$PULLBAY" ] || { echo "build the program first: $PULLBAY is missing" >&2; exit 1; }

# --- tools -----------------------------------------------------------------
need=""
[ -x /usr/sbin/nginx ] || need="$need nginx-light"
command -v curl >/dev/null || need="$need curl"
command -v wget2 >/dev/null || need="$need wget2"
command -v strace >/dev/null || need="$need strace"
[ -x /usr/bin/time ] || need="$need time"
# shellcheck disable=SC2086
bench_install $need

# --- work folder -----------------------------------------------------------
if [ -n "${BENCH_DIR:-}" ]; then
  WORK=$BENCH_DIR
  mkdir -p "$WORK"
else
  WORK=$(mktemp -d /var/tmp/pullbay-bench.XXXXXX)
fi
WWW="$WORK/www"
NGINX_PID=""
cleanup() {
  [ -z "$NGINX_PID" ] || kill -9 "$NGINX_PID" 2>/dev/null || true
  if [ -z "${BENCH_DIR:-}" ] && [ "${BENCH_KEEP:-0}" != 1 ]; then
    rm -rf "$WORK"
  fi
}
trap cleanup EXIT
# A fresh home each time: the program registers the module it was started
# with there, and a registration left by another build would load that one.
rm -rf "$WORK/home"
mkdir -p "$WWW/small" "$WORK/nginx/temp" "$WORK/home" "$WORK/results"
# The program's settings, temporary files and downloads stay in the work
# folder; temporary folder and destinations share one file system, so a
# commit is a rename.
export HOME="$WORK/home" XDG_CONFIG_HOME="$WORK/home/.config" TMPDIR="$WORK/tmp"
mkdir -p "$TMPDIR"
export QT_QPA_PLATFORM=offscreen

echo "Generating files in $WORK ..."
[ -s "$WWW/big.bin" ] || head -c $((BIG_MIB * 1024 * 1024)) /dev/urandom >"$WWW/big.bin"
if [ ! -s "$WWW/small/f$((SMALL_COUNT - 1)).bin" ]; then
  head -c $((SMALL_COUNT * SMALL_BYTES)) /dev/urandom >"$WORK/small.all"
  (cd "$WWW/small" && split -a 4 -d -b "$SMALL_BYTES" "$WORK/small.all" part. &&
   i=0 && for f in part.*; do mv "$f" "f$i.bin"; i=$((i + 1)); done)
  rm -f "$WORK/small.all"
fi
[ -e "$WWW/huge.bin" ] || truncate -s "$HUGE_BYTES" "$WWW/huge.bin"

# --- nginx -----------------------------------------------------------------
PORT=""
start_nginx() {
  local attempt
  for attempt in 1 2 3 4 5; do
    [ -n "$PORT" ] && [ "$attempt" -eq 1 ] || PORT=$((20000 + RANDOM % 40000))
    cat >"$WORK/nginx/nginx.conf" <<EOF
daemon off;
master_process off;
pid nginx.pid;
error_log error.log error;
events { worker_connections 256; }
http {
    types { text/plain txt; application/octet-stream bin; }
    default_type application/octet-stream;
    access_log access.log;
    sendfile on;
    tcp_nopush on;
    keepalive_requests 1000000;
    keepalive_timeout 120s;
    client_body_temp_path temp/client_body;
    proxy_temp_path temp/proxy;
    fastcgi_temp_path temp/fastcgi;
    uwsgi_temp_path temp/uwsgi;
    scgi_temp_path temp/scgi;
    server {
        listen 127.0.0.1:$PORT reuseport;
        root $WWW;
    }
}
EOF
    /usr/sbin/nginx -p "$WORK/nginx/" -c "$WORK/nginx/nginx.conf" -e "$WORK/nginx/error.log" \
      </dev/null >"$WORK/nginx/nginx.out" 2>&1 &
    NGINX_PID=$!
    local i
    for i in $(seq 100); do
      if curl -fso /dev/null "http://127.0.0.1:$PORT/small/f0.bin"; then
        return 0
      fi
      kill -0 "$NGINX_PID" 2>/dev/null || break
      sleep 0.05
    done
    kill -9 "$NGINX_PID" 2>/dev/null || true
    wait "$NGINX_PID" 2>/dev/null || true
    NGINX_PID=""
  done
  echo "nginx did not start:" >&2
  cat "$WORK/nginx/nginx.out" "$WORK/nginx/error.log" >&2 2>/dev/null || true
  exit 1
}
start_nginx
BASE="http://127.0.0.1:$PORT"
echo "nginx on $BASE"

# --- lists and configurations ----------------------------------------------
printf '*/*|%d|%s/big.bin|big.bin\n' \
  $((BIG_MIB * 1024 * 1024)) "$BASE" >"$WWW/big.txt"
awk -v n="$SMALL_COUNT" -v b="$BASE" -v s="$SMALL_BYTES" 'BEGIN {
  for (i = 0; i < n; i++) printf "*/*|%d|%s/small/f%d.bin|f%d.bin\n", s, b, i, i
}' >"$WWW/small.txt"
: >"$WWW/empty.txt"
printf '*/*|%d|%s/huge.bin|huge.bin\n' "$HUGE_BYTES" "$BASE" >"$WWW/huge.txt"
# Lists whose files are never fetched (no destination: the run ends after
# the list is loaded and confirmed).
for n in 100000 1000000; do
  awk -v n="$n" -v b="$BASE" 'BEGIN {
    for (i = 0; i < n; i++)
      printf "*/*|%d|%s/files/dir%d/file%d.bin|dir%d/file%d.bin\n", i, b, i % 100, i, i % 100, i
  }' >"$WWW/list$n.txt"
done
awk -v n="$SMALL_COUNT" -v b="$BASE" 'BEGIN {
  for (i = 0; i < n; i++) { printf "url = \"%s/small/f%d.bin\"\noutput = \"f%d.bin\"\n", b, i, i }
}' >"$WORK/curl-small.cfg"
awk -v n="$SMALL_COUNT" -v b="$BASE" 'BEGIN {
  for (i = 0; i < n; i++) printf "%s/small/f%d.bin\n", b, i
}' >"$WORK/wget-small.txt"

# --- measuring -------------------------------------------------------------
RES="$WORK/results"
rm -f "$RES"/*
OUT="$WORK/out"

# The program with a published list: PULLBAY_LIST... "FileList=<url>".
PULLBAY_LIST=("$PULLBAY" run --headless --dest "$OUT" --param)

echo "Timing, $RUNS rounds, tools interleaved ..."
for round in $(seq "$RUNS"); do
  printf '  round %d/%d\n' "$round" "$RUNS"
  # The big file's runs take turns at going first. The first one follows
  # the small cases, seconds after the last big file was deleted; on a
  # virtual machine whose host takes back guest memory that stays free
  # (free page reporting), its page cache then faults every page in from
  # the host and its copy into the page cache costs several times the
  # kernel time. The runs right after a deletion reuse warm pages. A fixed
  # order put that cost on pullbay alone.
  for k in 0 1 2; do
    case $(((round + k) % 3)) in
    0) measure big.pullbay "${PULLBAY_LIST[@]}" "FileList=$BASE/big.txt" ;;
    1) measure big.curl curl -fsS -o big.bin "$BASE/big.bin" ;;
    2) measure big.wget2 wget2 -q --no-robots -O big.bin "$BASE/big.bin" ;;
    esac
  done
  measure small.pullbay "${PULLBAY_LIST[@]}" "FileList=$BASE/small.txt"
  measure small.curl curl -fsS -K "$WORK/curl-small.cfg"
  measure small.wget2 wget2 -q --no-robots --max-threads=1 -i "$WORK/wget-small.txt"
done

# Correctness of the last runs: the files arrived whole.
cmp -s "$OUT/f$((SMALL_COUNT - 1)).bin" "$WWW/small/f$((SMALL_COUNT - 1)).bin" ||
  echo "warning: the last small file differs" >&2

echo "Memory and list loading ..."
for n in 100000 1000000; do
  # No destination folder: the run ends (exit 2) after the list is in.
  rm -rf "$TMPDIR" && mkdir -p "$TMPDIR"
  status=0
  /usr/bin/time -o "$RES/list$n.time" -f '%e %U %S %M' \
    "$PULLBAY" run --headless --param "FileList=$BASE/list$n.txt" \
    >"$RES/list$n.stdout" 2>"$RES/list$n.stderr" || status=$?
  echo "$(tail -1 "$RES/list$n.time") $status" >"$RES/list$n"
done
# A run of the 1,000,000-file list cancelled (SIGTERM) once its first file
# has ended: every remaining file is still reported, and the end must not
# cost a hand-off between threads per file. "seconds from the signal to the
# exit, peak memory" go to $RES/cancel1000000.
echo "Cancelling a 1,000,000-file run ..."
rm -rf "$OUT" "$TMPDIR" && mkdir -p "$OUT" "$TMPDIR"
/usr/bin/time -o "$RES/cancel.time" -f '%e %U %S %M' \
  "$PULLBAY" run --headless --dest "$OUT" --param "FileList=$BASE/list1000000.txt" \
  >"$RES/cancel.stdout" 2>"$RES/cancel.stderr" &
TIME_PID=$!
for i in $(seq 600); do
  grep -qE '^(done|failed) ' "$RES/cancel.stderr" 2>/dev/null && break
  sleep 0.1
done
RUN_PID=$(pgrep -P "$TIME_PID" || true)
SIGNALLED=$(date +%s.%N)
[ -n "$RUN_PID" ] && kill -TERM "$RUN_PID"
wait "$TIME_PID" || true
ENDED=$(date +%s.%N)
CANCEL_S=$(awk -v a="$SIGNALLED" -v b="$ENDED" 'BEGIN { printf "%.2f", b - a }')
CANCEL_REPORTED=$(grep -cE '^(done|failed|skipped) ' "$RES/cancel.stderr" || true)
# GNU time puts "Command exited with non-zero status 143" before its line.
echo "$CANCEL_S $(awk 'END { print $4 }' "$RES/cancel.time") $CANCEL_REPORTED" >"$RES/cancel1000000"

PARSE_MS="-"
if [ -x "$PARSER_BENCH" ]; then
  PARSE_MS=$("$PARSER_BENCH" 100000 | awk '/^best of/ { print $4 }')
fi
LATENCY_MS="-"
if [ -x "$LATENCY_BENCH" ]; then
  LATENCY_MS=$("$LATENCY_BENCH" "$BASE/small.txt" "$BASE/big.txt" "$BASE/list100000.txt#load" \
    2>"$RES/latency.stderr" | tee "$RES/latency.stdout" |
    awk '/^largest lateness/ { print $3 }') || LATENCY_MS="-"
fi
# The most files in flight: 32 to one server, the GUI thread's lateness and
# the run's peak memory.
LATENCY32_MS="-"
if [ -x "$LATENCY_BENCH" ]; then
  LATENCY32_MS=$(BENCH_PARALLEL_DOWNLOADS=32 "$LATENCY_BENCH" "$BASE/small.txt" \
    2>"$RES/latency32.stderr" | tee "$RES/latency32.stdout" |
    awk '/^largest lateness/ { print $3 }') || LATENCY32_MS="-"
fi
rm -rf "$OUT" "$TMPDIR" && mkdir -p "$OUT" "$TMPDIR"
/usr/bin/time -o "$RES/small32.time" -f '%e %U %S %M' \
  "${PULLBAY_LIST[@]}" "FileList=$BASE/small.txt" --param ParallelDownloads=32 \
  >/dev/null 2>"$RES/small32.stderr" || true
SMALL32_RSS=$(awk 'END { print $4 }' "$RES/small32.time")

echo "System calls (strace -f -c) ..."
count_syscalls() {
  local name=$1
  shift
  rm -rf "$OUT" "$TMPDIR" && mkdir -p "$OUT" "$TMPDIR"
  (cd "$OUT" && strace -f -c -o "$RES/$name.strace" "$@" >/dev/null 2>&1) || true
  awk '$NF == "total" { print ($4 ~ /^[0-9]+$/) ? $4 : $3 }' "$RES/$name.strace"
}
SC_EMPTY=$(count_syscalls empty.pullbay "${PULLBAY_LIST[@]}" "FileList=$BASE/empty.txt")
SC_SMALL=$(count_syscalls small.pullbay.sc "${PULLBAY_LIST[@]}" "FileList=$BASE/small.txt")
SC_CURL_ONE=$(count_syscalls curl.one curl -fsS -o f0.bin "$BASE/small/f0.bin")
SC_CURL=$(count_syscalls small.curl.sc curl -fsS -K "$WORK/curl-small.cfg")
SC_PER_FILE=$(awk -v a="$SC_SMALL" -v b="$SC_EMPTY" -v n="$SMALL_COUNT" 'BEGIN { printf "%.1f", (a - b) / n }')
SC_CURL_PER_FILE=$(awk -v a="$SC_CURL" -v b="$SC_CURL_ONE" -v n="$SMALL_COUNT" 'BEGIN { printf "%.1f", (a - b) / (n - 1) }')
SC_BIG=$(count_syscalls big.pullbay.sc "${PULLBAY_LIST[@]}" "FileList=$BASE/big.txt")
BIG_WRITES=$(awk '$NF == "write" { print ($4 ~ /^[0-9]+$/) ? $4 : $3 }' "$RES/big.pullbay.sc.strace")
BIG_RECVS=$(awk '$NF == "recvfrom" { print ($4 ~ /^[0-9]+$/) ? $4 : $3 }' "$RES/big.pullbay.sc.strace")

HUGE_RESULT="skipped"
if [ "${BENCH_SKIP_HUGE:-0}" != 1 ]; then
  echo "The 5 GiB sparse file, cut above 4 GiB and resumed ..."
  rm -rf "$OUT" "$TMPDIR" && mkdir -p "$OUT" "$TMPDIR"
  : >"$WORK/nginx/access.log"
  huge_status=0
  "$PULLBAY" run --headless --dest "$OUT" --param "FileList=$BASE/huge.txt" \
    >"$RES/huge.stdout" 2>"$RES/huge.stderr" &
  huge_pid=$!
  # Ends nginx once the temporary file passed the cut, then starts it again
  # on the same port: the transfer's next attempt resumes there.
  cut=0
  while kill -0 "$huge_pid" 2>/dev/null; do
    if [ "$cut" -eq 0 ]; then
      # The temporary files live somewhere below the shared temporary folder.
      size=$(find "$TMPDIR/Pullbay_Temp" -name 'PBT*.tmp' -printf '%s\n' 2>/dev/null |
        sort -n | tail -1 || true)
      if [ -n "$size" ] && [ "$size" -ge "$HUGE_CUT_BYTES" ]; then
        kill -9 "$NGINX_PID" 2>/dev/null || true
        wait "$NGINX_PID" 2>/dev/null || true
        start_nginx
        cut=1
      fi
    fi
    sleep 0.02
  done
  wait "$huge_pid" || huge_status=$?
  huge_size=$(stat -c %s "$OUT/huge.bin" 2>/dev/null || echo 0)
  resumed=$(grep -c '"GET /huge.bin HTTP/1.1" 206' "$WORK/nginx/access.log" || true)
  if [ "$huge_status" -eq 0 ] && [ "$huge_size" -eq "$HUGE_BYTES" ] && [ "$resumed" -ge 1 ] &&
    [ "$cut" -eq 1 ]; then
    HUGE_RESULT="ok"
  else
    HUGE_RESULT="FAILED: exit $huge_status, $huge_size bytes, cut $cut, $resumed resumed"
  fi
  rm -rf "$OUT" "$TMPDIR"
fi

# --- the table -------------------------------------------------------------
mib() { awk -v v="$1" 'BEGIN { if (v == "-") print "-"; else printf "%.0f MiB", v / 1024 }'; }
per_gib() { awk -v v="$1" -v g="$2" 'BEGIN { if (v == "-") print "-"; else printf "%.2f s", v / g }'; }

BIG_GIB=$(awk -v m="$BIG_MIB" 'BEGIN { print m / 1024 }')
big_p=$(median big.pullbay 1); big_c=$(median big.curl 1); big_w=$(median big.wget2 1)
cpu_p=$(median big.pullbay 6); cpu_c=$(median big.curl 6); cpu_w=$(median big.wget2 6)
rss_p=$(median big.pullbay 4); rss_c=$(median big.curl 4); rss_w=$(median big.wget2 4)
sm_p=$(median small.pullbay 1); sm_c=$(median small.curl 1); sm_w=$(median small.wget2 1)
smrss_p=$(median small.pullbay 4)
l100_t=$(awk '{ print $1 }' "$RES/list100000"); l100_m=$(awk '{ print $4 }' "$RES/list100000")
l1m_t=$(awk '{ print $1 }' "$RES/list1000000"); l1m_m=$(awk '{ print $4 }' "$RES/list1000000")
# The big file's slowest runs: a run that stalls is a fault even when the
# median hides it.
bigmax_p=$(slowest big.pullbay 1); bigmax_c=$(slowest big.curl 1); bigmax_w=$(slowest big.wget2 1)
r_big=$(ratio "$big_p" "$big_c"); r_cpu=$(ratio "$cpu_p" "$cpu_c"); r_small=$(ratio "$sm_p" "$sm_c")
rw_big=$(ratio "$big_p" "$big_w"); rw_small=$(ratio "$sm_p" "$sm_w")
r_bigmax=$(ratio "$bigmax_p" "$big_c"); rw_bigmax=$(ratio "$bigmax_p" "$big_w")
ok_note=""
all_ok big.pullbay && all_ok small.pullbay || ok_note=" (a pullbay run did not exit 0: see $RES)"

echo
echo "pullbay $("$PULLBAY" --version 2>/dev/null | head -1), $(nproc) cores, medians of $RUNS$ok_note"
echo
printf '| %-44s | %-10s | %-10s | %-10s | %-9s | %-9s | %-18s | %-7s |\n' case pullbay curl wget2 \
  "pb / curl" "pb / wget2" goal verdict
printf '|%s|%s|%s|%s|%s|%s|%s|%s|\n' "$(printf -- '-%.0s' {1..46})" "$(printf -- '-%.0s' {1..12})" \
  "$(printf -- '-%.0s' {1..12})" "$(printf -- '-%.0s' {1..12})" "$(printf -- '-%.0s' {1..11})" \
  "$(printf -- '-%.0s' {1..11})" "$(printf -- '-%.0s' {1..20})" "$(printf -- '-%.0s' {1..9})"
# row CASE PULLBAY CURL WGET2 PB/CURL PB/WGET2 GOAL VERDICT
row() { printf '| %-44s | %-10s | %-10s | %-10s | %-9s | %-9s | %-18s | %-7s |\n' "$@"; }
row "one $BIG_MIB MiB file: wall time" "$(seconds "$big_p")" "$(seconds "$big_c")" "$(seconds "$big_w")" \
  "$r_big" "$rw_big" "<= 0.60 c, 1.00 w" \
  "$(both "$(verdict "$r_big" "<=" 0.6)" "$(verdict "$rw_big" "<=" 1.0)")"
row "one $BIG_MIB MiB file: slowest run (vs medians)" "$(seconds "$bigmax_p")" "$(seconds "$bigmax_c")" \
  "$(seconds "$bigmax_w")" "$r_bigmax" "$rw_bigmax" "<= 0.60 c, 1.00 w" \
  "$(both "$(verdict "$r_bigmax" "<=" 0.6)" "$(verdict "$rw_bigmax" "<=" 1.0)")"
row "one $BIG_MIB MiB file: CPU (user+sys) per GiB" "$(per_gib "$cpu_p" "$BIG_GIB")" \
  "$(per_gib "$cpu_c" "$BIG_GIB")" "$(per_gib "$cpu_w" "$BIG_GIB")" "$r_cpu" "" "<= 1.00 c" \
  "$(verdict "$r_cpu" "<=" 1.0)"
row "one $BIG_MIB MiB file: peak memory" "$(mib "$rss_p")" "$(mib "$rss_c")" "$(mib "$rss_w")" "" "" \
  "< 64 MiB" "$(verdict "$rss_p" "<" 65536)"
row "one $BIG_MIB MiB file: writes / receives" "$BIG_WRITES / $BIG_RECVS" "" "" "" "" "" ""
row "$SMALL_COUNT files of $SMALL_BYTES bytes: wall time" "$(seconds "$sm_p")" "$(seconds "$sm_c")" \
  "$(seconds "$sm_w")" "$r_small" "$rw_small" "<= 0.80 c, 1.00 w" \
  "$(both "$(verdict "$r_small" "<=" 0.8)" "$(verdict "$rw_small" "<=" 1.0)")"
row "$SMALL_COUNT files: system calls per file" "$SC_PER_FILE" "$SC_CURL_PER_FILE" "" "" "" "<= 15" \
  "$(verdict "$SC_PER_FILE" "<=" 15)"
row "$SMALL_COUNT files: peak memory" "$(mib "$smrss_p")" "" "" "" "" "" ""
row "100,000-line list: parse and load" "$PARSE_MS ms" "" "" "" "" "< 200 ms" \
  "$(verdict "$PARSE_MS" "<" 200)"
row "100,000-line list: whole run to loaded" "$(seconds "$l100_t")" "" "" "" "" "" ""
row "100,000-line list: peak memory" "$(mib "$l100_m")" "" "" "" "" "< 128 MiB" \
  "$(verdict "$l100_m" "<" 131072)"
row "1,000,000-line list: whole run to loaded" "$(seconds "$l1m_t")" "" "" "" "" "" ""
row "1,000,000-line list: peak memory" "$(mib "$l1m_m")" "" "" "" "" "< 500 MB" \
  "$(verdict "$l1m_m" "<" 488281)"
cancel_s=$(awk '{ print $1 }' "$RES/cancel1000000"); cancel_m=$(awk '{ print $2 }' "$RES/cancel1000000")
cancel_n=$(awk '{ print $3 }' "$RES/cancel1000000")
row "1,000,000 files cancelled: signal to exit" "$(seconds "$cancel_s")" "" "" "" "" "<= 10 s" \
  "$(verdict "$cancel_s" "<=" 10)"
row "1,000,000 files cancelled: files reported" "$cancel_n" "" "" "" "" "1000000" \
  "$([ "$cancel_n" = 1000000 ] && echo met || echo "NOT MET")"
row "1,000,000 files cancelled: peak memory" "$(mib "$cancel_m")" "" "" "" "" "<= loaded + 25%" \
  "$(verdict "$cancel_m" "<=" "$(awk -v m="$l1m_m" 'BEGIN { print m * 1.25 }')")"
row "GUI thread: largest lateness of a 10 ms timer" "$LATENCY_MS ms" "" "" "" "" "<= 50 ms" \
  "$(verdict "$LATENCY_MS" "<=" 50)"
row "$SMALL_COUNT files, 32 in flight: GUI thread's largest lateness" "$LATENCY32_MS ms" "" "" "" "" \
  "<= 50 ms" "$(verdict "$LATENCY32_MS" "<=" 50)"
row "$SMALL_COUNT files, 32 in flight: peak memory" "$(mib "$SMALL32_RSS")" "" "" "" "" "< 96 MiB" \
  "$(verdict "$SMALL32_RSS" "<" 98304)"
row "5 GiB sparse file, cut above 4 GiB, resumed" "$HUGE_RESULT" "" "" "" "" "ok" \
  "$([ "$HUGE_RESULT" = ok ] && echo met || echo "NOT MET")"
echo
echo "Details (every run, strace summaries): $RES$([ -n "${BENCH_DIR:-}" ] || [ "${BENCH_KEEP:-0}" = 1 ] || echo ' (removed; BENCH_KEEP=1 keeps it)')"
