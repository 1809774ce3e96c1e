#include "platform/process_setup.h"

#include <malloc.h>

#include <clocale>

namespace velquin {

void PrepareProcess() {
  std::setlocale(LC_ALL, "");
  // Pictures of tens of megabytes are loaded one after another. Kept in the heap, a freed bitmap's
  // memory serves the next picture; handed back to the system, every picture would fault in and
  // clear fresh pages again.
  mallopt(M_MMAP_THRESHOLD, 1 << 30);
  mallopt(M_TRIM_THRESHOLD, 1 << 30);
}

}  // namespace velquin
