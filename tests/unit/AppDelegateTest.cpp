#include "app/CaptureKeys.h"
#include "app/KeyEquivalents.h"
#include "app/StatusMenu.h"
#include "capture/CaptureSession.h"
#include "output/Output.h"
#include "platform/Screen.h"
#include "settings/HotKeyCenter.h"
#include "settings/Prefs.h"
#include "settings/window/SettingsModel.h"
#include "settings/window/SettingsWindow.h"

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMimeData>
#include <QPointer>
#include <QTemporaryDir>
#include <QVBoxLayout>
#include <gtest/gtest.h>

#include "DelegateFixture.h"
#include "FakeHotKeys.h"
#include "Pixels.h"

using namespace quillet;

namespace {

using test::waitUntil;

// Without a window system's own reader the clipboard is read on the spot, so the answer is there
// when the call returns.
Reply ask(AppDelegate& delegate, const Request& request)
{
    std::optional<Reply> reply;
    delegate.handleRequest(request, [&reply](const Reply& r) { reply = r; });
    EXPECT_TRUE(reply) << request.verb.toStdString();
    return reply.value_or(Reply {-1, {}});
}

AppDelegate::PinOutcome pinNow(AppDelegate& delegate)
{
    std::optional<AppDelegate::PinOutcome> outcome;
    delegate.pinClipboardThen([&outcome](AppDelegate::PinOutcome o) { outcome = o; });
    EXPECT_TRUE(outcome);
    return outcome.value_or(AppDelegate::PinOutcome::failed);
}

using test::FakeHotKeys;
using test::Grab;

class AppDelegateTest : public test::DelegateFixture {
protected:
    std::unique_ptr<HotKeyBackend> makeHotKeys() override
    {
        return std::make_unique<FakeHotKeys>(&grabs, QSet<int> {122});
    }
    void SetUp() override
    {
        DelegateFixture::SetUp();
        delegate->pinImage = [this](const QImage& image) {
            pinned << image;
            return true;
        };
        delegate->pinText = [this](const QString& text, qreal scale) {
            pinned << PinWindow::renderText(text, scale);
            pinnedTexts << text;
            return true;
        };
    }

    QList<Grab> grabs;
    QList<QImage> pinned;
    QStringList pinnedTexts; // the text each text pin keeps for copying
};

TEST_F(AppDelegateTest, StatusMenuHasEightEntriesInOrderWithTheKeysInTheTitles)
{
    delegate->applicationDidFinishLaunching();
    StatusMenu* menu = delegate->statusMenu();
    ASSERT_NE(menu, nullptr);
    const QList<QAction*> items = menu->actions();
    QStringList titles; // the part before the shortcut column
    for (const QAction* a : items)
        titles << (a->isSeparator() ? QStringLiteral("—") : a->text().section('\t', 0, 0));
    ASSERT_EQ(titles,
        QStringList({"截图", "贴图", "关闭所有贴图", "—", "设置…", "关于墨钉", "—", "退出墨钉"}));
    EXPECT_EQ(items[4]->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Comma));
    EXPECT_EQ(items[7]->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Q));
    EXPECT_EQ(menu->captureItem(), items[0]);
    EXPECT_EQ(menu->pinItem(), items[1]);
    // The titles carry the stored keys, in the notation Linux desktops write keys in.
    EXPECT_EQ(items[0]->text(), "截图\tF1 / Ctrl+Shift+A");
    EXPECT_EQ(items[1]->text(), "贴图\tF3 / Ctrl+Shift+P");
    // With nothing stored the column says so.
    for (HotKeyAction a : allHotKeyActions) {
        for (int slot = 0; slot < ShortcutStore::slots; ++slot)
            ShortcutStore::set(a, slot, std::nullopt);
    }
    delegate->registerHotKeys();
    EXPECT_EQ(items[0]->text(), "截图\t未设置");
    EXPECT_EQ(items[1]->text(), "贴图\t未设置");
    ShortcutStore::reset();
}

// A desktop that takes no global keys (Wayland) must not be reported as holding them: every
// key is refused, the status says none is held, and the settings window learns why.
TEST_F(AppDelegateTest, DesktopWithoutGlobalKeysHoldsNoneAndSaysWhy)
{
    delegate.reset();
    Prefs::store()->remove(QLatin1String(Prefs::shortcutsShownKey));
    setHotKeyBackendFactory([] { return makeUnavailableHotKeyBackend("没有全局快捷键"); });
    delegate = std::make_unique<AppDelegate>();
    delegate->applicationDidFinishLaunching();
    EXPECT_EQ(delegate->hotKeysRegistered(), 0);
    EXPECT_TRUE(ask(*delegate, {"status", {}}).text.contains("hotkeys-registered: 0"));
    // Without a tray too nothing would show that the program runs: the first such start shows
    // the shortcuts page. Not every start, for a limit of the desktop.
    ASSERT_NE(delegate->settingsWindow(), nullptr);
    delegate.reset();
    delegate = std::make_unique<AppDelegate>();
    delegate->applicationDidFinishLaunching();
    EXPECT_EQ(delegate->settingsWindow(), nullptr);
    delegate->openSettings(SettingsPage::shortcuts);
    SettingsModel& model = SettingsModel::shared();
    EXPECT_EQ(model.page(), SettingsPage::shortcuts);
    EXPECT_EQ(model.hotKeyReason(), "没有全局快捷键");
    EXPECT_EQ(model.failed().size(), 4);
}

TEST_F(AppDelegateTest, RegistersTheStoreInOrderAndListsRefusedKeys)
{
    // Default bindings: F1 and Ctrl+Shift+A, F3 and Ctrl+Shift+P; F1 is the refused one.
    const QList<Shortcut> stored
        = ShortcutStore::all(HotKeyAction::capture) + ShortcutStore::all(HotKeyAction::pin);
    ASSERT_EQ(stored.size(), 4);
    const quint32 firstID = delegate->hotKeys().nextID();
    EXPECT_EQ(delegate->registerHotKeys(), QStringList {"F1"});
    EXPECT_EQ(delegate->hotKeysRegistered(), 3);
    ASSERT_EQ(grabs.size(), stored.size());
    for (int i = 0; i < stored.size(); ++i) {
        EXPECT_EQ(grabs[i].id, firstID + static_cast<quint32>(i));
        EXPECT_EQ(grabs[i].keyCode, stored[i].keyCode);
        EXPECT_EQ(grabs[i].mods, stored[i].mods);
    }
}

TEST_F(AppDelegateTest, PressArrivingWithAKeyboardChangeStillActs)
{
    delegate->registerHotKeys();
    const QList<Shortcut> pinKeys = ShortcutStore::all(HotKeyAction::pin);
    quint32 pinID = 0;
    for (const Grab& g : grabs) {
        if (g.keyCode == pinKeys.first().keyCode && g.mods == pinKeys.first().mods)
            pinID = g.id;
    }
    ASSERT_NE(pinID, 0u);
    QGuiApplication::clipboard()->setText("pressed during a keyboard change");
    // The window system reports the new keyboard and the press in one batch; the backend
    // announces the change from the event loop, after it has read the whole batch.
    HotKeyBackend* backend = &delegate->hotKeys().backend();
    QMetaObject::invokeMethod(
        backend, [backend] { Q_EMIT backend->mappingChanged(); }, Qt::QueuedConnection);
    Q_EMIT backend->pressed(pinID);
    EXPECT_TRUE(waitUntil([&] { return pinned.size() == 1; }));
    // And the keys were registered again afterwards.
    EXPECT_TRUE(waitUntil([&] { return grabs.last().id > pinID + 2; }));
}

struct ClipboardCase {
    const char* name;
    QImage image; // set as the image when not null
    bool emptyImage; // an image entry that holds a zero-width image
    QString text;
    AppDelegate::PinOutcome expected;
};

TEST_F(AppDelegateTest, PinPrefersImageOverTextAndBeepsOnNothing)
{
    QImage red = test::filled(QSize(40, 30), Qt::red);
    const QList<ClipboardCase> cases = {
        {"image and text", red, false, "说明文字", AppDelegate::PinOutcome::image},
        {"image only", red, false, {}, AppDelegate::PinOutcome::image},
        {"text only", {}, false, "hello", AppDelegate::PinOutcome::text},
        {"a single space", {}, false, " ", AppDelegate::PinOutcome::text},
        {"zero-width image and text", {}, true, "fallback", AppDelegate::PinOutcome::text},
        {"zero-width image only", {}, true, {}, AppDelegate::PinOutcome::nothing},
        {"nothing", {}, false, {}, AppDelegate::PinOutcome::nothing},
    };
    for (const ClipboardCase& c : cases) {
        SCOPED_TRACE(c.name);
        pinned.clear();
        pinnedTexts.clear();
        auto* data = new QMimeData;
        if (!c.image.isNull())
            data->setImageData(c.image);
        if (c.emptyImage)
            data->setImageData(QImage());
        if (!c.text.isNull())
            data->setText(c.text);
        QGuiApplication::clipboard()->setMimeData(data);
        EXPECT_EQ(pinNow(*delegate), c.expected);
        const bool pins = c.expected == AppDelegate::PinOutcome::image
            || c.expected == AppDelegate::PinOutcome::text;
        EXPECT_EQ(pinned.size(), pins ? 1 : 0);
        if (c.expected == AppDelegate::PinOutcome::image && !pinned.isEmpty()) {
            EXPECT_EQ(pinned.first().convertToFormat(QImage::Format_RGB32), red);
        }
        EXPECT_EQ(pinnedTexts,
            c.expected == AppDelegate::PinOutcome::text ? QStringList {c.text} : QStringList {});
    }
    // Pinned twice, two pins.
    pinned.clear();
    QGuiApplication::clipboard()->setText("twice");
    pinNow(*delegate);
    pinNow(*delegate);
    EXPECT_EQ(pinned.size(), 2);
}

// Presses while the screens are read are dropped. How the grab ends decides when the next one
// may start: at once when no screen matched (without a word), once the alert is dismissed after
// a failure, once the session has ended after a success.
TEST_F(AppDelegateTest, OneCaptureAtATimeUntilTheGrabAndWhatFollowsAreOver)
{
    enum class End { unmatched, failed, session };
    for (const End end : {End::unmatched, End::failed, End::session}) {
        SCOPED_TRACE(int(end));
        grabber->calls = 0;
        delegate->startCapture();
        EXPECT_TRUE(delegate->busy());
        delegate->startCapture();
        delegate->pinClipboard(); // no session yet: reads the clipboard, grabs nothing
        EXPECT_EQ(grabber->calls, 1);
        if (end == End::unmatched) {
            grabber->deliver(std::nullopt, test::HeldGrabber::Shots::unmatched);
            EXPECT_EQ(delegate->session(), nullptr);
        } else if (end == End::failed) {
            grabber->deliver("显示服务器拒绝了请求");
            EXPECT_EQ(alerts, QStringList {"截图失败 | 显示服务器拒绝了请求"});
            EXPECT_TRUE(delegate->busy());
            delegate->startCapture();
            EXPECT_EQ(grabber->calls, 1);
            ASSERT_TRUE(alertDone);
            std::exchange(alertDone, {})();
            alerts.clear();
        } else {
            grabber->deliver();
            ASSERT_NE(delegate->session(), nullptr);
            EXPECT_FALSE(delegate->busy());
            delegate->session()->finish(false);
            // Ending drops the session, after the call that ended it has returned.
            EXPECT_TRUE(waitUntil([&] { return delegate->session() == nullptr; }));
        }
        EXPECT_TRUE(alerts.isEmpty());
        EXPECT_FALSE(delegate->busy());
        delegate->startCapture();
        EXPECT_EQ(grabber->calls, 2);
        grabber->deliver(std::nullopt, test::HeldGrabber::Shots::unmatched); // idle again
    }
}

// The failure alert of a save is modal and holds the only copy of the capture: a capture opened
// over it would lose its keys to the alert, and its Escape would drop the kept one.
TEST_F(AppDelegateTest, NoCaptureOpensWhileASaveHoldsTheLastOne)
{
    QTemporaryDir dir;
    const QString notAFolder = dir.filePath("plain");
    QFile(notAFolder).open(QIODevice::WriteOnly);
    {
        auto s = Prefs::store();
        s->setValue(QLatin1String(Prefs::quickSaveKey), true);
        s->setValue(QLatin1String(Prefs::saveDirKey), notAFolder);
    }
    const Output::SaveInteraction saved = Output::saveInteraction();
    int alertsShown = 0;
    Reply commandLine;
    Output::saveInteraction().reportFailure = [&](const QString&, const QString&) {
        ++alertsShown;
        // F1 and `quillet capture` while the alert is up.
        delegate->startCapture();
        commandLine = ask(*delegate, {"capture", {}});
        return true; // then the user picks another place
    };
    const QString elsewhere = dir.filePath("elsewhere.png");
    Output::saveInteraction().choosePath
        = [&](const QString&, const QString&) { return std::optional<QString>(elsewhere); };
    QImage image = test::filled(QSize(32, 24), Qt::darkCyan);
    EXPECT_EQ(Output::save(image), std::optional<QString>(elsewhere));
    Output::saveInteraction() = saved;
    {
        auto s = Prefs::store();
        s->remove(QLatin1String(Prefs::quickSaveKey));
        s->remove(QLatin1String(Prefs::saveDirKey));
    }

    EXPECT_EQ(alertsShown, 1);
    EXPECT_EQ(grabber->calls, 0);
    EXPECT_EQ(delegate->session(), nullptr);
    EXPECT_FALSE(delegate->busy());
    EXPECT_EQ(commandLine.exitCode, 1);
    EXPECT_FALSE(commandLine.text.isEmpty());
    EXPECT_TRUE(QFileInfo::exists(elsewhere));
    // Once the image is saved the next capture starts as usual.
    EXPECT_FALSE(Output::saveInProgress());
    delegate->startCapture();
    EXPECT_EQ(grabber->calls, 1);
}

TEST_F(AppDelegateTest, AScreenThatCannotBeReadSendsTheUserToTheGeneralPage)
{
    grabber->refusal = QStringLiteral("这个 Wayland 合成器不提供屏幕复制协议");
    SettingsModel::shared().setPage(SettingsPage::about);
    delegate->startCapture();
    EXPECT_EQ(grabber->calls, 0);
    EXPECT_TRUE(alerts.isEmpty());
    ASSERT_NE(delegate->settingsWindow(), nullptr);
    EXPECT_TRUE(delegate->settingsWindow()->isVisible());
    EXPECT_EQ(SettingsModel::shared().page(), SettingsPage::general);
    EXPECT_FALSE(SettingsModel::shared().permission());
    EXPECT_TRUE(SettingsModel::shared().permissionReason().contains("Wayland"));
    EXPECT_FALSE(delegate->busy());
    const Reply r = ask(*delegate, {"capture", {}});
    EXPECT_EQ(r.exitCode, 1);
}

TEST_F(AppDelegateTest, AnswersTheCommandLine)
{
    delegate->applicationDidFinishLaunching();
    const Reply status = ask(*delegate, {"status", {}});
    EXPECT_EQ(status.exitCode, 0);
    for (const char* key :
        {"pid: ", "hotkeys-registered: ", "hotkeys-failed:", "session: none", "busy: 0", "pins: "})
        EXPECT_TRUE(status.text.contains(QLatin1String(key))) << key;

    // The settings window opens on the page asked for, and a reopen keeps the page.
    SettingsModel& model = SettingsModel::shared();
    EXPECT_EQ(ask(*delegate, {"settings", "save"}).exitCode, 0);
    ASSERT_NE(delegate->settingsWindow(), nullptr);
    SettingsWindow* window = delegate->settingsWindow();
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(window->windowTitle(), "墨钉设置");
    EXPECT_EQ(model.page(), SettingsPage::save);
    // Closed, it goes with its pages; the next one opens where it was, on the page last seen.
    window->move(window->pos() + QPoint(37, 23));
    const QPoint left = window->pos();
    window->close();
    EXPECT_TRUE(waitUntil([&] {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        return !delegate->settingsWindow();
    }));
    EXPECT_EQ(ask(*delegate, {"reopen", {}}).exitCode, 0);
    ASSERT_NE(delegate->settingsWindow(), nullptr);
    EXPECT_TRUE(delegate->settingsWindow()->isVisible());
    EXPECT_EQ(delegate->settingsWindow()->pos(), left);
    EXPECT_EQ(model.page(), SettingsPage::save);
    EXPECT_EQ(ask(*delegate, {"settings", "nonsense"}).exitCode, 2);
    EXPECT_EQ(ask(*delegate, {"frobnicate", {}}).exitCode, 2);
    EXPECT_EQ(ask(*delegate, {"pin-file", "/nonexistent.png"}).exitCode, 1);
    QGuiApplication::clipboard()->clear();
    EXPECT_EQ(ask(*delegate, {"pin", {}}).exitCode, 1);
    EXPECT_TRUE(pinned.isEmpty());
    // A file is pinned at its pixel size, whatever ratio it was saved with.
    QTemporaryDir dir;
    QImage img = test::filled(QSize(64, 48), Qt::blue, 2.0, QImage::Format_ARGB32);
    ASSERT_TRUE(img.save(dir.filePath("blue.png")));
    EXPECT_EQ(ask(*delegate, {"pin-file", dir.filePath("blue.png")}).exitCode, 0);
    ASSERT_EQ(pinned.size(), 1);
    EXPECT_EQ(pinned.first().size(), QSize(64, 48));
    EXPECT_EQ(pinned.first().devicePixelRatio(), 1.0);
}

TEST_F(AppDelegateTest, SettingsHooksDriveTheHotKeysAndLaunchFailuresOpenTheShortcutsPage)
{
    // F1, the default capture key, is refused by the fake: the launch must show it.
    delegate->applicationDidFinishLaunching();
    SettingsModel& model = SettingsModel::shared();
    ASSERT_NE(delegate->settingsWindow(), nullptr);
    EXPECT_TRUE(delegate->settingsWindow()->isVisible());
    EXPECT_EQ(model.page(), SettingsPage::shortcuts);
    EXPECT_FALSE(model.failed().isEmpty());
    EXPECT_EQ(model.failed(), delegate->hotKeyFailures());
    EXPECT_EQ(delegate->launchFailures(), delegate->hotKeyFailures());

    // Opening twice applies twice and counts two refreshes.
    const int revision = model.revision();
    const qsizetype grabsBefore = grabs.size();
    delegate->openSettings(std::nullopt);
    delegate->openSettings(std::nullopt);
    EXPECT_EQ(model.revision(), revision + 2);
    EXPECT_GT(grabs.size(), grabsBefore);
    EXPECT_EQ(model.page(), SettingsPage::shortcuts);

    const qsizetype grabsPaused = grabs.size();
    const int registered = delegate->hotKeysRegistered();
    ASSERT_GT(registered, 0);
    model.pause(true);
    EXPECT_EQ(grabs.size(), grabsPaused);
    EXPECT_EQ(delegate->hotKeysRegistered(), 0) << "the status tells the keys are let go";
    model.pause(false);
    EXPECT_GT(grabs.size(), grabsPaused);
    EXPECT_EQ(delegate->hotKeysRegistered(), registered);

    // A recording ends when the window loses the focus, leaving the binding alone.
    const auto before = ShortcutStore::all(HotKeyAction::pin);
    model.startRecording("pin.0", [](std::optional<Shortcut>) { FAIL() << "no result expected"; });
    EXPECT_TRUE(model.isRecording("pin.0"));
    EXPECT_EQ(delegate->hotKeysRegistered(), 0);
    // Coming back to the program refreshes the window, but not while a slot records: that
    // would grab the keys the user is about to press.
    const int recordingRevision = model.revision();
    Q_EMIT qApp->applicationStateChanged(Qt::ApplicationActive);
    EXPECT_EQ(model.revision(), recordingRevision);
    EXPECT_EQ(delegate->hotKeysRegistered(), 0);
    QEvent deactivate(QEvent::WindowDeactivate);
    QCoreApplication::sendEvent(delegate->settingsWindow(), &deactivate);
    EXPECT_FALSE(model.recording().has_value());
    EXPECT_EQ(ShortcutStore::all(HotKeyAction::pin), before);
    EXPECT_EQ(delegate->hotKeysRegistered(), registered);
    const int idleRevision = model.revision();
    Q_EMIT qApp->applicationStateChanged(Qt::ApplicationActive);
    EXPECT_EQ(model.revision(), idleRevision + 1) << "idle: refreshed on coming back";

    // A desktop that answers in its own time: the open window shows what it said.
    auto* keys = dynamic_cast<FakeHotKeys*>(&delegate->hotKeys().backend());
    ASSERT_NE(keys, nullptr);
    keys->noteText = "桌面现在的绑定：截图 F1。";
    Q_EMIT keys->noteChanged();
    QCoreApplication::processEvents();
    EXPECT_EQ(model.hotKeyNote(), keys->noteText);

    // Once the controller is gone the hooks do nothing.
    delegate.reset();
    EXPECT_TRUE(model.apply().isEmpty());
    model.pause(false);
}

TEST(CaptureKeys, RecognisesTheStoredShortcutsInsideACapture)
{
    ShortcutStore::reset();
    struct Case {
        int key;
        Qt::KeyboardModifiers mods;
        std::optional<HotKeyAction> expected;
    };
    const Qt::KeyboardModifiers ctrlShift = Qt::ControlModifier | Qt::ShiftModifier;
    const QList<Case> cases = {
        {Qt::Key_F1, Qt::NoModifier, HotKeyAction::capture},
        {Qt::Key_A, ctrlShift, HotKeyAction::capture},
        {Qt::Key_F3, Qt::NoModifier, HotKeyAction::pin},
        {Qt::Key_P, ctrlShift, HotKeyAction::pin},
        {Qt::Key_F1, Qt::ShiftModifier, std::nullopt},
        {Qt::Key_A, Qt::ControlModifier, std::nullopt},
        {Qt::Key_Return, Qt::NoModifier, std::nullopt},
        {Qt::Key_Escape, Qt::NoModifier, std::nullopt},
    };
    for (const Case& c : cases) {
        const QKeyEvent e(QEvent::KeyPress, c.key, c.mods);
        EXPECT_EQ(CaptureKeys::match(e), c.expected) << c.key << " " << c.mods.toInt();
    }

    // Only while a capture is up, and only once per press.
    int runs = 0;
    bool active = false;
    CaptureKeys keys([&] { return active; }, [&](HotKeyAction) { ++runs; });
    QWidget target;
    qApp->installEventFilter(&keys);
    QKeyEvent f1(QEvent::KeyPress, Qt::Key_F1, Qt::NoModifier);
    QApplication::sendEvent(&target, &f1);
    QCoreApplication::processEvents();
    EXPECT_EQ(runs, 0);
    active = true;
    QApplication::sendEvent(&target, &f1);
    QCoreApplication::processEvents();
    EXPECT_EQ(runs, 1);
    qApp->removeEventFilter(&keys);
}

// A window that answers some of the editing commands, as the overlay and pins do.
class Answering final : public QWidget {
    Q_OBJECT
public:
    QStringList calls;
public Q_SLOTS:
    void copy() { calls << "copy"; }
    void undo() { calls << "undo"; }
    void redo() { calls << "redo"; }
    void saveImage() { calls << "saveImage"; }
};

class KeyEquivalentsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        keys = std::make_unique<KeyEquivalents>([this] { ++quits; });
        qApp->installEventFilter(keys.get());
        auto* layout = new QVBoxLayout(&window);
        plain = new QWidget;
        plain->setFocusPolicy(Qt::StrongFocus);
        field = new QLineEdit("some text");
        layout->addWidget(plain);
        layout->addWidget(field);
        window.show();
    }
    void TearDown() override { qApp->removeEventFilter(keys.get()); }

    void press(QWidget* w, int key, Qt::KeyboardModifiers mods = Qt::ControlModifier)
    {
        QKeyEvent e(QEvent::KeyPress, key, mods);
        QApplication::sendEvent(w, &e);
        QCoreApplication::processEvents();
    }

    std::unique_ptr<KeyEquivalents> keys;
    Answering window;
    QWidget* plain = nullptr;
    QLineEdit* field = nullptr;
    int quits = 0;
};

TEST_F(KeyEquivalentsTest, KeysReachTheNearestWidgetThatAnswersButTextFieldsKeepTheirs)
{
    const Qt::KeyboardModifiers ctrlShift = Qt::ControlModifier | Qt::ShiftModifier;
    const struct {
        bool inField;
        int key;
        Qt::KeyboardModifiers mods;
        QStringList calls; // added by the press
    } presses[] = {
        {false, Qt::Key_C, Qt::ControlModifier, {"copy"}},
        {false, Qt::Key_Z, Qt::ControlModifier, {"undo"}},
        {false, Qt::Key_Z, ctrlShift, {"redo"}},
        {false, Qt::Key_Y, Qt::ControlModifier, {"redo"}},
        {false, Qt::Key_S, Qt::ControlModifier, {"saveImage"}},
        {false, Qt::Key_V, Qt::ControlModifier, {}}, // nobody answers paste: nothing happens
        {false, Qt::Key_C, ctrlShift, {}}, // other modifiers are left alone
        {false, Qt::Key_C, Qt::NoModifier, {}},
        {true, Qt::Key_C, Qt::ControlModifier, {}}, // the field's own copy and select-all
        {true, Qt::Key_A, Qt::ControlModifier, {}},
        // Saving is not a text-field key: it goes up to the window.
        {true, Qt::Key_S, Qt::ControlModifier, {"saveImage"}},
    };
    field->selectAll();
    QStringList expected;
    for (const auto& p : presses) {
        press(p.inField ? field : plain, p.key, p.mods);
        expected += p.calls;
        EXPECT_EQ(window.calls, expected) << p.key << " " << p.mods.toInt();
    }
}

TEST_F(KeyEquivalentsTest, ControlCommaOpensTheSettingsOnceSetControlWClosesControlQQuits)
{
    press(plain, Qt::Key_Comma); // unset: nothing, and no crash
    int opened = 0;
    keys->openSettings = [&] { ++opened; };
    press(field, Qt::Key_Comma); // from a text field as well
    EXPECT_TRUE(waitUntil([&] { return opened == 1; }));
    EXPECT_TRUE(window.calls.isEmpty());

    ASSERT_TRUE(window.isVisible());
    press(plain, Qt::Key_W);
    EXPECT_TRUE(waitUntil([&] { return !window.isVisible(); }));
    press(plain, Qt::Key_Q);
    EXPECT_EQ(quits, 1);
}

TEST_F(AppDelegateTest, StatusGivesEveryPinItsPlaceZoomAndOpacity)
{
    PinWindow::closeAll(); // only this test's pins in the list
    delegate->applicationDidFinishLaunching();
    const QRectF primary = primaryQtGeometry();
    QImage img = test::filled(QSize(80, 60), Qt::darkCyan);
    // Global points, y up: 30 points above the bottom of the primary screen.
    QPointer<PinWindow> a = PinWindow::pin(img, QRectF(100, 30, 80, 60));
    QPointer<PinWindow> b = PinWindow::pin(img, QRectF(10.5, 40, 120, 90));
    ASSERT_TRUE(a && b);
    b->setOpacity(0.5);

    const auto pinLines = [&] {
        QStringList lines = ask(*delegate, {"status", {}}).text.split('\n');
        lines.removeIf([](const QString& l) { return !l.startsWith("pin: "); });
        return lines;
    };
    const qreal topA = primary.height() - 30 - 60;
    const qreal topB = primary.height() - 40 - 90;
    EXPECT_EQ(pinLines(),
        QStringList({QStringLiteral("pin: 100 %1 80 60 1 1").arg(topA),
            QStringLiteral("pin: 10.5 %1 120 90 1.5 0.5").arg(topB)}));

    // A closing pin has left the list already.
    a->closePin();
    EXPECT_EQ(pinLines().size(), 1);
    b->closePin();
    EXPECT_TRUE(pinLines().isEmpty());
    // Both fade out and go.
    EXPECT_TRUE(waitUntil([&] { return !a && !b; }));
}

} // namespace

#include "AppDelegateTest.moc"
