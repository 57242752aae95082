#pragma once
// PackedTime, the 32-bit local date-time kept with every found file, and its text.
//
// Bits 26-31 (year + 4) mod 64 (the year minus 1980 for 1980..2043), 22-25 month,
// 17-21 day, 12-16 hour, 6-11 minute, 0-5 second. 0 means "no time".

#include <cstdint>
#include <string>

namespace trovium {

using PackedTime = uint32_t;

// Packs a date-time. Each field is forced into its range before it is placed,
// so no field can run into its neighbours: month and day outside 1..12 / 1..31
// become 1, hour is held to 0..23, minute and second to 0..59, a year below
// 1900 counts as 1900.
PackedTime PackTime(int year, int month, int day, int hour, int minute, int second);

// Local time of a time_t-style value (seconds since 1970 UTC), packed. A value
// the C library cannot convert has every field taken as -1 before the limits
// of PackTime apply.
PackedTime TimeToPacked(int64_t seconds_since_1970);

// "YYYY-MM-DD  hh:mm:ss"; 0 gives "1900-01-01  00:00".
std::string FormatPackedTime(PackedTime t);

}  // namespace trovium
