// The desktop program's command line: vantor64 [options] [ROM].
#pragma once

#include <QString>
#include <QStringList>

namespace vantor::ui {

// What the command line asks the window to do.
struct TStartOptions {
  QString rom;  // empty: start with no ROM loaded
  bool fullScreen = false;
  bool paused = false;
};

// The outcome of reading the command line: either the window runs with options, or the program
// ends at once with exitStatus after writing output (standard output) or error (standard error).
struct TCommandLine {
  bool run = false;
  TStartOptions options;
  int exitStatus = 0;
  QString output;
  QString error;
};

// Exit status for a command line that cannot be understood.
inline constexpr int kUsageExitStatus = 2;

// "Vantor64 0.25" and the build's version, one per line.
QString VersionText();

// Reads arguments (the program name first) without needing an application object, so --help and
// --version answer even where no display is available. The toolkit's own window options
// (-platform, -display, -style, ...) are accepted and left for the toolkit.
TCommandLine ParseCommandLine(const QStringList& arguments);

}  // namespace vantor::ui
