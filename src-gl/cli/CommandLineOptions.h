#pragma once
// Which arguments are the editor's, told before anything of Qt's is loaded, and what is said of an
// option the command line does not know.

#include <QCommandLineParser>
#include <QStringList>

namespace command_line {

// How many arguments the editor's option at `arguments[i]` spans, itself included: --texture-budget
// (with the value after it, or as --texture-budget=MiB) and Qt's own options (-style fusion,
// -platform xcb, -reverse, ...), which Qt reads from the program's arguments itself. 0 when the
// argument is none of them.
int EditorOptionLength(const QStringList& arguments, int i);

// Says why `parser` refused `arguments`: an unknown option named as it was given, with the known
// option nearest to it when one is close ("did you mean --export-video?"), or the parser's own
// message. The parser is used to look the names up, so its state is not kept.
void FailParse(QCommandLineParser& parser, const QStringList& arguments);

}  // namespace command_line
