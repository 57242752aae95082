// The read-error and overwrite policies against a source whose chosen sectors
// really fail: the image is served by nbdkit through its ddrescue filter (a
// mapfile marks one 4 KiB range unreadable, so reads of it end in EIO) and
// exposed as a file by nbdfuse. nbdkit 1.32's error filter fails requests by
// rate or trigger file only, not by range.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>

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

constexpr uint64_t kMiB = 1 << 20;
constexpr uint64_t kGoodSize = 64 * 1024;
constexpr uint64_t kBadSize = 9 * kMiB;          // three pieces of the copier: 4, 4 and 1 MiB
constexpr uint64_t kAfterSize = 32 * 1024;
constexpr uint64_t kBadAt = 6 * kMiB + 8192;     // inside the second piece of bad.bin
constexpr uint64_t kBadBytes = 4096;             // FUSE reads whole pages

class FailingSourceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (geteuid() != 0) GTEST_SKIP() << "needs root to mount through FUSE";
    if (access("/dev/fuse", R_OK | W_OK) != 0) GTEST_SKIP() << "no /dev/fuse";
    if (!test::HaveProgram("nbdkit") || !test::HaveProgram("nbdfuse")) GTEST_SKIP() << "nbdkit or nbdfuse missing";

    const std::string image = dir_.File("src.img");
    test::SyntheticVolume v(image);
    docs_ = v.Dir(kRootIndex, "docs");
    v.File(docs_, "good.bin", test::Bytes(kGoodSize, 1));
    v.File(docs_, "bad.bin", test::Bytes(kBadSize, 2));
    v.File(docs_, "after.bin", test::Bytes(kAfterSize, 3));
    volume_ = v.Publish(store_, 16 * kMiB);
    const uint64_t image_bytes = 16 * kMiB;
    const uint64_t bad_offset = kGoodSize + kBadAt;  // good.bin fills whole sectors

    const std::string map = dir_.File("src.map");
    {
      std::ofstream m(map);
      char line[128];
      m << "# Mapfile\n0x00000000 + 1\n";
      std::snprintf(line, sizeof line, "0x%08llx 0x%08llx +\n", 0ull, static_cast<unsigned long long>(bad_offset));
      m << line;
      std::snprintf(line, sizeof line, "0x%08llx 0x%08llx -\n", static_cast<unsigned long long>(bad_offset),
                    static_cast<unsigned long long>(kBadBytes));
      m << line;
      std::snprintf(line, sizeof line, "0x%08llx 0x%08llx +\n",
                    static_cast<unsigned long long>(bad_offset + kBadBytes),
                    static_cast<unsigned long long>(image_bytes - bad_offset - kBadBytes));
      m << line;
    }
    const std::string socket = dir_.File("nbd.sock");
    server_.pid = test::Start({"nbdkit", "-f", "-r", "-U", socket, "--filter=ddrescue", "file", "file=" + image,
                               "ddrescue-mapfile=" + map});
    ASSERT_GT(server_.pid, 0);
    ASSERT_TRUE(test::WaitUntil([&] { return platform::PathExists(socket); })) << "nbdkit did not start";

    mount_.point = dir_.File("mnt");
    ASSERT_TRUE(platform::MakePrivateFolder(mount_.point));
    device_ = mount_.point + "/img";
    fuse_.pid = test::Start({"nbdfuse", "-r", device_, "--unix", socket});
    ASSERT_GT(fuse_.pid, 0);
    mount_.mounted = true;
    uint64_t size = 0;
    ASSERT_TRUE(test::WaitUntil([&] { return platform::RegularFileSize(device_, size) && size == image_bytes; }))
        << "nbdfuse did not expose the image";

    // The chosen sectors fail, their neighbours outside the page do not.
    const int fd = open(device_.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    uint8_t buf[512];
    errno = 0;
    EXPECT_LT(pread(fd, buf, sizeof buf, static_cast<off_t>(bad_offset)), 0);
    EXPECT_EQ(errno, EIO);
    EXPECT_EQ(pread(fd, buf, sizeof buf, static_cast<off_t>(bad_offset - 512)), 512);
    close(fd);

    request_.store = &store_;
    request_.source.device_path = device_;
    request_.source.sector_count = image_bytes / kSectorBytes;
    request_.volume = volume_;
    request_.record = docs_;
  }

  // Saves docs/ into out/ with the given policies.
  bool Save(ReadErrorPolicy read_error, OverwritePolicy overwrite, ScriptedPrompt& prompt, ExportTotals& totals) {
    SilentView view;
    request_.prompt = &prompt;
    return ExportCurrent(request_, [&](uint32_t, uint64_t, ExportChoice& c) {
      c.out_dir = out_.path();
      c.read_error = read_error;
      c.overwrite = overwrite;
      return true;
    }, view, &totals);
  }

  std::string Out(const std::string& name) const { return out_.File("docs/" + name); }

  // Declared in the order they are released: the mount first, then nbdfuse, then nbdkit.
  test::TempDir dir_, out_;
  test::Background server_, fuse_;
  test::FuseMount mount_;
  std::string device_;
  FoundFileStore store_;
  RecordRequest request_;
  uint32_t volume_ = 0, docs_ = 0;
};

bool Zeros(const std::vector<uint8_t>& b, size_t from, size_t count) {
  return b.size() >= from + count && std::all_of(b.begin() + static_cast<ptrdiff_t>(from),
                                                 b.begin() + static_cast<ptrdiff_t>(from + count),
                                                 [](uint8_t x) { return x == 0; });
}

TEST_F(FailingSourceTest, ReadErrorPolicies) {
  const std::vector<uint8_t> original = test::Bytes(kBadSize, 2);
  for (ReadErrorPolicy policy : {ReadErrorPolicy::kEmpty, ReadErrorPolicy::kKeep, ReadErrorPolicy::kZeros}) {
    SCOPED_TRACE(static_cast<int>(policy));
    platform::RemoveTree(out_.File("docs"));
    ExportTotals t;
    ScriptedPrompt prompt;
    ASSERT_TRUE(Save(policy, OverwritePolicy::kOverwrite, prompt, t));
    EXPECT_GE(ReadErrorCount(), 1u);
    ASSERT_FALSE(prompt.ShownTexts().empty());
    EXPECT_NE(prompt.ShownTexts().front().text.find("读磁盘错误"), std::string::npos);
    // The files around the failing one are whole whatever the policy.
    EXPECT_EQ(test::ReadFile(Out("good.bin")), test::Bytes(kGoodSize, 1));
    EXPECT_EQ(test::ReadFile(Out("after.bin")), test::Bytes(kAfterSize, 3));

    const std::vector<uint8_t> bad = test::ReadFile(Out("bad.bin"));
    switch (policy) {
      case ReadErrorPolicy::kEmpty:
        EXPECT_TRUE(bad.empty());
        EXPECT_EQ(t.files_recovered, 2u);
        EXPECT_EQ(t.files_failed, 1u);
        break;
      case ReadErrorPolicy::kKeep:
        // Up to the last good piece, and not counted as recovered.
        ASSERT_EQ(bad.size(), 4 * kMiB);
        EXPECT_TRUE(std::equal(bad.begin(), bad.end(), original.begin()));
        EXPECT_EQ(t.files_recovered, 2u);
        EXPECT_EQ(t.files_failed, 1u);
        break;
      case ReadErrorPolicy::kZeros:
        // Full size; zeros where nothing could be read, the rest exact.
        ASSERT_EQ(bad.size(), kBadSize);
        EXPECT_TRUE(std::equal(bad.begin(), bad.begin() + 4 * kMiB, original.begin()));
        EXPECT_TRUE(std::equal(bad.begin() + 8 * kMiB, bad.end(), original.begin() + 8 * kMiB));
        EXPECT_TRUE(Zeros(bad, kBadAt, kBadBytes));
        EXPECT_EQ(t.files_recovered, 3u);
        EXPECT_EQ(t.files_failed, 0u);
        break;
    }
  }
}

TEST_F(FailingSourceTest, OverwritePolicies) {
  const std::vector<uint8_t> old = {'o', 'l', 'd'};
  struct Case {
    OverwritePolicy policy;
    bool answer;  // for kAsk
    bool replaced;
  } cases[] = {
      {OverwritePolicy::kOverwrite, false, true},
      {OverwritePolicy::kSkip, false, false},
      {OverwritePolicy::kAsk, true, true},
      {OverwritePolicy::kAsk, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << static_cast<int>(c.policy) << " " << c.answer);
    platform::RemoveTree(out_.File("docs"));
    ASSERT_TRUE(platform::MakePrivateFolder(out_.File("docs")));
    ASSERT_TRUE(test::WriteFile(Out("good.bin"), old));
    ScriptedPrompt prompt;
    prompt.SetAskAnswer(c.answer);
    ExportTotals t;
    ASSERT_TRUE(Save(ReadErrorPolicy::kKeep, c.policy, prompt, t));
    EXPECT_EQ(test::ReadFile(Out("good.bin")), c.replaced ? test::Bytes(kGoodSize, 1) : old);
    // Only the file that existed before is in question; the others are written.
    EXPECT_EQ(test::ReadFile(Out("after.bin")), test::Bytes(kAfterSize, 3));
    EXPECT_EQ(t.files_failed, 1u);  // bad.bin
    EXPECT_EQ(t.files_skipped, c.replaced ? 0u : 1u);
    size_t asked = 0;
    for (const auto& s : prompt.ShownTexts())
      if (s.text == Out("good.bin") + kExistsQuestionSuffix) ++asked;
    EXPECT_EQ(asked, c.policy == OverwritePolicy::kAsk ? 1u : 0u);
  }
}

}  // namespace
}  // namespace trovium
