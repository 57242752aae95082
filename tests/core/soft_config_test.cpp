#include "core/soft_config.h"

#include <gtest/gtest.h>
#include <zip.h>

#include <string>
#include <vector>

#include "common/test_support.h"
#include "core/md5.h"
#include "core/recovery_scramble.h"
#include "core/shipped_recovery.h"
#include "core/zip_memory.h"

namespace trovium {
namespace {

std::vector<uint8_t> Utf16(const std::u16string& text) {
  std::vector<uint8_t> out = {0xFF, 0xFE};
  for (char16_t u : text) {
    out.push_back(static_cast<uint8_t>(u & 0xFF));
    out.push_back(static_cast<uint8_t>(u >> 8));
  }
  return out;
}

// A ZIP with the given entries, deflated, made the way the shipped one is.
std::vector<uint8_t> MakeZip(const std::vector<std::pair<std::string, std::vector<uint8_t>>>& entries) {
  test::TempDir dir;
  std::string path = dir.File("a.zip");
  zipFile zf = zipOpen64(path.c_str(), APPEND_STATUS_CREATE);
  EXPECT_NE(zf, nullptr);
  for (const auto& [name, data] : entries) {
    zip_fileinfo info{};
    EXPECT_EQ(zipOpenNewFileInZip(zf, name.c_str(), &info, nullptr, 0, nullptr, 0, nullptr, Z_DEFLATED, 6), ZIP_OK);
    EXPECT_EQ(zipWriteInFileInZip(zf, data.data(), static_cast<unsigned>(data.size())), ZIP_OK);
    EXPECT_EQ(zipCloseFileInZip(zf), ZIP_OK);
  }
  EXPECT_EQ(zipClose(zf, nullptr), ZIP_OK);
  return test::ReadFile(path);
}

std::vector<uint8_t> Scrambled(std::vector<uint8_t> bytes) {
  ScrambleRecoveryUnits(bytes.data(), bytes.size());
  return bytes;
}

ByteView View(const std::vector<uint8_t>& v) { return ByteView(v.data(), v.size()); }

const std::vector<uint8_t> kBase = Utf16(u"Brand: Acme\r\nVersion: Pro\r\nOwner: Someone\r\n");

TEST(SoftConfig, ShippedFilesLoadWithTheFullFeatureSet) {
  ASSERT_TRUE(LoadSoftConfigFromFiles(std::string(TROVIUM_BIN_DIR) + "/Base.dat",
                                      std::string(TROVIUM_BIN_DIR) + "/Recovery.dat", ShippedRecoveryDatSize(),
                                      ShippedRecoveryDatMd5()));
  // The tests run from the same folder, so the ordinary start-up path finds them too.
  ASSERT_TRUE(LoadSoftConfig());
  EXPECT_EQ(EditionBrand(), "Trovium");
  EXPECT_EQ(EditionVersion(), "Standard");
  for (const char* on : {"ParseFileSys", "ShowAllFile", "ClassifyFile", "SetParam", "NewMenu", "ShowDev",
                         "VideoSampleSize", "VideoSample01", "VideoSample02", "VideoSample20"}) {
    EXPECT_TRUE(IsSoftCfgOn(on)) << on;
  }
  for (const char* off : {"MustScanEnd", "ShowUsbDev", "Splash", "MovFragRecovery", "MtsFragRecovery", "NoSuchKey"}) {
    EXPECT_FALSE(IsSoftCfgOn(off)) << off;
  }
  EXPECT_EQ(GetSoftCfg("Company"), "Trovium");
  EXPECT_EQ(GetSoftCfg("localname:"), "Trovium数据恢复");
  EXPECT_EQ(GetSoftCfg("SaveDir"), "Trovium恢复的文件");
  EXPECT_EQ(GetSoftCfg("SingleRunStr"), "Trovium.SingleInstance");
  EXPECT_FALSE(MovFragRecovery());
  EXPECT_FALSE(MtsFragRecovery());
  EXPECT_TRUE(VideoSampleSize() && VideoSample01() && VideoSample02() && VideoSample20());
  EXPECT_TRUE(SplashBitmap().empty());
}

TEST(SoftConfig, ArchiveIsAcceptedOnlyWithItsSizeAndDigest) {
  std::vector<uint8_t> archive = Scrambled(MakeZip(
      {{"Acme/VerCfg.txt", Utf16(u"Default-SaveDir: A\r\nPro-SaveDir: B\r\nDefault-MovFragRecovery: 1\r\n")},
       {"Acme/Pro.bmp", {'B', 'M', 1, 2, 3}},
       {"Other/VerCfg.txt", Utf16(u"Default-SaveDir: wrong brand")}}));
  const std::string md5 = Md5Hex(archive.data(), archive.size());

  std::vector<uint8_t> flipped = archive;
  flipped[flipped.size() / 2] ^= 1;
  EXPECT_FALSE(LoadSoftConfigFrom(View(kBase), View(flipped), archive.size(), md5));
  EXPECT_FALSE(LoadSoftConfigFrom(View(kBase), View(archive), archive.size() + 1, md5));
  std::string lower = md5;
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  EXPECT_FALSE(LoadSoftConfigFrom(View(kBase), View(archive), archive.size(), lower));

  ASSERT_TRUE(LoadSoftConfigFrom(View(kBase), View(archive), archive.size(), md5));
  EXPECT_EQ(EditionBrand(), "Acme");
  EXPECT_EQ(GetSoftCfg("SaveDir"), "B");
  EXPECT_TRUE(MovFragRecovery());
  EXPECT_EQ(SplashBitmap(), (std::vector<uint8_t>{'B', 'M', 1, 2, 3}));
  EXPECT_EQ(GetSoftCfg("Owner"), "");  // Base.dat keys are not configuration keys

  // A failed load keeps what was loaded before.
  EXPECT_FALSE(LoadSoftConfigFrom(View(kBase), View(flipped), archive.size(), md5));
  EXPECT_EQ(GetSoftCfg("SaveDir"), "B");
}

TEST(SoftConfig, BaseDatNeedsBrandVersionAndThreePairs) {
  struct Case { std::u16string text; bool ok; } cases[] = {
      {u"Brand: A\r\nVersion: B\r\nOwner: C", true},
      {u"Brand: A\r\nVersion: B", false},
      {u"Brand: A\r\nOwner: C\r\nOwner: D", false},
      {u"Brand:\r\nVersion: B\r\nOwner: C", false},
      {u"brand: A\r\nVersion: B\r\nOwner: C", false},
  };
  for (const auto& c : cases) {
    SoftConfig config;
    std::vector<uint8_t> bytes = Utf16(c.text);
    EXPECT_EQ(ParseBaseDat(View(bytes), config), c.ok);
  }
}

TEST(SoftConfig, MissingOrDamagedEntryFails) {
  SoftConfig config;
  ASSERT_TRUE(ParseBaseDat(View(kBase), config));
  EXPECT_FALSE(ParseRecoveryArchive(Scrambled(MakeZip({{"Other/VerCfg.txt", Utf16(u"x")}})), config));
  EXPECT_FALSE(ParseRecoveryArchive({}, config));
  // Unscrambled bytes are not an archive.
  EXPECT_FALSE(ParseRecoveryArchive(MakeZip({{"Acme/VerCfg.txt", Utf16(u"x")}}), config));

  std::vector<uint8_t> text = Utf16(u"Default-SaveDir: " + std::u16string(4000, u'z'));
  std::vector<uint8_t> zip = MakeZip({{"Acme/VerCfg.txt", text}});
  std::vector<uint8_t> out;
  EXPECT_TRUE(ReadZipEntry(View(zip), "Acme/VerCfg.txt", text.size(), out));
  EXPECT_EQ(out, text);
  EXPECT_FALSE(ReadZipEntry(View(zip), "Acme/VerCfg.txt", text.size() - 1, out));
  EXPECT_FALSE(ReadZipEntry(View(zip), "acme/vercfg.txt", text.size(), out));
  // Headers promising more than the stream holds: the short result is refused.
  std::vector<uint8_t> longer = zip;
  longer[22] += 2;  // local header's uncompressed size
  for (size_t at = 0; at + 28 <= longer.size(); ++at) {
    if (longer[at] == 'P' && longer[at + 1] == 'K' && longer[at + 2] == 1 && longer[at + 3] == 2) longer[at + 24] += 2;
  }
  EXPECT_FALSE(ReadZipEntry(View(longer), "Acme/VerCfg.txt", text.size() + 2, out));

  const size_t data_at = 30 + zip[26] + zip[28];  // past the local header, its name and extra field
  zip[data_at + 2] ^= 0xFF;  // inside the deflated data: either inflate or the CRC check fails
  EXPECT_FALSE(ReadZipEntry(View(zip), "Acme/VerCfg.txt", text.size(), out));
}

}  // namespace
}  // namespace trovium
