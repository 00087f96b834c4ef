<?php
// The tree's PHP start page: PHP's version, a link to its full information,
// and whether the tree's MySQL server answers on the port of mysql/bin/my.cnf,
// at 127.0.0.1 and at localhost.
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

// The server at 127.0.0.1 (TCP on that port) and at localhost (the socket
// that php.ini names): the message of a refusal, or null when it answers.
function mysql_refusal($host, $port, &$version) {
    mysqli_report(MYSQLI_REPORT_OFF);
    $db = mysqli_init();
    $db->options(MYSQLI_OPT_CONNECT_TIMEOUT, 2);
    if (!@$db->real_connect($host, 'root', '', '', $port)) {
        return mysqli_connect_error();
    }
    $version = $db->server_info;
    $db->close();
    return null;
}

if (extension_loaded('mysqli')) {
    $version = '';
    $answers = [];
    $refusals = [];
    foreach (['127.0.0.1', 'localhost'] as $host) {
        $refusal = mysql_refusal($host, $port, $version);
        if ($refusal === null) {
            $answers[] = $host;
        } else {
            $refusals[] = $host . ': ' . $refusal;
        }
    }
    if ($answers) {
        $mysql = 'MySQL answers on port ' . $port . ' at ' . implode(' and ', $answers)
               . ': server ' . htmlspecialchars($version) . '.';
    } else {
        $mysql = 'MySQL does not answer on port ' . $port . '.';
    }
    if ($refusals) {
        $mysql .= ' Not reached: ' . htmlspecialchars(implode('; ', $refusals)) . '.';
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
