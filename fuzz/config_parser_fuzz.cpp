// Configuration text and the Recovery.dat archive from arbitrary bytes. The
// first byte chooses the path; the archive path skips the size and digest
// check so that the unscrambling, ZIP reading and parsing behind it are reached.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "core/config_text.h"
#include "core/soft_config.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const uint8_t mode = data[0];
  trovium::ByteView rest(data + 1, size - 1);
  if (mode & 1) {
    trovium::SoftConfig config;
    config.brand = "Trovium";
    config.version = "Standard";
    std::vector<uint8_t> bytes(rest.data(), rest.data() + rest.size());
    if (trovium::ParseRecoveryArchive(std::move(bytes), config)) {
      (void)trovium::LookupSoftCfg(config, "SaveDir");
    }
  } else if (mode & 2) {
    trovium::SoftConfig config;
    if (trovium::ParseBaseDat(rest, config)) (void)trovium::LookupSoftCfg(config, "Brand");
  } else {
    std::vector<std::string> keys;
    for (const std::string& name : trovium::SoftConfigKeyNames()) {
      keys.push_back("Default-" + name + ":");
      keys.push_back("Standard-" + name + ":");
    }
    trovium::ConfigTable table;
    trovium::ParseConfigText(rest, keys, table);
    for (const auto& kv : table.pairs) {
      if (kv.first.empty() || kv.first.back() != ':') __builtin_trap();
    }
  }
  return 0;
}
