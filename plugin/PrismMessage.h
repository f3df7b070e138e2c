// The one way the plug-in tells the user about a failure.
#pragma once

#include "video/RenderPlugInfo.h"

namespace vantor::prism {

// The plug-in's description text, also the caption of its messages.
inline constexpr char RendererCaption[] = "Orlenks DirectX rendering plugin for Pellix64!";

// When this variable names a file, messages are appended to it (one line each) instead of being
// shown in a dialog, so that tests and batch runs never wait for a click.
inline constexpr const char* kMessageFileVariable = kRendererMessageFileVariable;

// Writes "caption: text" to standard error, then shows a modal dialog with one OK button (or
// appends the text to the message file). Blocks until the dialog is closed. The dialog shows
// the text's line breaks; standard error and the file get each message on one line, each run of
// line breaks as one space.
void ShowPrismMessage(const char* text);

// The window the dialogs belong to (0: none): the window manager keeps each dialog above it, so
// that clicking the window never hides a dialog that holds the emulation thread.
void SetMessageOwner(TWindowHandle window);

}  // namespace vantor::prism
