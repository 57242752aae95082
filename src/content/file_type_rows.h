#pragma once
// The built-in rows of the file-type table, in the order the builder adds them.
// That order is visible: it is the order of each category's code list and of
// the photo and video lists.

#include <cstdint>
#include <span>

namespace trovium {

struct FileTypeRowDef {
  uint32_t code;
  uint32_t category;
  const char* extension;
  const char* extension_list;  // nullptr: the list is the extension alone
  const char* description;
};

std::span<const FileTypeRowDef> file_type_row_defs();

}  // namespace trovium
