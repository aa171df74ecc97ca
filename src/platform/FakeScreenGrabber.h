#pragma once

#include "platform/ScreenGrabber.h"

#include <QHash>
#include <QImage>
#include <QList>
#include <QString>
#include <optional>

namespace quillet {

// A screen reader for tests and headless runs: serves images set per screen name and a fixed
// window list. Results arrive later from the event loop, as from a real grab, so callers cannot
// come to depend on an answer within the call.
class FakeScreenGrabber final : public ScreenGrabber {
    Q_OBJECT
public:
    FakeScreenGrabber() = default;

    // The image a grab of the named screen returns; screens without one come back null.
    void setImage(const QString& screenName, const QImage& image);
    void clearImages();
    void setWindows(const QList<WindowRecord>& windows) { windows_ = windows; }
    // Every grab fails with this text until cleared with std::nullopt.
    void setFailure(std::optional<QString> error) { failure = std::move(error); }

    // What the last grab was asked for.
    int grabCount() const { return grabs; }
    QList<quint32> lastExcluding() const { return excluded; }

    void grabAll(const QList<Screen>& screens, const QList<quint32>& excluding, Done done) override;
    QList<WindowRecord> windowList() override { return windows_; }
    QString routeName() const override { return QStringLiteral("fake"); }

private:
    QHash<QString, QImage> images;
    QList<WindowRecord> windows_;
    std::optional<QString> failure;
    QList<quint32> excluded;
    int grabs = 0;
};

} // namespace quillet
