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
  kFileTypeDoc = 36, kFileTypeDocx = 37, kFileTypeXlsx = 38, kFileTypeChm = 39, kFileTypePdf = 40,
  kFileTypeHlp = 41, kFileTypePub = 42, kFileTypeMht = 43, kFileTypePng = 44, kFileTypeGif = 45,
  kFileTypeJpg = 46, kFileTypePsd = 47, kFileTypeBmp = 48, kFileTypeCr2 = 49, kFileTypeRaw = 50,
  kFileTypeTif = 51, kFileTypeDng = 52, kFileTypeWav = 53, kFileTypeMp3 = 54, kFileTypeOgg = 55,
  kFileTypeApe = 56, kFileTypeMid = 57, kFileTypeRa = 58, kFileTypeWma = 59, kFileType7z = 60,
  kFileTypeZip = 61, kFileTypeRar = 62, kFileTypeJar = 63, kFileTypeFlv = 64, kFileTypeRam = 65,
  kFileTypeRmvb = 66, kFileTypeMov = 67, kFileType3gp = 68, kFileTypeM4a = 69, kFileTypeAmr = 70,
  kFileTypeM4v = 71, kFileTypeMp4 = 72, kFileTypeAvi = 73, kFileTypeExe = 74, kFileTypeDwg = 75,
  kFileTypeWmf = 76, kFileTypeMdb = 77, kFileTypeAccdb = 78, kFileTypeHtml = 79, kFileTypeDsw = 80,
  kFileTypeSln = 81, kFileTypeMpg = 82, kFileTypeAi = 83, kFileTypeCab = 84, kFileTypeAni = 85,
  kFileTypeMkv = 86, kFileTypeXls = 87, kFileTypeMts = 88, kFileTypePptx = 89, kFileTypePpt = 90,
  kFileTypeMpp = 91, kFileTypeNef = 92, kFileTypeP65 = 93, kFileTypeXps = 94, kFileTypeRpt = 95,
  kFileTypeVsd = 96, kFileTypeOne = 97, kFileTypePef = 98, kFileTypeCrw = 99, kFileTypeX3f = 100,
  kFileTypeSr2 = 101, kFileTypeMef = 102, kFileTypeArw = 103, kFileTypeOrf = 104, kFileTypeAu = 105,
  kFileTypeAif = 106, kFileTypeMmf = 107, kFileTypeWmv = 108, kFileType3g2 = 109, kFileTypeWrf = 110,
  kFileTypeSwi = 111, kFileTypeFla = 112, kFileTypeWtv = 113, kFileTypeMxf = 114, kFileTypeAbr = 116,
  kFileTypeMax = 117, kFileTypeCdr = 118, kFileTypeDxf = 119, kFileTypeMb = 120, kFileTypePsp = 121,
  kFileTypeDgn = 122, kFileTypeExb = 123, kFileTypeJnb = 124, kFileTypeDcd = 125, kFileTypeQcd = 126,
  kFileTypeTcw = 127, kFileTypeQxp = 128, kFileTypeQpt = 129, kFileTypeSdr = 130, kFileTypePzf = 131,
  kFileTypeEmf = 132, kFileTypeOci = 133, kFileTypeIcc = 134, kFileTypePcb = 135, kFileTypeTpf = 136,
  kFileTypeGjd = 137, kFileTypeVfb = 138, kFileTypeSldprt = 139, kFileTypeTar = 140, kFileTypeIso = 141,
  kFileTypeGho = 142, kFileTypeM2t = 143, kFileTypeRaf = 144, kFileTypeMcb = 145, kFileTypeTxt = 161,
  kFileTypeIco = 162, kFileTypeXml = 163, kFileTypeRtf = 164, kFileTypeH = 165, kFileTypeC = 166,
  kFileTypeCpp = 167, kFileTypeJava = 168, kFileTypePhp = 169, kFileTypeJs = 170, kFileTypeCss = 171,
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
