#!/bin/bash
# 200 files of 16 KiB over a link with a round trip of 40 ms: `pullbay run
# --headless` against curl, wget2 and aria2c, over http (HTTP/1.1) and over
# https (HTTP/2). The files come from a private nginx on a loopback port
# through bench_delay_proxy, which holds every chunk half a round trip each
# way and a new connection's first bytes one round trip more, as a TCP
# handshake would. On such a link the time goes into waiting, not into
# CPU: what counts is how many requests are in flight at once.
#
#   bench/delayed_link.sh [build dir]       (make bench runs it after throughput.sh)
#
# Every tool runs interleaved with the others, BENCH_RUNS rounds (default
# 5); the table shows medians, the ratios to the peers and a verdict per
# goal. A run counts only when it exited 0 and every file arrived whole
# (names, sizes and contents compared); the https runs also record the
# protocol and the number of connections from nginx's log. BENCH_RTT_MS
# changes the round trip; BENCH_DIR and BENCH_KEEP as for throughput.sh
# (the files go to BENCH_DIR/delayed-link).
set -euo pipefail
# shellcheck source=bench/common.sh
. "$(dirname "$0")/common.sh"

BUILD_DIR=$(cd "${1:-build}" && pwd)
RUNS=${BENCH_RUNS:-5}
RTT_MS=${BENCH_RTT_MS:-40}
PULLBAY="$BUILD_DIR/pullbay"
PROXY="$BUILD_DIR/bench/bench_delay_proxy"
COUNT=200
BYTES=16384
# What the second pullbay case sets; a build without the property runs it
# as it runs the default (or refuses it: the case then shows as failed).
PARALLEL_PARAM="ParallelDownloads=32"

for program in "$PULLBAY" "$PROXY"; do
  [ -x "$program" ] || { echo "build the programs first: $program is missing" >&2; exit 1; }
done

# --- tools -----------------------------------------------------------------
need=()
[ -x /usr/sbin/nginx ] || need+=(nginx-light)
command -v curl >/dev/null || need+=(curl)
command -v wget2 >/dev/null || need+=(wget2)
command -v aria2c >/dev/null || need+=(aria2)
command -v openssl >/dev/null || need+=(openssl)
[ -x /usr/bin/time ] || need+=(time)
bench_install "${need[@]}"

# --- work folder -----------------------------------------------------------
if [ -n "${BENCH_DIR:-}" ]; then
  WORK=$BENCH_DIR/delayed-link
  mkdir -p "$WORK"
else
  WORK=$(mktemp -d /var/tmp/pullbay-delayed.XXXXXX)
fi
WWW="$WORK/www"
PIDS=()
cleanup() {
  local pid
  for pid in "${PIDS[@]}"; do
    kill -9 "$pid" 2>/dev/null || true
  done
  if [ -z "${BENCH_DIR:-}" ] && [ "${BENCH_KEEP:-0}" != 1 ]; then
    rm -rf "$WORK"
  fi
}
trap cleanup EXIT
rm -rf "${WORK:?}/home" "$WORK/tls"
mkdir -p "$WWW/d" "$WORK/nginx/temp" "$WORK/home" "$WORK/results" "$WORK/tls"
export HOME="$WORK/home" XDG_CONFIG_HOME="$WORK/home/.config" TMPDIR="$WORK/tmp"
mkdir -p "$TMPDIR"
export QT_QPA_PLATFORM=offscreen

echo "Generating files in $WORK ..."
if [ ! -s "$WWW/d/f$((COUNT - 1)).bin" ]; then
  for i in $(seq 0 $((COUNT - 1))); do
    head -c "$BYTES" /dev/urandom >"$WWW/d/f$i.bin"
  done
fi
(cd "$WWW/d" && md5sum f*.bin | sort) >"$WORK/expected.md5"

# A CA and a server certificate for 127.0.0.1, made for this run only.
TLS="$WORK/tls"
CA="$TLS/ca.crt"
openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 2 \
  -keyout "$TLS/ca.key" -out "$CA" -subj "/CN=Pullbay benchmark CA" \
  -addext "basicConstraints=critical,CA:TRUE" -addext "keyUsage=critical,keyCertSign,cRLSign" \
  2>/dev/null
openssl req -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes \
  -keyout "$TLS/server.key" -out "$TLS/server.csr" -subj "/CN=127.0.0.1" 2>/dev/null
printf '%s\n' "subjectAltName=IP:127.0.0.1,DNS:localhost" "basicConstraints=CA:FALSE" \
  "keyUsage=critical,digitalSignature" "extendedKeyUsage=serverAuth" >"$TLS/server.ext"
openssl x509 -req -in "$TLS/server.csr" -CA "$CA" -CAkey "$TLS/ca.key" -CAcreateserial \
  -days 2 -extfile "$TLS/server.ext" -out "$TLS/server.crt" 2>/dev/null

# --- nginx: http on PORT, https with HTTP/2 on PORT + 1 ---------------------
PORT=""
for _ in 1 2 3 4 5; do
  PORT=$((20000 + RANDOM % 40000))
  TLS_PORT=$((PORT + 1))
  cat >"$WORK/nginx/nginx.conf" <<EOF
daemon off;
master_process off;
pid nginx.pid;
error_log error.log error;
events { worker_connections 1024; }
http {
    types { text/plain txt; application/octet-stream bin; }
    default_type application/octet-stream;
    # The connection's number and protocol of every file request: how
    # many connections a tool opened, and whether it spoke HTTP/2.
    log_format files '\$connection \$server_protocol \$status \$body_bytes_sent \$request_uri';
    access_log off;
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
        location /d/ { access_log http.log files; }
    }
    server {
        listen 127.0.0.1:$TLS_PORT ssl http2 reuseport;
        ssl_certificate $TLS/server.crt;
        ssl_certificate_key $TLS/server.key;
        root $WWW;
        location /d/ { access_log https.log files; }
    }
}
EOF
  /usr/sbin/nginx -p "$WORK/nginx/" -c "$WORK/nginx/nginx.conf" -e "$WORK/nginx/error.log" \
    </dev/null >"$WORK/nginx/nginx.out" 2>&1 &
  NGINX_PID=$!
  up=0
  for i in $(seq 100); do
    if curl -fso /dev/null "http://127.0.0.1:$PORT/d/f0.bin" &&
      curl -fso /dev/null --cacert "$CA" "https://127.0.0.1:$TLS_PORT/d/f0.bin"; then
      up=1
      break
    fi
    kill -0 "$NGINX_PID" 2>/dev/null || break
    sleep 0.05
  done
  [ "$up" -eq 0 ] || break
  kill -9 "$NGINX_PID" 2>/dev/null || true
  wait "$NGINX_PID" 2>/dev/null || true
  PORT=""
done
if [ -z "$PORT" ]; then
  echo "nginx did not start:" >&2
  cat "$WORK/nginx/nginx.out" "$WORK/nginx/error.log" >&2 2>/dev/null || true
  exit 1
fi
PIDS+=("$NGINX_PID")

# start_proxy UPSTREAM_PORT: a delaying proxy in front of it; its port goes
# to PROXY_PORT.
start_proxy() {
  local out="$WORK/proxy-$1.out"
  "$PROXY" --upstream "127.0.0.1:$1" --rtt-ms "$RTT_MS" >"$out" 2>&1 &
  PIDS+=("$!")
  local i
  for i in $(seq 100); do
    PROXY_PORT=$(sed -n 's/^listening .*:\([0-9]*\)$/\1/p' "$out")
    [ -z "$PROXY_PORT" ] || return 0
    sleep 0.02
  done
  echo "the delaying proxy did not start:" >&2
  cat "$out" >&2
  exit 1
}
start_proxy "$PORT"
HTTP_PROXY_PORT=$PROXY_PORT
start_proxy "$TLS_PORT"
TLS_PROXY_PORT=$PROXY_PORT
echo "nginx on 127.0.0.1:$PORT (https $TLS_PORT); delayed by $RTT_MS ms on" \
  "$HTTP_PROXY_PORT (http) and $TLS_PROXY_PORT (https)"

# --- lists and configurations ----------------------------------------------
# Per scheme: the list pullbay fetches (served directly, not through the
# delay: the other tools read theirs from a local file), curl's
# configuration, and the URLs for wget2 and aria2c.
for scheme in http https; do
  if [ "$scheme" = http ]; then base="http://127.0.0.1:$HTTP_PROXY_PORT"; else
    base="https://127.0.0.1:$TLS_PROXY_PORT"; fi
  awk -v n="$COUNT" -v b="$base" -v s="$BYTES" 'BEGIN {
    for (i = 0; i < n; i++) printf "*/*|%d|%s/d/f%d.bin|f%d.bin\n", s, b, i, i
  }' >"$WWW/list-$scheme.txt"
  awk -v n="$COUNT" -v b="$base" 'BEGIN {
    for (i = 0; i < n; i++) printf "url = \"%s/d/f%d.bin\"\noutput = \"f%d.bin\"\n", b, i, i
  }' >"$WORK/curl-$scheme.cfg"
  awk -v n="$COUNT" -v b="$base" 'BEGIN {
    for (i = 0; i < n; i++) printf "%s/d/f%d.bin\n", b, i
  }' >"$WORK/urls-$scheme.txt"
done

# The link as a client sees it: a new connection's first byte after two
# round trips (handshake, request), the next request's after one.
LINK_CHECK=$(curl -fsS -o /dev/null -o /dev/null -w '%{time_starttransfer} ' \
  "http://127.0.0.1:$HTTP_PROXY_PORT/d/f0.bin" "http://127.0.0.1:$HTTP_PROXY_PORT/d/f1.bin" |
  awk '{ printf "first byte after %.0f ms on a new connection, %.0f ms on a reused one", $1 * 1000, $2 * 1000 }')
echo "Link: $LINK_CHECK (round trip $RTT_MS ms)"

# --- measuring -------------------------------------------------------------
RES="$WORK/results"
rm -f "$RES"/*
OUT="$WORK/out"
HTTPS_LOG="$WORK/nginx/https.log"
HTTP_LOG="$WORK/nginx/http.log"

# checked NAME SCHEME COMMAND...: measure, then check that every file
# arrived whole (appends "ok" or what was wrong to $RES/NAME.check) and
# note the protocols and connections nginx saw ($RES/NAME.proto).
checked() {
  local name=$1 scheme=$2 log
  shift 2
  log=$([ "$scheme" = https ] && echo "$HTTPS_LOG" || echo "$HTTP_LOG")
  : >"$log"
  measure "$name" "$@"
  local right
  right=$( (cd "$OUT" && md5sum f*.bin 2>/dev/null | sort) | comm -12 - "$WORK/expected.md5" | wc -l)
  if [ "$right" -eq "$COUNT" ]; then
    echo ok >>"$RES/$name.check"
  else
    echo "$right of $COUNT files right" >>"$RES/$name.check"
  fi
  # "requests by protocol, connections": e.g. "HTTP/2.0:200 1".
  awk '{ p[$2]++; c[$1] = 1 } END {
      s = ""; for (k in p) s = s (s == "" ? "" : ",") k ":" p[k]
      n = 0; for (k in c) n++
      print (s == "" ? "none" : s), n
    }' "$log" >>"$RES/$name.proto"
}

# Whether every run of NAME exited 0 and brought every file whole.
trusted() {
  all_ok "$1" && [ -s "$RES/$1.check" ] && ! grep -qv '^ok$' "$RES/$1.check"
}

PULLBAY_RUN=(env "CURL_CA_BUNDLE=$CA" "$PULLBAY" run --headless --dest "$OUT")
LIST_BASE="http://127.0.0.1:$PORT"

echo "Timing, $RUNS rounds, tools interleaved ..."
for round in $(seq "$RUNS"); do
  printf '  round %d/%d\n' "$round" "$RUNS"
  for scheme in http https; do
    cacert=()
    wget_ca=()
    if [ "$scheme" = https ]; then
      cacert=(--cacert "$CA")
      wget_ca=("--ca-certificate=$CA")
    fi
    checked "$scheme.pullbay" "$scheme" "${PULLBAY_RUN[@]}" \
      --param "FileList=$LIST_BASE/list-$scheme.txt"
    if [ "$scheme" = http ]; then
      checked "$scheme.pullbay32" "$scheme" "${PULLBAY_RUN[@]}" \
        --param "FileList=$LIST_BASE/list-$scheme.txt" --param "$PARALLEL_PARAM"
    fi
    checked "$scheme.curl" "$scheme" curl -fsS "${cacert[@]}" -K "$WORK/curl-$scheme.cfg"
    checked "$scheme.curl50" "$scheme" curl -fsS "${cacert[@]}" --parallel --parallel-max 50 \
      -K "$WORK/curl-$scheme.cfg"
    checked "$scheme.wget2" "$scheme" wget2 -q --no-robots "${wget_ca[@]}" \
      -i "$WORK/urls-$scheme.txt"
    checked "$scheme.aria2c" "$scheme" aria2c -q -j16 "${wget_ca[@]}" \
      -i "$WORK/urls-$scheme.txt"
  done
done

# --- the table -------------------------------------------------------------
# cell NAME: the median wall time, or why there is none.
cell() {
  if [ ! -s "$RES/$1" ]; then
    echo "-"
  elif trusted "$1"; then
    seconds "$(median "$1" 1)"
  else
    echo "FAILED"
  fi
}
# proto NAME: the protocols of its last run; conns NAME: its connections.
proto() {
  [ -s "$RES/$1.proto" ] || { echo "-"; return; }
  tail -1 "$RES/$1.proto" | awk '{ print $1 }'
}
conns() {
  [ -s "$RES/$1.proto" ] || { echo "-"; return; }
  tail -1 "$RES/$1.proto" | awk '{ print $2 }'
}
# best SCHEME: "seconds name" of the fastest trusted peer.
best() {
  local scheme=$1 tool best_s="-" best_name="-" value
  for tool in curl curl50 wget2 aria2c; do
    trusted "$scheme.$tool" || continue
    value=$(median "$scheme.$tool" 1)
    if [ "$best_s" = "-" ] || awk -v a="$value" -v b="$best_s" 'BEGIN { exit !(a < b) }'; then
      best_s=$value
      best_name=$tool
    fi
  done
  echo "$best_s $best_name"
}
# timed NAME: its median when trusted, else "-".
timed() { if trusted "$1"; then median "$1" 1; else echo "-"; fi; }

declare -A LABEL=(
  [pullbay]="pullbay run (defaults)"
  [pullbay32]="pullbay run --param $PARALLEL_PARAM"
  [curl]="curl -K (sequential)"
  [curl50]="curl --parallel --parallel-max 50 -K"
  [wget2]="wget2 (default threads)"
  [aria2c]="aria2c -j16"
)
# The program names a --param that no property took on stderr and runs on.
parallel_note=""
if grep -q "param ${PARALLEL_PARAM%%=*} ignored" "$RES/http.pullbay32.stderr" 2>/dev/null; then
  parallel_note="(the program ignored --param $PARALLEL_PARAM: no such property in this build;"
  parallel_note+=" that case ran with the defaults)"
fi
echo
echo "Delayed link: round trip $RTT_MS ms, $COUNT files of $((BYTES / 1024)) KiB, medians of $RUNS;" \
  "$LINK_CHECK"
echo
printf '| %-40s | %-9s | %-9s | %-15s | %-15s |\n' tool http https "connections" \
  "https protocol"
printf '|%s|%s|%s|%s|%s|\n' "$(printf -- '-%.0s' {1..42})" "$(printf -- '-%.0s' {1..11})" \
  "$(printf -- '-%.0s' {1..11})" "$(printf -- '-%.0s' {1..17})" "$(printf -- '-%.0s' {1..17})"
for tool in pullbay pullbay32 curl curl50 wget2 aria2c; do
  printf '| %-40s | %-9s | %-9s | %-15s | %-15s |\n' "${LABEL[$tool]}" "$(cell "http.$tool")" \
    "$(cell "https.$tool")" "$(conns "http.$tool") / $(conns "https.$tool")" \
    "$(proto "https.$tool")"
done
echo "(connections: those nginx saw in the last run, http / https; protocol: requests by"
echo " protocol in the last https run)"
[ -z "$parallel_note" ] || echo "$parallel_note"

read -r http_best_s http_best_name <<<"$(best http)"
read -r https_best_s https_best_name <<<"$(best https)"
p_http=$(timed http.pullbay); p32_http=$(timed http.pullbay32); p_https=$(timed https.pullbay)
w_http=$(timed http.wget2)
r1=$(ratio "$p_http" "$w_http")
r2=$(ratio "$p_https" "$https_best_s")
r3=$(ratio "$p32_http" "$http_best_s")
# The https goal is about HTTP/2: a run that fell back to HTTP/1.1 is no
# measure of it.
h2_note=""
if [ -s "$RES/https.pullbay.proto" ] && grep -qv '^HTTP/2.0:[0-9]* ' "$RES/https.pullbay.proto"; then
  h2_note=" (pullbay did not speak HTTP/2 only)"
  r2="-"
fi

echo
printf '| %-58s | %-6s | %-7s | %-7s |\n' goal ratio limit verdict
printf '|%s|%s|%s|%s|\n' "$(printf -- '-%.0s' {1..60})" "$(printf -- '-%.0s' {1..8})" \
  "$(printf -- '-%.0s' {1..9})" "$(printf -- '-%.0s' {1..9})"
goal() { printf '| %-58s | %-6s | %-7s | %-7s |\n' "$1" "$2" "<= $3" "$(verdict "$2" "<=" "$3")"; }
goal "http: pullbay (defaults) / wget2" "$r1" 0.90
goal "https, HTTP/2: pullbay (defaults) / best peer ($https_best_name)$h2_note" "$r2" 1.00
goal "http: pullbay $PARALLEL_PARAM / best peer ($http_best_name)" "$r3" 1.00
echo
echo "Details (every run, file checks, protocols): $RES$([ -n "${BENCH_DIR:-}" ] || [ "${BENCH_KEEP:-0}" = 1 ] || echo ' (removed; BENCH_KEEP=1 keeps it)')"
