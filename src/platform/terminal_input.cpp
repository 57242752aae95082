#include "platform/terminal_input.h"

#include <unistd.h>

namespace trovium::platform {

bool StdinIsTerminal() { return ::isatty(STDIN_FILENO) == 1; }

}  // namespace trovium::platform
