#pragma once

// The application controller with a screen reader that answers when the test says so, hot keys
// the test chooses, and alerts recorded instead of shown.

#include "CaptureFixtures.h"
#include "WaitUntil.h"

#include "app/AppDelegate.h"
#include "capture/OverlayWindow.h"
#include "output/PinWindow.h"
#include "platform/HotKeyBackend.h"
#include "platform/ScreenGrabber.h"
#include "settings/ShortcutStore.h"

#include <QClipboard>
#include <QGuiApplication>
#include <gtest/gtest.h>

namespace quillet::test {

// Hands out its result when the test says so, and records what each grab was asked.
class HeldGrabber final : public ScreenGrabber {
public:
    void grabAll(const QList<Screen>& screens, const QList<quint32>& excluding, Done done) override
    {
        ++calls;
        excluded = excluding;
        asked = screens;
        pending = std::move(done);
    }
    QList<WindowRecord> windowList() override { return {}; }
    bool canRecordScreen() const override { return !refusal; }
    QString unavailableReason() const override { return refusal.value_or(QString()); }

    enum class Shots { pattern, unmatched, none };
    // Answers the pending grab: a picture per screen, a null one per screen (no screen matched),
    // no list at all, or the error.
    void deliver(std::optional<QString> error = std::nullopt, Shots shots = Shots::pattern)
    {
        ASSERT_TRUE(pending);
        GrabResult r;
        r.error = std::move(error);
        if (!r.error && shots != Shots::none) {
            for (const Screen& s : asked)
                r.images.append(shots == Shots::pattern
                        ? patternImage(s.pixelWidth(), s.pixelHeight())
                        : QImage());
        }
        std::exchange(pending, {})(r);
    }

    int calls = 0;
    std::optional<QString> refusal; // set: the screen cannot be read, for this reason
    QList<quint32> excluded;
    QList<Screen> asked;
    Done pending;
};

class DelegateFixture : public ::testing::Test {
protected:
    // The hot key backend the controller gets; none that grabs by default.
    virtual std::unique_ptr<HotKeyBackend> makeHotKeys() { return makeNullHotKeyBackend(); }

    void SetUp() override
    {
        ShortcutStore::reset();
        setHotKeyBackendFactory([this] { return makeHotKeys(); });
        auto g = std::make_unique<HeldGrabber>();
        grabber = g.get();
        setScreenGrabber(std::move(g));
        delegate = std::make_unique<AppDelegate>();
        delegate->alert = [this](const QString& m, const QString& d, std::function<void()> done) {
            alerts << m + " | " + d;
            alertDone = std::move(done);
        };
    }
    void TearDown() override
    {
        if (delegate && delegate->session())
            delegate->session()->finish(false);
        // A fade-out left running would hold back the next test's first grab.
        OverlayWindow::dismissLeaving();
        PinWindow::closeAll();
        waitUntil([] { return PinWindow::count() == 0; });
        delegate.reset();
        QCoreApplication::processEvents();
        PinWindow::onEdit = {};
        setHotKeyBackendFactory({});
        setScreenGrabber(nullptr);
        QGuiApplication::clipboard()->clear();
    }

    HeldGrabber* grabber = nullptr;
    std::unique_ptr<AppDelegate> delegate;
    QStringList alerts;
    std::function<void()> alertDone;
};

} // namespace quillet::test
