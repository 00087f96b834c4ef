#!/usr/bin/env bash
# Debian's WordPress as a site copied from production: its files in a web
# folder, its database in a MariaDB reached over TCP, `/%postname%/`
# permalinks and the .htaccess WordPress itself writes for them. The
# benchmarks and the tree tests set their sites up through this.
#   wordpress-site.sh files <www folder> <database port>
#     copies the files and writes wp-config.php (the site answers at whatever
#     host it is asked by, so every server serves it at its own port)
#   wordpress-site.sh install <site URL> <database port>
#     creates the database, runs the installer (user bench, password
#     bench-password) and turns the permalinks on
# Needs Debian's wordpress (and its theme twentytwentythree), mariadb-client
# and curl.
set -euo pipefail

files() {  # www port
  local www=$1
  rm -rf "$www"
  cp -RL /usr/share/wordpress "$www"
  cat >"$www/wp-config.php" <<PHP
<?php
define('DB_NAME', 'wordpress');
define('DB_USER', 'root');
define('DB_PASSWORD', '');
define('DB_HOST', '127.0.0.1:$2');
define('DB_CHARSET', 'utf8mb4');
define('DB_COLLATE', '');
define('WP_HOME', 'http://' . \$_SERVER['HTTP_HOST']);
define('WP_SITEURL', 'http://' . \$_SERVER['HTTP_HOST']);
// Nothing leaves the machine: no cron requests, no updates, no remote calls.
define('DISABLE_WP_CRON', true);
define('AUTOMATIC_UPDATER_DISABLED', true);
define('WP_HTTP_BLOCK_EXTERNAL', true);
foreach (['AUTH', 'SECURE_AUTH', 'LOGGED_IN', 'NONCE'] as \$k) {
  define(\$k . '_KEY', 'site-' . \$k);
  define(\$k . '_SALT', 'site-salt-' . \$k);
}
\$table_prefix = 'wp_';
if (!defined('ABSPATH')) define('ABSPATH', __DIR__ . '/');
require_once ABSPATH . 'wp-settings.php';
PHP
  # WordPress writes .htaccess only where it sees Apache's mod_rewrite: this
  # page, asked once by install, makes it write the rules it writes there.
  cat >"$www/permalinks-once.php" <<'PHP'
<?php
require __DIR__ . '/wp-load.php';
require_once ABSPATH . 'wp-admin/includes/file.php';
require_once ABSPATH . 'wp-admin/includes/misc.php';
add_filter('got_rewrite', '__return_true');
$wp_rewrite->set_permalink_structure('/%postname%/');
create_initial_taxonomies();  // their URLs were registered under the old structure
flush_rewrite_rules(true);
unlink(__FILE__);
echo is_file(ABSPATH . '.htaccess') ? 'permalinks on' : 'no .htaccess written';
PHP
  chmod -R a+rX "$www"
}

install() {  # url port
  local url=$1 answer
  mariadb --protocol=tcp -h127.0.0.1 -P"$2" -uroot -e 'create database if not exists wordpress'
  curl -fs -o /dev/null --data-urlencode "weblog_title=Portavane WordPress" --data-urlencode "user_name=bench" \
    --data-urlencode "admin_password=bench-password" --data-urlencode "admin_password2=bench-password" \
    --data-urlencode "pw_weak=on" --data-urlencode "admin_email=bench@example.com" \
    --data-urlencode "blog_public=1" "$url/wp-admin/install.php?step=2"
  answer=$(curl -fs "$url/permalinks-once.php")
  [ "$answer" = "permalinks on" ] || { echo "WordPress at $url: $answer" >&2; exit 1; }
}

case ${1:-} in
  files) files "$2" "$3" ;;
  install) install "$2" "$3" ;;
  *) sed -n '2,13p' "$0" >&2; exit 2 ;;
esac
