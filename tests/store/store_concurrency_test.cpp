#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <thread>

#include "content/file_type_table.h"
#include "store/store.h"
#include "store/volume_builder.h"

namespace trovium {
namespace {

VolumeRecord Source() {
  VolumeRecord s;
  s.device_path = "disk.img";
  return s;
}

// A reader walks records, names and children while the scan thread adds found
// files, which grows the record array many times over.
TEST(StoreConcurrency, ReadersWhileTheFoundVolumeGrows) {
  FoundFileStore store;
  store.Reset(Source(), false);
  constexpr uint32_t kFiles = 12000;
  std::atomic<bool> done{false};
  std::thread writer([&] {
    FileRecord f;
    f.parent = kFileTypeJpg;
    for (uint32_t i = 0; i < kFiles; ++i) {
      f.name = "f" + std::to_string(i) + ".jpg";
      f.size = i;
      ASSERT_NE(store.AddFoundFile(f), 0u);
    }
    done.store(true);
  });
  uint64_t checked = 0;
  auto read_once = [&] {
    for (uint32_t c : store.Children(kFoundVolumeIndex, kFileTypeJpg, false)) {
      auto r = store.Record(kFoundVolumeIndex, c);
      ASSERT_TRUE(r.has_value());
      ASSERT_EQ(r->name, "f" + std::to_string(c - kFirstFoundFileIndex) + ".jpg");
      ++checked;
    }
    store.ReadVolume(kFoundVolumeIndex, [&](const VolumeRecord& v) {
      for (uint32_t i = kFirstFoundFileIndex; i < v.file_count; ++i) ASSERT_NE(GetRecord(v, i), nullptr);
    });
    const auto path = store.PathToRoot(kFoundVolumeIndex, kFirstFoundFileIndex);
    if (!path.empty()) {
      ASSERT_EQ(path.back(), kRootIndex);
    }
  };
  while (!done.load()) read_once();
  writer.join();
  read_once();
  EXPECT_GT(checked, 0u);
  EXPECT_EQ(store.Totals(kFoundVolumeIndex, kRootIndex, false).files, kFiles);
}

// Reset after the workers were joined: a reader still inside a volume keeps
// working on the old table, which is freed only after it lets go.
TEST(StoreConcurrency, ReaderInsideAVolumeOutlivesReset) {
  FoundFileStore store;
  store.Reset(Source(), false);
  VolumeRecord v = test::BaseVolume();
  for (uint32_t i = 6; i < 2000; ++i) test::Put(v, i, kRootIndex, "n" + std::to_string(i) + ".jpg", kStateFile);
  BuildTree(v);
  ASSERT_EQ(store.AddVolume(std::move(v), false), 4u);

  std::promise<void> inside, reset_done;
  std::shared_future<void> reset_seen = reset_done.get_future().share();
  std::thread reader([&] {
    store.ReadVolume(4, [&](const VolumeRecord& vol) {
      inside.set_value();
      reset_seen.wait();
      for (uint32_t i = 6; i < 2000; ++i) ASSERT_EQ(GetRecord(vol, i)->name, "n" + std::to_string(i) + ".jpg");
    });
  });
  inside.get_future().wait();
  store.Reset(Source(), false);
  reset_done.set_value();
  reader.join();
  EXPECT_EQ(store.VolumeCount(), 4u);
  EXPECT_FALSE(store.Record(4, 6).has_value());
}

}  // namespace
}  // namespace trovium
