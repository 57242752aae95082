#include <gtest/gtest.h>

#include "content/file_type_table.h"
#include "store/volume_builder.h"

namespace trovium {
namespace {

using test::BaseVolume;
using test::Put;

std::vector<uint8_t> Utf16(const std::u16string& text) {
  std::vector<uint8_t> out;
  for (char16_t c : text) {
    out.push_back(static_cast<uint8_t>(c & 0xFF));
    out.push_back(static_cast<uint8_t>(c >> 8));
  }
  return out;
}

// A "$I" file: version, size, deletion time, name length, name with its terminator.
std::vector<uint8_t> InfoFile(const std::u16string& path) {
  std::vector<uint8_t> out(28, 0);
  out[0] = 2;
  out[24] = static_cast<uint8_t>(path.size() + 1);
  auto name = Utf16(path);
  out.insert(out.end(), name.begin(), name.end());
  out.push_back(0), out.push_back(0);
  return out;
}

TEST(RecycleInfo, NameAfterTheLastBackslash) {
  struct Case {
    std::vector<uint8_t> content;
    bool ok;
    std::string name;
  } cases[] = {
      {InfoFile(u"C:\\Users\\a\\report.doc"), true, "report.doc"},
      {InfoFile(u"D:\\x:\\y\\照片.jpg"), true, "照片.jpg"},
      {InfoFile(u"C:\\"), false, ""},                                  // nothing after the slash
      {InfoFile(u"no drive here"), false, ""},
      {InfoFile(u"C:\\" + std::u16string(261, u'n')), false, ""},      // longer than 260
      {{0x43, 0x00, 0x3A}, false, ""},                                  // cut inside the pair
      {{}, false, ""},
  };
  for (const Case& c : cases) {
    std::string name;
    EXPECT_EQ(ParseRecycleInfoName(c.content, name), c.ok) << c.name;
    if (c.ok) {
      EXPECT_EQ(name, c.name);
    }
  }
  std::string name;
  auto raw = Utf16(u"C:\\dir\\end.txt");  // unterminated: up to the end
  EXPECT_TRUE(ParseRecycleInfoName(raw, name));
  EXPECT_EQ(name, "end.txt");
}

VolumeRecord Bin() {
  VolumeRecord v = BaseVolume(kFsNtfs);
  Put(v, 6, kRootIndex, kRecycleBinName, kStateDeletedDir);
  Put(v, 7, 6, "S-1-5-21", kStateDeletedDir);
  Put(v, 8, 7, "$RA1B2C3.doc", kStateDeletedFile, false, 5000);
  Put(v, 9, 7, "$IA1B2C3.doc", kStateDeletedFile, false, 100);
  Put(v, 10, 7, "$RZZZZZZ.doc", kStateDeletedFile);  // no companion
  return v;
}

TEST(RecycleBin, RenamedFromTheCompanionWhichDisappears) {
  VolumeRecord v = Bin();
  std::vector<uint32_t> asked;
  BuildTree(v, [&](const VolumeRecord&, const FileRecord& r, uint64_t max, std::vector<uint8_t>& out) {
    asked.push_back(r.index);
    EXPECT_EQ(max, 10240u);
    out = InfoFile(u"C:\\Users\\a\\report.pdf");
    return true;
  });
  EXPECT_EQ(asked, std::vector<uint32_t>{9});
  EXPECT_EQ(GetRecord(v, 8)->name, "report.pdf");
  EXPECT_EQ(GetRecord(v, 8)->type_code, kFileTypePdf);
  EXPECT_EQ(GetRecord(v, 9), nullptr);
  EXPECT_EQ(GetRecord(v, 7)->children, (std::vector<uint32_t>{8, 10}));
  EXPECT_EQ(GetRecord(v, 10)->name, "$RZZZZZZ.doc");
}

TEST(RecycleBin, NothingRenamedWithoutTheDeviceOrWithBadContent) {
  VolumeRecord v = Bin();
  BuildTree(v);  // no reader: the device could not be opened
  EXPECT_EQ(GetRecord(v, 8)->name, "$RA1B2C3.doc");

  VolumeRecord big = Bin();
  big.files[9].size = 10241;  // companion too large to be one
  bool asked = false;
  EXPECT_EQ(RestoreRecycleBinNames(big, [&](auto&, auto&, uint64_t, std::vector<uint8_t>&) { return asked = true; }), 0u);
  EXPECT_FALSE(asked);

  VolumeRecord junk = Bin();
  BuildTree(junk, [](auto&, auto&, uint64_t, std::vector<uint8_t>& out) {
    out.assign(7, 0xFF);
    return true;
  });
  EXPECT_EQ(GetRecord(junk, 8)->name, "$RA1B2C3.doc");
  EXPECT_NE(GetRecord(junk, 9), nullptr);
}

}  // namespace
}  // namespace trovium
