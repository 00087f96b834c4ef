// A hand-edited INI file (settings file, my.cnf, php.ini, the module's
// phpisapi.ini) read key by key; then one value written and read back: the
// write changes that value and no other.
#include <cstdint>
#include <fstream>
#include <string>
#include <utility>

#include "FuzzSupport.h"
#include "Settings.h"
#include "TempFolder.h"
#include "platform/Ini.h"

namespace {

const std::pair<const char*, const char*> kKeys[] = {
    {"PVN", "port"},        {"PVN", "root"},           {"PVN", "log"},
    {"PVN", "index"},       {"PVN", "maxconnections"}, {"PVN", "php_extname"},
    {"mysqld", "basedir"},  {"mysqld", "datadir"},     {"mysqld", "port"},
    {"PHP", "extension_dir"}, {"PHP", "mime_magic.magicfile"}, {"PHP", "session.save_path"},
    {"Zend", "zend_extension_manager.optimizer_ts"}, {"Zend", "pvn_zend_extension_ts"},
    {"Zend", "zend_extension_ts"}, {" pvn ", " PORT "},
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const TempFolder folder;
  static const std::string file = folder / "edited.ini";
  if (size == 0) return 0;
  std::ofstream(file, std::ios::binary | std::ios::trunc)
      .write(reinterpret_cast<const char*>(data + 1), static_cast<std::streamsize>(size - 1));
  phpisapi::LoadSettings(file);

  constexpr std::size_t kCount = sizeof kKeys / sizeof kKeys[0];
  std::string before[kCount];
  for (std::size_t i = 0; i < kCount; ++i)
    before[i] = platform::ReadIniValue(kKeys[i].first, kKeys[i].second, "(none)", file);

  const std::size_t written = data[0] % (kCount - 1);  // the last key repeats the first
  const std::string value = "C:/tree/" + std::to_string(size);
  FUZZ_CHECK(platform::WriteIniValue(kKeys[written].first, kKeys[written].second, value, file));
  for (std::size_t i = 0; i < kCount; ++i) {
    const bool same = i == written || (written == 0 && i == kCount - 1);
    const std::string after = platform::ReadIniValue(kKeys[i].first, kKeys[i].second, "(none)", file);
    FUZZ_CHECK(after == (same ? value : before[i]));
  }
  return 0;
}
