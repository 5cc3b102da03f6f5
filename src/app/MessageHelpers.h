#pragma once
// Messages for the user: a message box, or in batch mode (no one to close a box) a line of
// the application log.
#include <string_view>

#include "core/MessageType.h"

class tMx_Application;

// In batch mode aMessage goes to aApplication's log (an error also becomes its LastError);
// otherwise a modal box with the information or the error icon and an OK button, and the
// call returns when the user closes it.
void ShowMessageOrLog(tMx_Application& aApplication, tMx_MessageType aEntryType, std::string_view aMessage);
// The same with the wait window out of the way: a started wait window is stopped for the
// message and started again afterwards, with no extra text.
void ShowMessageOverWait(tMx_Application& aApplication, tMx_MessageType aEntryType, std::string_view aMessage);

// The same for the process's application object, built if need be. When it cannot be
// built, the box is shown unless the host's command line asks for batch mode.
void ShowMessageOrLog(tMx_MessageType aEntryType, std::string_view aMessage);
void ShowMessageOverWait(tMx_MessageType aEntryType, std::string_view aMessage);
