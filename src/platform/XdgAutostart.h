#pragma once

#include <QString>

namespace quillet {

// The program's entry in the XDG autostart folder, which desktops run at login. An entry that
// says Hidden=true, or that is turned off for GNOME, is there but does not start anything.
class XdgAutostart {
public:
    // `folder` is the autostart folder, `executable` the absolute path to start.
    XdgAutostart(QString folder, QString executable);

    // $XDG_CONFIG_HOME/autostart (or ~/.config/autostart) for the running executable.
    static XdgAutostart forThisProgram();

    QString filePath() const;
    bool enabled() const;
    // Writes the entry whole (never a half-written file) or removes it. False when the folder
    // or the file could not be changed.
    bool setEnabled(bool on) const;

    // The entry's text for `executable`.
    static QByteArray entryText(const QString& executable);
    // The executable quoted as the desktop-entry Exec key wants it.
    static QString quotedExec(const QString& executable);

    static constexpr const char* fileName = "quillet.desktop";

private:
    QString m_folder;
    QString m_executable;
};

} // namespace quillet
