#!/bin/sh
# Throughput of the serve protocol: N property reads and N list additions
# piped into one `pullbay serve`, timed from start to exit (start-up and
# InitComplete included). Usage: bench/bench_serve.sh [build dir] [N]
set -eu
BUILD_DIR=${1:-build}
COUNT=${2:-20000}
HOST="$BUILD_DIR/pullbay"
[ -x "$HOST" ] || { echo "build the host first: $HOST is missing" >&2; exit 1; }

requests=$(mktemp)
replies=$(mktemp)
trap 'rm -f "$requests" "$replies"' EXIT
awk -v n="$COUNT" 'BEGIN {
  for (i = 1; i <= n; i++) printf "{\"id\":%d,\"get\":\"TimeOut\"}\n", i
  for (i = 1; i <= n; i++)
    printf "{\"id\":%d,\"call\":\"DownloadFileAdd\",\"args\":[\"text/plain\",1,\"f%d.txt\",\"http://127.0.0.1:1/f%d.txt\"]}\n", n + i, i, i
}' >"$requests"

start=$(date +%s%N)
"$HOST" serve --headless <"$requests" >"$replies" 2>/dev/null
end=$(date +%s%N)

answered=$(grep -c '^{"id":' "$replies" || true)
elapsed_ms=$(( (end - start) / 1000000 ))
echo "requests: $((COUNT * 2)), replies: $answered, wall: ${elapsed_ms} ms," \
     "$(( COUNT * 2 * 1000 / (elapsed_ms > 0 ? elapsed_ms : 1) )) requests/s"
