#include "platform/thread_priority.h"

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace velquin {

void RunThisThreadInBackground() {
  const auto self = static_cast<id_t>(::gettid());
  errno = 0;
  const int nice = ::getpriority(PRIO_PROCESS, self);
  if (nice == -1 && errno != 0) return;
  // The highest nice value is 19.
  ::setpriority(PRIO_PROCESS, self, std::min(nice + kBackgroundNiceSteps, 19));
}

}  // namespace velquin
