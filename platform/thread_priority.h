// Background threads of a window: they take a core only when the window's thread does not want it.
// The pair display's decoding runs so while a command runs; the scan's decoding does not, since at
// a lower priority it would lose its cores to any other busy program.
#pragma once

namespace velquin {

// How much lower than the threads of the process a background thread runs (in nice steps).
inline constexpr int kBackgroundNiceSteps = 10;

// Lowers the calling thread's scheduling priority by kBackgroundNiceSteps (Linux schedules each
// thread by its own nice value), so that the process's other threads, a window's thread above all,
// get a core first whenever they have work. The thread keeps it until it ends. A refusal is ignored:
// the thread then runs as it was.
void RunThisThreadInBackground();

}  // namespace velquin
