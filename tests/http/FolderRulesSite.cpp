#include "FolderRulesSite.h"

void WriteFolderRulesSite(const TempFolder& site) {
  site.Write("www/blog/index.php", "<?php");
  site.Write("www/blog/wp-content/logo.png", "png");
  site.Write("www/blog/.htaccess",
             "# BEGIN WordPress\n"
             "<IfModule mod_rewrite.c>\n"
             "RewriteEngine On\n"
             "RewriteRule .* - [E=HTTP_AUTHORIZATION:%{HTTP:Authorization}]\n"
             "RewriteBase /blog/\n"
             "RewriteRule ^index\\.php$ - [L]\n"
             "RewriteCond %{REQUEST_FILENAME} !-f\n"
             "RewriteCond %{REQUEST_FILENAME} !-d\n"
             "RewriteRule . /blog/index.php [L]\n"
             "</IfModule>\n"
             "# END WordPress\n"
             "Header set X-Frame-Options DENY\n"
             "php_value upload_max_filesize 64M\n");
  site.Write("www/app/public/index.php", "<?php");
  site.Write("www/app/public/css/app.css", "p{}");
  site.Write("www/app/public/.htaccess",
             "<IfModule mod_rewrite.c>\n"
             "    <IfModule mod_negotiation.c>\n"
             "        Options -MultiViews -Indexes\n"
             "    </IfModule>\n"
             "    RewriteEngine On\n"
             "    RewriteCond %{HTTP:Authorization} .\n"
             "    RewriteRule .* - [E=HTTP_AUTHORIZATION:%{HTTP:Authorization}]\n"
             "    RewriteCond %{REQUEST_FILENAME} !-d\n"
             "    RewriteCond %{REQUEST_URI} (.+)/$\n"
             "    RewriteRule ^ %1 [L,R=301]\n"
             "    RewriteCond %{REQUEST_FILENAME} !-d\n"
             "    RewriteCond %{REQUEST_FILENAME} !-f\n"
             "    RewriteRule ^ index.php [L]\n"
             "</IfModule>\n");
  const char* denied =
      "## no access to this folder\n"
      "<IfModule mod_authz_core.c>\n"
      "    AuthType None\n"
      "    Require all denied\n"
      "</IfModule>\n"
      "<IfModule !mod_authz_core.c>\n"
      "    Order allow,deny\n"
      "    Deny from all\n"
      "</IfModule>\n";
  site.Write("www/wiki/doku.php", "<?php");
  site.Write("www/wiki/README", "readme");
  site.Write("www/wiki/data/pages/secret.txt", "secret");
  site.Write("www/wiki/data/.htaccess", denied);
  site.Write("www/wiki/conf/acronyms.conf", "conf");
  site.Write("www/wiki/conf/.htaccess", "Order deny,allow\nDeny from \"\" all\n");
  site.Write("www/wiki/lib/style.css", "p{}");
  site.Write("www/wiki/.htaccess",
             "<Files ~ \"^([\\._]ht|README$|VERSION$|COPYING$)\">\n"
             "    <IfModule mod_authz_core.c>\n"
             "        Require all denied\n"
             "    </IfModule>\n"
             "</Files>\n"
             "<FilesMatch \"\\.(bak|old)$\">\n"
             "    Require all denied\n"
             "</FilesMatch>\n"
             "ErrorDocument 403 \"Denied by the wiki\"\n"
             "DirectoryIndex doku.php\n");
  site.Write("www/wiki/lib/style.css.bak", "old");
  site.Write("www/pages/.htaccess",
             "RewriteEngine on\n"
             "RewriteRule ^old/(.*)$ /pages/new/$1 [R=301,L]\n"
             "RewriteRule ^about$ about.txt [NC]\n"
             "RewriteRule ^q/(\\w+)$ /pages/about.txt?id=$1 [QSA]\n"
             "RewriteRule ^gone - [G]\n"
             "RewriteRule ^private - [F,L]\n"
             "RewriteCond %{QUERY_STRING} ^drop$\n"
             "RewriteRule ^clean$ /pages/about.txt [QSD,L]\n"
             "RewriteCond %{REQUEST_METHOD} =POST\n"
             "RewriteRule ^form$ /pages/posted.txt [L]\n"
             "RewriteRule ^end$ /pages/about.txt [END]\n"
             "RewriteRule ^away$ https://example.org/x?y=1 [R]\n"
             "ErrorDocument 404 /pages/missing.txt\n");
  site.Write("www/pages/about.txt", "about");
  site.Write("www/pages/posted.txt", "posted");
  site.Write("www/pages/missing.txt", "no such page");
  site.Write("www/broken/a.txt", "a");
  site.Write("www/broken/.htaccess", "RewriteEngine On\nRewriteRule ^ - [L,BOGUS]\n");
  site.Write("www/r399/.htaccess", "RewriteEngine On\nRewriteCond %{NO_SUCH} x\nRewriteRule ^ - [R=399]\n");
  site.Write("www/unclosed/a.txt", "a");
  site.Write("www/unclosed/.htaccess", "<IfModule mod_rewrite.c>\nRewriteEngine On\n");
  site.Write("www/loop/a.txt", "a");
  site.Write("www/loop/.htaccess", "RewriteEngine On\nRewriteRule ^(.*)$ /loop/x$1\n");
  site.Write("www/plain/a.txt", "plain");
  site.Write("www/lan/a.txt", "lan");
  site.Write("www/lan/.htaccess", "Order deny,allow\nDeny from all\nAllow from 192.168.1 10.0.0.7\n");
  site.Write("www/office/a.txt", "office");
  site.Write("www/office/.htaccess", "Order allow,deny\nAllow from 192.168.10\n");
  site.Write("www/net/a.txt", "net");
  site.Write("www/net/.htaccess",
             "Order deny,allow\nDeny from all\nAllow from 10.0.0.0/8 192.168.0.0/255.255.0.0 2001:db8::/32\n");
  site.Write("www/reqip/a.txt", "ip");
  site.Write("www/reqip/.htaccess",
             "<RequireAll>\nRequire ip 192.168.1.0/24\nRequire not ip 192.168.1.20\n</RequireAll>\n");
  // What the log may not copy: control bytes, a line of a file that is no rules file.
  site.Write("www/ctl/a.txt", "ctl");
  site.Write("www/ctl/.htaccess", "Options +Fancy\x1b[2J\nroot:$y$SECRET:19000::\n");
  site.Write("www/local/a.txt", "local");
  site.Write("www/local/.htaccess", "Require local\n");
  // Patterns that backtrack without end on a long path.
  site.Write("www/re/.htaccess",
             "RewriteEngine On\n"
             "RewriteCond %{REQUEST_URI} ^(/|r|e|a|aa)*$\n"
             "RewriteRule ^((a|aa)*)*$ /re/found.txt [L]\n");
  site.Write("www/sym/index.php", "<?php");
  site.Write("www/sym/.htaccess",
             "DirectoryIndex index.php\n"
             "<IfModule mod_rewrite.c>\n"
             "    RewriteEngine On\n"
             "    RewriteCond %{REQUEST_URI}::$0 ^(/.+)/(.*)::\\2$\n"
             "    RewriteRule .* - [E=BASE:%1]\n"
             "    RewriteCond %{HTTP:Authorization} .+\n"
             "    RewriteRule ^ - [E=HTTP_AUTHORIZATION:%0]\n"
             "    RewriteCond %{ENV:REDIRECT_STATUS} =\"\"\n"
             "    RewriteRule ^index\\.php(?:/(.*)|$) %{ENV:BASE}/$1 [R=301,L]\n"
             "    RewriteCond %{REQUEST_FILENAME} -f\n"
             "    RewriteRule ^ - [L]\n"
             "    RewriteRule ^ %{ENV:BASE}/index.php [L]\n"
             "</IfModule>\n");
}

void WriteClosedFolders(const std::function<void(const std::string& relative,
                                                 const std::string& content)>& write) {
  const std::string php = "<?php echo 'RAN-' . 'PHP'; // PROTECTED\n";
  const struct {
    const char* folder;
    const char* page;  // the protected page beside the folder's .htaccess
    std::string rules;
  } folders[] = {
      {"lim", "x.php", "<LimitExcept GET POST HEAD>\n    Require all denied\n</LimitExcept>\n"},
      {"lim2", "x.php", "<Limit GET POST HEAD>\n    Require all denied\n</Limit>\n"},
      {"reqall", "x.php", "<RequireAll>\n    Require all denied\n</RequireAll>\n"},
      {"reqany", "x.php", "<RequireAny>\n    Require ip 10.0.0.0/8\n    Require method OPTIONS\n</RequireAny>\n"},
      {"reqnone", "x.php",
       "<RequireAll>\n  Require all granted\n  <RequireNone>\n    Require local\n  </RequireNone>\n</RequireAll>\n"},
      {"ifsec", "x.php", "<If \"%{REMOTE_ADDR} =~ /./\">\n    Require all denied\n</If>\n"},
      {"ifmod", "x.php", "<IfModule mod_authz_user.c>\n    Require all denied\n</IfModule>\n"},
      {"opt", "t.php5", "AddHandler application/x-httpd-php .php5\n"},
      {"optset", "a.inc", "<FilesMatch \"\\.inc$\">\n    SetHandler application/x-httpd-php\n</FilesMatch>\n"},
      {"opttype", "p.html", "AddType application/x-httpd-php .html\n"},
      {"cgi", "run.pl", "AddHandler cgi-script .pl .cgi\n"},
      {"optsrc", "s.php", "<Files \"*.php\">\n    SetHandler application/x-httpd-php-source\n</Files>\n"},
      {"cidr", "a.txt", "Order allow,deny\nAllow from all\nDeny from 127.0.0.0/8 ::1/128\n"},
      {"mask", "a.txt", "Order allow,deny\nAllow from all\nDeny from 10.0.0.0/255.0.0.0 127.0.0.0/255.0.0.0\n"},
      {"badnet", "a.txt", "Order deny,allow\nDeny from 127.0.0.1/40\n"},
      {"bom", "a.txt", "\xEF\xBB\xBFRequire all denied\n"},
      {"uploads", "x.php", "<FilesMatch \"\\.php$\">\n    Require all denied\n</FilesMatch>\n"},
      // A rule's type or handler: PHP's runs the file, one not here refuses it.
      {"rwtype", "a.inc", "RewriteEngine On\nRewriteRule \\.inc$ - [T=application/x-httpd-php]\n"},
      {"rwhandler", "a.inc", "RewriteEngine On\nRewriteRule \\.inc$ - [H=application/x-httpd-php]\n"},
      {"rwsrc", "s.php", "RewriteEngine On\nRewriteRule \\.php$ - [H=application/x-httpd-php-source]\n"},
      {"rwsrctype", "a.inc", "RewriteEngine On\nRewriteRule ^ - [T=application/x-httpd-php-source]\n"},
  };
  for (const auto& f : folders) {
    const std::string folder = f.folder;
    const std::string page = f.page;
    write(folder + "/.htaccess", f.rules);
    write(folder + "/" + page, page == "a.txt" || page == "run.pl" ? "PROTECTED\n" : php);
  }
  write("htdir/.htaccess/rules.txt", "Require all granted\n");
  write("htdir/a.txt", "PROTECTED\n");
}
