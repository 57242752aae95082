#pragma once
// A sysfs block tree, a /dev folder and a mountinfo file laid out the way the
// kernel lays them out, built in a test's temporary folder.

#include <filesystem>
#include <fstream>
#include <string>

#include "platform/block_devices.h"

namespace trovium::test {

class FakeBlockTree {
 public:
  explicit FakeBlockTree(const std::string& root) : root_(root) {
    std::filesystem::create_directories(root_ + "/sys/block");
    std::filesystem::create_directories(root_ + "/dev");
    Write(root_ + "/mountinfo", "");
  }

  platform::BlockDeviceRoots roots() const { return {root_ + "/sys", root_ + "/mountinfo", root_ + "/dev"}; }
  std::string DevNode(const std::string& name) const { return root_ + "/dev/" + name; }

  // A whole disk. parent is the device's folder below sys/devices (empty for
  // a virtual device such as a loop device); /sys/block/<name> links to
  // <parent>/block/<name> and <that>/device to the parent.
  void AddDisk(const std::string& name, const std::string& parent, uint64_t sectors, bool removable,
               const std::string& dev, const std::string& vendor = "", const std::string& model = "") {
    const std::string base = parent.empty() ? "virtual" : parent;
    const std::string dir = root_ + "/sys/devices/" + base + "/block/" + name;
    std::filesystem::create_directories(dir);
    std::filesystem::create_directory_symlink(dir, root_ + "/sys/block/" + name);
    Write(dir + "/size", std::to_string(sectors) + "\n");
    Write(dir + "/removable", removable ? "1\n" : "0\n");
    Write(dir + "/dev", dev + "\n");
    if (!parent.empty()) {
      const std::string device = root_ + "/sys/devices/" + parent;
      std::filesystem::create_directory_symlink(device, dir + "/device");
      if (!vendor.empty()) Write(device + "/vendor", vendor + "\n");
      if (!model.empty()) Write(device + "/model", model + "\n");
    }
  }

  void AddPartition(const std::string& disk, const std::string& name, uint32_t number, uint64_t start,
                    uint64_t sectors, const std::string& dev) {
    const std::string dir = root_ + "/sys/block/" + disk + "/" + name;
    std::filesystem::create_directories(dir);
    Write(dir + "/partition", std::to_string(number) + "\n");
    Write(dir + "/start", std::to_string(start) + "\n");
    Write(dir + "/size", std::to_string(sectors) + "\n");
    Write(dir + "/dev", dev + "\n");
  }

  // An attribute file of a disk's device or of the disk itself.
  void SetAttr(const std::string& relative_to_sys_block, const std::string& text) {
    const std::string path = root_ + "/sys/block/" + relative_to_sys_block;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    Write(path, text + "\n");
  }

  void AddMount(const std::string& dev, const std::string& mount_point, const std::string& fs_type,
                const std::string& source) {
    std::ofstream(root_ + "/mountinfo", std::ios::app)
        << ++mount_id_ << " 1 " << dev << " / " << mount_point << " rw,relatime shared:1 - " << fs_type << " "
        << source << " rw\n";
  }

  // The node of a device: a link to an image file standing for its bytes.
  void LinkNode(const std::string& name, const std::string& image) {
    std::filesystem::create_symlink(image, DevNode(name));
  }

 private:
  static void Write(const std::string& path, const std::string& text) { std::ofstream(path) << text; }
  std::string root_;
  int mount_id_ = 20;
};

}  // namespace trovium::test
