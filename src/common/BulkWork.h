#pragma once

namespace quillon {

// Marks the calling thread as bulk work (Linux SCHED_BATCH): it keeps its full share of the
// CPU, but its wake-ups no longer preempt whatever runs at that instant. A transfer lane wakes
// thousands of times a second while small files stream in; as ordinary threads those wake-ups
// would keep interrupting the desktop, or an FTP server on this same machine. Returns false
// when the system refuses, which changes nothing else.
bool RunAsBulkWork();

}  // namespace quillon
