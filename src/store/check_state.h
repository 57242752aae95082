#pragma once
// Check marks of the results tree: what export takes.

#include "store/volume_record.h"

namespace trovium {

// A valid record, with the filter pass flag when the filter is active.
bool IsVisibleRecord(const VolumeRecord& v, uint32_t index, bool filter_active);

// Checks an unchecked or partly checked record, unchecks a checked one, marks
// every visible record below it the same and recomputes the ancestors. False
// for a record that is not visible.
bool ToggleCheck(VolumeRecord& v, uint32_t index, bool filter_active);

// Count and summed size of the visible files below a record (the record
// itself when it is a file); only checked ones with checked_only.
struct FileTotals {
  uint64_t files = 0;
  uint64_t bytes = 0;
};
FileTotals TotalsBelow(const VolumeRecord& v, uint32_t index, bool filter_active, bool checked_only);

}  // namespace trovium
