// Export into a file system that runs full: a 1 MiB tmpfs mounted by the
// test (root only). The file that did not fit is not reported as recovered,
// is removed or kept as the read-error policy says, and the export stops.

#include <gtest/gtest.h>
#include <sys/mount.h>
#include <unistd.h>

#include <filesystem>

#include "common/test_support.h"
#include "export/export_engine.h"
#include "export/export_test_support.h"

namespace trovium {
namespace {

namespace fs = std::filesystem;

TEST(ExportFullDisk, NoSpaceStopsTheExportAndFailsTheFile) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to mount a small tmpfs";
  for (ReadErrorPolicy policy : {ReadErrorPolicy::kEmpty, ReadErrorPolicy::kKeep}) {
    test::TempDir tmp;
    const std::string mnt = tmp.File("mnt");
    fs::create_directory(mnt);
    ASSERT_EQ(mount("tmpfs", mnt.c_str(), "tmpfs", 0, "size=1m"), 0) << "mount tmpfs";
    // Files of 200 KB, 3 MiB (does not fit) and another 200 KB after it.
    const std::string image = tmp.File("src.img");
    {
      std::vector<uint8_t> bytes(8u << 20, 0x5A);
      test::WriteFile(image, bytes);
    }
    VolumeRecord v;
    v.fs_kind = kFsFound;
    v.label = "vol";
    AddBaseRecords(v);
    auto add = [&](const char* name, uint64_t lba, uint64_t size) {
      FileRecord r;
      r.parent = kRootIndex;
      r.name = name;
      r.data_lba = lba;
      r.size = size;
      r.set_state(kStateFile);
      r.set_check(kChecked);
      InsertRecord(v, r, true);
    };
    add("a.bin", 0, 200000);
    add("big.bin", 1000, 3u << 20);
    add("c.bin", 9000, 200000);
    FoundFileStore store;
    VolumeRecord src;
    src.device_path = image;
    store.Reset(src, false);
    store.AddVolume(std::move(v), false);
    auto job = test::MakeJob(store, image, mnt);
    job->read_error = policy;
    ASSERT_TRUE(test::RunExport(job));
    const ExportTotals t = job->totals;
    std::string big;
    for (const auto& e : fs::recursive_directory_iterator(mnt)) {
      if (e.path().filename() == "big.bin") big = e.path();
    }
    umount(mnt.c_str());
    EXPECT_TRUE(t.out_of_space);
    EXPECT_EQ(t.files_recovered, 1u);
    EXPECT_EQ(t.files_failed, 1u);
    EXPECT_EQ(t.files_attempted, 2u);  // c.bin is not tried after the drive ran full
    EXPECT_EQ(big.empty(), policy == ReadErrorPolicy::kEmpty);
    const std::string summary = ExportSummaryText(t);
    EXPECT_NE(summary.find(kNoSpaceStoppedText), std::string::npos);
    EXPECT_NE(summary.find("本次恢复1个文件"), std::string::npos);
    EXPECT_NE(summary.find("1个文件导出失败"), std::string::npos);
  }
}

}  // namespace
}  // namespace trovium
