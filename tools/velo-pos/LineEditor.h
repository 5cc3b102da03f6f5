#pragma once
// The interactive shell's lines: with history and line editing where the build has a line
// editor (libedit), plain lines from standard input otherwise (a Windows console keeps
// its own history).
#include <memory>

#include "velo-pos/PosSession.h"

// Lines typed at the terminal; the history of earlier sessions is read from and kept in
// the file ~/.velo-pos_history where the editor and a home folder allow it.
std::unique_ptr<tkLineSource> TerminalLines();
