#pragma once

#include <cstdint>
#include <string>

namespace quillon {

// The result of moving one file on a lane.
enum TransferResult : int32_t {
  TransferOk = 0,     // the file arrived whole
  TransferStop = 1,   // the file was cancelled; the lane takes no further job
  TransferRetry = 2,  // the file failed; the manager may try it again
  // The lane could not connect because the server turned it away while other lanes hold
  // connections: its job was not tried and goes back to the queue uncounted, and the lane
  // rests before it tries to connect again (also the result of such a try that failed).
  TransferDeferred = 3,
  // A resting lane is connected again and takes the next job.
  TransferReady = 4,
};

// One file of a batch. Downloads read `source` on the server and write `destination` locally;
// uploads the other way round. Paths use "/" on both sides.
struct TransferJob {
  std::string source;       // full path of the file to read
  std::string destination;  // full path to write
  uint64_t size = 0;        // the source's size when the job was built
  int32_t retries = 0;      // attempts already retried; -1: never retried
  int32_t index = 0;        // the queue length when the job was added
  std::string error;        // why its last attempt failed (for the log line that gives it up)
};

}  // namespace quillon
