#pragma once

// Kind of a log line.
enum tMx_MessageType { let_info = 0, let_error = 1 };
