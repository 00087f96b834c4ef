#!/usr/bin/env bash
# Assembles a runnable Portavane tree from the template tree/ and one build:
#   scripts/assemble-tree.sh <build-dir> <dest>
# The destination is laid anew. A Linux build gets the executable, PHP (through
# scripts/assemble-php.sh) and Debian's MariaDB server with an initialised data
# folder; a Windows build gets Portavane.exe and its module, and leaves php/ and
# mysql/ for the user's own Windows PHP and MySQL. Both get Debian's Adminer
# (one PHP file) in www/adminer beside the tree's wrapper of it.
set -euo pipefail
[ $# -eq 2 ] || { echo "usage: $0 <build-dir> <dest>" >&2; exit 2; }
here=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "$1" && pwd)
dest=$2

windows=false
grep -qs 'CMAKE_SYSTEM_NAME "Windows"' "$build"/CMakeFiles/*/CMakeSystem.cmake && windows=true

# A running server of an earlier assembly would lose its data folder under it.
if [ -f "$dest/mysql/data/mysqld.pid" ] && kill -0 "$(cat "$dest/mysql/data/mysqld.pid")" 2>/dev/null; then
  echo "$dest: its MySQL server is running; stop it first" >&2
  exit 1
fi
rm -rf "$dest"
mkdir -p "$dest"
cp -R "$here/tree/." "$dest/"
rm -f "$dest/log/.gitkeep"

if $windows; then
  exe=$build/src/Portavane.exe
else
  exe=$build/src/portavane
fi
[ -f "$exe" ] && cp "$exe" "$dest/"

[ -x "$here/scripts/assemble-php.sh" ] && "$here/scripts/assemble-php.sh" "$build" "$dest"

adminer=/usr/share/adminer/adminer.php
[ -f "$adminer" ] || "$here/scripts/install-deps.sh"
cp "$adminer" "$dest/www/adminer/adminer.php"
cp /usr/share/doc/adminer/copyright "$dest/www/adminer/COPYING.txt"

$windows && exit 0

for command in mariadbd mariadb-admin mariadb-install-db; do
  PATH=$PATH:/usr/sbin command -v "$command" >/dev/null || { "$here/scripts/install-deps.sh"; break; }
done

# MariaDB from Debian's packages, copied in under the names the program starts.
# With basedir naming the tree's mysql folder the server finds share/mysql
# (error messages, character sets) there by itself.
mysql=$dest/mysql
cp /usr/sbin/mariadbd "$mysql/bin/mysqld"
cp /usr/bin/mariadb-admin "$mysql/bin/mysqladmin"
mkdir -p "$mysql/share/mysql"
for d in /usr/share/mysql/*/; do
  name=$(basename "$d")
  [ -f "$d/errmsg.sys" ] || [ "$name" = charsets ] || continue
  cp -R "$d" "$mysql/share/mysql/$name"
done

# The paths the program writes at every start, written now for this location
# so the server can also be run by hand from the fresh tree.
base=$(cd "$mysql" && pwd)
files=$(cd "$dest" && pwd)/tmp/mysql-files
mkdir -p "$files"
sed -i "s#^basedir=.*#basedir=$base#; s#^datadir=.*#datadir=$base/data#; s#^secure_file_priv=.*#secure_file_priv=$files#" \
  "$mysql/bin/my.cnf"

# mysqld refuses to run as root unless told to.
if [ "$(id -u)" -eq 0 ]; then
  sed -i 's/^\[mysqld\]\r\?$/&\nuser=root/' "$mysql/bin/my.cnf"
  user_opt=(--user=root)
else
  user_opt=()
fi

# mariadb-install-db breaks on a path with blanks, so the data folder is
# made in a scratch folder and moved in.
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
mariadb-install-db --no-defaults "${user_opt[@]}" \
  --datadir="$scratch/data" \
  --auth-root-authentication-method=normal --skip-test-db \
  --innodb-log-file-size=16M >"$build/mariadb-install.log" 2>&1 || {
  cat "$build/mariadb-install.log" >&2
  exit 1
}
rm -rf "$mysql/data"
mv "$scratch/data" "$mysql/data"
