#pragma once
// Ctrl-C asks long commands to stop; they poll StopRequested() between chunks.

namespace trovium::cli {

void InstallInterruptHandler();
bool StopRequested();

}  // namespace trovium::cli
