#include "platform/FakeScreenGrabber.h"
#include "platform/HotKeyBackend.h"
#include "platform/ScreenGrabber.h"
#include "platform/ScrollSource.h"

#include <QGuiApplication>

namespace quillet {

namespace {

class NullGrabber final : public ScreenGrabber {
public:
    void grabAll(const QList<Screen>&, const QList<quint32>&, Done done) override
    {
        GrabResult r;
        r.error = QStringLiteral("没有可用的屏幕截取方式");
        done(r);
    }
    QList<WindowRecord> windowList() override { return {}; }
};

class UnavailableGrabber final : public ScreenGrabber {
public:
    explicit UnavailableGrabber(QString reason)
        : m_reason(std::move(reason))
    { }
    void grabAll(const QList<Screen>&, const QList<quint32>&, Done done) override
    {
        GrabResult r;
        r.error = m_reason;
        done(r);
    }
    QList<WindowRecord> windowList() override { return {}; }
    bool canRecordScreen() const override { return false; }
    QString unavailableReason() const override { return m_reason; }

private:
    QString m_reason;
};

class NullHotKeys final : public HotKeyBackend {
public:
    bool grab(quint32, int, int) override { return true; }
    void ungrab(quint32) override { }
};

class UnavailableHotKeys final : public HotKeyBackend {
public:
    explicit UnavailableHotKeys(QString reason)
        : m_reason(std::move(reason))
    { }
    bool grab(quint32, int, int) override { return false; }
    void ungrab(quint32) override { }
    QString unavailableReason() const override { return m_reason; }

private:
    QString m_reason;
};

std::unique_ptr<ScreenGrabber>& grabberSlot()
{
    static std::unique_ptr<ScreenGrabber> slot;
    return slot;
}

std::function<std::unique_ptr<ScreenGrabber>()>& grabberFactory()
{
    static std::function<std::unique_ptr<ScreenGrabber>()> f;
    return f;
}

std::function<std::unique_ptr<HotKeyBackend>()>& hotKeyFactory()
{
    static std::function<std::unique_ptr<HotKeyBackend>()> f;
    return f;
}

} // namespace

std::unique_ptr<ScrollSource> ScreenGrabber::scrollSource(const Screen&, const QRect&)
{
    return nullptr;
}

QString ScreenGrabber::longCaptureUnavailable() const
{
    return canRecordScreen() ? QStringLiteral("长截图在这种桌面上不可用") : unavailableReason();
}

ScreenGrabber& screenGrabber()
{
    auto& slot = grabberSlot();
    if (!slot) {
        if (qgetenv("QUILLET_GRABBER") == "fake")
            slot = std::make_unique<FakeScreenGrabber>();
        else if (grabberFactory())
            slot = grabberFactory()();
        if (!slot)
            slot = std::make_unique<NullGrabber>();
    }
    return *slot;
}

void setScreenGrabber(std::unique_ptr<ScreenGrabber> grabber)
{
    grabberSlot() = std::move(grabber);
}

void setScreenGrabberFactory(std::function<std::unique_ptr<ScreenGrabber>()> factory)
{
    grabberFactory() = std::move(factory);
}

std::unique_ptr<ScreenGrabber> makeUnavailableScreenGrabber(const QString& reason)
{
    return std::make_unique<UnavailableGrabber>(reason);
}

std::unique_ptr<HotKeyBackend> makeNullHotKeyBackend()
{
    return std::make_unique<NullHotKeys>();
}

std::unique_ptr<HotKeyBackend> makeUnavailableHotKeyBackend(const QString& reason)
{
    return std::make_unique<UnavailableHotKeys>(reason);
}

void setHotKeyBackendFactory(std::function<std::unique_ptr<HotKeyBackend>()> factory)
{
    hotKeyFactory() = std::move(factory);
}

std::unique_ptr<HotKeyBackend> makeHotKeyBackend()
{
    if (hotKeyFactory()) {
        if (auto b = hotKeyFactory()())
            return b;
    }
    return makeNullHotKeyBackend();
}

} // namespace quillet
