#include "ui/CommandLine.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QtGlobal>

#include "ui/BuildInfo.h"
#include "ui/MainForm.h"

namespace vantor::ui {

namespace {

// Options the toolkit reads from the command line itself; they are accepted, never shown.
const char* const kToolkitValueOptions[] = {
    "platform", "platformpluginpath", "platformtheme",   "plugin",      "display",      "geometry",
    "style",    "stylesheet",         "qwindowgeometry", "qwindowicon", "qwindowtitle", "session"};
const char* const kToolkitFlags[] = {"reverse", "widgetcount", "sync", "nograb", "dograb"};

// The parser names an unknown option without its dashes; the user is shown each as typed.
QString UnknownOptionsText(const QStringList& arguments, const QStringList& names) {
  QStringList typed;
  for (const QString& name : names) {
    QString shown = QStringLiteral("--") + name;
    for (const QString& argument : arguments.mid(1)) {
      if (argument == QLatin1String("--")) break;
      QString bare = argument.section('=', 0, 0);
      while (bare.startsWith('-'))
        bare.remove(0, 1);
      if (argument.startsWith('-') && bare == name) {
        shown = argument.section('=', 0, 0);
        break;
      }
    }
    if (!typed.contains(shown)) typed << '\'' + shown + '\'';
  }
  return (typed.size() == 1 ? QStringLiteral("Unknown option ")
                            : QStringLiteral("Unknown options ")) +
         typed.join(QStringLiteral(", ")) + '.';
}

}  // namespace

QString VersionText() {
  return QString::fromLatin1(kMainCaption) + QStringLiteral("\nbuild %1 (%2, Qt %3)\n")
                                                 .arg(QString::fromLatin1(kBuildVersion),
                                                      QString::fromLatin1(kBuildType),
                                                      QString::fromLatin1(qVersion()));
}

TCommandLine ParseCommandLine(const QStringList& arguments) {
  QCommandLineParser parser;
  // -platform and the other toolkit options are single-dash words.
  parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
  parser.setApplicationDescription(
      QStringLiteral("Vantor64, a Nintendo 64 emulator: opens the main window, and with a ROM "
                     "image loads and starts it."));
  const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                QStringLiteral("Show this help and exit."));
  const QCommandLineOption version({QStringLiteral("v"), QStringLiteral("version")},
                                   QStringLiteral("Show the version and exit."));
  const QCommandLineOption fullScreen(
      QStringLiteral("fullscreen"),
      QStringLiteral("Show the running ROM full-screen (Alt+Enter or Esc leaves it)."));
  const QCommandLineOption paused(
      QStringLiteral("paused"),
      QStringLiteral("Load the ROM and stop before its first instruction (F6 resumes)."));
  parser.addOptions({help, version, fullScreen, paused});
  for (const char* name : kToolkitValueOptions) {
    QCommandLineOption option(QString::fromLatin1(name), QString(), QStringLiteral("value"));
    option.setFlags(QCommandLineOption::HiddenFromHelp);
    parser.addOption(option);
  }
  for (const char* name : kToolkitFlags) {
    QCommandLineOption option(QString::fromLatin1(name));
    option.setFlags(QCommandLineOption::HiddenFromHelp);
    parser.addOption(option);
  }
  parser.addPositionalArgument(QStringLiteral("ROM"),
                               QStringLiteral("A ROM image (.z64, .v64, .n64 or .bin)."),
                               QStringLiteral("[ROM]"));

  TCommandLine result;
  const QString program = QStringLiteral("vantor64");
  const QString tryHelp = QStringLiteral("Try '%1 --help' for more information.\n").arg(program);
  if (!parser.parse(arguments)) {
    result.exitStatus = kUsageExitStatus;
    const QStringList unknown = parser.unknownOptionNames();
    const QString why =
        unknown.isEmpty() ? parser.errorText() : UnknownOptionsText(arguments, unknown);
    result.error = program + QStringLiteral(": ") + why + '\n' + tryHelp;
    return result;
  }
  if (parser.isSet(help)) {
    // Without an application object the parser cannot know the program's name.
    result.output = parser.helpText().replace(QStringLiteral("<executable_name>"), program);
    return result;
  }
  if (parser.isSet(version)) {
    result.output = VersionText();
    return result;
  }
  const QStringList roms = parser.positionalArguments();
  if (roms.size() > 1) {
    result.exitStatus = kUsageExitStatus;
    result.error = program +
                   QStringLiteral(": one ROM at a time, not %1: %2\n")
                       .arg(roms.size())
                       .arg(roms.join(QStringLiteral(", "))) +
                   tryHelp;
    return result;
  }
  if (roms.isEmpty() && (parser.isSet(fullScreen) || parser.isSet(paused))) {
    result.exitStatus = kUsageExitStatus;
    result.error = program +
                   QStringLiteral(": --%1 needs a ROM to run\n")
                       .arg(parser.isSet(fullScreen) ? QStringLiteral("fullscreen")
                                                     : QStringLiteral("paused")) +
                   tryHelp;
    return result;
  }
  result.run = true;
  result.options.rom = roms.value(0);
  result.options.fullScreen = parser.isSet(fullScreen);
  result.options.paused = parser.isSet(paused);
  return result;
}

}  // namespace vantor::ui
