#!/usr/bin/env bash
# Puts PHP into an assembled tree: scripts/assemble-php.sh <build-dir> <dest>
# Every tree gets the PHP module of the build (php/phpisapi.so or .dll). A
# Linux tree also gets Debian's php-cgi as php/php-cgi and the extensions of
# its set, copied into php/ext where the rewritten extension_dir points, with
# their lines in php.ini in place of the template's (those of PHP for Windows).
# A Windows tree leaves php-cgi.exe and php/ext to the user's PHP.
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

# Debian's extensions in their load order: mysqlnd before mysqli and
# pdo_mysql, pdo before the pdo_ drivers, xml before dom, simplexml and xsl.
# Debian's php-cgi has openssl and sodium built in.
extensions=(mysqlnd pdo xml
  bcmath ctype curl dom exif fileinfo gd gettext iconv intl mbstring mysqli
  pdo_mysql pdo_sqlite phar simplexml sqlite3 tokenizer xmlreader xmlwriter xsl zip)
zend_extensions=(opcache)

system_ext=$(echo '<?php echo ini_get("extension_dir");' | "$cgi" -n -q)
mkdir -p "$php/ext"
for name in "${extensions[@]}" "${zend_extensions[@]}"; do
  so=$system_ext/$name.so
  [ -f "$so" ] || { echo "PHP extension $name not installed (scripts/install-deps.sh)" >&2; exit 1; }
  # Like php-cgi itself, the extensions use the system's shared libraries.
  if ldd "$so" | grep -q 'not found'; then
    echo "PHP extension $name: a library it needs is missing:" >&2
    ldd "$so" | grep 'not found' >&2
    exit 1
  fi
  cp "$so" "$php/ext/"
done

lines=$(printf 'extension=%s\\n' "${extensions[@]}"; printf 'zend_extension=%s\\n' "${zend_extensions[@]}")
ini=$php/php.ini
awk -v lines="$lines" '
  /^(zend_)?extension *=/ { if (!done) { printf "%s", lines; done = 1 } next }
  { print }
' "$ini" >"$ini.new"
mv "$ini.new" "$ini"
