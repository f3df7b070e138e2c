// The desktop program's start-up and shut-down.
#pragma once

namespace vantor::ui {

class TConfigF;
class TMainForm;
class TSdlAudio;

// From now on the speakers are heard while Configuration's Sound is on, a run goes and it goes at
// the console's speed (not paused, Limit Speed on, no fast-forward).
void FollowSound(TSdlAudio& audio, TMainForm& mainForm, TConfigF& config);

// Runs vantor64 [options] [ROM]: reads the command line, binds the renderer, creates the windows,
// optionally loads and starts the ROM, runs the event loop and shuts down in reverse. Returns the
// exit status (2 for a command line it cannot understand).
int RunDesktop(int argc, char** argv);

}  // namespace vantor::ui
