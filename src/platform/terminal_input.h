#pragma once
// Whether questions can be asked on standard input.

namespace trovium::platform {

// True when standard input is a terminal.
bool StdinIsTerminal();

}  // namespace trovium::platform
