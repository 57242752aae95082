// Build-time generator of the configuration files shipped beside the program:
//   Base.dat      the edition's names, UTF-16LE with BOM and CR LF lines
//   Recovery.dat  a ZIP holding "<Brand>/VerCfg.txt" (same text format),
//                 scrambled unit by unit
//   a C++ source  with the size and MD5 of Recovery.dat, compiled into the
//                 program so that only this exact file is accepted
// Inputs are readable UTF-8 texts in the repository. The output depends on the
// inputs only (fixed ZIP timestamps), so rebuilds give the same digest.
//
// Usage: make_recovery_dat VerCfg.txt Base.txt OUT_FOLDER GENERATED.cpp

#include <md5.h>
#include <zip.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "core/recovery_scramble.h"

namespace {

bool ReadText(const std::string& path, std::string& out) {
  std::ifstream f(path, std::ios::binary);
  if (!f) return false;
  out.assign(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
  return true;
}

bool WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream f(path, std::ios::binary | std::ios::trunc);
  if (!f) return false;
  f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(f);
}

void PutUnit(std::vector<uint8_t>& out, uint32_t unit) {
  out.push_back(static_cast<uint8_t>(unit & 0xFF));
  out.push_back(static_cast<uint8_t>(unit >> 8));
}

// UTF-8 text to UTF-16LE with a byte-order mark, every line ended by CR LF.
// False on malformed UTF-8: a broken configuration must stop the build.
bool ToUtf16Lines(const std::string& text, std::vector<uint8_t>& out) {
  out.clear();
  PutUnit(out, 0xFEFF);
  size_t i = 0;
  if (text.compare(0, 3, "\xEF\xBB\xBF") == 0) i = 3;
  while (i < text.size()) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    if (c == '\r') {
      ++i;
      continue;
    }
    if (c == '\n') {
      PutUnit(out, 0x0D);
      PutUnit(out, 0x0A);
      ++i;
      continue;
    }
    uint32_t cp = 0;
    size_t extra = 0;
    if (c < 0x80) cp = c, extra = 0;
    else if ((c & 0xE0) == 0xC0) cp = c & 0x1F, extra = 1;
    else if ((c & 0xF0) == 0xE0) cp = c & 0x0F, extra = 2;
    else if ((c & 0xF8) == 0xF0) cp = c & 0x07, extra = 3;
    else return false;
    if (extra != 0 && i + extra >= text.size()) return false;
    for (size_t k = 1; k <= extra; ++k) {
      unsigned char cc = static_cast<unsigned char>(text[i + k]);
      if ((cc & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (cc & 0x3F);
    }
    i += extra + 1;
    if (cp >= 0x10000) {
      cp -= 0x10000;
      PutUnit(out, 0xD800 + (cp >> 10));
      PutUnit(out, 0xDC00 + (cp & 0x3FF));
    } else {
      PutUnit(out, cp);
    }
  }
  return true;
}

// The value of "Key:" on a line of its own, blanks trimmed.
std::string FindValue(const std::string& text, const std::string& key) {
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = text.find('\n', pos);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(pos, end - pos);
    pos = end + 1;
    if (line.compare(0, key.size(), key) != 0) continue;
    std::string value = line.substr(key.size());
    while (!value.empty() && (value.front() == ' ' || value.front() == '\t')) value.erase(value.begin());
    while (!value.empty() && (value.back() == ' ' || value.back() == '\t' || value.back() == '\r')) value.pop_back();
    return value;
  }
  return "";
}

bool MakeZip(const std::string& path, const std::string& entry, const std::vector<uint8_t>& data) {
  zipFile zf = zipOpen64(path.c_str(), APPEND_STATUS_CREATE);
  if (!zf) return false;
  zip_fileinfo info{};
  info.tmz_date.tm_year = 2024;
  info.tmz_date.tm_mon = 0;  // minizip counts months from 0
  info.tmz_date.tm_mday = 1;
  bool ok = zipOpenNewFileInZip(zf, entry.c_str(), &info, nullptr, 0, nullptr, 0, nullptr, Z_DEFLATED,
                                Z_BEST_COMPRESSION) == ZIP_OK;
  ok = ok && zipWriteInFileInZip(zf, data.data(), static_cast<unsigned>(data.size())) == ZIP_OK;
  ok = ok && zipCloseFileInZip(zf) == ZIP_OK;
  return zipClose(zf, nullptr) == ZIP_OK && ok;
}

std::string Md5Upper(const std::vector<uint8_t>& bytes) {
  MD5_CTX ctx;
  MD5Init(&ctx);
  MD5Update(&ctx, bytes.data(), bytes.size());
  uint8_t digest[MD5_DIGEST_LENGTH];
  MD5Final(digest, &ctx);
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (uint8_t b : digest) {
    out += kHex[b >> 4];
    out += kHex[b & 15];
  }
  return out;
}

int Fail(const std::string& why) {
  std::fprintf(stderr, "make_recovery_dat: %s\n", why.c_str());
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 5) return Fail("usage: make_recovery_dat VerCfg.txt Base.txt OUT_FOLDER GENERATED.cpp");
  const std::string vercfg_path = argv[1], base_path = argv[2], out_dir = argv[3], generated = argv[4];

  std::string base_text, vercfg_text;
  if (!ReadText(base_path, base_text)) return Fail("cannot read " + base_path);
  if (!ReadText(vercfg_path, vercfg_text)) return Fail("cannot read " + vercfg_path);
  const std::string brand = FindValue(base_text, "Brand:");
  const std::string version = FindValue(base_text, "Version:");
  if (brand.empty() || version.empty()) return Fail(base_path + " needs Brand: and Version:");

  std::vector<uint8_t> base_dat, vercfg;
  if (!ToUtf16Lines(base_text, base_dat)) return Fail(base_path + " is not UTF-8");
  if (!ToUtf16Lines(vercfg_text, vercfg)) return Fail(vercfg_path + " is not UTF-8");
  if (!WriteBytes(out_dir + "/Base.dat", base_dat)) return Fail("cannot write Base.dat");

  const std::string zip_path = out_dir + "/Recovery.zip.tmp";
  if (!MakeZip(zip_path, brand + "/VerCfg.txt", vercfg)) return Fail("cannot write the archive");
  std::string zip_text;
  bool read_back = ReadText(zip_path, zip_text);
  std::remove(zip_path.c_str());
  if (!read_back) return Fail("cannot read the archive back");
  std::vector<uint8_t> recovery(zip_text.begin(), zip_text.end());
  trovium::ScrambleRecoveryUnits(recovery.data(), recovery.size());
  if (!WriteBytes(out_dir + "/Recovery.dat", recovery)) return Fail("cannot write Recovery.dat");

  std::string source =
      "// Generated by make_recovery_dat from tools/config; do not edit.\n"
      "#include \"core/shipped_recovery.h\"\n\n"
      "namespace trovium {\n\n"
      "uint64_t ShippedRecoveryDatSize() { return " + std::to_string(recovery.size()) + "u; }\n"
      "const char* ShippedRecoveryDatMd5() { return \"" + Md5Upper(recovery) + "\"; }\n\n"
      "}  // namespace trovium\n";
  if (!WriteBytes(generated, std::vector<uint8_t>(source.begin(), source.end()))) return Fail("cannot write " + generated);
  return 0;
}
