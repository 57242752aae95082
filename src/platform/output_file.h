#pragma once
// The only code that writes on the output drive: folders and files of an
// export, save or quick open. Nothing here follows a symbolic link at the
// last component, and every write and close is checked.

#include <cstddef>
#include <cstdint>
#include <string>

namespace trovium::platform {

// errno of a failed call, 0 on success.
struct OutputStatus {
  int err_no = 0;
  bool ok() const { return err_no == 0; }
  // The output drive is full (ENOSPC, or EDQUOT for a quota).
  bool no_space() const;
  // The file system refused the name itself (EINVAL, EILSEQ, ENAMETOOLONG and the like).
  bool name_refused() const;
};

// lstat: something (file, folder, link) exists at path.
bool OutputExists(const std::string& path);
// lstat: path is a folder and not a symbolic link.
bool IsRealFolder(const std::string& path);

// Creates one folder (mode 0755); an existing real folder is accepted, an
// existing file or symbolic link is not (ENOTDIR).
OutputStatus CreateOutputFolder(const std::string& path);

class OutputFile {
 public:
  OutputFile() = default;
  ~OutputFile();  // closes without checking: call Close to learn the result
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  // Creates the file (mode 0644, O_NOFOLLOW). exclusive: fail when it exists
  // (O_EXCL); otherwise an existing regular file is truncated.
  OutputStatus Create(const std::string& path, bool exclusive);
  // Writes all bytes, looping over short writes and EINTR.
  OutputStatus Write(const void* data, size_t bytes);
  // Sets the length (used to empty a file).
  OutputStatus Truncate(uint64_t length);
  // Closes; a failed close (delayed write error) is reported.
  OutputStatus Close();
  bool is_open() const { return fd_ >= 0; }

 private:
  int fd_ = -1;
};

// Removes a file we created; true when it is gone.
bool RemoveOutputFile(const std::string& path);

}  // namespace trovium::platform
