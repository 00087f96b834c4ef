// One request, from the control block to php-cgi and back.
#pragma once
#include "Pool.h"
#include "php/Isapi.h"

namespace phpisapi {

DWORD ServeRequest(EXTENSION_CONTROL_BLOCK& ecb, Pool& pool);

}  // namespace phpisapi
