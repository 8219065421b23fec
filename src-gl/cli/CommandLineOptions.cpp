#include "CommandLineOptions.h"

#include <QRegularExpression>
#include <algorithm>
#include <vector>

#include "CommandLineWork.h"

namespace command_line {

namespace {

// Qt's own options as its documentation spells them (one dash), and whether each takes a value.
// The editor leaves them to Qt; the command line, which loads no platform, takes none of them.
struct QtOption {
  const char* name;
  bool value;
};
const QtOption qtOptions[] = {
    {"platform", true},
    {"platformpluginpath", true},
    {"platformtheme", true},
    {"plugin", true},
    {"qwindowgeometry", true},
    {"geometry", true},
    {"qwindowtitle", true},
    {"title", true},
    {"qwindowicon", true},
    {"icon", true},
    {"session", true},
    {"display", true},
    {"name", true},
    {"visual", true},
    {"style", true},
    {"stylesheet", true},
    {"reverse", false},
    {"widgetcount", false},
    {"nograb", false},
    {"dograb", false},
    {"sync", false},
};

const QString textureBudget = QStringLiteral("--texture-budget");

// The number of single-character edits, swaps of neighbours included, that turn `a` into `b`.
int EditDistance(const QString& a, const QString& b) {
  const int n = static_cast<int>(a.size()), m = static_cast<int>(b.size());
  std::vector<std::vector<int>> d(static_cast<size_t>(n + 1), std::vector<int>(static_cast<size_t>(m + 1)));
  auto at = [&d](int i, int j) -> int& { return d[static_cast<size_t>(i)][static_cast<size_t>(j)]; };
  for (int i = 0; i <= n; ++i) at(i, 0) = i;
  for (int j = 0; j <= m; ++j) at(0, j) = j;
  for (int i = 1; i <= n; ++i)
    for (int j = 1; j <= m; ++j) {
      const int change = a[i - 1] == b[j - 1] ? 0 : 1;
      at(i, j) = std::min({at(i - 1, j) + 1, at(i, j - 1) + 1, at(i - 1, j - 1) + change});
      if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1])
        at(i, j) = std::min(at(i, j), at(i - 2, j - 2) + 1);
    }
  return at(n, m);
}

// The long names `parser` takes. It does not list them, but its help text names every option;
// each name found there is tried, so that a word of a description is never taken for one.
QStringList KnownNames(QCommandLineParser& parser) {
  const QString help = parser.helpText();
  QStringList names;
  static const QRegularExpression option(QStringLiteral("(?:^|[\\s,(])--([A-Za-z0-9][A-Za-z0-9-]*)"));
  for (auto it = option.globalMatch(help); it.hasNext();) {
    const QString name = it.next().captured(1);
    if (names.contains(name)) continue;
    parser.parse({QStringLiteral("tunnelvista"), QStringLiteral("--") + name});
    if (parser.unknownOptionNames().isEmpty()) names << name;
  }
  return names;
}

// The known name nearest to `word`, when it is near enough to be what was meant; else empty.
QString Nearest(const QString& word, const QStringList& known) {
  const QString typed = word.toLower();
  const int allowed = std::max(1, static_cast<int>(typed.size()) / 4);
  QString nearest;
  int best = allowed + 1;
  for (const QString& name : known) {
    const int distance = EditDistance(typed, name);
    if (distance < best) {
      best = distance;
      nearest = name;
    }
  }
  return nearest;
}

// The argument that carries one of the `unknown` names, as it was typed (without a value after
// '='); "-xyz" is read as the short options x, y and z.
QString GivenAs(const QStringList& arguments, const QStringList& unknown) {
  for (const QString& a : arguments) {
    if (a == QLatin1String("--")) break;
    if (a.size() < 2 || !a.startsWith(QLatin1Char('-'))) continue;
    const QString given = a.section(QLatin1Char('='), 0, 0);
    if (a.startsWith(QLatin1String("--"))) {
      if (unknown.contains(given.mid(2))) return given;
      continue;
    }
    for (const QChar letter : given.mid(1))
      if (unknown.contains(QString(letter))) return given;
  }
  return (unknown.first().size() == 1 ? QStringLiteral("-") : QStringLiteral("--")) + unknown.first();
}

}  // namespace

int EditorOptionLength(const QStringList& arguments, int i) {
  const QString& a = arguments[i];
  const bool followed = i + 1 < arguments.size();
  if (a == textureBudget) return followed ? 2 : 1;
  if (a.startsWith(textureBudget + QLatin1Char('='))) return 1;
  if (a.size() < 2 || a[0] != QLatin1Char('-') || a[1] == QLatin1Char('-')) return 0;
  const QString word = a.mid(1);
  for (const QtOption& option : qtOptions) {
    const QString name = QLatin1String(option.name);
    if (word == name) return option.value && followed ? 2 : 1;
    if (option.value && word.startsWith(name + QLatin1Char('='))) return 1;
  }
  return 0;
}

void FailParse(QCommandLineParser& parser, const QStringList& arguments) {
  const QStringList unknown = parser.unknownOptionNames();
  if (unknown.isEmpty()) {
    Fail(parser.errorText());
    return;
  }
  const QString given = GivenAs(arguments, unknown);
  QString word = given;
  while (word.startsWith(QLatin1Char('-'))) word.remove(0, 1);
  const QString nearest = Nearest(word, KnownNames(parser));
  Fail(QStringLiteral("unknown option %1%2 (see --help)")
           .arg(given, nearest.isEmpty() ? QString() : QStringLiteral("; did you mean --%1?").arg(nearest)));
}

}  // namespace command_line
