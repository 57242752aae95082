#include "core/md5.h"

#include <md5.h>

#include <cstdint>

namespace trovium {

std::string Md5Hex(const void* data, size_t length) {
  MD5_CTX ctx;
  MD5Init(&ctx);
  if (length > 0) MD5Update(&ctx, static_cast<const uint8_t*>(data), length);
  uint8_t digest[MD5_DIGEST_LENGTH];
  MD5Final(digest, &ctx);
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(2 * MD5_DIGEST_LENGTH);
  for (uint8_t b : digest) {
    out += kHex[b >> 4];
    out += kHex[b & 15];
  }
  return out;
}

}  // namespace trovium
