// The product's name, version and autostart word, defined once: the server
// software of every answer, the window's caption, About box, help text and
// version resource, the console's --version and the start-at-log-on entry.
// Portavane.rc includes this file, so it holds macros only.
#pragma once

#define PV_PRODUCT_NAME "Portavane"
#define PV_VERSION "6.29"
#define PV_VERSION_NUMBERS 6, 29, 0, 0
// After the name in SERVER_SOFTWARE: applications that write their own
// .htaccess files (WordPress's permalinks) look for "Apache" there.
#define PV_RULES_COMMENT " (Apache-compatible)"
// The word after the executable's path in the start-at-log-on entry.
#define PV_AUTOSTART_WORD "自动"
