// The desktop program's start-up and shut-down.
#pragma once

namespace vantor::ui {

// Runs vantor64 [ROM]: binds the renderer, creates the windows, optionally loads and starts the
// ROM, runs the event loop and shuts down in reverse. Returns the exit status.
int RunDesktop(int argc, char** argv);

}  // namespace vantor::ui
