#include "scan/read_error_report.h"

#include <gtest/gtest.h>

namespace trovium {
namespace {

TEST(ScanReadErrorText, ThresholdsUnitsAndRemovableAdvice) {
  struct Case {
    uint32_t errors, reads;
    bool removable;
    bool shown;
    const char* text;
  };
  const Case cases[] = {
      {10, 50, false, false, ""},
      {11, 10, false, false, ""},  // more failures than reads: counters from elsewhere
      {11, 50, false, true, "扫描数据时，发生了11次读磁盘错误，至少88(MB)数据读失败，可能影响您的恢复效果！"},
      {250, 300, false, true, "扫描数据时，发生了250次读磁盘错误，至少2000(MB)数据读失败，可能影响您的恢复效果！"},
      {251, 300, false, true,
       "扫描数据时，发生了251次读磁盘错误，至少1.96(GB)数据读失败，可能会严重影响您的恢复效果！"},
      {11, 11, true, true,
       "扫描数据时，发生了11次读磁盘错误，至少88(MB)数据读失败，可能影响您的恢复效果！"
       "\n可能是电脑、读卡器、USB线、USB口等设备接触不良。建议您更换电脑、读卡器、USB线，"
       "并将存储设备插在电脑机箱后面的USB口，再重新恢复您的数据！"},
  };
  for (const Case& c : cases) {
    std::string text;
    EXPECT_EQ(ScanReadErrorText(c.errors, c.reads, c.removable, text), c.shown) << c.errors;
    EXPECT_EQ(text, c.text) << c.errors;
  }
  EXPECT_EQ(ScanReadErrorReportText(11, 50), "Disk scan error: 11 / 50");
}

}  // namespace
}  // namespace trovium
