#pragma once
// Shared by the export tests: list an image into a store, check records,
// and run the export worker behind a silent view.

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "export/export_engine.h"
#include "fs/quick_listing.h"
#include "store/store.h"

namespace trovium::test {

class SilentView : public ProgressView {
 public:
  bool Tick(const ProgressReport*) override { return true; }
};

inline bool ListImage(const std::string& image, FoundFileStore& store, ListingView view = ListingView::kAll) {
  std::vector<VolumeRecord> volumes;
  if (!ListSource(image, ListOptions{}, volumes)) return false;
  LoadListing(store, std::move(volumes), view, image);
  return true;
}

// Checks every file of every real volume.
inline void CheckAllFiles(FoundFileStore& store) {
  for (uint32_t a = kFirstRealVolume; a < store.VolumeCount(); ++a) {
    std::vector<uint32_t> files;
    store.ReadVolume(a, [&](const VolumeRecord& v) {
      for (uint32_t i = kRootIndex + 1; i < v.file_count; ++i) {
        const FileRecord* r = GetRecord(v, i);
        if (r && !r->is_dir() && r->check() != kChecked) files.push_back(i);
      }
    });
    for (uint32_t i : files) store.ToggleCheck(a, i);
  }
}

inline std::shared_ptr<ExportJob> MakeJob(FoundFileStore& store, const std::string& image, const std::string& out) {
  auto job = std::make_shared<ExportJob>();
  job->store = &store;
  job->source.device_path = image;
  job->source.sector_count = std::filesystem::file_size(image) / kSectorBytes;
  job->out_dir = out;
  return job;
}

inline bool RunExport(const std::shared_ptr<ExportJob>& job) {
  SilentView view;
  return RunWithProgress(job, SaveAllToDirThread, view);
}

}  // namespace trovium::test
