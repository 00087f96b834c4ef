#!/usr/bin/env bash
# WordPress, Debian's package with /%postname%/ permalinks and its own
# .htaccess, served by Portavane from a copy of the tree (the site's database
# in that tree's MariaDB) and by Apache with mod_php from the same files and
# database, on loopback ports. Prints, best of interleaved rounds: the front
# page for one client taking a new connection per page, and for 8 keep-alive
# connections, and the first post by its pretty URL (/hello-world/, through
# the .htaccess rules) for 8, with each server's memory (PSS of its
# processes, the database's left out); then the time of the first 24 pages
# after a fresh start of each server, fetched by one client over 8
# connections.
#   bench/php/wordpress.sh [tree] [baseline-tree]
# tree: default dist/Portavane (make tree). baseline-tree: another Portavane
# tree served as "baseline" from the same files and database.
# BENCH_DURATION (5s), BENCH_ROUNDS (3), BENCH_THREADS (2) tune the runs.
# Installs Debian's wordpress (and its theme), apache2, libapache2-mod-php8.2,
# php8.2-mysql, php8.2-cli, mariadb-client, wrk, curl, rsync and ss when they
# are missing.
set -euo pipefail
here=$(cd "$(dirname "$0")/../.." && pwd)
. "$here/bench/common.sh"
read_bench_arguments "$@"
need_packages "${common_packages[@]}" wordpress wordpress-theme-twentytwentythree apache2 \
  libapache2-mod-php8.2 php8.2-mysql php8.2-cli mariadb-client
[ -x "$tree/mysql/bin/mysqld" ] && [ -d "$tree/mysql/data" ] ||
  { echo "$tree has no MariaDB with a data folder: a Linux tree of make tree is needed" >&2; exit 1; }

make_work pv-bench-wp
pid_files=("$work/apache.pid")

pv_port=$(free_port 20480)
db_port=$(free_port 23306)
apache_port=$(free_port $((pv_port + 1)))
base_port=$(free_port $((apache_port + 1)))

# The tree with its database, on ports of its own; WordPress is its www.
pv=$work/portavane
rsync -a "$tree/" "$pv/"
sed -i "s/^port=.*/port=$pv_port/; s/^maxconnections=.*/maxconnections=1000/" "$pv/pvn/pvn.ini"
sed -i "s/^port=.*/port=$db_port/" "$pv/mysql/bin/my.cnf"
wordpress_site=$here/tests/tree/wordpress-site.sh
"$wordpress_site" files "$pv/www" "$db_port"
www=$pv/www

launch_portavane portavane
pv_pid=$started
database() { mariadb --protocol=tcp -h127.0.0.1 -P"$db_port" -uroot "$@"; }
wait_database() {
  for _ in $(seq 300); do database -e 'select 1' >/dev/null 2>&1 && return 0; sleep 0.1; done
  echo "the tree's MariaDB does not answer on port $db_port" >&2
  cat "$work/portavane.out" >&2
  exit 1
}
wait_database
wait_for "http://127.0.0.1:$pv_port/readme.html"
"$wordpress_site" install "http://127.0.0.1:$pv_port" "$db_port"
front_page_check() {  # port [post]: the front page, and with "post" the post by its pretty URL
  local page
  page=$(curl -fs "http://127.0.0.1:$1/") && grep -q '/hello-world/"' <<<"$page" ||
    { echo "no WordPress front page at port $1" >&2; exit 1; }
  [ "${2:-}" != post ] && return 0
  page=$(curl -fs "http://127.0.0.1:$1/hello-world/") && grep -q 'Hello world!' <<<"$page" ||
    { echo "no post at port $1/hello-world/: are .htaccess files read?" >&2; exit 1; }
}
front_page_check "$pv_port" post
add_server portavane "$pv_port" "$pv_pid"

write_apache_conf "$work/apache.conf" "$apache_port" "$www"
apache2 -f "$work/apache.conf" -k start
wait_for "http://127.0.0.1:$apache_port/readme.html"
front_page_check "$apache_port" post
add_server apache+mod_php "$apache_port" "$(cat "$work/apache.pid")"

if [ -n "$baseline" ]; then
  start_portavane baseline "$baseline" "$base_port" "$www"
  wait_for "http://127.0.0.1:$base_port/readme.html"
  front_page_check "$base_port"
  add_server baseline "$base_port" "$started"
fi

for port in "${server_ports[@]}"; do wrk_once "$port" "" 8 keep-alive >/dev/null; done

echo "WordPress front page, wrk -t$threads -d$duration, best of $rounds interleaved rounds:"
echo "pages/s and the servers' memory after the rounds (PSS, MiB)"
print_head "case" PSS
best_of_rounds "" 1 close
print_row "1 client, close" PSS
best_of_rounds "" 8 keep-alive
print_row "8 conns keep-alive" PSS
best_of_rounds hello-world/ 8 keep-alive
print_row "post, 8 conns keep-alive" PSS

# The first pages after a start: each server is stopped and started again,
# the database is woken by one page rendered by PHP's command line (which
# shares no compiled script with the servers), then 24 front pages are fetched
# over 8 connections at once.
restart() {  # server index
  local name=${server_names[$1]}
  case $name in
    apache+mod_php)
      apache2 -f "$work/apache.conf" -k stop
      while [ -f "$work/apache.pid" ]; do sleep 0.1; done
      apache2 -f "$work/apache.conf" -k start
      while [ ! -s "$work/apache.pid" ]; do sleep 0.1; done
      server_roots[$1]=$(cat "$work/apache.pid") ;;
    *)
      kill "${server_roots[$1]}"
      wait "${server_roots[$1]}" 2>/dev/null || true
      launch_portavane "$name"
      server_roots[$1]=$started
      [ "$name" = portavane ] && wait_database ;;
  esac
  wait_for "http://127.0.0.1:${server_ports[$1]}/readme.html"
  HTTP_HOST=127.0.0.1 php -d opcache.enable_cli=0 "$www/index.php" >/dev/null 2>&1 || true
}
first_pages() {  # port: seconds for 24 pages
  local args=() start codes
  for _ in $(seq 24); do args+=(-o /dev/null "http://127.0.0.1:$1/"); done
  start=$(date +%s.%N)
  codes=$(curl -s --no-progress-meter -w '%{http_code}\n' --parallel --parallel-max 8 "${args[@]}" | grep -c '^200$' || true)
  [ "$codes" -eq 24 ] || echo "  port $1: $codes of 24 pages answered 200" >&2
  awk -v a="$start" -v b="$(date +%s.%N)" 'BEGIN { printf "%.3f", b - a }'
}
declare -A best
for r in $(seq "$rounds"); do
  for i in "${!server_names[@]}"; do
    name=${server_names[i]}
    restart "$i"
    t=$(first_pages "${server_ports[i]}")
    if [ -z "${best[$name]:-}" ] || awk -v a="$t" -v b="${best[$name]}" 'BEGIN { exit !(a < b) }'; then
      best[$name]=$t
    fi
  done
done
echo
echo "The first 24 pages after a start, 8 connections: seconds, best of $rounds"
echo "(/apache: Apache's time over this one's)"
for name in "${server_names[@]}"; do
  awk -v n="$name" -v t="${best[$name]}" -v a="${best[apache+mod_php]}" \
    'BEGIN { printf "%-26s %8.3f s %9.2f\n", n, t, a / t }'
done
