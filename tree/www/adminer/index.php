<?php
// Adminer for the tree's MySQL server, whose root account has no password.
// Adminer refuses an empty password unless told otherwise; it is told so for
// a browser on this machine only, so the server's other addresses do not open
// the database to the network. The assembly puts Adminer itself (Debian's
// adminer package) beside this file as adminer.php.
function adminer_object() {
    class PortavaneAdminer extends Adminer {
        function login($login, $password) {
            $local = in_array($_SERVER['REMOTE_ADDR'] ?? '', ['127.0.0.1', '::1'], true);
            return ($password === '' && $local) ? true : parent::login($login, $password);
        }
    }
    return new PortavaneAdminer();
}

include __DIR__ . '/adminer.php';
