// What every Velquin program sets up before it does anything else.
#pragma once

namespace velquin {

// Takes the user's locale (dates, times and decimal separators are shown in it) and keeps freed
// picture memory in the heap for the next picture.
void PrepareProcess();

}  // namespace velquin
