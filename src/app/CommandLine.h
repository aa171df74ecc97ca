#pragma once

#include <QString>
#include <QStringList>
#include <optional>

namespace quillet {

// What the user asked for on the command line. Parsing is pure: no files are opened and no
// instance is contacted here.
struct Command {
    enum class Kind {
        start, // no arguments: start the resident program, or hand over to the running one
        capture,
        pin, // the clipboard, or `file` when given
        ocr, // the text of `file`, printed; runs on its own, without the resident program
        settings, // `page` may be empty
        quit,
        status,
        help,
        version,
    };

    Kind kind = Kind::start;
    QString file;
    QString page;

    bool operator==(const Command&) const = default;

    // Commands that need a running instance and start one when none runs.
    bool startsInstance() const;
};

struct ParseResult {
    std::optional<Command> command;
    QString error; // one line, set when `command` is empty
};

namespace CommandLine {

// The settings pages a `settings` command may name.
const QStringList& settingsPages();

// `args` without the program name.
ParseResult parse(const QStringList& args);

// `text` safe to print on a terminal: control characters, line and paragraph separators and
// the invisible controls that reorder text show as \xNN or \uNNNN, so an argument or file
// name echoed in a message can neither break its line nor send the terminal commands.
// `keepNewlines` leaves line breaks of a message of several lines.
QString printable(const QString& text, bool keepNewlines = false);

// The text of --help.
QString usage();

QString versionText();

} // namespace CommandLine
} // namespace quillet
