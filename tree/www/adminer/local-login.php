<?php
// Whether a database login without a password is allowed for this request:
// the one answer that Adminer's wrapper beside this file and a phpMyAdmin
// dropped into www/phpmyadmin (its config.inc.php) both ask for, since the
// tree's MySQL root account has no password.
//
// The client must be on this machine, so the server's other addresses do
// not open the database to the network. That is not enough: a web page
// whose host name its owner rebinds to 127.0.0.1 reaches this server from
// the browser on this machine, with its own name in Host. Only the names
// that always mean this machine (which no outside DNS answer can give a
// page) open the empty password; everything else meets the tool's normal login.
function portavane_passwordless_login() {
    $address = $_SERVER['REMOTE_ADDR'] ?? '';
    if (!in_array($address, ['127.0.0.1', '::1'], true)) return false;
    $host = strtolower($_SERVER['HTTP_HOST'] ?? '');
    if (preg_match('/^(\[::1\]|[a-z0-9.-]+)(:[0-9]*)?$/D', $host, $m) !== 1) return false;
    $name = $m[1];
    return in_array($name, ['localhost', '127.0.0.1', '[::1]'], true)
        || (strlen($name) > 10 && substr($name, -10) === '.localhost');
}
