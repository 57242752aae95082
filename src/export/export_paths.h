#pragma once
// Creating the export's folders and files under safe, unclashing names.

#include <string>

#include "export/export_engine.h"
#include "platform/output_file.h"

namespace trovium {

// Makes the folder `name` (already a safe component) inside `parent`; an
// existing folder is merged into, a file of this export with that name makes
// the folder numbered, a name the file system refuses is sanitised once.
// `path` gets the folder's path.
platform::OutputStatus CreateExportFolder(ExportJob& job, const std::string& parent, const std::string& name,
                                          std::string& path);

// Splits "folder/name" at the last "/".
void SplitPath(const std::string& path, std::string& folder, std::string& name);

// Counts a failed file and remembers its path (the first few).
void CountFailure(ExportJob& job, const std::string& path);

}  // namespace trovium
