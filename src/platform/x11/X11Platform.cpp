#include "platform/x11/X11Platform.h"
#include "platform/WindowSystem.h"
#include "platform/x11/X11Compositor.h"
#include "platform/x11/X11Grabber.h"

#include "platform/HotKeyBackend.h"
#include "platform/KeyCodes.h"
#include "platform/PreludeGrab.h"
#include "platform/x11/X11Clipboard.h"
#include "platform/x11/X11HotKeys.h"
#include "platform/x11/X11PreludeGrab.h"

#include <QGuiApplication>

namespace quillet {

bool installX11Platform()
{
    if (QGuiApplication::platformName() != QLatin1String("xcb"))
        return false;
    setScreenGrabberFactory([] { return std::make_unique<X11Grabber>(); });
    setHotKeyBackendFactory(
        []() -> std::unique_ptr<HotKeyBackend> { return X11HotKeys::create(); });
    setPreludeGrabFactory(
        []() -> std::unique_ptr<PreludeGrab> { return X11PreludeGrab::create(); });
    KeyCodes::setPlainTextProvider(&x11PlainText);
    setCompositorProbe(&x11CompositorActive);
    setClipboardReader(X11Clipboard::reader());
    return true;
}

} // namespace quillet
