<?php
// The tree's PHP start page: PHP's version, a link to its full information,
// and whether the tree's MySQL server answers on the port of mysql/bin/my.cnf.
$tree = dirname($_SERVER['DOCUMENT_ROOT']);
$myCnf = $tree . DIRECTORY_SEPARATOR . 'mysql' . DIRECTORY_SEPARATOR . 'bin' . DIRECTORY_SEPARATOR . 'my.cnf';
$port = 3306;
$section = '';
foreach (is_file($myCnf) ? file($myCnf, FILE_IGNORE_NEW_LINES) : [] as $line) {
    $line = trim($line);
    if (preg_match('/^\[(.*)\]$/', $line, $m)) {
        $section = strtolower(trim($m[1]));
    } elseif ($section === 'mysqld' && preg_match('/^port\s*=\s*(\d+)$/', $line, $m)) {
        $port = (int)$m[1];
    }
}

if (extension_loaded('mysqli')) {
    mysqli_report(MYSQLI_REPORT_OFF);
    $db = mysqli_init();
    $db->options(MYSQLI_OPT_CONNECT_TIMEOUT, 2);
    if (@$db->real_connect('127.0.0.1', 'root', '', '', $port)) {
        $mysql = 'MySQL answers on port ' . $port . ': server ' . htmlspecialchars($db->server_info) . '.';
        $db->close();
    } else {
        $mysql = 'MySQL does not answer on port ' . $port . ' (' . htmlspecialchars(mysqli_connect_error()) . ').';
    }
} else {
    $mysql = 'The mysqli extension is not loaded; see the extension lines of php/php.ini.';
}
?><!DOCTYPE html>
<html lang="en">
<head>
<meta charset="utf-8">
<title>PHP on Portavane</title>
<style>
  body { font-family: system-ui, sans-serif; max-width: 44em; margin: 3em auto; padding: 0 1em;
         line-height: 1.5; color: #222; }
  code { background: #f2f2f2; padding: 0 .3em; border-radius: 3px; }
</style>
</head>
<body>
<h1>PHP <?= htmlspecialchars(PHP_VERSION) ?> is working</h1>
<p>This page is <code>www/index.php</code>. PHP reads its settings from
<code><?= htmlspecialchars(php_ini_loaded_file() ?: 'no php.ini') ?></code>.</p>
<p><a href="phpinfo.php">PHP information</a>: every setting and extension.</p>
<p id="mysql"><?= $mysql ?></p>
</body>
</html>
