#include "platform/Encoding.h"

namespace platform {

std::string Utf8ToFileNameEncoding(const std::string& utf8, const std::u16string&) {
  return utf8;
}

}  // namespace platform
