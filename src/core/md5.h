#pragma once
// MD5 digest as 32 uppercase hexadecimal digits.

#include <cstddef>
#include <string>

namespace trovium {

std::string Md5Hex(const void* data, size_t length);

}  // namespace trovium
