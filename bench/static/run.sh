#!/usr/bin/env bash
# Static files: wrk against Portavane and against nginx in one run, the same
# folder served by both on loopback ports, both writing an access log and
# asked with the same Connection header. Prints, best of interleaved rounds:
# a 1 KiB and a 1 MiB file with keep-alive and with a new connection per
# request, the 1 KiB file asked at a project's host (Host: proj.localhost:
# www/proj for a Portavane with project hosts, the root for the others) and
# three folders down beside a .htaccess that the folders' rules read, and
# the curve of the 1 KiB file with keep-alive at 1, 16, 64 and
# 256 connections with each server's requests/s and memory (PSS of its
# processes); then the ratios of Portavane to the peers. Under each row: each
# server's context switches per request.
#   bench/static/run.sh [tree] [baseline-tree]
# tree: default dist/Portavane (make tree). baseline-tree: another Portavane
# tree (say, an earlier build) served as "baseline" in the same run.
# BENCH_DURATION (5s), BENCH_ROUNDS (3), BENCH_CONNECTIONS (50), BENCH_THREADS
# (2) tune wrk. Installs wrk, nginx, curl, rsync and ss when they are missing.
set -euo pipefail
here=$(cd "$(dirname "$0")/../.." && pwd)
. "$here/bench/common.sh"
read_bench_arguments "$@"
connections=${BENCH_CONNECTIONS:-50}
need_packages "${common_packages[@]}" nginx

make_work pv-bench  # nginx's workers read the files as nobody
www=$work/site
mkdir -p "$www"
head -c 1024 /dev/urandom >"$www/bench-1k.bin"
head -c $((1024 * 1024)) /dev/urandom >"$www/bench-1m.bin"
# A project's folder, which a Portavane that has project hosts serves at proj.localhost.
mkdir "$www/proj"
cp "$www/bench-1k.bin" "$www/proj/"
# Three folders down, under a .htaccess that only turns listings off.
mkdir -p "$www/a/b/c"
cp "$www/bench-1k.bin" "$www/a/b/c/"
printf 'Options -Indexes\n' >"$www/a/b/c/.htaccess"
chmod -R a+rX "$www"

pv_port=$(free_port 20180)  # below the ephemeral range, which wrk's own connections cycle through
# Portavane serves the same folder as nginx.
start_portavane portavane "$tree" "$pv_port" "$www"
add_server portavane "$pv_port" "$started"
nginx_port=$(free_port $((pv_port + 1)))
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
nginx -e "$work/nginx-error.log" -c "$work/nginx.conf" &
pids+=($!)
add_server nginx "$nginx_port" $!
if [ -n "$baseline" ]; then
  base_port=$(free_port $((nginx_port + 1)))
  start_portavane baseline "$baseline" "$base_port" "$www"
  add_server baseline "$base_port" "$started"
fi
for i in "${!server_ports[@]}"; do
  wait_for "http://127.0.0.1:${server_ports[i]}/bench-1k.bin" || {
    cat "$work/${server_names[i]}.out" >&2 2>/dev/null
    exit 1
  }
done

# A short warm-up first, so the worker threads exist before memory is read.
for port in "${server_ports[@]}"; do wrk_once "$port" bench-1k.bin "$connections" keep-alive >/dev/null; done

echo "wrk -c$connections -t$threads -d$duration, best of $rounds interleaved rounds"
print_head "case" "r/s"
for file in bench-1k.bin bench-1m.bin; do
  for mode in keep-alive close; do
    best_of_rounds "$file" "$connections" "$mode"
    if [ "$file" = bench-1k.bin ]; then
      print_row "${file%.bin} $mode"
    else
      print_row "${file%.bin} $mode MB/s" MB/s
    fi
  done
done
best_of_rounds bench-1k.bin "$connections" keep-alive proj.localhost
print_row "bench-1k at proj.localhost"
best_of_rounds a/b/c/bench-1k.bin "$connections" keep-alive
print_row "bench-1k in a/b/c/, .htaccess"
echo
echo "bench-1k keep-alive by connections: requests/s and memory (PSS, the most after a round)"
print_head "connections" PSS
for c in 1 16 64 256; do
  best_of_rounds bench-1k.bin "$c" keep-alive
  print_row "$c" PSS
done
for i in "${!server_roots[@]}"; do
  for pid in ${server_roots[i]}; do
    kill -0 "$pid" 2>/dev/null || { echo "${server_names[i]} ended during the run" >&2; exit 1; }
  done
done
