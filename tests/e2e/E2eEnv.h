#pragma once

#include "ProcessRig.h"

#include <QByteArray>
#include <QImage>
#include <QPoint>
#include <QProcessEnvironment>
#include <QRect>
#include <QRgb>
#include <QSize>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <functional>
#include <gtest/gtest.h>
#include <memory>

class QProcess;

namespace quillet::e2e {

// The default global shortcuts as X keycodes and modifier masks (Shift 1, Control 4).
struct XKey {
    int keycode;
    int mods;
    const char* display;
};
inline constexpr XKey defaultHotKeys[] = {
    {67, 0, "F1"},
    {38, 5, "Ctrl+Shift+A"},
    {69, 0, "F3"},
    {33, 5, "Ctrl+Shift+P"},
};
// Caps Lock (2) and Num Lock (16, Mod2 on these servers) must not change what is held.
inline constexpr int lockMasks[] = {0, 2, 16, 18};

struct EnvOptions {
    QSize size {1280, 800};
    bool windowManager = false; // openbox
    bool twoMonitors = false; // 1280×800 and 1024×768 side by side on one wide screen
    bool compositor = false; // xcompmgr: window opacity and fades show
    // A private session bus with the AT-SPI bus on it, and the program's widgets exposed there,
    // so that tests find and use controls by their accessible names (tools/a11y.py).
    bool accessibility = false;
    // XDG_RUNTIME_DIR deeper than a socket's address can hold.
    bool longRuntimeDir = false;
};

// A private X server per test with a fresh settings home and runtime folder, the built
// program started in it, and helpers that drive it from outside as a user would. Everything
// started is stopped by PID in TearDown.
class E2eEnv : public ProcessRig {
protected:
    void SetUp() override;
    void TearDown() override;
    virtual EnvOptions options() const { return {}; }

    // The environment every child gets: this display, these folders, the xcb platform.
    const QProcessEnvironment& environment() const { return m_env; }
    QString configHome() const { return m_dir->filePath("config"); }
    QString runtimeDir() const;
    // A path in this test's own folder.
    QString scratch(const QString& name) const { return m_dir->filePath(name); }

    // Starts a long-running process; stderr goes to a log file in the scratch folder.
    QProcess* startBackground(const QString& program, const QStringList& args);
    // Starts a long-running helper and waits until it has said `word` on its output: what it said
    // by then, or nothing when it never did.
    QByteArray startUntilSaid(
        const QString& program, const QStringList& args, const QByteArray& word);

    // A file of `bytes` in the scratch folder; its path.
    QString writeScratch(const QString& name, const QByteArray& bytes);
    // The window holding the keyboard focus, as xdotool prints ids (decimal); works with and
    // without a window manager.
    QString activeWindow()
    {
        return QString::fromUtf8(runTool("xdotool", {"getwindowfocus"}).out).trimmed();
    }
    // The visible windows xdotool finds with these search options, such as {"--class", "quillet"}.
    QStringList visibleWindows(const QStringList& search);

    // The program under test.
    QProcess* startQuillet(const QStringList& args = {});
    // Waits until a started instance answers and has registered its hot keys.
    bool waitForQuilletReady(int timeoutMs = 10000)
    {
        return waitFor([this] { return quilletStatus().contains("pid"); }, timeoutMs);
    }
    // Starts the program and waits until it is ready.
    bool startQuilletReady(const QStringList& args = {})
    {
        startQuillet(args);
        return waitForQuilletReady();
    }
    QString quilletStderr() const;
    // Whether `quillet status` reports the capture session in this state ("open", "none").
    bool sessionIs(const char* state)
    {
        return quilletStatus().value("session") == QLatin1String(state);
    }

    // Keyboard and mouse through xdotool.
    bool key(const QString& keys) { return xdotool({"key", keys}); }
    bool keyDown(const QString& keys) { return xdotool({"keydown", keys}); }
    bool keyUp(const QString& keys) { return xdotool({"keyup", keys}); }
    bool mouseMove(QPoint p)
    {
        return xdotool({"mousemove", QString::number(p.x()), QString::number(p.y())});
    }
    bool click(int button = 1) { return xdotool({"click", QString::number(button)}); }
    bool drag(QPoint from, QPoint to, int steps = 8);
    // A drag from the rectangle's top-left corner to just past its bottom-right one.
    bool dragRect(const QRect& r)
    {
        return drag(r.topLeft(), r.topLeft() + QPoint(r.width(), r.height()));
    }
    bool xdotool(const QStringList& args);

    // The CLIPBOARD selection through xclip. The putters keep xclip running as the owner.
    QStringList clipboardTargets()
    {
        return QString::fromUtf8(clipboardAs("TARGETS"))
            .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }
    QByteArray clipboardPng() { return clipboardAs("image/png"); }
    QByteArray clipboardAs(const QString& target); // empty when nothing offers it
    bool putClipboardFile(const QString& path, const QString& mimeType);
    bool putClipboardText(const QString& text);

    // The X probe (key grabs, the pattern background, the window manager check).
    ToolResult xprobe(const QStringList& args, int timeoutMs = 5000)
    {
        return runTool(QStringLiteral(XPROBE_BINARY), args, timeoutMs);
    }
    // Exit status of `xprobe grab KEYCODE MODS`: 0 free, 3 held by somebody.
    int grabStatus(int keycode, int mods)
    {
        return xprobe({"grab", QString::number(keycode), QString::number(mods)}).exitCode;
    }

    // Fills the screen with a picture whose every pixel differs; patternColor gives any pixel.
    bool screenPattern() { return xprobe({"pattern"}, 15000).exitCode == 0; }
    static QRgb patternColor(int x, int y);
    // The whole screen as the X server shows it now; null when it cannot be read.
    QImage screenShot();
    // The program's own count of open pins; -1 when it does not answer.
    int pins() { return quilletStatus().value("pins", "-1").toInt(); }

    // tools/a11y.py against the program whose process is `pid`: "tree", "do NAME [ACTION]",
    // "set NAME VALUE" (see the tool). Needs EnvOptions::accessibility.
    ToolResult a11y(qint64 pid, const QStringList& args, int timeoutMs = 15000);

    // A panel with a system tray (trayer) at the top right, once the program's entry is in it.
    bool startTray();
    // Picks the entry `downs` steps down the tray entry's menu, until `done` holds.
    bool chooseFromTray(int downs, const std::function<bool()>& done);

    QString display() const { return m_display; }
    // Ends the X server at once, as a crash of the session would.
    void killXServer();

private:
    bool startX(const EnvOptions& o);
    bool startWindowManager();
    bool startCompositor();
    bool startAccessibilityBus();
    bool splitMonitors();

    std::unique_ptr<QTemporaryDir> m_dir;
    bool m_longRuntimeDir = false;
    QString m_display;
    QProcess* m_xServer = nullptr;
    QString m_quilletLog;
};

} // namespace quillet::e2e
