#include "content/signatures.h"

namespace trovium {
namespace {

// Byte strings compared at a position; N counts the literal's terminator.
template <size_t N>
inline bool At(ByteView v, size_t at, const char (&text)[N]) {
  return v.matches(at, text, N - 1);
}

inline uint8_t B(ByteView v, size_t at) { return v.u8_or0(at); }

// Tests that do not look at byte 0; each is run at its place in the order.

// "Standard J" at 4 (bytes 0..3 not tested).
inline bool AccessJet(ByteView v) { return B(v, 4) == 'S' && At(v, 4, "Standard J"); }

// "{\rtf1" at 0 or at 3.
inline bool Rtf(ByteView v) {
  return (B(v, 0) == '{' && At(v, 0, "{\\rtf1")) || (B(v, 3) == '{' && At(v, 3, "{\\rtf1"));
}

// "WAVE" at 8 and "fmt" at 12.
inline bool Wave(ByteView v) { return B(v, 8) == 'W' && At(v, 8, "WAVE") && At(v, 12, "fmt"); }

// "ftyp" at 4: the brand at 8 chooses the code.
inline bool Ftyp(ByteView v, FileTypeCode& code) {
  if (B(v, 4) != 'f' || !At(v, 4, "ftyp")) return false;
  if (At(v, 8, "M4A ")) code = kFileTypeM4a;
  else if (At(v, 8, "3gp")) code = kFileType3gp;
  else if (At(v, 8, "M4V ")) code = kFileTypeM4v;
  else if (At(v, 8, "isom") || At(v, 8, "mmp4")) code = kFileTypeMp4;
  else code = kFileTypeMov;
  return true;
}

// Markup after at most 10 line breaks; byte 0 is CR, LF or "<".
bool MarkupAfterBreaks(ByteView v) {
  size_t at = 0;
  while (at < 10 && (B(v, at) == '\r' || B(v, at) == '\n')) ++at;
  if (B(v, at) != '<') return false;
  if (At(v, at, "<html") || At(v, at, "<HTML") || At(v, at, "<!doctyp") || At(v, at, "<!DOCTYP") ||
      At(v, at, "<!--") || At(v, at, "<xs:schema")) {
    return true;
  }
  return At(v, at, "<?xml") && v.has(at + 5, 1) && B(v, at + 5) == 0;
}

// After the RTF test: WAVE (24th) then the "ftyp" family (39th..43rd) with
// nothing of this first byte between or after them.
inline FileTypeCode Shared24And39(ByteView v) {
  FileTypeCode code = kUnknownFileType;
  if (Wave(v)) return kFileTypeWav;
  if (Ftyp(v, code)) return code;
  return kUnknownFileType;
}

inline FileTypeCode Detect(ByteView v) {
  // Blank and erased sectors are the most common ones on a disk.
  uint64_t head = 0;
  if (!v.le64(0, head)) return kUnknownFileType;
  if (head == 0 || head == 0x7F7F7F7F7F7F7F7FULL) return kUnknownFileType;

  const uint8_t b0 = static_cast<uint8_t>(head);
  FileTypeCode code = kUnknownFileType;
  if (b0 == 0xD0 && At(v, 0, "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1")) return kFileTypeDoc;
  if (b0 == 'P' && At(v, 0, "PK\x03\x04") && At(v, 38, "_Types].xml")) return kFileTypeDocx;
  if (AccessJet(v)) return kFileTypeMdb;

  switch (b0) {
    case 0x00:
      if (At(v, 0, "\x00\x01\x00\x00") && At(v, 4, "Standard ACE DB")) return kFileTypeAccdb;
      if (Rtf(v)) return kFileTypeRtf;
      if (At(v, 4, "\x47\x40\x00\x10")) return kFileTypeMts;
      if (Wave(v)) return kFileTypeWav;
      if (Ftyp(v, code)) return code;
      if (At(v, 0, "\x00\x00\x01\xBA") && (At(v, 4, "\x21\x00\x01\x00") || At(v, 4, "\x44\x00\x04\x00"))) {
        return kFileTypeMpg;
      }
      return kUnknownFileType;
    case 0x01:
      if (At(v, 0, "\x01\xC3\x5B\x50")) return kFileTypePub;
      if (Rtf(v)) return kFileTypeRtf;
      if (At(v, 4, "\x47\x40\x00\x10")) return kFileTypeMts;
      return Shared24And39(v);
    case 0x1A:
      if (At(v, 0, "\x1A\x45\xDF\xA3")) return kFileTypeMkv;
      break;
    case '%':
      if (At(v, 0, "%PDF") && At(v, 4, "-1.")) return kFileTypePdf;
      if (Rtf(v)) return kFileTypeRtf;
      if (At(v, 0, "%!PS-Ado")) return kFileTypeAi;
      return Shared24And39(v);
    case '.':
      if (Rtf(v)) return kFileTypeRtf;
      if (Wave(v)) return kFileTypeWav;
      if (At(v, 0, ".ra\x3F")) return kFileTypeRam;
      if (At(v, 0, ".RMF")) return kFileTypeRmvb;
      return Ftyp(v, code) ? code : kUnknownFileType;
    case '0':
      if (Rtf(v)) return kFileTypeRtf;
      if (Wave(v)) return kFileTypeWav;
      if (At(v, 0, "\x30\x26\xB2\x75\x8E\x66\xCF\x11")) return kFileTypeWmv;
      return Ftyp(v, code) ? code : kUnknownFileType;
    case '7':
      if (Rtf(v)) return kFileTypeRtf;
      if (Wave(v)) return kFileTypeWav;
      if (At(v, 0, "\x37\x7A\xBC\xAF\x27")) return kFileType7z;
      return Ftyp(v, code) ? code : kUnknownFileType;
    case '8':
      if (Rtf(v)) return kFileTypeRtf;
      if (At(v, 0, "8BPS") && At(v, 4, "\x00\x01\x00\x00")) return kFileTypePsd;
      return Shared24And39(v);
    case '?':
      if (At(v, 0, "\x3F\x5F\x03\x00")) return kFileTypeHlp;
      break;
    case 'L':
      if (At(v, 0, "\x4C\x4E\x02\x00")) return kFileTypeHlp;
      break;
    case '<':
    case '\r':
    case '\n':
    case 'l':
      if (Rtf(v)) return kFileTypeRtf;
      if ((code = Shared24And39(v)) != kUnknownFileType) return code;
      if (b0 == 'l') return At(v, 0, "l ve") ? FileTypeCode{kFileTypeHtml} : kUnknownFileType;
      if (b0 == '<' && At(v, 0, "<Ui ") && At(v, 4, "xmln")) return kFileTypeXml;
      if (b0 == '<' && (At(v, 0, "<?xm") || At(v, 0, "<HEAD>") || At(v, 0, "<script"))) return kFileTypeHtml;
      return MarkupAfterBreaks(v) ? FileTypeCode{kFileTypeHtml} : kUnknownFileType;
    case 'A':
      if (Rtf(v)) return kFileTypeRtf;
      if ((code = Shared24And39(v)) != kUnknownFileType) return code;
      return At(v, 0, "AC10") ? FileTypeCode{kFileTypeDwg} : kUnknownFileType;
    case 'B':
      if (Rtf(v)) return kFileTypeRtf;
      if (B(v, 1) == 'M' && B(v, 7) == 0 && B(v, 9) == 0 && B(v, 15) == 0 && v.has(0, 16)) {
        const uint8_t header = B(v, 14);
        if (header == 0x0C || header == 0x28 || header == 0x6C || header == 0x7C) return kFileTypeBmp;
      }
      return Shared24And39(v);
    case 0xEF:
      if (At(v, 0, "\xEF\xBB\xBF" "MIME-")) return kFileTypeMht;
      if (Rtf(v)) return kFileTypeRtf;
      if ((code = Shared24And39(v)) != kUnknownFileType) return code;
      if (At(v, 0, "\xEF\xBB\xBF\x0D") && At(v, 28, " Sol")) return kFileTypeSln;
      return At(v, 0, "\xEF\xBB\xBF\x3C") ? FileTypeCode{kFileTypeHtml} : kUnknownFileType;
    case 'F':
      if (At(v, 0, "From") && B(v, 4) == ':') return kFileTypeMht;
      if (Rtf(v)) return kFileTypeRtf;
      if (At(v, 0, "FUJIFILM")) return kFileTypeRaf;
      if (Wave(v)) return kFileTypeWav;
      if (At(v, 0, "FLV\x01")) return kFileTypeFlv;
      return Ftyp(v, code) ? code : kUnknownFileType;
    case 'G':
      if (At(v, 0, "GIF8") && (B(v, 4) == '7' || B(v, 4) == '9') && B(v, 5) == 'a') return kFileTypeGif;
      if (Rtf(v)) return kFileTypeRtf;
      if (At(v, 0, "\x47\x48\x10\x11") && B(v, 4) == 0 && B(v, 5) == 0 && B(v, 6) == 1) return kFileTypeM2t;
      return Shared24And39(v);
    case 'I':
      if (At(v, 0, "ITSF") && B(v, 8) == 0x60) return kFileTypeChm;
      if (At(v, 0, "ISc(")) return kFileTypeCab;
      if (Rtf(v)) return kFileTypeRtf;
      if (At(v, 0, "II*\x00") || At(v, 0, "IIRO") || At(v, 0, "IIU\x00")) return kFileTypeCr2;
      if (Wave(v)) return kFileTypeWav;
      if (At(v, 0, "ID3") && B(v, 3) >= 2 && B(v, 3) <= 4) return kFileTypeMp3;
      return Ftyp(v, code) ? code : kUnknownFileType;
    case 'M':
      if (At(v, 0, "MIME-Ver")) return kFileTypeMht;
      if (At(v, 0, "MSCF") && At(v, 4, "\x00\x00\x00\x00")) return kFileTypeCab;
      if (At(v, 0, "MCVL")) return kFileTypeMcb;
      if (Rtf(v)) return kFileTypeRtf;
      if (At(v, 0, "MM\x00*")) return kFileTypeCr2;
      if (Wave(v)) return kFileTypeWav;
      if (At(v, 0, "MThd")) return kFileTypeMid;
      if (At(v, 0, "MAC ")) return kFileTypeApe;
      if (Ftyp(v, code)) return code;
      if (At(v, 0, "Micr") && At(v, 28, "orks")) return kFileTypeDsw;
      if (At(v, 0, "Micr") && At(v, 24, "Solu")) return kFileTypeSln;
      return kUnknownFileType;
    case 'O':
      if (Rtf(v)) return kFileTypeRtf;
      if (Wave(v)) return kFileTypeWav;
      if (At(v, 0, "OggS")) return kFileTypeOgg;
      return Ftyp(v, code) ? code : kUnknownFileType;
    case 'P':
      if (Rtf(v)) return kFileTypeRtf;
      if (Wave(v)) return kFileTypeWav;
      if (At(v, 0, "PK\x03\x04") || At(v, 0, "PK00") || At(v, 0, "PK\x05\x06")) return kFileTypeZip;
      return Ftyp(v, code) ? code : kUnknownFileType;
    case 'R':
      if (Rtf(v)) return kFileTypeRtf;
      if (Wave(v)) return kFileTypeWav;
      if (At(v, 0, "Rar!\x1A\x07\x00")) return kFileTypeRar;
      if (At(v, 0, "RIFF") && At(v, 12, "anih")) return kFileTypeAni;
      if (Ftyp(v, code)) return code;
      return At(v, 0, "RIFF") && At(v, 8, "AVI ") ? FileTypeCode{kFileTypeAvi} : kUnknownFileType;
    case '_':
      if (Rtf(v)) return kFileTypeRtf;
      if (Wave(v)) return kFileTypeWav;
      if (At(v, 0, "\x5F\x27\xA8\x89")) return kFileTypeJar;
      return Ftyp(v, code) ? code : kUnknownFileType;
    case 0x89:
      if (At(v, 0, "\x89PNG\x0D\x0A\x1A\x0A")) return kFileTypePng;
      break;
    case 0xFF:
      if (Rtf(v)) return kFileTypeRtf;
      if (B(v, 1) == 0xD8 && B(v, 2) == 0xFF) {
        switch (B(v, 3)) {
          case 0xDB: case 0xE0: case 0xE1: case 0xEB: case 0xEE: case 0xFE: case 0xC4: case 0xE9:
            return kFileTypeJpg;
          default:
            break;
        }
      }
      if (Wave(v)) return kFileTypeWav;
      if (At(v, 0, "\xFF\xFA\x90\x40") || At(v, 0, "\xFF\xE3\x20\xC0")) return kFileTypeWma;
      if (Ftyp(v, code)) return code;
      return At(v, 0, "\xFF\xFE\x3C\x00") ? FileTypeCode{kFileTypeHtml} : kUnknownFileType;
    default:
      break;
  }
  // First bytes with no test of their own, or whose own tests all come
  // before the RTF test.
  if (Rtf(v)) return kFileTypeRtf;
  return Shared24And39(v);
}

}  // namespace

bool detect_file_type(ByteView sector, FileTypeCode& code) {
  code = Detect(sector);
  return code != kUnknownFileType;
}

}  // namespace trovium
