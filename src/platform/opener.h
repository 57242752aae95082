#pragma once
// Hands a file or folder to the desktop's default program ("open" and
// "explore"). The GUI may use its toolkit instead; everything else comes here.

#include <string>
#include <vector>

namespace trovium::platform {

// Starts argv[0] (looked up in PATH) with the given arguments, directly and
// never through a shell, with stdin on /dev/null. Does not wait for it; the
// child is reaped by a later call of ReapSpawned. False when it cannot start.
bool SpawnDetached(const std::vector<std::string>& argv);

// Reaps children started by SpawnDetached: the finished ones, or with wait
// every one of them. Returns how many were reaped.
int ReapSpawned(bool wait);

// Opens a file or a folder with the program the desktop associates with it
// (xdg-open). True when the opener started; what it shows is up to the desktop.
bool OpenWithDesktop(const std::string& path);

// Tests: the program OpenWithDesktop starts instead of xdg-open ("" restores it).
void SetDesktopOpenerForTesting(const std::string& program);

}  // namespace trovium::platform
