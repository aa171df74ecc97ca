#pragma once

#include "platform/ScreenGrabber.h"

#include <QByteArray>
#include <QList>
#include <QPoint>
#include <QSize>
#include <QString>
#include <memory>

namespace quillet {

// Reads outputs through the compositor's screen-copy protocol (wlroots' zwlr_screencopy_v1) on a
// Wayland connection of its own, so grabs never wait on the GUI thread's event queue. Used from
// one thread at a time; reconnects after the connection broke.
class ScreencopySession {
public:
    // One output to read, found by the name Qt gives its screen and, failing that, by where it
    // lies in the compositor's layout; the image comes back at `imageSize`.
    struct Target {
        QString name;
        QPoint logicalTopLeft;
        QSize imageSize;
    };

    // `display` empty: the one WAYLAND_DISPLAY names.
    explicit ScreencopySession(QByteArray display = {});
    ~ScreencopySession();
    ScreencopySession(const ScreencopySession&) = delete;
    ScreencopySession& operator=(const ScreencopySession&) = delete;

    // Connects if need be and says whether the compositor offers screen copy; `why` gets the
    // reason when it does not.
    bool available(QString* why = nullptr);

    // Reads every target; never blocks longer than `timeoutMs` in all.
    GrabResult grab(const QList<Target>& targets, int timeoutMs = 3000);

    struct Impl;

private:
    std::unique_ptr<Impl> d;
};

} // namespace quillet
