#include <gtest/gtest.h>

#include "content/file_type_table.h"
#include "core/memory_manager.h"
#include "core/notifier.h"
#include "core/user_prompt.h"
#include "store/extents.h"
#include "store/store.h"
#include "store/title.h"
#include "store/volume_builder.h"

namespace trovium {
namespace {

using test::BaseVolume;
using test::Put;

VolumeRecord Source() {
  VolumeRecord s;
  s.device_path = "disk.img";
  s.sector_count = 1000;
  return s;
}

VolumeRecord RealVolume(const std::string& label) {
  VolumeRecord v = BaseVolume(kFsNtfs);
  v.label = label;
  Put(v, 6, kRootIndex, "a.jpg", kStateFile);
  BuildTree(v);
  v.shown_file_count = 1;
  return v;
}

TEST(FoundFileStore, ResetAddsViewsAndFoundVolume) {
  FoundFileStore store;
  RecordingNotifier window;
  store.RegisterWindow(&window);
  store.Reset(Source(), true);
  EXPECT_EQ(store.VolumeCount(), 4u);
  EXPECT_EQ(store.FilterMode(), kFilterTrees);
  VolumeRecord found;
  ASSERT_TRUE(store.CopyVolumeHeader(kFoundVolumeIndex, found));
  EXPECT_EQ(found.fs_kind, kFsFound);
  EXPECT_EQ(found.label, kFoundFilesName);
  EXPECT_EQ(found.device_path, "disk.img");
  EXPECT_EQ(found.file_count, kFirstFoundFileIndex);
  EXPECT_TRUE(found.files.empty());
  EXPECT_EQ(window.Entries(), (std::vector<RecordingNotifier::Entry>{{kMsgVolumeAdded, 3, 0, false}}));
}

TEST(FoundFileStore, AddVolumeTitlesTheRootAndIgnoresThe4097th) {
  FoundFileStore store;
  RecordingNotifier window, main;
  store.Reset(Source(), false);
  store.RegisterWindow(&window);
  store.SetMainWindow(&main);
  EXPECT_EQ(store.AddVolume(RealVolume("Data"), true), 4u);
  EXPECT_EQ(store.Record(4, kRootIndex)->name, "01 Data NTFS  (1个文件)");
  EXPECT_EQ(store.Title(4), "01 Data NTFS  (1个文件)");
  EXPECT_EQ(main.Count(kMsgFirstFoundFile), 1u);  // five volumes and no found file
  EXPECT_EQ(window.Count(kMsgVolumeAdded), 1u);
  for (uint32_t i = 5; i < kMaxVolumes; ++i) ASSERT_EQ(store.AddVolume(VolumeRecord{}, false), i);
  EXPECT_EQ(store.AddVolume(RealVolume("late"), true), 0u);
  EXPECT_EQ(store.VolumeCount(), kMaxVolumes);
  EXPECT_EQ(window.Count(kMsgVolumeAdded), 1u);
}

TEST(FoundFileStore, FoundFilesHangBelowTheirTypeAndCategory) {
  FoundFileStore store;
  RecordingNotifier window, main;
  store.Reset(Source(), false);
  store.RegisterWindow(&window);
  store.SetMainWindow(&main);
  const FileTypeTable& types = build_file_type_table();
  FileRecord f;
  f.name = "f1.jpg";
  f.parent = kFileTypeJpg;
  f.size = 700;
  EXPECT_EQ(store.AddFoundFile(f), kFirstFoundFileIndex);
  EXPECT_EQ(store.AddFoundFile(f), kFirstFoundFileIndex + 1);
  EXPECT_EQ(store.PathToRoot(3, kFirstFoundFileIndex),
            (std::vector<uint32_t>{kFirstFoundFileIndex, kFileTypeJpg, kCategoryPhoto, kRootIndex}));
  EXPECT_EQ(store.Record(3, kCategoryPhoto)->name, types.categories[kCategoryPhoto].name);
  EXPECT_EQ(store.Record(3, kFileTypeJpg)->subtree_file_count, 2u);
  EXPECT_EQ(window.Count(kMsgFoundFileAdded), 2u);
  EXPECT_EQ(main.Count(kMsgFirstFoundFile), 1u);
  f.parent = 5;  // not a file type
  EXPECT_EQ(store.AddFoundFile(f), 0u);
  std::vector<DataExtent> extents;
  ASSERT_TRUE(store.Extents(3, kFirstFoundFileIndex, extents));
  EXPECT_EQ(extents, (std::vector<DataExtent>{{0, 2}}));
}

TEST(FoundFileStore, VideoSizeIsTheMedianPlus1024) {
  FoundFileStore store;
  store.Reset(Source(), false);
  EXPECT_EQ(store.VideoSizeValue(), kNoVideoSize);
  for (uint64_t size : {5000u, 100u, 9000u}) {
    FileRecord f;
    f.name = "v.mp4";
    f.parent = kFileTypeMp4;
    f.size = size;
    store.AddFoundFile(f);
  }
  EXPECT_EQ(store.VideoSizeValue(), 5000u + 1024u);
}

TEST(FoundFileStore, RenameCheckAndThumbnailNotify) {
  FoundFileStore store;
  RecordingNotifier a, b;
  store.Reset(Source(), false);
  store.AddVolume(RealVolume("x"), false);
  store.RegisterWindow(&a);
  store.RegisterWindow(&b);
  EXPECT_TRUE(store.Rename(4, 6, "b.jpg", &a));
  EXPECT_EQ(store.Record(4, 6)->name, "b.jpg");
  EXPECT_TRUE(store.ToggleCheck(4, 6));
  EXPECT_EQ(store.CheckState(4, 6), kChecked);
  EXPECT_TRUE(store.SetThumbState(4, 6, kThumbReady));
  EXPECT_FALSE(store.Rename(4, 77, "z"));
  EXPECT_FALSE(store.ToggleCheck(99, 6));
  using E = RecordingNotifier::Entry;
  EXPECT_EQ(a.Entries(), (std::vector<E>{{kMsgCheckStateChanged, 4, 6, false}, {kMsgThumbnailReady, 4, 6, true}}));
  EXPECT_EQ(b.Entries().front(), (E{kMsgRecordRenamed, 4, 6, false}));
}

TEST(FoundFileStore, LoadVolumesCountsCompactsAndAnnounces) {
  FoundFileStore store;
  RecordingNotifier window;
  store.RegisterWindow(&window);
  VolumeRecord v = RealVolume("a");
  Put(v, 7000, kRootIndex, "skip.xyz", kStateFile);
  BuildTree(v);
  std::vector<bool> selected(256, false);
  selected[kFileTypeJpg] = true;
  std::vector<VolumeRecord> list;
  list.push_back(std::move(v));
  store.LoadVolumes(std::move(list), Source(), false, selected);
  EXPECT_EQ(store.VolumeCount(), 5u);
  VolumeRecord h;
  ASSERT_TRUE(store.CopyVolumeHeader(4, h));
  EXPECT_EQ(h.shown_file_count, 1u);
  EXPECT_EQ(h.file_count, 7u);  // the unselected file was dropped
  EXPECT_EQ(window.Entries(), (std::vector<RecordingNotifier::Entry>{{kMsgVolumesLoaded, 4, 0, false}}));
}

TEST(FoundFileStore, FeedsTheMemoryStatus) {
  auto store = std::make_unique<FoundFileStore>();
  store->Reset(Source(), false);
  store->AddVolume(RealVolume("a"), false);
  store->AttachMemoryStatus();
  EXPECT_EQ(MemStatusText(), "RealPartNum: 2  [0,237] [1,7] ");
  store.reset();
  EXPECT_EQ(MemStatusText(), "RealPartNum: 0  ");
  SetMemStatusSource(nullptr);
}

TEST(Extents, DispatchByKind) {
  VolumeRecord v = BaseVolume(kFsNtfs);
  FileRecord r;
  r.data_lba = 100;
  r.size = 1025;
  std::vector<DataExtent> out;
  EXPECT_FALSE(BuildExtents(v, r, out));  // no NTFS reader registered
  SetExtentBuilder(kFsNtfs, [](const VolumeRecord&, const FileRecord& x, std::vector<DataExtent>& e) {
    e.push_back({x.data_lba, 9});
    return true;
  });
  EXPECT_TRUE(BuildExtents(v, r, out));
  EXPECT_EQ(out, (std::vector<DataExtent>{{100, 9}}));
  SetExtentBuilder(kFsNtfs, nullptr);

  v.fs_kind = kFsFatDir;
  EXPECT_TRUE(BuildExtents(v, r, out));
  EXPECT_EQ(out, (std::vector<DataExtent>{{100, 3}}));
  r.flags = kFlagResident;
  EXPECT_TRUE(BuildExtents(v, r, out));
  EXPECT_EQ(out, (std::vector<DataExtent>{{100, 2}}));

  r.flags = kFlagExtentList;
  r.runs.assign(32, 0);
  r.runs[0] = 7, r.runs[8] = 8, r.runs[16] = 20, r.runs[24] = 1;
  r.run_info = 2;
  EXPECT_TRUE(BuildExtents(v, r, out));
  EXPECT_EQ(out, (std::vector<DataExtent>{{7, 8}, {20, 1}}));
  r.run_info = 3;  // claims more than is stored
  EXPECT_FALSE(BuildExtents(v, r, out));
  EXPECT_TRUE(out.empty());
}

TEST(UserPrompt, ScriptedAnswersAndRefusalToGuess) {
  ScriptedPrompt p;
  EXPECT_FALSE(p.Ask("q", "t"));
  EXPECT_EQ(p.AskYesNoCancel("q", "t"), PromptAnswer::kCancel);
  p.SetAskAnswer(true);
  p.SetYesNoCancelAnswer(PromptAnswer::kNo);
  EXPECT_TRUE(p.Ask("q2", "t"));
  EXPECT_EQ(p.AskYesNoCancel("q3", "t"), PromptAnswer::kNo);
  p.Inform("i", "t");
  EXPECT_EQ(p.ShownTexts().size(), 5u);
  EXPECT_FALSE(GetUserPrompt().Ask("unattended", "t"));
}

}  // namespace
}  // namespace trovium
