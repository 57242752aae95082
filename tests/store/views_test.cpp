#include <gtest/gtest.h>

#include <set>

#include "store/volume_builder.h"

namespace trovium {
namespace {

using test::BaseVolume;
using test::Put;

std::set<std::string> Names(const VolumeRecord& v) {
  std::set<std::string> out;
  for (uint32_t i = 1; i < v.file_count; ++i)
    if (const FileRecord* r = GetRecord(v, i); r && i != kRootIndex) out.insert(r->name);
  return out;
}

// root: docs/{a.doc, old.doc (deleted), gone/ (deleted dir){g.doc}}, 回收站 (deleted dir){S-1/{$R1.doc}}, empty/
VolumeRecord Sample() {
  VolumeRecord v = BaseVolume();
  Put(v, 6, kRootIndex, "docs", kStateDir);
  Put(v, 7, 6, "a.doc", kStateFile);
  Put(v, 8, 6, "old.doc", kStateDeletedFile);
  Put(v, 9, 6, "gone", kStateDeletedDir);
  Put(v, 10, 9, "g.doc", kStateDeletedFile);
  Put(v, 11, kRootIndex, kRecycleBinName, kStateDeletedDir);
  Put(v, 12, 11, "S-1", kStateDeletedDir);
  Put(v, 13, 12, "$R1.doc", kStateDeletedFile);
  Put(v, 14, kRootIndex, "empty", kStateDir);
  BuildTree(v);
  return v;
}

TEST(Views, SplitPutsDeletedEntriesAndTheRecycleBinOnlyInTheDeletedView) {
  VolumeRecord v = Sample();
  VolumeRecord w = SplitExistingDeleted(v);
  EXPECT_EQ(v.view, 1);
  EXPECT_EQ(w.view, 2);
  EXPECT_EQ(Names(v), (std::set<std::string>{"docs", "a.doc"}));
  EXPECT_EQ(Names(w), (std::set<std::string>{"docs", "old.doc", "gone", "g.doc", kRecycleBinName, "S-1", "$R1.doc"}));
  for (const VolumeRecord* x : {&v, &w})
    for (uint32_t i = 1; i < x->file_count; ++i)
      if (GetRecord(*x, i)) {
        EXPECT_EQ(PathToRoot(*x, i).back(), kRootIndex);
      }
}

TEST(Views, DeepCopySharesNothing) {
  VolumeRecord v = Sample();
  VolumeRecord w = DeepCopyVolume(v);
  w.files[7].name = "changed";
  w.files[6].children.push_back(99);
  EXPECT_EQ(GetRecord(v, 7)->name, "a.doc");
  EXPECT_EQ(GetRecord(v, 6)->child_count(), 3u);
}

TEST(Views, KeepOnlyTheRecycleBin) {
  VolumeRecord out;
  ASSERT_TRUE(KeepOnlyRecycleBin(Sample(), out));
  EXPECT_EQ(Names(out), (std::set<std::string>{kRecycleBinName, "S-1", "$R1.doc"}));
  EXPECT_EQ(GetRecord(out, kRootIndex)->children, std::vector<uint32_t>{11});

  VolumeRecord no_files = BaseVolume();
  Put(no_files, 6, kRootIndex, kRecycleBinName, kStateDeletedDir);
  BuildTree(no_files);
  EXPECT_FALSE(KeepOnlyRecycleBin(no_files, out));
  EXPECT_EQ(out.file_count, 0u);
}

}  // namespace
}  // namespace trovium
