#!/usr/bin/env bash
# Debian's DokuWiki laid out as its own archive unpacks, in one folder: the
# program with data/ and conf/ inside it, each behind the .htaccess files
# the archive ships (Debian keeps them in /etc and /var/lib instead), a page
# meant for members only, and an administrator `admin` with the password
# `admin-password`.
#   dokuwiki-site.sh <folder>
set -euo pipefail
site=$1
rm -rf "$site"
mkdir -p "$(dirname "$site")"
cp -RL /usr/share/dokuwiki "$site"
rm "$site/.htaccess.dist.md5sum" "$site/inc/preload.php"  # preload.php: Debian's moved folders
cp -RL /etc/dokuwiki "$site/conf"
rm "$site/conf/apache.conf" "$site/conf/lighttpd.conf" "$site/conf/htaccess"
cp -RL /var/lib/dokuwiki/data "$site/data"
# Its file has no rewriting of its own, so a site's rules above it (WordPress's
# at the root) would reach into it, as Apache lets them: turned off here.
printf '\nRewriteEngine Off\n' >>"$site/.htaccess"
sed -i "s|^\$conf\['savedir'\].*|\$conf['savedir'] = './data';|" "$site/conf/dokuwiki.php"
cat >"$site/conf/users.auth.php" <<'USERS'
# <?php exit()?>
admin:$2y$10$.5jYh0WinjniaBKBjb97keqyfx5F/KupwgM9Hma7P68dYVmCyNhwS:Administrator:admin@example.com:admin,user
USERS
cat >"$site/conf/acl.auth.php" <<'ACL'
# <?php exit()?>
*               @ALL          1
*               @user         8
secretpage      @ALL          0
ACL
echo "====== Members only ======" >"$site/data/pages/secretpage.txt"
chmod -R a+rX "$site"
