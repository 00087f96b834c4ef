#!/usr/bin/env bash
# Static files: wrk against Portavane and against nginx in one run, the same
# folder served by both on loopback ports, for a 1 KiB and a 1 MiB file, with
# keep-alive and with a new connection per request. Prints requests/s,
# throughput, the ratios to nginx and Portavane's memory across the run.
#   bench/static/run.sh [tree]        (default: dist/Portavane, from make tree)
# BENCH_DURATION (10s), BENCH_CONNECTIONS (50), BENCH_THREADS (2) tune wrk.
# Installs wrk, nginx and curl when they are missing.
set -euo pipefail
here=$(cd "$(dirname "$0")/../.." && pwd)
. "$here/bench/common.sh"
tree=$(cd "${1:-$here/dist/Portavane}" && pwd)
duration=${BENCH_DURATION:-10s}
connections=${BENCH_CONNECTIONS:-50}
threads=${BENCH_THREADS:-2}
[ -x "$tree/portavane" ] || { echo "no $tree/portavane: run make tree first" >&2; exit 1; }
need_packages "${common_packages[@]}" nginx

make_work pv-bench  # nginx's workers read the files as nobody
rss_kib() { awk '/^VmRSS:/ {print $2}' "/proc/$1/status"; }

copy_tree "$tree" "$work/tree"
www=$work/tree/www
chmod -R a+rX "$work/tree"
head -c 1024 /dev/urandom >"$www/bench-1k.bin"
head -c $((1024 * 1024)) /dev/urandom >"$www/bench-1m.bin"

pv_port=$(free_port 20180)  # below the ephemeral range, which wrk's own connections cycle through
nginx_port=$(free_port $((pv_port + 1)))
ini=$work/tree/pvn/pvn.ini
sed -i "s/^port=.*/port=$pv_port/; s/^maxconnections=.*/maxconnections=1000/" "$ini"

# Debian's defaults (auto workers, 768 connections each, sendfile, an access
# log), in files of its own.
cat >"$work/nginx.conf" <<CONF
worker_processes auto;
daemon off;
pid $work/nginx.pid;
error_log $work/nginx-error.log;
events { worker_connections 768; }
http {
  sendfile on;
  tcp_nopush on;
  default_type application/octet-stream;
  access_log $work/nginx-access.log;
  client_body_temp_path $work/nginx-body;
  proxy_temp_path $work/nginx-proxy;
  fastcgi_temp_path $work/nginx-fastcgi;
  uwsgi_temp_path $work/nginx-uwsgi;
  scgi_temp_path $work/nginx-scgi;
  server { listen 127.0.0.1:$nginx_port; root $www; }
}
CONF

# A runtime folder of its own, so a Portavane the user runs does not count as
# this one's earlier instance.
mkdir -m 700 "$work/run"
(cd "$work/tree" && XDG_RUNTIME_DIR=$work/run exec ./portavane </dev/null >"$work/portavane.out" 2>&1) &
pv_pid=$!
pids+=("$pv_pid")
nginx -e "$work/nginx-error.log" -c "$work/nginx.conf" &
pids+=($!)
wait_for "http://127.0.0.1:$pv_port/bench-1k.bin" || { cat "$work/portavane.out" >&2; exit 1; }
wait_for "http://127.0.0.1:$nginx_port/bench-1k.bin"

# Requests/s and bytes/s of one wrk run.
measure() {  # port path connection-header
  wrk -t"$threads" -c"$connections" -d"$duration" -H "Connection: $3" \
    "http://127.0.0.1:$1/$2" 2>&1 | awk '
    /requests in/ { requests = $1 }
    /Requests\/sec:/ { rps = $2 }
    /Transfer\/sec:/ {
      v = $2; unit = v; sub(/[0-9.]+/, "", unit); sub(/[A-Za-z]+$/, "", v)
      f = 1; if (unit == "KB") f = 1024; if (unit == "MB") f = 1048576; if (unit == "GB") f = 1073741824
      bps = v * f
    }
    /Non-2xx|Socket errors/ { errors = errors " " $0 }
    END { printf "%s %s %s %s\n", rps, bps, requests, (errors == "" ? "-" : errors) }'
}

# A short warm-up first, so the worker threads exist before memory is read.
wrk -t"$threads" -c"$connections" -d2s -H "Connection: keep-alive" \
  "http://127.0.0.1:$pv_port/bench-1k.bin" >/dev/null
served=0
rss_before=$(rss_kib "$pv_pid")
printf "%-22s %14s %14s %12s %14s %7s %7s\n" case "portavane r/s" "nginx r/s" "portavane" "nginx" "r/s" "bytes"
printf "%-22s %14s %14s %12s %14s %7s %7s\n" "" "" "" "MB/s" "MB/s" "ratio" "ratio"
for file in bench-1k.bin bench-1m.bin; do
  for mode in keep-alive close; do
    read -r pv_rps pv_bps pv_requests pv_errors < <(measure "$pv_port" "$file" "$mode")
    read -r ng_rps ng_bps _ ng_errors < <(measure "$nginx_port" "$file" "$mode")
    kill -0 "$pv_pid" 2>/dev/null || { echo "portavane ended during the run:" >&2; cat "$work/portavane.out" >&2; exit 1; }
    served=$((served + pv_requests))
    awk -v c="${file%.bin} $mode" -v pr="$pv_rps" -v nr="$ng_rps" -v pb="$pv_bps" -v nb="$ng_bps" 'BEGIN {
      printf "%-22s %14.0f %14.0f %12.1f %14.1f %7.2f %7.2f\n", c, pr, nr, pb / 1048576, nb / 1048576,
             (nr > 0 ? pr / nr : 0), (nb > 0 ? pb / nb : 0) }'
    [ "$pv_errors" = "-" ] || echo "  portavane:$pv_errors"
    [ "$ng_errors" = "-" ] || echo "  nginx:$ng_errors"
  done
done
rss_after=$(rss_kib "$pv_pid")
echo "portavane RSS: ${rss_before} KiB before, ${rss_after} KiB after ${served} requests"
