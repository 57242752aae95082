#include "platform/source_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "common/test_support.h"

namespace trovium::platform {
namespace {

TEST(SourceFile, ReadsAndSizesAnImage) {
  test::TempDir dir;
  std::vector<uint8_t> bytes(1000);
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i);
  ASSERT_TRUE(test::WriteFile(dir.File("img"), bytes));
  auto r = OpenSourceReadOnly(dir.File("img"));
  ASSERT_GE(r.fd, 0);
  EXPECT_EQ(SourceSizeBytes(r.fd), 1000u);
  uint8_t buf[600] = {};
  EXPECT_EQ(ReadAt(r.fd, buf, 600, 512), 488);  // short at the end
  EXPECT_EQ(buf[0], static_cast<uint8_t>(512));
  CloseSource(r.fd);
}

TEST(SourceFile, OpenFailuresAreDistinct) {
  test::TempDir dir;
  EXPECT_EQ(OpenSourceReadOnly(dir.File("missing")).error, OpenError::kNotFound);
  EXPECT_EQ(OpenSourceReadOnly(dir.path()).error, OpenError::kIsDirectory);
  ASSERT_TRUE(test::WriteFile(dir.File("locked"), {1, 2, 3}));
  ::chmod(dir.File("locked").c_str(), 0);
  if (::geteuid() != 0) {
    auto r = OpenSourceReadOnly(dir.File("locked"));
    EXPECT_EQ(r.error, OpenError::kPermission);
    EXPECT_NE(DescribeOpenError(r, "x").find("permission"), std::string::npos);
  }
}

}  // namespace
}  // namespace trovium::platform
