#include "scan/progress.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace trovium {
namespace {

ProgressReport Records(uint32_t kind, uint32_t done, uint32_t total) {
  ProgressReport r{};
  r.reportKind = kind;
  r.records.recordsDone = done;
  r.records.recordsTotal = total;
  return r;
}

size_t Utf8Chars(const char* s) {
  size_t n = 0;
  for (; *s; ++s)
    if ((static_cast<unsigned char>(*s) & 0xC0) != 0x80) ++n;
  return n;
}

TEST(ProgressMailbox, FullMailboxDropsPostsUntilTaken) {
  ClearProgress();
  ProgressReport out{};
  EXPECT_FALSE(TakeProgress(out));

  EXPECT_TRUE(PostProgress(Records(kProgressScanDataLoad, 1, 10)));
  EXPECT_FALSE(PostProgress(Records(kProgressScanDataLoad, 2, 10)));  // dropped, never waits
  ASSERT_TRUE(TakeProgress(out));
  EXPECT_EQ(out.reportKind, kProgressScanDataLoad);
  EXPECT_EQ(out.records.recordsDone, 1u);
  EXPECT_FALSE(TakeProgress(out));

  EXPECT_TRUE(PostProgress(Records(kProgressScanDataSave, 3, 10)));
  ASSERT_TRUE(TakeProgress(out));
  EXPECT_EQ(out.reportKind, kProgressScanDataSave);
  EXPECT_EQ(out.records.recordsDone, 3u);

  // An "empty" record would look like an empty mailbox; clearing drops what waits.
  EXPECT_FALSE(PostProgress(ProgressReport{}));
  EXPECT_TRUE(PostProgress(Records(kProgressScanDataLoad, 4, 10)));
  ClearProgress();
  EXPECT_FALSE(TakeProgress(out));
}

TEST(ProgressMailbox, StatusTextIsCutAtCharacterBoundaries) {
  constexpr size_t kAnyCount = ~size_t{0};
  struct Case { std::string title, text; size_t titleChars, textChars; } cases[] = {
      {"准备恢复文件", "处理搜索到的信息", 6, 8},
      {std::string(39, 'T'), std::string(109, 'x'), 39, 109},
      {std::string(40, 'T'), std::string(200, 'x'), 39, 109},
      {[] { std::string s; for (int i = 0; i < 50; ++i) s += "汉"; return s; }(),
       [] { std::string s; for (int i = 0; i < 120; ++i) s += "\xF0\x9F\x98\x80"; return s; }(), 39, 109},
      // Malformed text (stray continuation bytes, lead bytes without followers)
      // must still fit its field; its character count is not meaningful.
      {std::string(300, '\x80'), std::string(600, '\xF0'), kAnyCount, kAnyCount},
  };
  for (const auto& c : cases) {
    ClearProgress();
    ASSERT_TRUE(PostStatusText(c.title, c.text));
    ProgressReport out{};
    ASSERT_TRUE(TakeProgress(out));
    EXPECT_EQ(out.reportKind, kProgressStatusText);
    ASSERT_NE(std::memchr(out.status.title, 0, sizeof out.status.title), nullptr);
    ASSERT_NE(std::memchr(out.status.text, 0, sizeof out.status.text), nullptr);
    std::string title = out.status.title, text = out.status.text;
    if (c.titleChars != kAnyCount) {
      EXPECT_EQ(Utf8Chars(out.status.title), c.titleChars) << c.title;
      EXPECT_EQ(Utf8Chars(out.status.text), c.textChars);
    }
    EXPECT_FALSE(title.empty());
    EXPECT_EQ(c.title.compare(0, title.size(), title), 0) << "a prefix of the title";
    EXPECT_EQ(c.text.compare(0, text.size(), text), 0) << "a prefix of the text";
  }
}

TEST(ProgressMailbox, ScanHitsCountByKind) {
  ScanStats s{};
  for (uint32_t kind : {0u, 46u, 171u, 222u, 223u, 226u, 228u, 233u, 224u, 231u, 225u, 235u}) EXPECT_TRUE(CountScanHit(s, kind)) << kind;
  for (uint32_t kind : {172u, 200u, 221u, 227u, 229u, 230u, 232u, 234u, 236u, 238u}) EXPECT_FALSE(CountScanHit(s, kind)) << kind;
  EXPECT_EQ(s.filesFound, 3u);
  EXPECT_EQ(s.fatBootHits, 2u);
  EXPECT_EQ(s.ebrHits + s.ntfsBootHits + s.exfatBootHits + s.fileRecordHits + s.fatDirHits + s.indxHits +
                s.exfatDirHits,
            7u);
  EXPECT_EQ(s.indxHits, 1u);
  EXPECT_EQ(s.exfatDirHits, 1u);
}

}  // namespace
}  // namespace trovium
