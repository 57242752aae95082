#include "scan/structure_detector.h"

namespace trovium {
namespace {

constexpr size_t kSector = 512;

bool HasBootSignature(const ByteView& s) { return s.u8_or0(510) == 0x55 && s.u8_or0(511) == 0xAA; }

bool IsPowerOfTwoUpTo128(uint8_t v) { return v != 0 && (v & (v - 1)) == 0; }

bool IsValidBytesPerSector(uint16_t v) { return v == 512 || v == 1024 || v == 2048 || v == 4096; }

// Signature, short jump, sector size and cluster size: shared by NTFS and FAT16.
bool PassesCommonBootChecks(const ByteView& s) {
  if (s.size() < kSector || !HasBootSignature(s)) return false;
  if (s.u8_or0(0) != 0xEB && s.u8_or0(2) != 0x90) return false;
  return IsValidBytesPerSector(s.le16_or0(11)) && IsPowerOfTwoUpTo128(s.u8_or0(13));
}

// Windows writes 63 sectors per track or 255 heads; other formatters do not
// (mkntfs leaves 0/0 on an image, mkfs.fat 32/64), so their volumes are
// accepted on the stronger evidence checked by the callers instead.
bool HasWindowsGeometry(const ByteView& s) { return s.le16_or0(24) == 63 || s.le16_or0(26) == 255; }

// cluster * sectors_per_cluster < total, without overflowing.
bool ClusterInsideVolume(uint64_t cluster, uint64_t sectors_per_cluster, uint64_t total) {
  uint64_t first_sector = 0;
  if (__builtin_mul_overflow(cluster, sectors_per_cluster, &first_sector)) return false;
  return first_sector < total;
}

bool HasNtfsLayoutEvidence(const ByteView& s) {
  if (!s.matches(3, "NTFS    ", 8)) return false;
  uint64_t total = s.le64_or0(40);
  if (total == 0) return false;
  uint64_t spc = s.u8_or0(13);
  return ClusterInsideVolume(s.le64_or0(48), spc, total) && ClusterInsideVolume(s.le64_or0(56), spc, total);
}

// Reserved sectors, sectors per FAT and total sectors all present; the FAT
// count (1 or 2) is required by the callers anyway.
bool HasFatLayoutEvidence(const ByteView& s, uint32_t sectors_per_fat) {
  uint32_t total = s.le16_or0(19);
  if (total == 0) total = s.le32_or0(32);
  uint8_t fats = s.u8_or0(16);
  return s.le16_or0(14) != 0 && sectors_per_fat != 0 && total != 0 && (fats == 1 || fats == 2);
}

bool IsExfatEntryType(uint8_t t) {
  switch (t) {
    case 0x85: case 0x05: case 0xC0: case 0x40: case 0xC1: case 0x41: case 0x83: case 0x03: return true;
    default: return false;
  }
}

// Volume-label entry at `at`: fewer than 16 characters, all nonzero, and
// zeros from the end of the name up to the end of the entry.
bool IsExfatLabelEntry(const ByteView& s, size_t at) {
  if (!s.has(at, 32)) return false;
  uint8_t chars = s.u8_or0(at + 1);
  if (chars >= 16) return false;
  for (size_t i = 0; i < chars; ++i) {
    if (s.le16_or0(at + 2 + 2 * i) == 0) return false;
  }
  for (size_t b = 2 + 2 * static_cast<size_t>(chars); b < 32; ++b) {
    if (s.u8_or0(at + b) != 0) return false;
  }
  return true;
}

}  // namespace

bool IsNtfsBootSector(ByteView s) {
  if (!PassesCommonBootChecks(s)) return false;
  if (s.u8_or0(21) != 0xF8 || s.u8_or0(64) != 0xF6) return false;
  return HasWindowsGeometry(s) || HasNtfsLayoutEvidence(s);
}

bool IsFat16BootSector(ByteView s) {
  if (!PassesCommonBootChecks(s)) return false;
  if (!s.matches(54, "FAT1", 4) || s.u8_or0(58) != '6') return false;
  uint8_t fats = s.u8_or0(16);
  if ((fats != 1 && fats != 2) || s.u8_or0(21) != 0xF8) return false;
  return HasWindowsGeometry(s) || HasFatLayoutEvidence(s, s.le16_or0(22));
}

bool IsFat32BootSector(ByteView s) {
  if (s.size() < kSector || !HasBootSignature(s)) return false;
  if (!s.matches(82, "FAT3", 4) || s.u8_or0(86) != '2') return false;
  if (s.u8_or0(0) != 0xEB && s.u8_or0(0) != 0xE9) return false;
  if (!IsValidBytesPerSector(s.le16_or0(11)) || !IsPowerOfTwoUpTo128(s.u8_or0(13))) return false;
  uint8_t fats = s.u8_or0(16);
  if ((fats != 1 && fats != 2) || s.u8_or0(21) != 0xF8) return false;
  return HasWindowsGeometry(s) || HasFatLayoutEvidence(s, s.le32_or0(36));
}

bool IsExfatBootSector(ByteView s) {
  if (s.size() < kSector || !HasBootSignature(s)) return false;
  if (s.u8_or0(0) != 0xEB && s.u8_or0(2) != 0x90) return false;
  return s.matches(3, "EXFAT", 5) && s.u8_or0(108) == 9 && s.u8_or0(109) <= 16;
}

bool IsPartitionTableSector(ByteView s) {
  if (s.size() < kSector || !HasBootSignature(s)) return false;
  for (size_t e = 446; e < 510; e += 16) {
    uint8_t boot = s.u8_or0(e);
    uint8_t type = s.u8_or0(e + 4);
    if ((boot == 0 || boot == 0x80) && type >= 1 && type <= 0x1C && s.le32_or0(e + 8) != 0 &&
        s.le32_or0(e + 12) >= 0x4000) {
      return true;
    }
  }
  return false;
}

bool IsFatVolumeLabelName(ByteView name) {
  if (name.size() < 11) return false;
  size_t i = 0;
  while (i < 11) {
    uint8_t b = name.u8_or0(i);
    if (b == 0) return false;
    if ((b >= 0x20 && b <= 0x7E) || b == 0x09 || b == 0x0A || b == 0x0D || i == 10) {
      ++i;
      continue;
    }
    // A double-byte character: the lead byte and the next, read little-endian.
    uint16_t pair = name.le16_or0(i);
    if (pair < 0xA1A1 || pair > 0xFEFE) return false;
    i += 2;
  }
  return true;
}

bool IsFatRootDirSector(ByteView s) {
  if (s.size() < kSector || s.u8_or0(11) != 0x08) return false;
  for (size_t b = 13; b <= 21; ++b) {
    if (s.u8_or0(b) != 0) return false;
  }
  for (size_t b = 26; b <= 31; ++b) {
    if (s.u8_or0(b) != 0) return false;
  }
  return IsFatVolumeLabelName(s.sub(0, 11));
}

bool IsExfatDirSectorFrom(ByteView s, size_t first) {
  if (first >= 16 || s.size() < kSector) return false;
  enum { kBetweenSets, kWantStream, kWantName } state = kBetweenSets;
  int remaining = 0;
  int complete_sets = 0;
  for (size_t index = first; index < 16; ++index) {
    const size_t at = index * 32;
    uint8_t type = s.u8_or0(at);
    if (type == 0) break;
    if (!IsExfatEntryType(type)) return false;
    bool is_label = type == 0x83 || type == 0x03;
    if (is_label && !IsExfatLabelEntry(s, at)) return false;
    switch (state) {
      case kBetweenSets:
        if (type == 0x85 || type == 0x05) {
          remaining = s.u8_or0(at + 1);
          state = kWantStream;
        }
        break;
      case kWantStream:
        if (type != 0xC0 && type != 0x40) return false;
        --remaining;
        state = kWantName;
        break;
      case kWantName:
        if (type != 0xC1 && type != 0x41) return false;
        if (--remaining == 0) {
          ++complete_sets;
          state = kBetweenSets;
        }
        break;
    }
  }
  return complete_sets > 0;
}

bool IsExfatRootDirSector(ByteView s) {
  if (s.size() < kSector) return false;
  uint8_t t = s.u8_or0(0);
  if ((t != 0x83 && t != 0x03) || !IsExfatLabelEntry(s, 0)) return false;
  if (s.u8_or0(32) != 0x81 || s.u8_or0(64) != 0x82) return false;
  return IsExfatDirSectorFrom(s, 3);
}

bool DetectStructure(ByteView s, uint64_t lba, uint8_t& kind) {
  kind = StructKind::kNone;
  if (s.size() < kSector) return false;

  // Boot sectors and partition tables; a signed sector that passes none of
  // them is not anything else either.
  if (HasBootSignature(s)) {
    if (IsNtfsBootSector(s)) kind = StructKind::kNtfsBoot;
    else if (IsFat16BootSector(s)) kind = StructKind::kFat16Boot;
    else if (IsFat32BootSector(s)) kind = StructKind::kFat32Boot;
    else if (IsExfatBootSector(s)) kind = StructKind::kExfatBoot;
    else if (IsPartitionTableSector(s)) kind = lba == 0 ? StructKind::kMbr : StructKind::kEbr;
    return kind != StructKind::kNone;
  }

  const uint32_t head = s.le32_or0(0);
  if (head == 0x454C4946) {  // "FILE"
    uint32_t used = s.le32_or0(24);
    uint32_t first_attr = s.le32_or0(56);
    bool attr_ok = first_attr == 0x10 || first_attr == 0x20 || first_attr == 0x30 || first_attr == 0x50 ||
                   first_attr == 0x80 || first_attr == 0xFFFFFFFF;
    if (s.le16_or0(20) == 0x38 && s.le32_or0(28) == 0x400 && used <= 0x400 && used % 8 == 0 && attr_ok) {
      kind = StructKind::kNtfsFileRecord;
    }
    return kind != StructKind::kNone;
  }
  if (head == 0x2020202E && s.le32_or0(32) == 0x20202E2E) {  // "." and ".." entries
    kind = StructKind::kFatDirEntry;
    return true;
  }
  if (head == 0x58444E49) {  // "INDX"
    kind = StructKind::kNtfsIndexBlock;
    return true;
  }
  if (s.le32_or0(16) == 0 && s.le32_or0(28) == 0 && IsFatRootDirSector(s)) {
    kind = StructKind::kFatRootDirEntry;
    return true;
  }
  const uint8_t b0 = static_cast<uint8_t>(head);
  if ((b0 == 0x83 || b0 == 0x03) && s.u8_or0(32) == 0x81 && s.u8_or0(64) == 0x82 && IsExfatRootDirSector(s)) {
    kind = StructKind::kExfatRootDirEntry;
    return true;
  }
  if (IsExfatEntryType(b0) && IsExfatDirSectorFrom(s, 0)) {
    kind = StructKind::kExfatDirEntry;
    return true;
  }
  if (lba == 1 && head == 0x20494645 && s.le32_or0(4) == 0x54524150) {  // "EFI PART"
    kind = StructKind::kGptHeader;
    return true;
  }
  return false;
}

}  // namespace trovium
