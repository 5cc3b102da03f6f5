// The interactive shell without a line editor: lines of standard input, after the prompt
// the shell shows.
#include <iostream>

#include "velo-pos/LineEditor.h"

std::unique_ptr<tkLineSource> TerminalLines() { return std::make_unique<tkStreamLines>(std::cin); }
