#include "core/time_text.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <limits>

namespace trovium {
namespace {

TEST(TimeText, FormatPackedTime) {
  struct Case { PackedTime t; const char* text; } cases[] = {
      {0, "1900-01-01  00:00"},
      {PackTime(2023, 7, 4, 9, 5, 3), "2023-07-04  09:05:03"},
      {PackTime(1980, 1, 1, 0, 0, 1), "1980-01-01  00:00:01"},
      {PackTime(2043, 12, 31, 23, 59, 59), "2043-12-31  23:59:59"},
  };
  for (const auto& c : cases) EXPECT_EQ(FormatPackedTime(c.t), c.text) << c.t;
}

TEST(TimeText, PackTimeForcesEveryFieldIntoItsRange) {
  struct Case { int y, mo, d, h, mi, s; const char* text; } cases[] = {
      {2020, 13, 32, 24, 60, 60, "2020-01-01  23:59:59"},
      {2020, 0, 0, 0, 0, 0, "2020-01-01  00:00:00"},
      // Negative parts must not run into the fields above them.
      {2020, 6, 15, -1, -1, -1, "2020-06-15  00:00:00"},
      {2020, -1, -1, 12, 30, 30, "2020-01-01  12:30:30"},
      // Six bits of year: 2044 wraps to 1980, years before 1900 count as 1900.
      {2044, 2, 3, 4, 5, 6, "1980-02-03  04:05:06"},
      {1700, 5, 5, 5, 5, 5, "2028-05-05  05:05:05"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(FormatPackedTime(PackTime(c.y, c.mo, c.d, c.h, c.mi, c.s)), c.text) << c.text;
  }
}

TEST(TimeText, TimeToPackedUsesLocalTime) {
  ::setenv("TZ", "UTC", 1);
  ::tzset();
  EXPECT_EQ(FormatPackedTime(TimeToPacked(1700000000)), "2023-11-14  22:13:20");
  ::setenv("TZ", "Asia/Shanghai", 1);
  ::tzset();
  EXPECT_EQ(FormatPackedTime(TimeToPacked(1700000000)), "2023-11-15  06:13:20");
}

TEST(TimeText, UnconvertibleTimeStaysInsideTheFields) {
  // Nothing converts: every part reads -1. Clamped, that is 1900 (wrapped to
  // 2028) January 1st at midnight; unclamped, -1 hours would set every bit.
  PackedTime t = TimeToPacked(std::numeric_limits<int64_t>::max());
  EXPECT_EQ(t, PackTime(1900, 1, 1, 0, 0, 0));
  EXPECT_EQ(FormatPackedTime(t), "2028-01-01  00:00:00");
}

}  // namespace
}  // namespace trovium
