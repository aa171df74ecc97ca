// The stored shortcuts as the program reads them at start: the settings file, hand-edited or
// damaged, holding anything at all under the shortcut keys.
#include "FuzzSupport.h"

#include "platform/KeyCodes.h"
#include "settings/Prefs.h"
#include "settings/ShortcutStore.h"

#include <QSettings>

using namespace quillet;

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzz::makeApp(fuzz::AppKind::core);
    fuzz::privateConfigHome();
    Prefs::registerDefaults();
    return 0;
}

namespace {

// What the program does with a stored shortcut once read: shows it, and turns it into an X
// key grab.
void use(const Shortcut& s)
{
    FUZZ_CHECK(s.keyCaps().size() >= 1);
    (void)s.display();
    (void)KeyCodes::toX(s.keyCode);
    (void)KeyCodes::modsToX(s.mods);
}

} // namespace

// The first byte chooses how the rest arrives: as the whole settings file (a hand edit, any
// syntax the file may hold), or as the exact bytes stored under one shortcut key (what a
// damaged write could leave).
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    const QByteArray rest = fuzz::bytes(data + 1, size - 1);
    if (data[0] & 1) {
        fuzz::writeSettingsFile(Prefs::filePath(), {});
        auto s = Prefs::store();
        s->setValue(ShortcutStore::key(HotKeyAction::capture, data[0] >> 7), rest);
        s->sync();
    } else {
        fuzz::writeSettingsFile(Prefs::filePath(), rest);
    }

    for (const HotKeyAction action : allHotKeyActions) {
        for (int slot = 0; slot < ShortcutStore::slots; ++slot) {
            const std::optional<Shortcut> got = ShortcutStore::get(action, slot);
            if (!got)
                continue;
            use(*got);
            // What was read can be written back and reads the same: the settings window stores
            // the shortcuts it shows.
            ShortcutStore::set(action, slot, got);
            FUZZ_CHECK(ShortcutStore::get(action, slot) == got);
        }
        (void)ShortcutStore::display(action);
    }
    return 0;
}
