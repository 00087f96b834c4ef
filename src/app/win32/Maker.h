// The maker's contact and the program's version: shown by the About box,
// opened by the tray menu, and written into the help text and the version
// resource of Portavane.rc, which includes this file.
#pragma once

#include "common/Product.h"

#define PV_MAKER_EMAIL "support@portavane.dev"
#define PV_MAKER_WEBSITE "https://portavane.dev"
#define PV_MAKER_NOTICE "Copyright (C) 2026 Portavane"
