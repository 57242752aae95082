#include "scan/chunk_examination.h"

#include <algorithm>
#include <cstring>

#include "content/carve.h"
#include "content/signatures.h"
#include "core/memory_manager.h"
#include "scan/structure_detector.h"

namespace trovium {
namespace {

constexpr uint16_t kTagSectorCopy = 226;

// A file starts here: size it over the chunk and record it.
void RecordFileHit(ChunkExamination& exam, ByteView chunk, uint64_t chunk_lba, uint64_t lba, FileTypeCode code) {
  CarveState state{};
  state.code = code;
  state.first_lba = lba;
  state.status = exam.pending.size_step(chunk.data(), chunk.size(), state, chunk_lba);
  if (state.status == kCarvePending) queue_pending_carve(exam.pending, state);
  ScanHit hit;
  hit.kind = static_cast<uint8_t>(state.code);
  hit.sub = static_cast<uint8_t>(state.status & 0xFF);
  hit.lba = lba;
  hit.payload = (state.code == 201 || state.code == 203) ? state.record : state.size;
  exam.scratch.push_back(hit);
  if (state.code < 172) CountScanHit(*exam.stats, state.code);
}

// The payload of a structure hit; false when the hit is to be dropped.
bool StructurePayload(const ChunkExamSteps& steps, ByteView sector, ScanHit& hit) {
  switch (hit.kind) {
    case 224:
      return !steps.file_record_summary || steps.file_record_summary(sector, hit.lba, hit.payload);
    case 225: {
      uint32_t owner = 0;
      if (steps.index_block_summary && !steps.index_block_summary(sector, hit.lba, owner)) return false;
      hit.payload = owner;
      return true;
    }
    case 231: {
      // Start clusters of "." and "..": high words at 20 and 52, low at 26 and 58.
      uint64_t dot = (uint64_t{sector.le16_or0(20)} << 16) | sector.le16_or0(26);
      uint64_t dotdot = (uint64_t{sector.le16_or0(52)} << 16) | sector.le16_or0(58);
      hit.payload = dot | (dotdot << 32);
      return true;
    }
    default:
      if (HitKeepsSectorCopy(hit.kind)) {
        void* copy = MemAlloc(512, kTagSectorCopy);
        std::memcpy(copy, sector.data(), 512);
        hit.payload = reinterpret_cast<uint64_t>(copy);
      }
      return true;
  }
}

}  // namespace

bool ProcessChunk(ChunkExamination& exam, ByteView chunk, uint64_t chunk_lba) {
  if (exam.order == nullptr || exam.store == nullptr || exam.stats == nullptr) return false;
  uint64_t sectors = std::min<uint64_t>(chunk.size() / 512, kScanChunkSectors);
  if (sectors == 0) return false;
  chunk = chunk.sub(0, static_cast<size_t>(sectors * 512));
  exam.scratch.clear();
  const ChunkExamSteps& steps = exam.steps;
  uint64_t mft_start = 0;
  uint64_t mft_sectors = 0;
  uint32_t file_records = 0;
  // Sectors final so far; everything when the chunk is complete already.
  uint64_t ready = exam.await_sectors ? 0 : sectors;

  for (uint64_t i = 0; i < sectors; ++i) {
    if (i >= ready) ready = exam.await_sectors(i + 1);
    const uint8_t* data = chunk.data() + i * 512;
    uint64_t lba = chunk_lba + i;
    FileTypeCode code = kUnknownFileType;
    if (detect_file_type(ByteView(data, 512), code)) {
      // The size rule looks ahead through the whole chunk.
      if (ready < sectors) ready = exam.await_sectors(sectors);
      RecordFileHit(exam, chunk, chunk_lba, lba, code);
      continue;
    }
    ByteView sector(data, 512);
    uint8_t kind = StructKind::kNone;
    if (!DetectStructure(sector, lba, kind)) continue;
    if (kind == StructKind::kNtfsFileRecord) {
      // Records of an MFT already known are listed by the NTFS reader.
      if (mft_sectors != 0 && lba >= mft_start && lba - mft_start < mft_sectors) continue;
      if (steps.in_known_mft && steps.in_known_mft(lba, mft_start, mft_sectors)) continue;
    }
    ScanHit hit;
    hit.kind = kind;
    hit.lba = lba;
    if (!StructurePayload(steps, sector, hit)) continue;
    exam.scratch.push_back(hit);
    CountScanHit(*exam.stats, kind);
    if (kind == StructKind::kGptHeader && steps.read_gpt_entries) {
      uint8_t entries[2048] = {};
      if (steps.read_gpt_entries(entries)) HintsFromGptEntries(*exam.order, ByteView(entries, sizeof entries));
    }
    if (exam.show_while_scanning && steps.volume_from_boot_sector &&
        (kind == StructKind::kNtfsBoot || kind == StructKind::kFat32Boot || kind == StructKind::kExfatBoot)) {
      steps.volume_from_boot_sector(hit);
    }
    if (kind == StructKind::kNtfsFileRecord) ++file_records;
  }

  std::span<const ScanHit> hits(exam.scratch.data(), exam.scratch.size());
  if (exam.show_while_scanning && steps.volumes_from_file_records) {
    steps.volumes_from_file_records(hits, chunk_lba, file_records);
  }
  if (pending_carves_touch_chunk(exam.pending, chunk_lba)) {
    resolve_pending_carves(exam.pending, chunk, chunk_lba, [&exam, &steps](const CarveState& state) {
      if (steps.pending_carve_finished) steps.pending_carve_finished(state);
      // A carve finished by its own chunk's window is still in the scratch list.
      if (!UpdateStoredHit(*exam.store, state)) UpdateHitList(exam.scratch, state);
    });
  }
  if (!StoreChunkHits(*exam.store, hits.data(), hits.size(), chunk_lba)) {
    ReleaseHitPayloads(*exam.store, hits.data(), hits.size());
    hits = {};
  }
  if (exam.show_while_scanning && steps.publish_carved_files) steps.publish_carved_files(hits, chunk_lba);
  MarkChunkExamined(*exam.order, chunk_lba);
  if (!hits.empty()) HintsFromChunk(*exam.order, hits, chunk, chunk_lba);

  exam.stats->doneSectors += kScanChunkSectors;
  ProgressReport report{};
  report.reportKind = kProgressScan;
  report.scan = *exam.stats;
  PostProgress(report);
  return true;
}

}  // namespace trovium
