// The desktop program's start-up and shut-down.
#pragma once

namespace vantor::ui {

// Runs vantor64 [options] [ROM]: reads the command line, binds the renderer, creates the windows,
// optionally loads and starts the ROM, runs the event loop and shuts down in reverse. Returns the
// exit status (2 for a command line it cannot understand).
int RunDesktop(int argc, char** argv);

}  // namespace vantor::ui
