#!/usr/bin/env bash
# PHP pages: wrk against Portavane, nginx with php-fpm (4 static children),
# Apache with mod_php and `php -S`, in one run, each on a loopback port of its
# own with its own temporary configuration and an access log, all asked for
# keep-alive as browsers do. Prints, best of interleaved rounds: a hello-world
# page and a page that waits 20 ms, and the curve of the hello-world page at
# 1, 16, 64 and 256 connections with each server's requests/s and memory (PSS
# of its processes, PHP's included); then the ratios of Portavane to the peers.
# Then bench/php/wordpress.sh runs with the same trees (BENCH_WORDPRESS=no
# leaves it out).
#   bench/php/run.sh [tree] [baseline-tree]
# tree: default dist/Portavane (make tree). baseline-tree: another Portavane
# tree (say, an earlier build) served as "baseline" in the same run.
# BENCH_DURATION (5s), BENCH_ROUNDS (3), BENCH_CONNECTIONS (16), BENCH_THREADS
# (2) tune the runs. Installs the peers (Debian's php8.2-fpm, apache2,
# libapache2-mod-php8.2, php8.2-cli, nginx), wrk, curl, rsync and ss when
# they are missing.
set -euo pipefail
here=$(cd "$(dirname "$0")/../.." && pwd)
. "$here/bench/common.sh"
read_bench_arguments "$@"
connections=${BENCH_CONNECTIONS:-16}
need_packages "${common_packages[@]}" nginx php8.2-fpm apache2 libapache2-mod-php8.2 php8.2-cli

make_work pv-bench-php
pid_files=("$work/apache.pid")

# The pages, served by all from one folder; each Portavane's www is that folder.
www=$work/site
mkdir -p "$www"
printf '<?php echo "Hello, world";\n' >"$www/hello.php"
printf '<?php usleep(20000); echo "Slept";\n' >"$www/usleep.php"
chmod -R a+rX "$www"

pv_port=$(free_port 20280)  # below the ephemeral range, which wrk's own connections cycle through
fpm_port=$(free_port $((pv_port + 1)))
apache_port=$(free_port $((fpm_port + 1)))
cli_port=$(free_port $((apache_port + 1)))
base_port=$(free_port $((cli_port + 1)))

user=$(id -un) group=$(id -gn)
# php-fpm: one pool of 4 static children on a Unix socket.
cat >"$work/php-fpm.conf" <<CONF
[global]
pid = $work/php-fpm.pid
error_log = $work/php-fpm.log
daemonize = no
[bench]
user = $user
group = $group
listen = $work/php-fpm.sock
pm = static
pm.max_children = 4
CONF
# nginx in front of it, Debian's defaults otherwise (an access log too, as
# Portavane keeps one).
cat >"$work/nginx.conf" <<CONF
worker_processes auto;
daemon off;
pid $work/nginx.pid;
error_log $work/nginx-error.log;
$( [ "$user" = root ] && echo "user root;" )
events { worker_connections 768; }
http {
  access_log $work/nginx-access.log;
  client_body_temp_path $work/nginx-body;
  proxy_temp_path $work/nginx-proxy;
  fastcgi_temp_path $work/nginx-fastcgi;
  uwsgi_temp_path $work/nginx-uwsgi;
  scgi_temp_path $work/nginx-scgi;
  server {
    listen 127.0.0.1:$fpm_port;
    root $www;
    location ~ \.php\$ {
      include /etc/nginx/fastcgi_params;
      fastcgi_param SCRIPT_FILENAME \$document_root\$fastcgi_script_name;
      fastcgi_pass unix:$work/php-fpm.sock;
    }
  }
}
CONF
write_apache_conf "$work/apache.conf" "$apache_port" "$www"

start_portavane portavane "$tree" "$pv_port" "$www"
add_server portavane "$pv_port" "$started"
php-fpm8.2 -R -F -y "$work/php-fpm.conf" >/dev/null 2>&1 &
pids+=($!)
fpm_pid=$!
nginx -e "$work/nginx-error.log" -c "$work/nginx.conf" &
pids+=($!)
add_server nginx+fpm "$fpm_port" $! "$fpm_pid"
apache2 -f "$work/apache.conf" -k start
wait_for "http://127.0.0.1:$apache_port/hello.php" "Hello, world"
add_server apache+mod_php "$apache_port" "$(cat "$work/apache.pid")"
php -S "127.0.0.1:$cli_port" -t "$www" >/dev/null 2>&1 &
pids+=($!)
add_server "php -S" "$cli_port" $!
if [ -n "$baseline" ]; then
  start_portavane baseline "$baseline" "$base_port" "$www"
  add_server baseline "$base_port" "$started"
fi
for port in "${server_ports[@]}"; do wait_for "http://127.0.0.1:$port/hello.php" "Hello, world"; done

# Warm-up at the measured load: as many processes started as it keeps busy,
# opcache filled.
for port in "${server_ports[@]}"; do wrk_once "$port" hello.php "$connections" keep-alive >/dev/null; done

echo "wrk -c$connections -t$threads -d$duration, best of $rounds interleaved rounds"
print_head page r/s
for page in hello.php usleep.php; do
  best_of_rounds "$page" "$connections" keep-alive
  print_row "$page"
done
echo
echo "hello.php by connections: requests/s and memory (PSS, the most after a round)"
print_head connections PSS
for c in 1 16 64 256; do
  best_of_rounds hello.php "$c" keep-alive
  print_row "$c" PSS
done
if [ "${BENCH_WORDPRESS:-yes}" != no ]; then
  echo
  "$here/bench/php/wordpress.sh" "$tree" ${baseline:+"$baseline"}
fi
