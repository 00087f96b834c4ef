// The PHP ISAPI module of the tree: runs PHP pages through a pool of
// php-cgi processes spoken to over FastCGI.
#include "Os.h"
#include "Pool.h"
#include "Responder.h"
#include "php/Isapi.h"

namespace {

// Built on the first request; its processes end when the library is unloaded.
phpisapi::Pool& ThePool() {
  static phpisapi::Pool pool(phpisapi::ModuleFolder());
  return pool;
}

}  // namespace

ISAPI_EXPORT DWORD WINAPI HttpExtensionProc(EXTENSION_CONTROL_BLOCK* ecb) {
  if (!ecb) return HSE_STATUS_ERROR;
  try {
    return phpisapi::ServeRequest(*ecb, ThePool());
  } catch (...) {
    return HSE_STATUS_ERROR;
  }
}
