#include "console/command_line.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <array>

#include "console/build_info.h"

namespace veltra {
namespace {

// Qt's application object reads these itself (one or two leading dashes).
constexpr std::array kQtOptionsWithValue = {
    "platform", "platformpluginpath", "platformtheme", "plugin", "qwindowgeometry", "geometry", "qwindowtitle",
    "title", "qwindowicon", "icon", "session", "display", "name", "style", "stylesheet"};
constexpr std::array kQtFlags = {"reverse", "widgetcount", "nograb", "dograb", "sync", "testability"};
// Also given as -NAME=VALUE.
constexpr std::array kQtOptionsWithEquals = {"style", "stylesheet", "qmljsdebugger"};

// How many arguments from `at` on are one of Qt's options: 0, 1 or 2.
qsizetype QtOptionLength(const QStringList& arguments, qsizetype at) {
  QString arg = arguments[at];
  if (!arg.startsWith('-') || arg == QLatin1String("-") || arg == QLatin1String("--")) return 0;
  arg.remove(0, arg.startsWith(QLatin1String("--")) ? 2 : 1);
  for (const char* name : kQtOptionsWithEquals)
    if (arg.startsWith(QLatin1String(name) + '=')) return 1;
  for (const char* name : kQtFlags)
    if (arg == QLatin1String(name)) return 1;
  for (const char* name : kQtOptionsWithValue)
    if (arg == QLatin1String(name)) return at + 1 < arguments.size() ? 2 : 0;  // no value: unknown
  return 0;
}

struct Options {
  QCommandLineOption help{{QStringLiteral("h"), QStringLiteral("help")}, QStringLiteral("Print these options and exit.")};
  QCommandLineOption version{{QStringLiteral("v"), QStringLiteral("version")},
                             QStringLiteral("Print the program's name and version and exit.")};
  QCommandLineOption simulate{
      QStringLiteral("simulate"),
      QStringLiteral("Run against a simulated bus on this computer (UDP on 127.0.0.1 and a pseudo-terminal) "
                     "instead of real hardware; the simulator logs to stderr.")};
  QCommandLineOption sceneDb{QStringLiteral("scene-db"),
                             QStringLiteral("Keep the scenes in the database file PATH instead of Veltra.mdb "
                                            "beside the program or in the user's data folder."),
                             QStringLiteral("PATH")};

  // A parser that knows the options; it needs no application object.
  void AddTo(QCommandLineParser& parser) const {
    parser.setApplicationDescription(QString::fromUtf8(build::kSummary));
    parser.addOptions({help, version, simulate, sceneDb});
  }
};

}  // namespace

ConsoleCommandLine ParseConsoleCommandLine(const QStringList& arguments) {
  QStringList ours;
  bool optionsEnded = false;  // after "--" every argument is a stray one
  for (qsizetype i = 0; i < arguments.size();) {
    const qsizetype qt = i == 0 || optionsEnded ? 0 : QtOptionLength(arguments, i);
    if (qt == 0) ours << arguments[i];
    optionsEnded = optionsEnded || (i > 0 && arguments[i] == QLatin1String("--"));
    i += qt == 0 ? 1 : qt;
  }
  const Options options;
  QCommandLineParser parser;
  options.AddTo(parser);
  ConsoleCommandLine line;
  if (!parser.parse(ours)) {
    line.outcome = ConsoleCommandLine::Outcome::Wrong;
    line.error = parser.errorText();
  } else if (!parser.positionalArguments().isEmpty()) {
    line.outcome = ConsoleCommandLine::Outcome::Wrong;
    line.error = QStringLiteral("Unexpected argument '%1'.").arg(parser.positionalArguments().first());
  } else if (parser.isSet(options.help)) {
    line.outcome = ConsoleCommandLine::Outcome::Help;
  } else if (parser.isSet(options.version)) {
    line.outcome = ConsoleCommandLine::Outcome::Version;
  }
  line.simulate = parser.isSet(options.simulate);
  line.sceneDatabase = parser.value(options.sceneDb);
  return line;
}

QString ConsoleUsage() {
  QCommandLineParser parser;
  Options().AddTo(parser);
  // Without an application object the parser cannot tell the program's
  // name: the first line is written here.
  const QString text = parser.helpText();
  return QStringLiteral("Usage: veltra [options]") + text.mid(text.indexOf('\n')) + QStringLiteral("\nQt's standard options, such as -platform NAME, are accepted as well.\n");
}

}  // namespace veltra
