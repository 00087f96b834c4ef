<?php
// Adminer for the tree's MySQL server, whose root account has no password.
// Adminer refuses an empty password unless told otherwise; it is told so for
// a browser on this machine only, so the server's other addresses do not open
// the database to the network. The assembly puts Adminer itself (Debian's
// adminer package) beside this file as adminer.php.
//
// A loopback client is not enough: a web page whose host name its owner
// rebinds to 127.0.0.1 reaches this server from the browser on this machine,
// with its own name in Host. Only the names that always mean this machine
// (which no outside DNS answer can give a page) open the empty password.
function portavane_local_client() {
    $address = $_SERVER['REMOTE_ADDR'] ?? '';
    if (!in_array($address, ['127.0.0.1', '::1'], true)) return false;
    $host = strtolower($_SERVER['HTTP_HOST'] ?? '');
    if (preg_match('/^(\[::1\]|[a-z0-9.-]+)(:[0-9]*)?$/D', $host, $m) !== 1) return false;
    $name = $m[1];
    return in_array($name, ['localhost', '127.0.0.1', '[::1]'], true)
        || (strlen($name) > 10 && substr($name, -10) === '.localhost');
}

function adminer_object() {
    class PortavaneAdminer extends Adminer {
        function login($login, $password) {
            return ($password === '' && portavane_local_client()) ? true : parent::login($login, $password);
        }
    }
    return new PortavaneAdminer();
}

include __DIR__ . '/adminer.php';
