#pragma once

#include <QList>
#include <QString>

namespace quillet {

// The program's keys as GNOME custom shortcuts (Settings → Keyboard → Custom Shortcuts): the way
// to global keys on a GNOME without a shortcuts portal. Written through the gsettings tool that
// every GNOME has, under paths of the program's own (…/custom-keybindings/quillet-NAME/), so that
// adding and removing leave the user's other shortcuts alone.
namespace GnomeKeyBindings {

struct Entry {
    QString id; // "capture", "capture-2": part of the entry's path
    QString name; // shown in GNOME Settings
    QString arguments; // given to this program: "capture"
    QString binding; // GNOME's notation: "<Control><Shift>a", "F1"
};

// Whether this is a GNOME session whose custom shortcuts can be written.
bool available();
// Whether the program has entries in GNOME's list.
bool installed();
// Puts exactly these entries in place of the program's earlier ones. False, with a sentence
// for the user in `why`, when gsettings refused.
bool install(const QList<Entry>& entries, QString* why);
bool uninstall(QString* why);

// The command an entry runs: this program's path (quoted where the shell needs it) and its
// arguments.
QString commandFor(const QString& arguments);

} // namespace GnomeKeyBindings
} // namespace quillet
