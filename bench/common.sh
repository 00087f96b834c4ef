# What the benchmarks share; each bench's run.sh sources it:
#   . "$here/bench/common.sh"

# What this file and every bench call: wrk, curl, rsync (copy_tree), ss
# (free_port). Each bench installs these with its own peers.
common_packages=(wrk curl rsync iproute2)

# The trees a bench serves, from its arguments ([tree] [baseline-tree]), and
# the tuning every bench shares: $tree, $baseline (may be empty), $duration,
# $rounds, $threads.
read_bench_arguments() {  # "$@" of the bench
  tree=$(cd "${1:-$here/dist/Portavane}" && pwd)
  baseline=${2:+$(cd "$2" && pwd)}
  duration=${BENCH_DURATION:-5s}
  rounds=${BENCH_ROUNDS:-3}
  threads=${BENCH_THREADS:-2}
}

# Installs whichever of the named Debian packages is missing.
need_packages() {
  local missing=() p sudo=""
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  [ ${#missing[@]} -gt 0 ] || return 0
  [ "$(id -u)" -eq 0 ] || sudo=sudo
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}

# The run's scratch folder, $work, readable by the servers' workers. On exit
# the processes in pids (started in the background) and the daemons whose pid
# files are in pid_files are ended, then the folder goes.
pids=() pid_files=()
make_work() {  # name
  work=$(mktemp -d "/tmp/$1.XXXXXX")
  chmod 755 "$work"
  trap cleanup EXIT
}
cleanup() {
  local pid file
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
  for file in "${pid_files[@]}"; do
    [ -f "$file" ] && kill "$(cat "$file")" 2>/dev/null || true
  done
  [ ${#pid_files[@]} -eq 0 ] || sleep 0.5  # a daemon's last writes into $work
  rm -rf "$work"
}

# A copy of the tree without its database, so a run leaves the tree as it was.
copy_tree() {  # tree destination
  rsync -a --exclude mysql/data "$1/" "$2/"
}

# Starts the Portavane of a copy of `tree` in $work/name on `port`, serving
# the folder `site` (its www is a link to it), with a runtime folder of its
# own (so a Portavane the user runs does not count as its earlier instance);
# the pid goes into pids and into $started.
start_portavane() {  # name tree port site
  local name=$1 tree=$2 port=$3
  [ -x "$tree/portavane" ] || { echo "no $tree/portavane: run make tree first" >&2; exit 1; }
  copy_tree "$tree" "$work/$name"
  sed -i "s/^port=.*/port=$port/; s/^maxconnections=.*/maxconnections=1000/" "$work/$name/pvn/pvn.ini"
  rm -rf "$work/$name/www"
  ln -s "$4" "$work/$name/www"
  launch_portavane "$name"
}
# Starts (again) the Portavane of the tree in $work/name, as above.
launch_portavane() {  # name
  local name=$1
  mkdir -p -m 700 "$work/$name-run"
  (cd "$work/$name" && XDG_RUNTIME_DIR=$work/$name-run exec ./portavane </dev/null >>"$work/$name.out" 2>&1) &
  started=$!
  pids+=("$started")
}

# The first port from $1 up on which nothing listens.
free_port() {
  local port=$1
  while ss -Htln "sport = :$port" | grep -q .; do port=$((port + 1)); done
  echo "$port"
}

# From lines "/proc/<pid>/...:<Field>: <figure>" of standard input, the lines
# "<pid> <figure>" of the processes and all their descendants (their threads'
# figures added up); a tree's MariaDB (mysqld, a child of Portavane) and its
# descendants are left out. Processes may end while they are read: grep goes
# past them.
per_process() {  # pid...
  { cat; grep -s -H -E '^(Name|PPid):' /proc/[0-9]*/status || true; } | awk -v roots="$*" '
    { split($1, f, "/"); pid = f[3] }
    $1 ~ /:Name:$/ { name[pid] = $2; next }
    $1 ~ /:PPid:$/ { parent[pid] = $2; next }
    { figure[pid] += $2 }
    END {
      n = split(roots, r, " "); for (i = 1; i <= n; i++) inside[r[i]] = 1
      do {
        grown = 0
        for (p in parent)
          if (!(p in inside) && (parent[p] in inside) && name[p] != "mysqld") { inside[p] = 1; grown = 1 }
      } while (grown)
      for (p in inside) if (p in figure) print p, figure[p]
    }'
}
# The proportional memory (PSS: each shared page divided among the processes
# that map it) of the processes and their descendants, in KiB.
tree_pss_kib() {  # pid...
  { grep -s -H '^Pss:' /proc/[0-9]*/smaps_rollup || true; } | per_process "$@" |
    awk '{ total += $2 } END { print total + 0 }'
}
# Context switches so far, voluntary and not, of every thread of the
# processes and their descendants: lines "<pid> <switches>".
tree_switches() {  # pid...
  { grep -s -H -E '^(non)?voluntary_ctxt_switches:' /proc/[0-9]*/task/[0-9]*/status || true; } |
    per_process "$@"
}
# The switches between two readings of tree_switches, per request: those of
# processes that ended in between (idle php-cgi processes the pool let go)
# are not known, and are left out rather than counted back.
switches_per_request() {  # before after requests
  awk -v n="$3" 'NR == FNR { before[$1] = $2; next } { d += $2 - before[$1] }
    END { printf "%.2f", (n > 0 ? d / n : 0) }' <(echo "$1") <(echo "$2")
}

# The servers of a run in the order they take turns, Portavane first: name,
# port and the pids whose process trees are its memory.
server_names=() server_ports=() server_roots=()
add_server() {  # name port pid...
  server_names+=("$1"); server_ports+=("$2"); shift 2; server_roots+=("$*")
}

# One wrk run: requests/s, bytes/s, requests in all, and the errors wrk
# reports ("-": none). With a host, the requests name it in Host.
wrk_once() {  # port path connections connection-header [host]
  local t=$threads
  if [ "$3" -lt "$t" ]; then t=$3; fi
  wrk -t"$t" -c"$3" -d"$duration" -H "Connection: $4" ${5:+-H "Host: $5"} "http://127.0.0.1:$1/$2" 2>&1 | awk '
    / requests in / { requests = $1 }
    /Requests\/sec:/ { rps = $2 }
    /Transfer\/sec:/ {
      v = $2; unit = v; sub(/[0-9.]+/, "", unit); sub(/[A-Za-z]+$/, "", v)
      f = 1; if (unit == "KB") f = 1024; if (unit == "MB") f = 1048576; if (unit == "GB") f = 1073741824
      bps = v * f
    }
    /Non-2xx|Socket errors/ { errors = errors " " $0 }
    END { printf "%s %s %s %s\n", rps + 0, bps + 0, requests + 0, (errors == "" ? "-" : errors) }'
}

# The servers take turns, round after round, and each keeps its best round
# (a burst of other work on the machine then costs one round, not the
# result): best_rps, best_bps, best_switches (context switches of the
# server's threads per request in that round) and peak_pss (KiB, the most
# after any round) per server.
best_of_rounds() {  # path connections connection-header [host]
  local i r rps bps requests errors pss before
  best_rps=() best_bps=() best_switches=() peak_pss=()
  for i in "${!server_names[@]}"; do best_rps[i]=0 best_bps[i]=0 best_switches[i]=0 peak_pss[i]=0; done
  for r in $(seq "$rounds"); do
    for i in "${!server_names[@]}"; do
      before=$(tree_switches ${server_roots[i]})
      read -r rps bps requests errors < <(wrk_once "${server_ports[i]}" "$1" "$2" "$3" "${4:-}")
      [ "$errors" = "-" ] || echo "  ${server_names[i]}, round $r:$errors" >&2
      if awk -v a="$rps" -v b="${best_rps[i]}" 'BEGIN { exit !(a > b) }'; then
        best_rps[i]=$rps best_bps[i]=$bps
        best_switches[i]=$(switches_per_request "$before" "$(tree_switches ${server_roots[i]})" "$requests")
      fi
      pss=$(tree_pss_kib ${server_roots[i]})
      if [ "$pss" -gt "${peak_pss[i]}" ]; then peak_pss[i]=$pss; fi
    done
  done
}

# A table's head: the label column, one column per server, then one ratio
# column per peer ("/name": Portavane's figure over the peer's).
print_head() {  # label-title unit ("PSS": requests/s and memory)
  local name line width=15
  if [ "$2" = PSS ]; then width=17; fi
  line=$(printf "%-26s" "$1")
  for name in "${server_names[@]}"; do line+=$(printf " %${width}s" "$name ${2/PSS/r\/s MiB}"); done
  for name in "${server_names[@]:1}"; do line+=$(printf " %9s" "/$name"); done
  echo "$line"
}

# A row of the last best_of_rounds: requests/s, or with "MB/s" bytes/s; with
# "PSS", each server's requests/s and memory; under it each server's context
# switches per request.
print_row() {  # label [MB/s|PSS]
  awk -v label="$1" -v unit="${2:-r/s}" -v rps="${best_rps[*]}" -v bps="${best_bps[*]}" \
      -v pss="${peak_pss[*]}" -v sw="${best_switches[*]}" 'BEGIN {
    n = split(unit == "MB/s" ? bps : rps, v, " "); split(pss, m, " "); split(sw, c, " ")
    line = sprintf("%-26s", label)
    for (i = 1; i <= n; i++) {
      if (unit == "MB/s") line = line sprintf(" %15.1f", v[i] / 1048576)
      else if (unit == "PSS") line = line sprintf(" %10.0f %6.1f", v[i], m[i] / 1024)
      else line = line sprintf(" %15.0f", v[i])
    }
    for (i = 2; i <= n; i++) line = line sprintf(" %9.2f", v[i] > 0 ? v[1] / v[i] : 0)
    print line
    line = sprintf("%-26s", "  switches per request")
    for (i = 1; i <= n; i++) line = line sprintf(unit == "PSS" ? " %17.2f" : " %15.2f", c[i])
    print line
  }'
}

# Apache with mod_php, the prefork MPM with Debian's settings and an access
# log, serving `root` on 127.0.0.1:`port` and reading the site's .htaccess
# files (AllowOverride All, as such stacks ship; Portavane reads them too);
# its files go beside `file`.
write_apache_conf() {  # file port root
  local dir user group apache_user apache_group mods=/usr/lib/apache2/modules
  dir=$(dirname "$1") user=$(id -un) group=$(id -gn)
  apache_user=$user apache_group=$group
  [ "$user" = root ] && apache_user=www-data apache_group=www-data
  cat >"$1" <<CONF
ServerRoot $dir
ServerName localhost
Listen 127.0.0.1:$2
PidFile $dir/apache.pid
ErrorLog $dir/apache-error.log
LogFormat "%h %l %u %t \"%r\" %>s %O \"%{Referer}i\" \"%{User-Agent}i\"" combined
CustomLog $dir/apache-access.log combined
User $apache_user
Group $apache_group
LoadModule mpm_prefork_module $mods/mod_mpm_prefork.so
LoadModule authz_core_module $mods/mod_authz_core.so
LoadModule rewrite_module $mods/mod_rewrite.so
LoadModule mime_module $mods/mod_mime.so
TypesConfig /etc/mime.types
LoadModule dir_module $mods/mod_dir.so
DirectoryIndex index.html index.php
LoadModule php_module $mods/libphp8.2.so
StartServers 5
MinSpareServers 5
MaxSpareServers 10
MaxRequestWorkers 150
KeepAlive On
MaxKeepAliveRequests 100
DocumentRoot $3
<Directory $3>
  AllowOverride All
  Require all granted
</Directory>
<FilesMatch "^\.ht">
  Require all denied
</FilesMatch>
<FilesMatch "\.php\$">
  SetHandler application/x-httpd-php
</FilesMatch>
CONF
}

# Waits up to 30 s until the URL answers with success (and that body, when
# one is given).
wait_for() {  # url [body]
  for _ in $(seq 300); do
    if [ $# -lt 2 ]; then
      curl -fs -o /dev/null "$1" && return 0
    elif [ "$(curl -fs "$1")" = "$2" ]; then
      return 0
    fi
    sleep 0.1
  done
  echo "nothing answers at $1" >&2
  return 1
}
