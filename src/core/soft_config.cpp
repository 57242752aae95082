#include "core/soft_config.h"

#include <atomic>
#include <memory>
#include <mutex>

#include "core/md5.h"
#include "core/recovery_scramble.h"
#include "core/shipped_recovery.h"
#include "core/text_convert.h"
#include "core/zip_memory.h"
#include "platform/fs_info.h"
#include "platform/paths.h"

namespace trovium {
namespace {

// The configuration text and the splash are small; anything larger is damage.
constexpr uint64_t kEntryMax = 16u << 20;

struct Published {
  std::mutex lock;
  std::shared_ptr<const SoftConfig> config;
};

Published& Current() {
  static Published published;
  return published;
}

std::shared_ptr<const SoftConfig> Snapshot() {
  Published& p = Current();
  std::lock_guard<std::mutex> guard(p.lock);
  return p.config;
}

struct Switches {
  std::atomic<bool> mov_frag{false}, mts_frag{false}, sample_size{false}, sample01{false}, sample02{false},
      sample20{false};
};

Switches& CurrentSwitches() {
  static Switches switches;
  return switches;
}

std::vector<std::string> ConfigLineKeys(const std::string& version) {
  std::vector<std::string> keys;
  for (const std::string& name : SoftConfigKeyNames()) {
    keys.push_back("Default-" + name + ":");
    keys.push_back(version + "-" + name + ":");
  }
  return keys;
}

void Publish(std::shared_ptr<const SoftConfig> config) {
  Switches& s = CurrentSwitches();
  const auto on = [&](const char* key) { return LookupSoftCfg(*config, key) == "1"; };
  s.mov_frag = on("MovFragRecovery");
  s.mts_frag = on("MtsFragRecovery");
  s.sample_size = on("VideoSampleSize");
  s.sample01 = on("VideoSample01");
  s.sample02 = on("VideoSample02");
  s.sample20 = on("VideoSample20");
  Published& p = Current();
  std::lock_guard<std::mutex> guard(p.lock);
  p.config = std::move(config);
}

}  // namespace

const std::vector<std::string>& SoftConfigKeyNames() {
  static const std::vector<std::string> names = {
      "Company",       "SingleRunStr",  "SaveDir",       "Splash",          "ParseFileSys",    "ShowAllFile",
      "ClassifyFile",  "SetParam",      "MustScanEnd",   "VideoSampleSize", "VideoSample01",   "VideoSample02",
      "VideoSample20", "MtsFragRecovery", "MovFragRecovery", "ShowUsbDev",  "LocalName",       "ShowDev",
      "NewMenu"};
  return names;
}

bool ParseBaseDat(ByteView base_dat, SoftConfig& config) {
  ConfigTable table;
  ParseConfigText(base_dat, {"Brand:", "Version:", "Owner:"}, table);
  const std::string* brand = FindConfigValue(table, "Brand:");
  const std::string* version = FindConfigValue(table, "Version:");
  if (!brand || !version || brand->empty() || version->empty() || table.pairs.size() < 3) return false;
  config.brand = *brand;
  config.version = *version;
  config.table = std::move(table);
  return true;
}

bool ParseRecoveryArchive(std::vector<uint8_t> scrambled, SoftConfig& config) {
  ScrambleRecoveryUnits(scrambled.data(), scrambled.size());
  ByteView archive(scrambled.data(), scrambled.size());
  std::vector<uint8_t> text;
  if (!ReadZipEntry(archive, config.brand + "/VerCfg.txt", kEntryMax, text)) return false;
  ParseConfigText(ByteView(text.data(), text.size()), ConfigLineKeys(config.version), config.table);
  // The splash is optional: without it the splash window has no picture.
  if (!ReadZipEntry(archive, config.brand + "/" + config.version + ".bmp", kEntryMax, config.splash_bitmap)) {
    config.splash_bitmap.clear();
  }
  return true;
}

bool LoadSoftConfigFrom(ByteView base_dat, ByteView recovery_dat, uint64_t expected_size,
                        std::string_view expected_md5) {
  auto config = std::make_shared<SoftConfig>();
  if (!ParseBaseDat(base_dat, *config)) return false;
  if (recovery_dat.size() != expected_size) return false;
  if (Md5Hex(recovery_dat.data(), recovery_dat.size()) != expected_md5) return false;
  std::vector<uint8_t> bytes(recovery_dat.data(), recovery_dat.data() + recovery_dat.size());
  if (!ParseRecoveryArchive(std::move(bytes), *config)) return false;
  Publish(std::move(config));
  return true;
}

bool LoadSoftConfigFromFiles(const std::string& base_path, const std::string& recovery_path,
                             uint64_t expected_size, std::string_view expected_md5) {
  std::vector<uint8_t> base, recovery;
  if (base_path.empty() || recovery_path.empty()) return false;
  if (!platform::ReadWholeFile(base_path, kSoftConfigFileMax, base)) return false;
  if (!platform::ReadWholeFile(recovery_path, kSoftConfigFileMax, recovery)) return false;
  return LoadSoftConfigFrom(ByteView(base.data(), base.size()), ByteView(recovery.data(), recovery.size()),
                            expected_size, expected_md5);
}

bool LoadSoftConfig() {
  return LoadSoftConfigFromFiles(platform::FindDataFile("Base.dat"), platform::FindDataFile("Recovery.dat"),
                                 ShippedRecoveryDatSize(), ShippedRecoveryDatMd5());
}

std::string LookupSoftCfg(const SoftConfig& config, std::string_view key) {
  std::string normal = NormalizeConfigKey(key);
  if (const std::string* v = FindConfigValue(config.table, config.version + "-" + normal)) return *v;
  if (const std::string* v = FindConfigValue(config.table, "default-" + normal)) return *v;
  return "";
}

std::string GetSoftCfg(std::string_view key) {
  auto config = Snapshot();
  return config ? LookupSoftCfg(*config, key) : std::string();
}

bool IsSoftCfgOn(std::string_view key) { return GetSoftCfg(key) == "1"; }

std::string EditionBrand() {
  auto config = Snapshot();
  return config ? config->brand : std::string();
}

std::string EditionVersion() {
  auto config = Snapshot();
  return config ? config->version : std::string();
}

std::vector<uint8_t> SplashBitmap() {
  auto config = Snapshot();
  return config ? config->splash_bitmap : std::vector<uint8_t>();
}

bool MovFragRecovery() { return CurrentSwitches().mov_frag; }
bool MtsFragRecovery() { return CurrentSwitches().mts_frag; }
bool VideoSampleSize() { return CurrentSwitches().sample_size; }
bool VideoSample01() { return CurrentSwitches().sample01; }
bool VideoSample02() { return CurrentSwitches().sample02; }
bool VideoSample20() { return CurrentSwitches().sample20; }

}  // namespace trovium
