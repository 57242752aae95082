#include "scan/file_signature.h"

namespace trovium {
namespace {

FileSignatureHooks& Hooks() {
  static FileSignatureHooks hooks;
  return hooks;
}

}  // namespace

void SetFileSignatureHooks(const FileSignatureHooks& hooks) { Hooks() = hooks; }

const FileSignatureHooks& FileSignatures() { return Hooks(); }

bool detect_file_type(const uint8_t* sector, FileTypeCode& code) {
  code = kUnknownFileType;
  const FileSignatureHooks& hooks = Hooks();
  if (hooks.detect_file_type == nullptr || sector == nullptr) return false;
  if (!hooks.detect_file_type(sector, code) || code >= kUnknownFileType) {
    code = kUnknownFileType;
    return false;
  }
  return true;
}

}  // namespace trovium
