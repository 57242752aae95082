#include "content/file_type_table.h"

#include <gtest/gtest.h>

#include <vector>

namespace trovium {
namespace {

TEST(FileTypeTable, HasEverySlotAndNamedCategories) {
  const FileTypeTable& t = build_file_type_table();
  ASSERT_EQ(t.rows.size(), 172u);
  ASSERT_EQ(t.categories.size(), 13u);
  for (uint32_t id = 0; id < 6; ++id) EXPECT_EQ(t.categories[id].name, "XXX") << id;
  const char* names[] = {"文档", "照片", "图像", "音频", "视频", "压缩文件", "其他"};
  for (uint32_t id = 6; id < 13; ++id) {
    EXPECT_EQ(t.categories[id].id, id);
    EXPECT_EQ(t.categories[id].name, names[id - 6]);
    EXPECT_EQ(t.categories[id].selected, 1u);
  }
  size_t filled = 0;
  for (uint32_t code = 0; code < t.rows.size(); ++code) {
    const FileTypeRow& row = t.rows[code];
    EXPECT_EQ(row.selected, 1u) << code;
    if (row.code == 0) {
      EXPECT_EQ(row.extension, "XXX") << code;
      EXPECT_EQ(row.category, 0u) << code;
      EXPECT_TRUE(row.description.empty() && row.extension_list.empty()) << code;
      continue;
    }
    ++filled;
    EXPECT_EQ(row.code, code);
    EXPECT_FALSE(row.description.empty()) << code;
  }
  // 120 distinct codes (121 adds, html twice); 0..35, 115 and 146..160 stay empty.
  EXPECT_EQ(filled, 120u);
  for (uint32_t code : {0u, 35u, 115u, 146u, 160u}) EXPECT_EQ(t.rows[code].code, 0u) << code;
}

TEST(FileTypeTable, RowsKeepTheirTexts) {
  const FileTypeTable& t = build_file_type_table();
  struct Case { uint32_t code, category; const char* ext; const char* list; const char* description; } cases[] = {
      {37, 6, "docx", "docx", "MS Office 2007 WORD 文档"},
      {36, 6, "doc", "doc;wps", "MS Office Word 或 WPS Office WPS 文档"},
      {143, 10, "m2t", "m2t;m2ts;m2t;ts;tp;mt2s", "M2T 视频"},
      {65, 9, "ram", "ram", "ram"},
      {77, 12, "mdb", "mdb", "Micorsoft Access 数据库"},
      {139, 8, "sldprt", "sldprt", "SolibWorks 图形文件"},
      {95, 6, "rpt", "rpt", "Crystal Reports 文件"},
      // Added first as a document, then again under "其他": the second add wins.
      {79, 12, "html", "html", "超文本标记语言文件"},
  };
  for (const auto& c : cases) {
    const FileTypeRow& row = t.rows[c.code];
    EXPECT_EQ(row.category, c.category) << c.code;
    EXPECT_EQ(row.extension, c.ext) << c.code;
    EXPECT_EQ(row.extension_list, c.list) << c.code;
    EXPECT_EQ(row.description, c.description) << c.code;
  }
}

TEST(FileTypeTable, ListsFollowTheOrderOfAdding) {
  const FileTypeTable& t = build_file_type_table();
  EXPECT_EQ(t.photo_codes, (std::vector<uint32_t>{46, 51, 49, 52, 50, 144, 103, 104, 101, 92, 98, 102, 99, 100}));
  EXPECT_EQ(t.video_codes, (std::vector<uint32_t>{73, 82, 72, 71, 67, 66, 68, 86, 64, 88, 143, 109, 108, 114, 113,
                                                  112, 111, 110}));
  EXPECT_EQ(t.categories[6].codes, (std::vector<uint32_t>{37, 38, 36, 42, 40, 87, 164, 39, 43, 41, 161, 165, 166, 167,
                                                          168, 169, 79, 89, 90, 97, 96, 91, 93, 94, 95}));
  EXPECT_EQ(t.categories[11].codes, (std::vector<uint32_t>{61, 62, 60, 84, 140, 141, 142}));
  EXPECT_EQ(t.categories[12].codes, (std::vector<uint32_t>{77, 63, 78, 74, 79, 163, 80, 81, 145, 170, 171}));
  EXPECT_EQ(t.categories[9].codes.size(), 13u);
  EXPECT_EQ(t.categories[8].codes.size(), 33u);
  for (uint32_t id = 0; id < 6; ++id) EXPECT_TRUE(t.categories[id].codes.empty()) << id;
}

TEST(FileTypeTable, TypeFromFileName) {
  struct Case { const char* name; int code; } cases[] = {
      {"Report.DOCX", 37}, {"photo.JPG", 46}, {"clip.Mts", 88}, {"a.b.mp3", 54}, {"x.html", 79},
      {"archive.tar.gz", 238}, {"noext", 238}, {".profile", 238}, {"", 238}, {"name.", 238},
      {"page.htm", 238},    // only primary extensions map to a code
      {"letter.wps", 238},  // an alternative of the doc row's list
      {"data.xxx", 238},    // empty slots never match
      {"a.docx ", 238},     {"文件.7Z", 60},
  };
  for (const auto& c : cases) EXPECT_EQ(type_from_file_name(c.name), c.code) << c.name;
}

TEST(FileTypeTable, FileNameAndCodeClasses) {
  EXPECT_TRUE(is_text_file_name("page.htm"));
  EXPECT_TRUE(is_text_file_name("CONFIG.JSON"));
  EXPECT_FALSE(is_text_file_name("notes.rtf"));
  EXPECT_FALSE(is_text_file_name(".ini"));
  EXPECT_FALSE(is_text_file_name("h"));
  EXPECT_TRUE(is_image_file_name("a.TIF"));
  EXPECT_FALSE(is_image_file_name("a.jpeg"));
  EXPECT_FALSE(is_image_file_name("jpg"));

  EXPECT_TRUE(is_text_type(kFileTypeHtml));
  EXPECT_TRUE(is_text_type(kFileTypeCss));
  EXPECT_FALSE(is_text_type(kFileTypeRtf));
  EXPECT_TRUE(is_photo_type(kFileTypeX3f));
  EXPECT_FALSE(is_photo_type(kFileTypePng));  // a picture, but not a photo
  EXPECT_TRUE(is_video_type(kFileTypeWrf));
  EXPECT_FALSE(is_video_type(kFileTypeMp3));
  EXPECT_TRUE(is_listed_type(kFileTypeMp3, false));
  EXPECT_FALSE(is_listed_type(kFileTypeMp3, true));
  EXPECT_TRUE(is_listed_type(kFileTypeJpg, true));
  EXPECT_TRUE(is_listed_type(kFileTypeMov, true));
}

TEST(FileTypeTable, CopiesAreIndependentAndShortCopiesStartAt36) {
  std::vector<FileTypeRow> rows;
  copy_file_type_rows(rows, false);
  ASSERT_EQ(rows.size(), 136u);
  EXPECT_EQ(rows[0].code, 36u);
  EXPECT_EQ(rows.back().code, 171u);
  copy_file_type_rows(rows, true);
  ASSERT_EQ(rows.size(), 172u);
  EXPECT_EQ(rows[46].extension, "jpg");

  std::vector<FileTypeCategory> categories;
  copy_file_type_categories(categories, false);
  ASSERT_EQ(categories.size(), 7u);
  EXPECT_EQ(categories[0].id, 6u);
  copy_file_type_categories(categories, true);
  ASSERT_EQ(categories.size(), 13u);

  FileTypeTable copy = copy_file_type_table();
  copy.rows[46].extension = "changed";
  copy.rows[46].selected = 0;
  copy.categories[7].codes.clear();
  const FileTypeTable& t = build_file_type_table();
  EXPECT_EQ(t.rows[46].extension, "jpg");
  EXPECT_EQ(t.rows[46].selected, 1u);
  EXPECT_EQ(t.categories[7].codes.size(), 14u);
  EXPECT_EQ(type_from_file_name("a.jpg"), 46);
}

TEST(FileTypeTable, WriteBackChangesOnlySelection) {
  std::vector<FileTypeRow> rows;
  std::vector<FileTypeCategory> categories;
  copy_file_type_rows(rows, true);
  copy_file_type_categories(categories, true);
  rows[54].selected = 0;
  rows[54].extension = "edited";
  categories[9].selected = 0;
  categories[9].name = "edited";
  write_back_file_type_selection(categories, rows);

  FileTypeTable after = copy_file_type_table();
  EXPECT_EQ(after.rows[54].selected, 0u);
  EXPECT_EQ(after.rows[54].extension, "mp3");
  EXPECT_EQ(after.categories[9].selected, 0u);
  EXPECT_EQ(after.categories[9].name, "音频");

  rows[54].selected = 1;
  categories[9].selected = 1;
  write_back_file_type_selection(categories, rows);
  EXPECT_EQ(copy_file_type_table().rows[54].selected, 1u);
}

}  // namespace
}  // namespace trovium
