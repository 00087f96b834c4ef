# What the benchmarks share; each bench's run.sh sources it:
#   . "$here/bench/common.sh"

# What this file and every bench call: wrk, curl, rsync (copy_tree), ss
# (free_port). Each bench installs these with its own peers.
common_packages=(wrk curl rsync iproute2)

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

# The first port from $1 up on which nothing listens.
free_port() {
  local port=$1
  while ss -Htln "sport = :$port" | grep -q .; do port=$((port + 1)); done
  echo "$port"
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
