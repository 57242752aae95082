#include "content/size_rules.h"

#include "content/file_type_table.h"
#include "content/size_format_rules.h"

namespace trovium {
namespace {

// The "mdat" kind of the video fragment scan is carved with the box walk too.
constexpr uint32_t kMdatFragmentCode = 202;

SizeRuleTable BuildTable() {
  SizeRuleTable table{};
  table[kFileTypeDoc] = SizeOle2;
  // The OOXML walk refines the code as it goes (docx, xlsx, pptx); a walk
  // that is pending by then is continued under its refined code.
  table[kFileTypeDocx] = SizeOoxml;
  table[kFileTypeXlsx] = SizeOoxml;
  table[kFileTypePptx] = SizeOoxml;
  table[kFileTypeChm] = SizeChm;
  table[kFileTypeHlp] = SizeWinHelp;
  table[kFileTypeJpg] = SizeJpeg;
  table[kFileTypeBmp] = SizeBmp;
  table[kFileTypeCr2] = SizeTiff;
  table[kFileTypeWav] = SizeWave;
  table[kFileTypeMp3] = SizeMp3;
  table[kFileTypeZip] = SizeZip;
  table[kFileTypeRar] = SizeRar;
  table[kFileTypeFlv] = SizeFlv;
  table[kFileTypeRmvb] = SizeRealMedia;
  for (uint32_t code : {uint32_t{kFileTypeMov}, uint32_t{kFileType3gp}, uint32_t{kFileTypeM4a},
                        uint32_t{kFileTypeM4v}, uint32_t{kFileTypeMp4}, kMdatFragmentCode}) {
    table[code] = SizeQuickTime;
  }
  table[kFileTypeAvi] = SizeAvi;
  table[kFileTypeMpg] = SizeMpegPs;
  table[kFileTypeMkv] = SizeMatroska;
  table[kFileTypeWmv] = SizeAsf;
  return table;
}

}  // namespace

const SizeRuleTable& size_rule_table() {
  static const SizeRuleTable table = BuildTable();
  return table;
}

}  // namespace trovium
