#include "export/export_paths.h"

#include "core/path_util.h"
#include "export/output_names.h"

namespace trovium {

void SplitPath(const std::string& path, std::string& folder, std::string& name) {
  const size_t slash = path.rfind('/');
  folder = slash == std::string::npos ? std::string() : path.substr(0, slash);
  name = slash == std::string::npos ? path : path.substr(slash + 1);
}

void CountFailure(ExportJob& job, const std::string& path) {
  job.totals.files_failed++;
  if (job.totals.failed_paths.size() < kMaxListedFailures) job.totals.failed_paths.push_back(path);
}

platform::OutputStatus CreateExportFolder(ExportJob& job, const std::string& parent, const std::string& name,
                                          std::string& path) {
  auto& names = job.created[parent];
  std::string chosen = name;
  // A file of this export already has the name: the folder is numbered.
  for (unsigned n = 2; names.count("f" + chosen); ++n) chosen = NumberedName(name, n);
  path = JoinPath(parent, chosen);
  platform::OutputStatus st = platform::CreateOutputFolder(path);
  if (!st.ok() && st.name_refused()) {
    std::string retry = path;
    if (SanitizeLastComponent(retry) && retry != path) {
      st = platform::CreateOutputFolder(retry);
      if (st.ok()) path = retry;
    }
  }
  if (st.ok()) {
    std::string folder, last;
    SplitPath(path, folder, last);
    names.insert("d" + last);
  }
  return st;
}

}  // namespace trovium
