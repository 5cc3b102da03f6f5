#pragma once
// The host process as the rest of the library sees it: its executable, its command line
// and the local clock. Portable code over the system calls of Platform.h.
#include <span>
#include <string>
#include <string_view>

#include "core/DateTime.h"

// The local clock, with milliseconds.
TDateTime Now();

// Folder of the host program's executable, ending with the path separator.
std::string GetExePath();
// The host executable's file name without folder and extension.
std::string GetExeName();
// The same for a given executable path; empty when there is no folder or no name.
std::string ExePathOf(std::string_view aExecutable);
std::string ExeNameOf(std::string_view aExecutable);

// First host command-line parameter that is aName, or aName followed by ':' or '='
// (case-insensitive); aWhole gives it as written, otherwise the value after the mark.
std::string GetParamValue(std::string_view aName, bool aWhole);
// The same over given parameters (without the program name).
std::string GetParamValue(std::span<const std::string> aParams, std::string_view aName, bool aWhole);
