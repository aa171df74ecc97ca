// Long use on a private X server: a thousand captures (select, annotate, then copy, save or
// cancel), two hundred pins opened and closed, and a hundred openings of the settings window,
// driven from outside as a user would. Then what the program holds, against what it held once
// each kind of use had happened once: resident memory, file descriptors and X resources
// (counted by the X-Resource extension).
// Run: build/bench/quillet_bench --benchmark_filter=Soak
// QUILLET_SOAK_SCALE=0.1 runs a tenth of everything, for a quick look.
#include "BenchDesk.h"

#include <benchmark/benchmark.h>
#include <xcb/res.h>
#include <xcb/xcb.h>

#include <QDir>
#include <QImage>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

namespace {

using namespace quillet::bench;

int scaled(int n)
{
    const char* s = std::getenv("QUILLET_SOAK_SCALE");
    const double k = s ? std::atof(s) : 1.0;
    return std::max(1, int(n * (k > 0 ? k : 1.0)));
}

int openFiles(pid_t pid)
{
    return int(QDir(QStringLiteral("/proc/%1/fd").arg(pid))
                   .entryList(QDir::NoDotAndDotDot | QDir::System)
                   .size());
}

struct XResources {
    qint64 count = -1;
    qint64 pixmapBytes = -1;
};

// Everything the X server holds for the client whose process is `pid`.
XResources xResourcesOf(pid_t pid, const std::string& display)
{
    XResources out;
    xcb_connection_t* c = xcb_connect(display.c_str(), nullptr);
    if (xcb_connection_has_error(c)) {
        xcb_disconnect(c);
        return out;
    }
    // Each client's resource base, asked in turn for the process it belongs to.
    uint32_t base = 0;
    std::unique_ptr<xcb_res_query_clients_reply_t, decltype(&std::free)> clients(
        xcb_res_query_clients_reply(c, xcb_res_query_clients(c), nullptr), &std::free);
    for (auto cl = clients ? xcb_res_query_clients_clients_iterator(clients.get())
                           : xcb_res_client_iterator_t {};
         clients && cl.rem && !base; xcb_res_client_next(&cl)) {
        const xcb_res_client_id_spec_t asked {
            cl.data->resource_base, XCB_RES_CLIENT_ID_MASK_LOCAL_CLIENT_PID};
        std::unique_ptr<xcb_res_query_client_ids_reply_t, decltype(&std::free)> ids(
            xcb_res_query_client_ids_reply(c, xcb_res_query_client_ids(c, 1, &asked), nullptr),
            &std::free);
        if (!ids)
            continue;
        for (auto it = xcb_res_query_client_ids_ids_iterator(ids.get()); it.rem;
             xcb_res_client_id_value_next(&it)) {
            if (it.data->length >= 4 && pid_t(*xcb_res_client_id_value_value(it.data)) == pid)
                base = cl.data->resource_base;
        }
    }
    if (base) {
        std::unique_ptr<xcb_res_query_client_resources_reply_t, decltype(&std::free)> res(
            xcb_res_query_client_resources_reply(
                c, xcb_res_query_client_resources(c, base), nullptr),
            &std::free);
        if (res) {
            out.count = 0;
            for (auto it = xcb_res_query_client_resources_types_iterator(res.get()); it.rem;
                 xcb_res_type_next(&it))
                out.count += it.data->count;
        }
        std::unique_ptr<xcb_res_query_client_pixmap_bytes_reply_t, decltype(&std::free)> px(
            xcb_res_query_client_pixmap_bytes_reply(
                c, xcb_res_query_client_pixmap_bytes(c, base), nullptr),
            &std::free);
        if (px)
            out.pixmapBytes = qint64(px->bytes) + (qint64(px->bytes_overflow) << 32);
    }
    xcb_disconnect(c);
    return out;
}

class Soak {
public:
    explicit Soak(Desk& desk)
        : m_desk(desk)
    { }

    // One capture: a region dragged, a rectangle drawn in it, then `end`: 0 copies, 1 saves,
    // 2 cancels.
    bool capture(int i, int end)
    {
        const int x = 200 + (i * 37) % 600, y = 150 + (i * 53) % 400;
        runToEnd({"xdotool", "key", "F1"}, m_desk.env());
        if (!m_desk.nextPainted(10000))
            return fail("a capture did not open");
        const auto n = [](int v) { return std::to_string(v); };
        runToEnd({"xdotool", "mousemove", n(x), n(y), "mousedown", "1", "mousemove", n(x + 200),
                     n(y + 120), "mousemove", n(x + 400), n(y + 250), "mouseup", "1", "key", "1",
                     "mousemove", n(x + 40), n(y + 40), "mousedown", "1", "mousemove", n(x + 150),
                     n(y + 100), "mouseup", "1"},
            m_desk.env());
        const char* key = end == 0 ? "Return" : end == 1 ? "ctrl+s" : "Escape";
        runToEnd({"xdotool", "key", key}, m_desk.env());
        if (!Desk::waitFor(
                [&] { return m_desk.status().contains(QLatin1String("session: none")); }))
            return fail("a capture did not end");
        return true;
    }

    bool pin(const QString& file)
    {
        runToEnd({QUILLET_BINARY, "pin", file.toStdString()}, m_desk.env());
        if (!Desk::waitFor([&] { return m_desk.status().contains(QLatin1String("pins: 1")); }))
            return fail("a pin did not open");
        // The new pin has the keyboard; Escape closes it.
        if (!Desk::waitFor([&] {
                runToEnd({"xdotool", "key", "Escape"}, m_desk.env());
                return Desk::waitFor(
                    [&] { return m_desk.status().contains(QLatin1String("pins: 0")); }, 500);
            }))
            return fail("a pin did not close");
        return true;
    }

    bool settings()
    {
        runToEnd({QUILLET_BINARY, "settings"}, m_desk.env());
        if (!Desk::waitFor(
                [&] { return m_desk.status().contains(QLatin1String("settings-window: 1")); }))
            return fail("the settings window did not open");
        runToEnd({"xdotool", "key", "ctrl+w"}, m_desk.env());
        if (!Desk::waitFor(
                [&] { return m_desk.status().contains(QLatin1String("settings-window: 0")); }))
            return fail("the settings window did not close");
        return true;
    }

    const std::string& error() const { return m_error; }

private:
    bool fail(const char* what)
    {
        m_error = what;
        return false;
    }

    Desk& m_desk;
    std::string m_error;
};

std::string displayOf(const Desk& desk)
{
    for (const std::string& e : desk.env()) {
        if (e.rfind("DISPLAY=", 0) == 0)
            return e.substr(8);
    }
    return {};
}

void Soak1000Captures200Pins100Settings(benchmark::State& state)
{
    const QTemporaryDir savesDir;
    const QString saves = savesDir.path();
    Desk desk(1920, 1080, false,
        {{QStringLiteral("quickSave"), true}, {QStringLiteral("saveDir"), saves},
            {QStringLiteral("showToast"), false}});
    if (!desk.ok()) {
        state.SkipWithError("Xvfb or the program did not start");
        return;
    }
    QImage picture(320, 200, QImage::Format_RGB32);
    picture.fill(0x3366cc);
    const QString file = desk.path(QStringLiteral("picture.png"));
    picture.save(file);
    const std::string display = displayOf(desk);
    Soak soak(desk);
    const int captures = scaled(1000), pins = scaled(200), openings = scaled(100);

    for (auto _ : state) {
        // Each kind of use once, so that what is loaded for good (fonts, code, caches) is in the
        // baseline and what grows with use is not.
        if (!soak.capture(0, 0) || !soak.capture(1, 1) || !soak.capture(2, 2) || !soak.pin(file)
            || !soak.settings()) {
            state.SkipWithError(soak.error().c_str());
            return;
        }
        QThread::msleep(1500);
        const double rss0 = rssMiB(desk.program());
        const double anon0 = rssMiB(desk.program(), "RssAnon:");
        const int fds0 = openFiles(desk.program());
        const XResources x0 = xResourcesOf(desk.program(), display);

        for (int i = 0; i < captures; ++i) {
            if (!soak.capture(i, i % 3)) {
                state.SkipWithError(soak.error().c_str());
                return;
            }
        }
        for (int i = 0; i < pins; ++i) {
            if (!soak.pin(file)) {
                state.SkipWithError(soak.error().c_str());
                return;
            }
        }
        for (int i = 0; i < openings; ++i) {
            if (!soak.settings()) {
                state.SkipWithError(soak.error().c_str());
                return;
            }
        }
        // The last fades end and the freed pages go back.
        QThread::msleep(1500);
        const double rss1 = rssMiB(desk.program());
        const XResources x1 = xResourcesOf(desk.program(), display);
        state.counters["captures"] = captures;
        state.counters["pins"] = pins;
        state.counters["settings"] = openings;
        state.counters["rss_begin_MiB"] = rss0;
        state.counters["rss_end_MiB"] = rss1;
        state.counters["rss_growth_pct"] = (rss1 - rss0) / rss0 * 100.0;
        state.counters["anon_growth_MiB"] = rssMiB(desk.program(), "RssAnon:") - anon0;
        state.counters["fds_begin"] = fds0;
        state.counters["fds_end"] = openFiles(desk.program());
        state.counters["x_resources_begin"] = double(x0.count);
        state.counters["x_resources_end"] = double(x1.count);
        state.counters["x_pixmap_KiB_begin"] = double(x0.pixmapBytes) / 1024.0;
        state.counters["x_pixmap_KiB_end"] = double(x1.pixmapBytes) / 1024.0;
        state.counters["saved_files"]
            = double(QDir(saves).entryList({QStringLiteral("*.png")}, QDir::Files).size());
    }
}
BENCHMARK(Soak1000Captures200Pins100Settings)->Unit(benchmark::kSecond)->Iterations(1);

} // namespace
