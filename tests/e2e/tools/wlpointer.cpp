// A pointer for the Wayland end-to-end tests: a virtual pointer device on the compositor, driven
// by lines on stdin ("move X Y" in layout coordinates, "press", "release"). The device lives as
// long as this process, so that clients bind their pointer once and keep it. Each line is
// answered "ok" once the compositor has taken it in.
//   wlpointer LAYOUT_WIDTH LAYOUT_HEIGHT
#include "wlr-virtual-pointer-unstable-v1-client-protocol.h"

#include <wayland-client.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <linux/input-event-codes.h>

namespace {

zwlr_virtual_pointer_manager_v1* manager = nullptr;

void global(void*, wl_registry* registry, uint32_t name, const char* interface, uint32_t)
{
    if (std::strcmp(interface, zwlr_virtual_pointer_manager_v1_interface.name) == 0)
        manager = static_cast<zwlr_virtual_pointer_manager_v1*>(
            wl_registry_bind(registry, name, &zwlr_virtual_pointer_manager_v1_interface, 1));
}

void globalRemove(void*, wl_registry*, uint32_t) { }

const wl_registry_listener registryListener = {.global = global, .global_remove = globalRemove};

uint32_t now()
{
    timespec t {};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return uint32_t(t.tv_sec * 1000 + t.tv_nsec / 1000000);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: wlpointer LAYOUT_WIDTH LAYOUT_HEIGHT\n");
        return 2;
    }
    const uint32_t width = uint32_t(std::atoi(argv[1]));
    const uint32_t height = uint32_t(std::atoi(argv[2]));
    wl_display* display = wl_display_connect(nullptr);
    if (!display) {
        std::fprintf(stderr, "wlpointer: no Wayland display\n");
        return 1;
    }
    wl_registry* registry = wl_display_get_registry(display);
    wl_registry_add_listener(registry, &registryListener, nullptr);
    wl_display_roundtrip(display);
    if (!manager) {
        std::fprintf(stderr, "wlpointer: the compositor has no virtual pointers\n");
        return 1;
    }
    zwlr_virtual_pointer_v1* pointer
        = zwlr_virtual_pointer_manager_v1_create_virtual_pointer(manager, nullptr);
    wl_display_roundtrip(display);
    std::printf("ready\n");
    std::fflush(stdout);

    char line[128];
    while (std::fgets(line, sizeof line, stdin)) {
        unsigned x = 0, y = 0;
        if (std::sscanf(line, "move %u %u", &x, &y) == 2) {
            zwlr_virtual_pointer_v1_motion_absolute(pointer, now(), x, y, width, height);
        } else if (std::strncmp(line, "press", 5) == 0) {
            zwlr_virtual_pointer_v1_button(
                pointer, now(), BTN_LEFT, WL_POINTER_BUTTON_STATE_PRESSED);
        } else if (std::strncmp(line, "release", 7) == 0) {
            zwlr_virtual_pointer_v1_button(
                pointer, now(), BTN_LEFT, WL_POINTER_BUTTON_STATE_RELEASED);
        } else {
            std::printf("unknown\n");
            std::fflush(stdout);
            continue;
        }
        zwlr_virtual_pointer_v1_frame(pointer);
        if (wl_display_roundtrip(display) < 0)
            return 1;
        std::printf("ok\n");
        std::fflush(stdout);
    }
    wl_display_disconnect(display);
    return 0;
}
