#include "common/BulkWork.h"

#include <pthread.h>
#include <sched.h>

namespace quillon {

bool RunAsBulkWork() {
#ifdef SCHED_BATCH
  sched_param param{};
  param.sched_priority = 0;
  return pthread_setschedparam(pthread_self(), SCHED_BATCH, &param) == 0;
#else
  return false;
#endif
}

}  // namespace quillon
