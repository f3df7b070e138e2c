// The debug console: the program's one log. Every subsystem reports through DbgAddLine.
#pragma once

#include <string_view>

namespace vantor {

// Appends one line, unaltered, to the console of the installed host; dropped when there is none.
// Callable from the main and the emulation thread.
void DbgAddLine(std::string_view line);
// Lines added after this are never taken for repeats of lines before it.
void DbgEndRepeats();

}  // namespace vantor
