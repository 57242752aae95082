#pragma once
// The configuration of this installed copy: "Base.dat" names the edition,
// "Recovery.dat" (a scrambled ZIP accepted only with the size and digest built
// into the program) holds one configuration text per brand. Loaded once at
// start-up; afterwards any thread may ask for a key.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/byte_view.h"
#include "core/config_text.h"

namespace trovium {

// Largest "Base.dat" or "Recovery.dat" that is read at all.
inline constexpr uint64_t kSoftConfigFileMax = 0x8000000;

struct SoftConfig {
  ConfigTable table;                   // Base.dat's keys and the edition's configuration text
  std::string brand;                   // EditionBrand
  std::string version;                 // EditionVersion
  std::vector<uint8_t> splash_bitmap;  // "<brand>/<version>.bmp", empty when absent
};

// The configuration keys understood, in matching order, without colon.
const std::vector<std::string>& SoftConfigKeyNames();

// Parses "Base.dat". Valid only with a non-empty "Brand:" and "Version:" and at
// least three pairs in the table.
bool ParseBaseDat(ByteView base_dat, SoftConfig& config);

// Unscrambles an archive, reads "<brand>/VerCfg.txt" into config's table (both
// the "Default-" and the "<version>-" form of every key) and the splash bitmap.
// No size or digest check: that is LoadSoftConfigFrom's job.
bool ParseRecoveryArchive(std::vector<uint8_t> scrambled, SoftConfig& config);

// Loads both files' bytes, checks the archive's size and uppercase MD5 against
// the expected ones, and on success makes the result the process-wide
// configuration. A failure leaves the earlier configuration in place.
bool LoadSoftConfigFrom(ByteView base_dat, ByteView recovery_dat, uint64_t expected_size,
                        std::string_view expected_md5);
bool LoadSoftConfigFromFiles(const std::string& base_path, const std::string& recovery_path,
                             uint64_t expected_size, std::string_view expected_md5);

// "Base.dat" and "Recovery.dat" found beside the executable (or in
// ../share/trovium), checked against the shipped file's size and digest.
bool LoadSoftConfig();

// Value of the edition's form of key, else of its "Default-" form, else "".
// The key may come with or without its colon, in any case. Empty before a load.
std::string GetSoftCfg(std::string_view key);
bool IsSoftCfgOn(std::string_view key);

// The same lookup on a table that was not published (tests, tools).
std::string LookupSoftCfg(const SoftConfig& config, std::string_view key);

std::string EditionBrand();
std::string EditionVersion();
std::vector<uint8_t> SplashBitmap();

// Process-wide switches, set once by a successful load.
bool MovFragRecovery();
bool MtsFragRecovery();
bool VideoSampleSize();
bool VideoSample01();
bool VideoSample02();
bool VideoSample20();

}  // namespace trovium
