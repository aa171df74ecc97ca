#pragma once

#include <QByteArray>
#include <QSettings>
#include <optional>

// The settings file's format: Qt's INI format, read without the one thing in it that can hurt.
// Qt turns a value written "@Variant(…)" or "@DateTime(…)" into a QVariant with QDataStream,
// which believes the lengths it reads: a damaged or hostile line of 200 bytes had Qt allocate
// gigabytes before anything of ours could look at it. The program never writes such values
// (it stores booleans, numbers, text and byte strings), so lines that hold one are dropped
// before Qt parses the file; everything else reads and writes exactly as Qt's INI format.
namespace quillet::SettingsFile {

// The entries of a settings file's text, serialised values left out.
QSettings::SettingsMap parse(const QByteArray& ini);
// The text of a settings file holding `map`; nothing when it could not be made.
std::optional<QByteArray> serialise(const QSettings::SettingsMap& map);

// `ini` with every entry whose value, once Qt has undone its escapes, would be deserialised
// with QDataStream left out. Continued lines count as one entry.
QByteArray withoutSerialisedValues(const QByteArray& ini);

} // namespace quillet::SettingsFile
