#include "store/extents.h"

#include <array>
#include <atomic>

#include "core/byte_view.h"

namespace trovium {

namespace {
constexpr size_t kKinds = 32;
std::array<std::atomic<ExtentBuilder>, kKinds> g_builders{};

bool StoredExtents(const FileRecord& r, std::vector<DataExtent>& extents) {
  const ByteView runs(r.runs.data(), r.runs.size());
  const uint64_t count = r.run_info;
  if (count == 0 || count > runs.size() / 16) return false;  // count must fit the stored bytes
  extents.reserve(static_cast<size_t>(count));
  for (uint64_t i = 0; i < count; ++i) {
    DataExtent e;
    if (!runs.le64(16 * i, e.start_lba) || !runs.le64(16 * i + 8, e.sector_count)) return false;
    extents.push_back(e);
  }
  return true;
}
}  // namespace

void SetExtentBuilder(int32_t fs_kind, ExtentBuilder builder) {
  if (fs_kind >= 0 && static_cast<size_t>(fs_kind) < kKinds) g_builders[fs_kind].store(builder);
}

bool BuildExtents(const VolumeRecord& v, const FileRecord& r, std::vector<DataExtent>& extents) {
  extents.clear();
  bool ok = false;
  if (r.flags & kFlagResident) {
    extents.push_back({r.data_lba, 2});
    ok = true;
  } else if (r.flags & kFlagExtentList) {
    ok = StoredExtents(r, extents);
  } else if (v.fs_kind == kFsFound || v.fs_kind == kFsFatDir || v.fs_kind == kFsExfatDir) {
    extents.push_back({r.data_lba, r.size / 512 + (r.size % 512 != 0)});
    ok = true;
  } else if (v.fs_kind >= 0 && static_cast<size_t>(v.fs_kind) < kKinds) {
    const ExtentBuilder builder = g_builders[v.fs_kind].load();
    ok = builder && builder(v, r, extents);
  }
  if (!ok) extents.clear();
  return ok;
}

}  // namespace trovium
