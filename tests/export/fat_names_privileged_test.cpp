// Names a FAT file system refuses ("?" and ":") are written under cleaned
// names, onto a FAT image mounted through fusefat and read back with mtools;
// names it accepts stay as they are.

#include <gtest/gtest.h>

#include <cstdlib>
#include <regex>

#include "common/test_support.h"
#include "export/privileged_support.h"
#include "export/save_current.h"
#include "export/synthetic_volume.h"
#include "platform/private_folder.h"

namespace trovium {
namespace {

struct SilentView : ProgressView {
  bool Tick(const ProgressReport*) override { return true; }
};

TEST(FatNamesPrivilegedTest, RefusedNamesAreCleanedAcceptedOnesKept) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to mount through FUSE";
  if (access("/dev/fuse", R_OK | W_OK) != 0) GTEST_SKIP() << "no /dev/fuse";
  for (const char* tool : {"mkfs.fat", "fusefat", "mdir", "mcopy"})
    if (!test::HaveProgram(tool)) GTEST_SKIP() << tool << " is not installed";
  setenv("MTOOLS_SKIP_CHECK", "1", 1);

  test::TempDir dir;
  test::SyntheticVolume v(dir.File("src.img"));
  const uint32_t docs = v.Dir(kRootIndex, "docs");
  v.File(docs, "a?b.txt", test::Bytes(3000, 1));
  v.File(docs, "con:x", test::Bytes(700, 2));
  v.File(docs, "plain.txt", test::Bytes(100, 3));
  const uint32_t odd = v.Dir(docs, "q?dir");
  v.File(odd, "in.txt", test::Bytes(50, 4));
  FoundFileStore store;
  const uint32_t volume = v.Publish(store);

  const std::string fat = dir.File("fat.img");
  ASSERT_TRUE(test::Run({"mkfs.fat", "-F", "16", "-C", fat, "16384"}));
  test::FuseMount mount;
  mount.point = dir.File("mnt");
  ASSERT_TRUE(platform::MakePrivateFolder(mount.point));
  ASSERT_TRUE(test::Run({"fusefat", "-o", "rw+", fat, mount.point}));
  mount.mounted = true;

  ScriptedPrompt prompt;
  RecordRequest request;
  request.store = &store;
  request.source = v.Source();
  request.volume = volume;
  request.record = docs;
  request.prompt = &prompt;
  SilentView view;
  ExportTotals totals;
  ASSERT_TRUE(ExportCurrent(request, [&](uint32_t, uint64_t, ExportChoice& c) {
    c.out_dir = mount.point;
    return true;
  }, view, &totals));
  EXPECT_EQ(totals.files_recovered, 4u);
  EXPECT_EQ(totals.files_failed, 0u);
  ASSERT_TRUE(mount.Unmount());

  std::string listing;
  ASSERT_TRUE(test::Run({"mdir", "-i", fat, "-/", "-b", "::/docs"}, &listing));
  struct Expected {
    const char* pattern;
    std::vector<uint8_t> bytes;
  } expected[] = {
      {"::/docs/a[0-9]b\\.txt", test::Bytes(3000, 1)},
      {"::/docs/con[0-9]x", test::Bytes(700, 2)},
      {"::/docs/plain\\.txt", test::Bytes(100, 3)},
      {"::/docs/q[0-9]dir/in\\.txt", test::Bytes(50, 4)},
  };
  for (const Expected& e : expected) {
    SCOPED_TRACE(e.pattern);
    std::smatch m;
    ASSERT_TRUE(std::regex_search(listing, m, std::regex(std::string("(^|\n)(") + e.pattern + ")\n"))) << listing;
    std::string content;
    ASSERT_TRUE(test::Run({"mcopy", "-n", "-i", fat, m[2].str(), "-"}, &content));
    EXPECT_EQ(std::vector<uint8_t>(content.begin(), content.end()), e.bytes);
  }
}

}  // namespace
}  // namespace trovium
