#!/usr/bin/env bash
# Soak: a few minutes of mixed load and killed php-cgi processes against a
# copy of the assembled tree on a free loopback port, then bursts of clients
# over the tree's Adminer (see soak.py); the server is stopped, no php-cgi of
# it may be left and none may have crashed.
#   bench/soak/run.sh [seconds (default 180)] [tree (default dist/Portavane;
#                     build/asan/Portavane adds the sanitizers' leak check)]
# The measured load lasts the given seconds; warm-up, settling and the churn
# (a third of that, at least 30 s) add about a third and a minute more: 5 min
# in all for the default, 14 min for 600 s (`soak.py --length N` says). A run
# that does not end within its phases and a margin is cut short and fails.
# SOAK_CONNECTIONS sets the number of client connections (default 24).
set -euo pipefail
here=$(cd "$(dirname "$0")/../.." && pwd)
. "$here/bench/common.sh"
seconds=${1:-180}
tree=$(cd "${2:-$here/dist/Portavane}" && pwd)
connections=${SOAK_CONNECTIONS:-24}
[ -x "$tree/portavane" ] || { echo "no $tree/portavane: run make tree first" >&2; exit 1; }

need_packages python3 curl iproute2

make_work pv-soak
# A copy of the tree without its database; the soak's pages in its www.
mkdir "$work/tree"
(cd "$tree" && tar --exclude ./mysql/data -cf - .) | tar -xf - -C "$work/tree"
python3 "$here/bench/soak/soak.py" --site "$work/tree/www"
echo "outside" >"$work/tree/secret.txt"
port=$(free_port 20380)
sed -i "s/^port=.*/port=$port/" "$work/tree/pvn/pvn.ini"

# A runtime folder of its own, so a Portavane the user runs is no earlier instance.
mkdir -m 700 "$work/run"
# Under AddressSanitizer freed memory waits in a quarantine (256 MiB by
# default), which would hide what RSS says about the server itself.
(cd "$work/tree" && XDG_RUNTIME_DIR=$work/run ASAN_OPTIONS=${ASAN_OPTIONS:-quarantine_size_mb=4} \
  exec ./portavane </dev/null >"$work/portavane.out" 2>&1) &
server=$!
pids+=($server)
wait_for "http://127.0.0.1:$port/soak/small.txt"

status=0
# soak.py keeps its own deadline; this one is for a soak.py that hangs past it.
limit=$(( $(python3 "$here/bench/soak/soak.py" --length "$seconds") + 120 + seconds / 20 ))
timeout -k 10 "$limit" python3 "$here/bench/soak/soak.py" "$port" "$server" "$work/tree" "$seconds" "$connections" ||
  { code=$?; status=1; [ $code -lt 124 ] || echo "soak: cut short, soak.py ended by the outer limit of $limit s"; }
kill "$server"
code=0
wait "$server" 2>/dev/null || code=$?
echo "  server stopped with exit code $code"
[ $code -eq 0 ] || status=1
# A tree of a sanitizer build (make test-asan) reports leaks and faults here.
if grep -q -E 'Sanitizer|runtime error' "$work/portavane.out"; then
  grep -E -A12 'ERROR|runtime error' "$work/portavane.out" | head -60
  status=1
fi
python3 "$here/bench/soak/soak.py" --after "$work/tree" "$work/php-cgi.pids" || status=1
# The soak kills with SIGKILL; any other signal is a php-cgi parent that
# crashed (a child that crashes fails its request, which the churn counts).
crashes=$(grep 'ended by signal' "$work/tree/log/php_errors.log" 2>/dev/null | grep -v 'signal 9 ' || true)
echo "  php-cgi crashes: $(printf '%s' "$crashes" | grep -c . || true)"
[ -z "$crashes" ] || { printf '%s\n' "$crashes" | head -5; status=1; }
[ $status -eq 0 ] && echo "soak: passed" || echo "soak: FAILED"
exit $status
