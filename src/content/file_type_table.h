#pragma once
// The table of known file types: for every one-byte type code its category,
// display description, primary extension and extension list, plus the user's
// choice of which types a deep scan keeps.
//
// The same byte also names video fragment kinds (200..208) and file-system
// structures (221..236); those codes are never looked up in the table.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace trovium {

using FileTypeCode = uint8_t;

// Ranges of the code space.
constexpr uint32_t kFirstFileTypeCode = 36;        // first row that can hold a file type
constexpr uint32_t kLastFileTypeCode = 171;        // last row of the table
constexpr uint32_t kFileTypeSlotCount = 172;       // rows, indexed by code (0..35 stay empty)
constexpr uint32_t kFileTypeCategoryCount = 13;    // category slots (0..5 stay unnamed)
constexpr uint32_t kFirstShownCategory = 6;
constexpr uint32_t kFirstVideoFragmentCode = 200;
constexpr uint32_t kLastVideoFragmentCode = 208;
constexpr uint32_t kFirstStructCode = 221;
constexpr uint32_t kLastStructCode = 236;
constexpr FileTypeCode kUnknownFileType = 238;     // "nothing recognised"

// Category ids.
constexpr uint32_t kCategoryDocument = 6;  // "文档"
constexpr uint32_t kCategoryPhoto = 7;     // "照片"
constexpr uint32_t kCategoryImage = 8;     // "图像"
constexpr uint32_t kCategoryAudio = 9;     // "音频"
constexpr uint32_t kCategoryVideo = 10;    // "视频"
constexpr uint32_t kCategoryArchive = 11;  // "压缩文件"
constexpr uint32_t kCategoryOther = 12;    // "其他"

// File type codes (the row index in the table).
enum : FileTypeCode {
  kTypeDoc = 36, kTypeDocx = 37, kTypeXlsx = 38, kTypeChm = 39, kTypePdf = 40, kTypeHlp = 41,
  kTypePub = 42, kTypeMht = 43, kTypePng = 44, kTypeGif = 45, kTypeJpg = 46, kTypePsd = 47,
  kTypeBmp = 48, kTypeCr2 = 49, kTypeRaw = 50, kTypeTif = 51, kTypeDng = 52, kTypeWav = 53,
  kTypeMp3 = 54, kTypeOgg = 55, kTypeApe = 56, kTypeMid = 57, kTypeRa = 58, kTypeWma = 59,
  kType7z = 60, kTypeZip = 61, kTypeRar = 62, kTypeJar = 63, kTypeFlv = 64, kTypeRam = 65,
  kTypeRmvb = 66, kTypeMov = 67, kType3gp = 68, kTypeM4a = 69, kTypeAmr = 70, kTypeM4v = 71,
  kTypeMp4 = 72, kTypeAvi = 73, kTypeExe = 74, kTypeDwg = 75, kTypeWmf = 76, kTypeMdb = 77,
  kTypeAccdb = 78, kTypeHtml = 79, kTypeDsw = 80, kTypeSln = 81, kTypeMpg = 82, kTypeAi = 83,
  kTypeCab = 84, kTypeAni = 85, kTypeMkv = 86, kTypeXls = 87, kTypeMts = 88, kTypePptx = 89,
  kTypePpt = 90, kTypeMpp = 91, kTypeNef = 92, kTypeP65 = 93, kTypeXps = 94, kTypeRpt = 95,
  kTypeVsd = 96, kTypeOne = 97, kTypePef = 98, kTypeCrw = 99, kTypeX3f = 100, kTypeSr2 = 101,
  kTypeMef = 102, kTypeArw = 103, kTypeOrf = 104, kTypeAu = 105, kTypeAif = 106, kTypeMmf = 107,
  kTypeWmv = 108, kType3g2 = 109, kTypeWrf = 110, kTypeSwi = 111, kTypeFla = 112, kTypeWtv = 113,
  kTypeMxf = 114, kTypeAbr = 116, kTypeMax = 117, kTypeCdr = 118, kTypeDxf = 119, kTypeMb = 120,
  kTypePsp = 121, kTypeDgn = 122, kTypeExb = 123, kTypeJnb = 124, kTypeDcd = 125, kTypeQcd = 126,
  kTypeTcw = 127, kTypeQxp = 128, kTypeQpt = 129, kTypeSdr = 130, kTypePzf = 131, kTypeEmf = 132,
  kTypeOci = 133, kTypeIcc = 134, kTypePcb = 135, kTypeTpf = 136, kTypeGjd = 137, kTypeVfb = 138,
  kTypeSldprt = 139, kTypeTar = 140, kTypeIso = 141, kTypeGho = 142, kTypeM2t = 143, kTypeRaf = 144,
  kTypeMcb = 145, kTypeTxt = 161, kTypeIco = 162, kTypeXml = 163, kTypeRtf = 164, kTypeH = 165,
  kTypeC = 166, kTypeCpp = 167, kTypeJava = 168, kTypePhp = 169, kTypeJs = 170, kTypeCss = 171,
};

struct FileTypeCategory {
  uint32_t id = 0;
  std::string name = "XXX";      // slots 0..5 keep the placeholder and are never shown
  uint32_t selected = 1;         // check box of the deep-scan type settings
  std::vector<uint32_t> codes;   // rows added to this category, in the order they were added
};

struct FileTypeRow {
  uint32_t category = 0;
  uint32_t code = 0;             // equal to the row's index; 0 in empty slots
  std::string description;
  std::string extension = "XXX"; // primary extension, lower case, no dot
  std::string extension_list;    // ";"-separated extensions shown next to the description
  uint32_t selected = 1;         // the deep scan keeps hits of this type only when 1
};

// A plain value: copies are independent of the table they came from.
struct FileTypeTable {
  std::vector<FileTypeCategory> categories;  // 13 slots, index = id
  std::vector<FileTypeRow> rows;             // 172 slots, index = code
  std::vector<uint32_t> photo_codes;         // every row added with category 7, in order
  std::vector<uint32_t> video_codes;         // every row added with category 10, in order
};

// Fills `table` with the built-in rows (used for the process-wide table; also
// handy wherever a pristine table is wanted).
void fill_file_type_table(FileTypeTable& table);

// The process-wide table, built on the first call (thread-safe) and kept for
// the life of the process. Read its fixed fields freely; read the `selected`
// flags through the copies below, since the settings page may write them back.
const FileTypeTable& build_file_type_table();

// An independent copy of the process-wide table for a dialog or a scan pass.
FileTypeTable copy_file_type_table();

// With `all`: all 172 rows (index = code). Otherwise the 136 rows of codes
// 36..171 in code order (index 0 holds code 36).
void copy_file_type_rows(std::vector<FileTypeRow>& destination, bool all);

// With `all`: all 13 categories. Otherwise categories 6..12 in id order.
void copy_file_type_categories(std::vector<FileTypeCategory>& destination, bool all);

// The deep-scan type settings were confirmed: take over the `selected` flags of
// the edited full copies (nothing else changes). Rows and categories are matched
// by index; entries beyond the table are ignored. Call only while no scan runs.
void write_back_file_type_selection(const std::vector<FileTypeCategory>& categories,
                                    const std::vector<FileTypeRow>& rows);

// The code whose primary extension equals the name's extension (ASCII case
// ignored), else 238. Alternatives of the extension list do not count.
FileTypeCode type_from_file_name(std::string_view name);

bool is_photo_type(uint32_t code);
bool is_video_type(uint32_t code);

// Whether the file lists show files of this type: in the video-fragment
// recovery mode only photo and video types, otherwise every type.
bool is_listed_type(uint32_t code, bool video_fragment_mode);

// html, txt, xml, h, c, cpp, java, php, js, css (not rtf).
bool is_text_type(uint32_t code);

// Extension, lower-cased, among the picture formats the previewer decodes.
bool is_image_file_name(std::string_view name);
// Extension, lower-cased, among the plain-text formats the previewer shows.
bool is_text_file_name(std::string_view name);

}  // namespace trovium
