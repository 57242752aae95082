// The quick listing of every image against the files The Sleuth Kit lists:
// each allocated file at its path with its size, each deleted one present
// and marked deleted.

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "common/test_support.h"
#include "fs/quick_listing.h"

namespace trovium {
namespace {

nlohmann::json Truth(const std::string& image) {
  std::ifstream f(std::string(TROVIUM_SOURCE_TESTDATA_DIR) + "/fixtures/" + image + ".truth.json");
  return nlohmann::json::parse(f, nullptr, false);
}

struct Listed {
  uint64_t size;
  bool deleted;
  bool dir;
};

// Every record below the root by its "/"-separated path.
std::multimap<std::string, Listed> Paths(const VolumeRecord& v) {
  std::multimap<std::string, Listed> out;
  std::vector<std::pair<uint32_t, std::string>> stack{{kRootIndex, ""}};
  std::vector<uint8_t> seen(v.file_count, 0);
  while (!stack.empty()) {
    auto [index, prefix] = stack.back();
    stack.pop_back();
    for (uint32_t c : v.files[index].children) {
      const FileRecord* r = GetRecord(v, c);
      if (!r || seen[c]) continue;
      seen[c] = 1;
      out.insert({prefix + r->name, Listed{r->size, r->is_deleted(), r->is_dir()}});
      if (r->is_dir()) stack.push_back({c, prefix + r->name + "/"});
    }
  }
  return out;
}

std::string BaseName(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

TEST(QuickListingFixture, ListsWhatTheSleuthKitLists) {
  for (const char* image : {"disk-mbr.img", "disk-gpt.img", "ntfs.img", "ntfs-wingeom.img", "fat16.img", "fat32.img",
                            "fat32-wingeom.img", "exfat.img"}) {
    SCOPED_TRACE(image);
    const nlohmann::json truth = Truth(image);
    ASSERT_TRUE(truth.is_object());
    std::vector<VolumeRecord> volumes;
    ASSERT_TRUE(ListSource(test::TestDataPath(std::string("fixtures/") + image), ListOptions{}, volumes));
    ASSERT_EQ(volumes.size(), truth["partitions"].size());
    std::vector<std::multimap<std::string, Listed>> paths;
    for (const VolumeRecord& v : volumes) paths.push_back(Paths(v));

    size_t allocated = 0, deleted = 0;
    for (const nlohmann::json& f : truth["files"]) {
      const std::string path = f["path"].get<std::string>();
      if (f["dir"].get<bool>() || path.rfind("$OrphanFiles/", 0) == 0) continue;
      SCOPED_TRACE(path);
      const auto& listed = paths[f["partition"].get<size_t>()];
      const uint64_t size = f["size"].get<uint64_t>();
      if (!f["deleted"].get<bool>()) {
        ++allocated;
        auto range = listed.equal_range(path);
        bool found = false;
        for (auto it = range.first; it != range.second; ++it) found |= !it->second.deleted && it->second.size == size;
        EXPECT_TRUE(found);
        continue;
      }
      // Deleted: the 8.3 name's first character is lost, and the directories
      // above may be renamed too; the name's rest and the size remain.
      ++deleted;
      const std::string base = BaseName(path).substr(1);
      bool found = false;
      for (const auto& [p, l] : listed) {
        const std::string b = BaseName(p);
        found |= l.deleted && !l.dir && l.size == size && b.size() >= 1 && b.substr(1) == base;
      }
      EXPECT_TRUE(found);
    }
    EXPECT_GT(allocated, 0u);
    EXPECT_GT(deleted, 0u);
  }
}

// The store's existing and deleted views split the listing between them.
TEST(QuickListingFixture, ExistingAndDeletedViewsSplitTheFiles) {
  std::vector<VolumeRecord> volumes;
  ASSERT_TRUE(ListSource(test::TestDataPath("fixtures/fat32.img"), ListOptions{}, volumes));
  ASSERT_EQ(volumes.size(), 1u);
  size_t existing_files = 0, deleted_files = 0;
  for (const auto& [p, l] : Paths(volumes[0])) (l.deleted ? deleted_files : existing_files) += !l.dir;
  for (ListingView view : {ListingView::kExisting, ListingView::kDeleted}) {
    FoundFileStore store;
    LoadListing(store, {volumes[0]}, view, "fat32.img");
    ASSERT_EQ(store.VolumeCount(), kFirstRealVolume + 1);
    store.ReadVolume(kFirstRealVolume, [&](const VolumeRecord& v) {
      size_t files = 0;
      for (const auto& [p, l] : Paths(v)) {
        if (l.dir) continue;
        ++files;
        EXPECT_EQ(l.deleted, view == ListingView::kDeleted) << p;
      }
      EXPECT_EQ(files, view == ListingView::kDeleted ? deleted_files : existing_files);
      EXPECT_EQ(v.view, view == ListingView::kDeleted ? 2 : 1);
    });
  }
}

}  // namespace
}  // namespace trovium
