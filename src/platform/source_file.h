#pragma once
// Read-only access to a device or a disk-image file. This is the only code in
// the program that opens a source: it is opened with O_RDONLY and nothing else.

#include <cstddef>
#include <cstdint>
#include <string>

namespace trovium::platform {

enum class OpenError { kNone = 0, kNotFound, kPermission, kIsDirectory, kOther };

struct SourceOpenResult {
  int fd = -1;              // -1 when the open failed
  OpenError error = OpenError::kNone;
  int err_no = 0;           // errno of the failed open
};

// Opens path read-only (O_RDONLY | O_CLOEXEC). Directories are refused.
SourceOpenResult OpenSourceReadOnly(const std::string& path);

// Closes a descriptor from OpenSourceReadOnly; -1 is ignored.
void CloseSource(int fd);

// Reads up to len bytes at offset, looping over short reads and EINTR.
// Returns the number of bytes read (less than len at the end of the source),
// or -1 when a read failed (EIO and the like) before anything more came.
// bytes_read_before_error receives what was read before a failure.
int64_t ReadAt(int fd, void* dest, uint64_t len, uint64_t offset, uint64_t* bytes_read_before_error = nullptr);

// Size in bytes: BLKGETSIZE64, then fstat, then lseek(SEEK_END). 0 when none works.
uint64_t SourceSizeBytes(int fd);

// A sentence in English saying why an open failed, for the command line.
std::string DescribeOpenError(const SourceOpenResult& r, const std::string& path);

}  // namespace trovium::platform
