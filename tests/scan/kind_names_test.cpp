#include "scan/kind_names.h"

#include <gtest/gtest.h>

namespace trovium {
namespace {

TEST(KindNames, FileTypesByExtensionStructuresByName) {
  struct Case { int code; const char* name; } cases[] = {
      {37, "docx"}, {79, "html"}, {171, "css"}, {36, "doc"},
      {221, "MBR"}, {223, "NTFS DBR"}, {227, "FAT16 fat table"}, {235, "Exfat dir entry"},
      // Codes no file type or structure uses, the GPT header, and codes outside the table.
      {0, "***"}, {35, "***"}, {115, "***"}, {150, "***"}, {172, "***"}, {200, "***"},
      {220, "***"}, {236, "***"}, {237, "***"}, {238, "***"}, {-1, "***"}, {100000, "***"},
  };
  BuildKindNames();
  BuildKindNames();  // later calls change nothing
  for (const auto& c : cases) EXPECT_EQ(KindName(c.code), c.name) << c.code;
}

}  // namespace
}  // namespace trovium
