// OOXML packages: the ZIP walk, plus the document kind from the part names.
// The first local headers are the content-types and relationship parts; from
// the third on, the folder of a part says what the package is, and the last
// such part decides.

#include "content/file_type_table.h"
#include "content/size_format_rules.h"
#include "content/size_rule_read.h"
#include "content/size_zip_walk.h"

namespace trovium {
namespace {

void RefineFromPartName(CarveState& state, const ByteView& record) {
  // phase counts local headers up to 3.
  if (state.phase < 3) ++state.phase;
  if (state.phase < 3) return;
  const uint16_t name_length = record.le16_or0(26);
  if (name_length >= 5 && record.matches(30, "word/", 5)) {
    state.code = kFileTypeDocx;
  } else if (name_length >= 4 && record.matches(30, "ppt/", 4)) {
    state.code = kFileTypePptx;
  } else if (name_length >= 3 && record.matches(30, "xl/", 3)) {
    state.code = kFileTypeXlsx;
  }
}

}  // namespace

uint32_t SizeOoxml(const CarveBuffer& buffer, CarveState& state) {
  // The hook runs only on a completed read and the walk resumes behind it, so
  // a pending answer never counts a header twice.
  return WalkZipRecords(buffer, state, RefineFromPartName);
}

}  // namespace trovium
