// The default machine's notice that a program uses hardware only the accurate-hardware mode
// emulates (a 32-bit picture, the signal or display processor's registers, an instruction the
// default processor does not run): one console line and status text per run, naming the first
// such use. Nothing else changes; the default machine goes on as it would.
#pragma once

#include <string_view>

namespace vantor {

// A new run: notices on (the default mode) or off (the accurate mode, which emulates it all),
// none given yet.
void ResetAccurateOnlyNotice(bool enabled);
// Notices on or off from now on, as a restored state's mode has it; a notice given stays given.
void EnableAccurateOnlyNotice(bool enabled);

// The program used `what` (e.g. "a 32-bit picture"); the first call of a run with notices on
// tells the user.
void NoteAccurateOnlyHardware(std::string_view what);

// How long the notice's status text stays before frame rates take the status bar again.
inline constexpr uint32_t kAccurateOnlyNoticeMs = 4000;
// True while the notice's status text should stay.
bool AccurateOnlyNoticeShowing();

}  // namespace vantor
