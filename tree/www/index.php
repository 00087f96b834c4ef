<?php
// The tree's PHP start page: PHP's version, a link to its full information,
// whether the tree's MySQL server answers on the port of mysql/bin/my.cnf, at
// 127.0.0.1 and at localhost, the link to Adminer, the projects of www at
// their own hosts, the extensions loaded (and those php.ini enables that PHP
// could not load) and where PHP's error log is.
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

// The extensions that php.ini names: those that did not load were told to
// the error log only, so the page says which they are.
$loaded = get_loaded_extensions();
$loadedLower = array_map('strtolower', array_merge($loaded, get_loaded_extensions(true)));
$missing = [];
$ini = php_ini_loaded_file();
foreach ($ini ? file($ini, FILE_IGNORE_NEW_LINES) : [] as $line) {
    if (preg_match('/^\s*(zend_)?extension\s*=\s*"?([\w.-]+?)"?\s*$/', $line, $m)) {
        $name = strtolower(preg_replace('/^php_|\.(so|dll)$/', '', $m[2]));
        $known = $name === 'opcache' ? 'zend opcache' : $name;
        if (!in_array($known, $loadedLower, true)) {
            $missing[] = $name;
        }
    }
}
natcasesort($loaded);

// The folders of www that the server gives a host of their own, as it
// chooses them: host labels, no link, not the database tool's folder.
$pvn = @parse_ini_file($tree . DIRECTORY_SEPARATOR . 'pvn' . DIRECTORY_SEPARATOR . 'pvn.ini', false, INI_SCANNER_RAW);
$projectHosts = trim($pvn['projecthosts'] ?? '1') !== '0';
$projects = [];
if ($projectHosts) {
    foreach (scandir($_SERVER['DOCUMENT_ROOT']) ?: [] as $name) {
        $path = $_SERVER['DOCUMENT_ROOT'] . DIRECTORY_SEPARATOR . $name;
        if (preg_match('/^[A-Za-z0-9]([A-Za-z0-9-]{0,61}[A-Za-z0-9])?$/', $name) && strtolower($name) !== 'adminer'
                && is_dir($path) && !is_link($path)) {
            $projects[] = 'http://' . strtolower($name) . '.localhost:' . $_SERVER['SERVER_PORT'] . '/';
        }
    }
}
$errorLog = ini_get('error_log') ?: 'not set: errors go to the server';
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
<p><a id="adminer" href="adminer/">Adminer</a>: the tree's databases in the browser
(user <code>root</code>, no password, server <code>localhost</code>).</p>
<?php if ($projectHosts): ?>
<h2>Projects</h2>
<?php if ($projects): ?>
<p id="projects">Each folder of <code>www</code> works at a host of its own, with its own cookies and
storage, and sees its folder as the document root:</p>
<ul>
<?php foreach ($projects as $url): ?>
<li><a href="<?= $url ?>"><?= $url ?></a></li>
<?php endforeach ?>
</ul>
<?php else: ?>
<p id="projects">A folder you put in <code>www</code> works at a host of its own:
<code>www/blog</code> at <code>http://blog.localhost:<?= (int)$_SERVER['SERVER_PORT'] ?>/</code>.</p>
<?php endif ?>
<?php endif ?>
<p id="error-log">PHP writes its errors to <code><?= htmlspecialchars($errorLog) ?></code>.</p>
<h2>Extensions</h2>
<p id="extensions"><?= htmlspecialchars(implode(', ', $loaded)) ?></p>
<?php if ($missing): ?>
<p id="not-loaded">Enabled in php.ini but not loaded (see the error log):
<?= htmlspecialchars(implode(', ', $missing)) ?></p>
<?php endif ?>
</body>
</html>
