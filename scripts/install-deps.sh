#!/usr/bin/env bash
# Installs what the builds, the tests and the assembled tree need; does nothing
# when all is there. Services of the installed packages are not started: the
# tree runs its own MariaDB on 3306. Installed without recommended packages,
# so each one the scripts call is named: wine64 alone brings neither wine,
# wineboot nor wineserver on the PATH, which come with the package wine.
set -euo pipefail
packages=(
  cmake g++ make googletest libpcre2-dev         # native build and tests; PCRE2 for the folder rules
  g++-mingw-w64-x86-64-posix mingw-w64-tools     # Windows build
  wine wine64 xvfb                               # Windows tests (wine: wineboot, wineserver)
  xauth fonts-wine fonts-wqy-microhei imagemagick  # the windows under Wine: xvfb-run, fonts, screenshots
  php8.2-cgi php8.2-mysql php8.2-mbstring php8.2-opcache  # PHP of the Linux tree and
  php8.2-xml php8.2-curl php8.2-gd php8.2-intl php8.2-zip   # the extensions it carries
  php8.2-sqlite3 php8.2-bcmath
  adminer                                        # the database tool in both trees
  phpmyadmin                                     # a test copies it into a tree
  wordpress wordpress-theme-twentytwentythree dokuwiki  # applications the tree tests serve
  chromium nodejs                                # the browser test (playwright-core from npm)
  mariadb-server-core mariadb-client             # MySQL of the Linux tree
  clang libclang-rt-14-dev                       # fuzz targets (libFuzzer)
  curl wrk nginx                                 # integration tests and benchmarks
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
# npm comes with some builds of nodejs; Debian's is a package of its own.
command -v npm >/dev/null || missing+=(npm)
[ ${#missing[@]} -eq 0 ] && exit 0
echo "installing: ${missing[*]}"
sudo=""; [ "$(id -u)" -eq 0 ] || sudo=sudo

policy=/usr/sbin/policy-rc.d
if [ ! -e "$policy" ]; then
  printf '#!/bin/sh\nexit 101\n' | $sudo tee "$policy" >/dev/null
  $sudo chmod +x "$policy"
  trap '$sudo rm -f "$policy"' EXIT
fi
# phpMyAdmin's and DokuWiki's packages would set up a web server (and a
# database) of their own.
printf '%s\n' 'phpmyadmin phpmyadmin/dbconfig-install boolean false' \
  'phpmyadmin phpmyadmin/reconfigure-webserver multiselect' \
  'dokuwiki dokuwiki/system/configure-webserver multiselect' \
  'dokuwiki dokuwiki/system/restart-webserver boolean false' | $sudo debconf-set-selections
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
