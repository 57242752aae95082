#pragma once
// Where the program finds its read-only data and where it writes its state.

#include <string>

namespace trovium::platform {

// Full path of the running executable ("" when it cannot be had).
std::string ExecutablePath();

// Folder of the running executable with a trailing "/" ("" when unknown).
std::string ExecutableFolder();

// A read-only data file shipped with the program ("Base.dat", "Recovery.dat"):
// the executable's folder first, then ../share/trovium/ relative to it.
// Returns the first path that exists, or "" when neither does.
std::string FindDataFile(const std::string& name);

// Folder for files the program writes (reports, settings, crash files, scan
// data, temporary copies): $TROVIUM_HOME when set, else $XDG_STATE_HOME/trovium,
// else ~/.local/state/trovium. Created (mode 0700) when missing. No trailing "/".
// Returns "" when no folder can be made.
std::string StateFolder();

// Folder for the single-instance lock: $XDG_RUNTIME_DIR, else the state folder.
std::string RuntimeFolder();

}  // namespace trovium::platform
