#pragma once
// Extents the deep scan should know about, kept process-wide from the start
// of one scan to the start of the next: those of every $MFT and $MFTMirr the
// NTFS reader read (the file records found there by the scan are already
// listed), and those of every $INDEX_ALLOCATION it met.

#include <cstdint>
#include <vector>

#include "scan/hit_store.h"
#include "store/file_record.h"

namespace trovium {

// A new scan starts: both lists are emptied.
void ClearNtfsKnownExtents();

// Records a volume's MFT or mirror extents unless one of them (same LBA and
// length) is known already, in which case the whole set is skipped. Returns
// the extents newly recorded.
std::vector<DataExtent> RecordNtfsMftExtents(const std::vector<DataExtent>& extents);

void AddNtfsIndexExtents(const std::vector<DataExtent>& extents);

std::vector<DataExtent> NtfsKnownMftExtents();
std::vector<DataExtent> NtfsKnownIndexExtents();

// True when lba lies inside a known MFT extent, which is then given.
bool IsInKnownNtfsMft(uint64_t lba, uint64_t& extent_start, uint64_t& extent_sectors);

// Drops the FILE RECORD hits (kind 224) that lie inside the extent from the
// store's lists, releasing their payloads. Returns how many went.
uint64_t DropFileRecordHits(HitStore& store, const DataExtent& extent);

}  // namespace trovium
