<?php
// Adminer for the tree's MySQL server, whose root account has no password.
// Adminer refuses an empty password unless told otherwise; it is told so
// only where local-login.php allows it. The assembly puts Adminer itself
// (Debian's adminer package) beside this file as adminer.php.
require_once __DIR__ . '/local-login.php';

function adminer_object() {
    class PortavaneAdminer extends Adminer {
        function login($login, $password) {
            return ($password === '' && portavane_passwordless_login()) ? true : parent::login($login, $password);
        }
    }
    return new PortavaneAdminer();
}

include __DIR__ . '/adminer.php';
