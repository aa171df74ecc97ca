#include "platform/wayland/WaylandScrollSource.h"

#include "wlr-virtual-pointer-unstable-v1-client-protocol.h"

#include <wayland-client.h>

#include <algorithm>
#include <cstring>
#include <ctime>

namespace quillet {

namespace {

constexpr int grabTimeoutMs = 1000;
// What one notch of a mouse wheel reports on Wayland, in surface units.
constexpr double unitsPerNotch = 15.0;

void global(void* data, wl_registry* registry, uint32_t name, const char* interface, uint32_t)
{
    auto** manager = static_cast<zwlr_virtual_pointer_manager_v1**>(data);
    if (std::strcmp(interface, zwlr_virtual_pointer_manager_v1_interface.name) == 0 && !*manager)
        *manager = static_cast<zwlr_virtual_pointer_manager_v1*>(
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

WaylandScrollSource::WaylandScrollSource(const ScreencopySession::Target& output,
    const QRect& pixels, const QRect& inLayout, const QRect& layout)
    : m_output(output)
    , m_pixels(pixels)
    , m_inLayout(inLayout)
    , m_layout(layout)
{
    m_display = wl_display_connect(nullptr);
    if (!m_display)
        return;
    wl_registry* registry = wl_display_get_registry(m_display);
    wl_registry_add_listener(registry, &registryListener, &m_manager);
    wl_display_roundtrip(m_display);
    wl_registry_destroy(registry);
    if (m_manager) {
        m_pointer = zwlr_virtual_pointer_manager_v1_create_virtual_pointer(m_manager, nullptr);
        wl_display_roundtrip(m_display);
    }
}

WaylandScrollSource::~WaylandScrollSource()
{
    if (m_pointer)
        zwlr_virtual_pointer_v1_destroy(m_pointer);
    if (m_manager)
        zwlr_virtual_pointer_manager_v1_destroy(m_manager);
    if (m_display)
        wl_display_disconnect(m_display);
}

QImage WaylandScrollSource::grab()
{
    // Screen copy reads whole outputs; the rectangle is cut out of it.
    GrabResult r = m_copy.grab({m_output}, grabTimeoutMs);
    if (r.error || r.images.isEmpty() || r.images.first().isNull())
        return {};
    return r.images.first().copy(m_pixels);
}

bool WaylandScrollSource::scroll(int notches)
{
    if (!m_pointer)
        return false;
    const auto moveTo = [this](QPoint p) {
        p -= m_layout.topLeft();
        zwlr_virtual_pointer_v1_motion_absolute(m_pointer, now(),
            uint32_t(std::clamp(p.x(), 0, m_layout.width() - 1)),
            uint32_t(std::clamp(p.y(), 0, m_layout.height() - 1)), uint32_t(m_layout.width()),
            uint32_t(m_layout.height()));
        zwlr_virtual_pointer_v1_frame(m_pointer);
    };
    moveTo(m_inLayout.center());
    for (int i = 0; i < notches; ++i) {
        zwlr_virtual_pointer_v1_axis_source(m_pointer, WL_POINTER_AXIS_SOURCE_WHEEL);
        zwlr_virtual_pointer_v1_axis_discrete(m_pointer, now(), WL_POINTER_AXIS_VERTICAL_SCROLL,
            wl_fixed_from_double(unitsPerNotch), 1);
        zwlr_virtual_pointer_v1_frame(m_pointer);
    }
    // The steps are delivered where the pointer was; then it leaves the rectangle, as a
    // compositor that draws the pointer itself would copy it with the frame.
    moveTo(m_inLayout.bottomRight() + QPoint(3, 3));
    return wl_display_roundtrip(m_display) >= 0;
}

} // namespace quillet
