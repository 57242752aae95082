#include "core/zip_memory.h"

#include <unzip.h>

#include <string>

namespace trovium {
namespace {

struct MemoryStream {
  ByteView bytes;
  uint64_t pos = 0;
};

voidpf OpenStream(voidpf opaque, const void*, int mode) {
  if ((mode & ZLIB_FILEFUNC_MODE_READWRITEFILTER) != ZLIB_FILEFUNC_MODE_READ) return nullptr;
  return opaque;
}

uLong ReadStream(voidpf, voidpf stream, void* buf, uLong size) {
  auto* s = static_cast<MemoryStream*>(stream);
  if (s->pos >= s->bytes.size()) return 0;
  uint64_t left = s->bytes.size() - s->pos;
  uLong n = left < size ? static_cast<uLong>(left) : size;
  s->bytes.bytes(static_cast<size_t>(s->pos), buf, n);
  s->pos += n;
  return n;
}

uLong WriteStream(voidpf, voidpf, const void*, uLong) { return 0; }

ZPOS64_T TellStream(voidpf, voidpf stream) { return static_cast<MemoryStream*>(stream)->pos; }

long SeekStream(voidpf, voidpf stream, ZPOS64_T offset, int origin) {
  auto* s = static_cast<MemoryStream*>(stream);
  uint64_t base = 0;
  switch (origin) {
    case ZLIB_FILEFUNC_SEEK_SET: base = 0; break;
    case ZLIB_FILEFUNC_SEEK_CUR: base = s->pos; break;
    case ZLIB_FILEFUNC_SEEK_END: base = s->bytes.size(); break;
    default: return -1;
  }
  if (offset > s->bytes.size() || base > s->bytes.size() - offset) return -1;
  s->pos = base + offset;
  return 0;
}

int CloseStream(voidpf, voidpf) { return 0; }
int ErrorStream(voidpf, voidpf) { return 0; }

}  // namespace

bool ReadZipEntry(ByteView archive, std::string_view name, uint64_t max_bytes, std::vector<uint8_t>& out) {
  out.clear();
  MemoryStream stream{archive, 0};
  zlib_filefunc64_def funcs{};
  funcs.zopen64_file = OpenStream;
  funcs.zread_file = ReadStream;
  funcs.zwrite_file = WriteStream;
  funcs.ztell64_file = TellStream;
  funcs.zseek64_file = SeekStream;
  funcs.zclose_file = CloseStream;
  funcs.zerror_file = ErrorStream;
  funcs.opaque = &stream;

  unzFile zip = unzOpen2_64("memory", &funcs);
  if (!zip) return false;
  std::string entry(name);
  unz_file_info64 info{};
  bool ok = unzLocateFile(zip, entry.c_str(), 1) == UNZ_OK &&
            unzGetCurrentFileInfo64(zip, &info, nullptr, 0, nullptr, 0, nullptr, 0) == UNZ_OK &&
            info.uncompressed_size <= max_bytes && unzOpenCurrentFile(zip) == UNZ_OK;
  if (ok) {
    uint8_t buf[16384];
    for (;;) {
      int n = unzReadCurrentFile(zip, buf, sizeof(buf));
      if (n < 0) {
        ok = false;
        break;
      }
      if (n == 0) break;
      if (out.size() + static_cast<uint64_t>(n) > max_bytes) {
        ok = false;
        break;
      }
      out.insert(out.end(), buf, buf + n);
    }
    // minizip checks the CRC only when the promised size came out, so a
    // stream that ends early has to be caught here.
    if (out.size() != info.uncompressed_size) ok = false;
    if (unzCloseCurrentFile(zip) != UNZ_OK) ok = false;
  }
  unzClose(zip);
  if (!ok) out.clear();
  return ok;
}

}  // namespace trovium
