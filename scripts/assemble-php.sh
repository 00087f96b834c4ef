#!/usr/bin/env bash
# Puts PHP into an assembled tree: scripts/assemble-php.sh <build-dir> <dest>
# Every tree gets the PHP module of the build (php/phpisapi.so or .dll). A
# Linux tree also gets Debian's php-cgi as php/php-cgi and the extensions that
# its php.ini loads, copied into php/ext where the rewritten extension_dir
# points. A Windows tree leaves php-cgi.exe and php/ext to the user's PHP.
set -euo pipefail
[ $# -eq 2 ] || { echo "usage: $0 <build-dir> <dest>" >&2; exit 2; }
build=$1 dest=$2
php=$dest/php
mkdir -p "$php"

module=$(ls "$build"/modules/phpisapi/phpisapi.so "$build"/modules/phpisapi/phpisapi.dll 2>/dev/null | head -n1 || true)
[ -n "$module" ] || { echo "$build: no PHP module built" >&2; exit 1; }
cp "$module" "$php/"
[[ $module == *.dll ]] && exit 0

cgi=$(readlink -f "$(command -v php-cgi8.2 || command -v php-cgi)")
[ -x "$cgi" ] || { echo "php-cgi not installed (Debian's php8.2-cgi)" >&2; exit 1; }
cp "$cgi" "$php/php-cgi"

# Debian builds mysqlnd and PDO as extensions of their own, which must load
# before the drivers that use them (PHP for Windows has them built in, so the
# template names only the drivers).
ini=$php/php.ini
sed -i -e 's/^extension=mysqli\r\?$/extension=mysqlnd\n&/' \
       -e 's/^extension=pdo_mysql\r\?$/extension=pdo\n&/' "$ini"

system_ext=$(echo '<?php echo ini_get("extension_dir");' | "$cgi" -n -q)
mkdir -p "$php/ext"
sed -n 's/^\(zend_\)\?extension *= *"\?\([A-Za-z0-9_]*\)"\?\r\?$/\2/p' "$ini" | while read -r name; do
  [ -f "$system_ext/$name.so" ] || { echo "PHP extension $name not installed" >&2; exit 1; }
  cp "$system_ext/$name.so" "$php/ext/"
done
