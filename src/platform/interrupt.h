#pragma once
// Ctrl-C and SIGTERM ask long commands to stop; they poll StopRequested()
// between pieces of work. Also whether a stream is a terminal, for progress lines.

namespace trovium::platform {

void InstallInterruptHandler();
bool StopRequested();

// True when standard error is a terminal (a progress line is worth drawing).
bool StderrIsTerminal();

}  // namespace trovium::platform
