<?php
// A framework's front controller in small: every URL under this folder that
// names no file comes here, and the route is the path below the folder.
$base = rtrim(dirname($_SERVER['SCRIPT_NAME']), '/');
$path = parse_url($_SERVER['REQUEST_URI'], PHP_URL_PATH);
// A URL that a rule above handed to this folder is routed whole.
$route = (strpos($path, $base . '/') === 0 ? substr($path, strlen($base)) : $path) ?: '/';
header('Content-Type: text/plain');
if ($route === '/') {
    echo "home\n";
} elseif (preg_match('#^/users/(\d+)$#', $route, $m)) {
    echo "user $m[1]\n";
} else {
    http_response_code(404);
    echo "no route $route\n";
}
echo 'authorization: ', $_SERVER['HTTP_AUTHORIZATION'] ?? '-', "\n";
// Where the rules' E= flag leaves the header after the internal redirect: a
// framework looks there when the server keeps the header from PHP.
echo 'redirected: ', $_SERVER['REDIRECT_HTTP_AUTHORIZATION'] ?? '-', "\n";
echo 'xsrf: ', $_SERVER['HTTP_X_XSRF_TOKEN'] ?? '-', "\n";
