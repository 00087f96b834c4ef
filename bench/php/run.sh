#!/usr/bin/env bash
# PHP pages: wrk against Portavane, nginx with php-fpm (4 static children),
# Apache with mod_php and `php -S`, in one run, each on a loopback port of its
# own with its own temporary configuration, for a hello-world page and a page
# that waits 20 ms. Prints requests/s and the ratios of Portavane to the peers.
#   bench/php/run.sh [tree]        (default: dist/Portavane, from make tree)
# BENCH_DURATION (5s), BENCH_ROUNDS (3), BENCH_CONNECTIONS (16), BENCH_THREADS (2)
# tune the runs.
# Installs the peers (Debian's php8.2-fpm, apache2, libapache2-mod-php8.2,
# php8.2-cli) and wrk when they are missing.
set -euo pipefail
here=$(cd "$(dirname "$0")/../.." && pwd)
. "$here/bench/common.sh"
tree=$(cd "${1:-$here/dist/Portavane}" && pwd)
duration=${BENCH_DURATION:-5s}
rounds=${BENCH_ROUNDS:-3}
connections=${BENCH_CONNECTIONS:-16}
threads=${BENCH_THREADS:-2}
[ -x "$tree/portavane" ] || { echo "no $tree/portavane: run make tree first" >&2; exit 1; }

need_packages "${common_packages[@]}" nginx php8.2-fpm apache2 libapache2-mod-php8.2 php8.2-cli

make_work pv-bench-php
pid_files=("$work/apache.pid")

# A copy of the tree; the pages in its www, served by all.
copy_tree "$tree" "$work/tree"
www=$work/tree/www
printf '<?php echo "Hello, world";\n' >"$www/hello.php"
printf '<?php usleep(20000); echo "Slept";\n' >"$www/usleep.php"
chmod -R a+rX "$work/tree"

pv_port=$(free_port 20280)  # below the ephemeral range, which wrk's own connections cycle through
fpm_port=$(free_port $((pv_port + 1)))
apache_port=$(free_port $((fpm_port + 1)))
cli_port=$(free_port $((apache_port + 1)))
sed -i "s/^port=.*/port=$pv_port/" "$work/tree/pvn/pvn.ini"

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
# Apache with mod_php: the prefork MPM with Debian's settings and access log.
apache_user=$user apache_group=$group
[ "$user" = root ] && apache_user=www-data apache_group=www-data
mods=/usr/lib/apache2/modules
cat >"$work/apache.conf" <<CONF
ServerRoot $work
ServerName localhost
Listen 127.0.0.1:$apache_port
PidFile $work/apache.pid
ErrorLog $work/apache-error.log
LogFormat "%h %l %u %t \"%r\" %>s %O \"%{Referer}i\" \"%{User-Agent}i\"" combined
CustomLog $work/apache-access.log combined
User $apache_user
Group $apache_group
LoadModule mpm_prefork_module $mods/mod_mpm_prefork.so
LoadModule authz_core_module $mods/mod_authz_core.so
LoadModule mime_module $mods/mod_mime.so
TypesConfig /etc/mime.types
LoadModule dir_module $mods/mod_dir.so
LoadModule php_module $mods/libphp8.2.so
StartServers 5
MinSpareServers 5
MaxSpareServers 10
MaxRequestWorkers 150
KeepAlive On
MaxKeepAliveRequests 100
DocumentRoot $www
<Directory $www>
  Require all granted
</Directory>
<FilesMatch "\.php\$">
  SetHandler application/x-httpd-php
</FilesMatch>
CONF

# A runtime folder of its own, so a Portavane the user runs does not count as
# this one's earlier instance.
mkdir -m 700 "$work/run"
(cd "$work/tree" && XDG_RUNTIME_DIR=$work/run exec ./portavane </dev/null >"$work/portavane.out" 2>&1) &
pids+=($!)
php-fpm8.2 -R -F -y "$work/php-fpm.conf" >/dev/null 2>&1 &
pids+=($!)
nginx -e "$work/nginx-error.log" -c "$work/nginx.conf" &
pids+=($!)
apache2 -f "$work/apache.conf" -k start
php -S "127.0.0.1:$cli_port" -t "$www" >/dev/null 2>&1 &
pids+=($!)
for port in "$pv_port" "$fpm_port" "$apache_port" "$cli_port"; do wait_for "http://127.0.0.1:$port/hello.php" "Hello, world"; done

# Requests/s of one wrk run; errors when there were any. Browsers ask for
# keep-alive, so every server is asked for it.
measure() {  # port page
  wrk -t"$threads" -c"$connections" -d"$duration" -H "Connection: keep-alive" \
    "http://127.0.0.1:$1/$2" 2>&1 | awk '
    /Requests\/sec:/ { rps = $2 }
    /Non-2xx|Socket errors/ { errors = errors " " $0 }
    END { printf "%s %s\n", rps, (errors == "" ? "-" : errors) }'
}

names=(portavane nginx+fpm apache+mod_php "php -S")
ports=("$pv_port" "$fpm_port" "$apache_port" "$cli_port")
# Warm-up at the measured load: as many processes started as it keeps busy,
# opcache filled.
for port in "${ports[@]}"; do
  wrk -t"$threads" -c"$connections" -d2s -H "Connection: keep-alive" \
    "http://127.0.0.1:$port/hello.php" >/dev/null
done
# The servers take turns, round after round, and each keeps its best round:
# a burst of other work on the machine then costs one round, not the result.
echo "wrk -c$connections -t$threads -d$duration, best of $rounds rounds, requests/s"
printf "%-12s %12s %12s %15s %12s %9s %9s %9s\n" page "${names[@]}" "/fpm" "/apache" "/php -S"
for page in hello.php usleep.php; do
  best=(0 0 0 0)
  for _ in $(seq "$rounds"); do
    for i in "${!ports[@]}"; do
      read -r rps errors < <(measure "${ports[$i]}" "$page")
      best[$i]=$(awk -v a="${best[$i]}" -v b="$rps" 'BEGIN { print (b > a ? b : a) }')
      [ "$errors" = "-" ] || echo "  ${names[$i]}:$errors" >&2
    done
  done
  awk -v p="$page" -v a="${best[0]}" -v b="${best[1]}" -v c="${best[2]}" -v d="${best[3]}" 'BEGIN {
    printf "%-12s %12.0f %12.0f %15.0f %12.0f %9.2f %9.2f %9.2f\n", p, a, b, c, d,
           (b > 0 ? a / b : 0), (c > 0 ? a / c : 0), (d > 0 ? a / d : 0) }'
done
