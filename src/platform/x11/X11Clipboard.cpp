#include "platform/x11/X11Clipboard.h"

#include "platform/x11/XcbHandles.h"

#include <QDeadlineTimer>
#include <QMimeData>
#include <QThread>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <optional>
#include <poll.h>
#include <vector>

namespace quillet::X11Clipboard {

namespace {

// More than any picture the program would take from outside (it refuses those past 512 MiB of
// pixels, and their files are smaller still); a transfer that grows beyond is dropped.
constexpr qsizetype maxTransferBytes = qsizetype(256) << 20;
constexpr uint32_t propertyChunkWords = 1u << 20; // 4 MiB per GetProperty
constexpr int maxTargets = 256;

enum class Got { data, refused, noAnswer };

class Transfer {
public:
    Transfer(xcb_connection_t* c, xcb_window_t window, int deadlineMs)
        : m_c(c)
        , m_window(window)
        , m_deadline(deadlineMs)
    {
        m_clipboard = atom("CLIPBOARD");
        m_property = atom("QUILLET_CLIPBOARD");
        m_incr = atom("INCR");
    }

    xcb_atom_t atom(const char* name)
    {
        XcbReply<xcb_intern_atom_reply_t> r(xcb_intern_atom_reply(
            m_c, xcb_intern_atom(m_c, 0, uint16_t(std::strlen(name)), name), nullptr));
        return r ? r->atom : XCB_NONE;
    }

    bool owned()
    {
        XcbReply<xcb_get_selection_owner_reply_t> r(
            xcb_get_selection_owner_reply(m_c, xcb_get_selection_owner(m_c, m_clipboard), nullptr));
        return r && r->owner != XCB_NONE;
    }

    // Asks the owner for `target` and takes what it puts in our property.
    Got fetch(xcb_atom_t target, QByteArray& out)
    {
        out.clear();
        xcb_delete_property(m_c, m_window, m_property);
        xcb_convert_selection(m_c, m_window, m_clipboard, target, m_property, XCB_CURRENT_TIME);
        xcb_flush(m_c);
        XcbReply<xcb_generic_event_t> e = waitFor([&](const xcb_generic_event_t* ev) {
            if ((ev->response_type & 0x7f) != XCB_SELECTION_NOTIFY)
                return false;
            const auto* n = reinterpret_cast<const xcb_selection_notify_event_t*>(ev);
            return n->requestor == m_window && n->selection == m_clipboard && n->target == target;
        });
        if (!e)
            return Got::noAnswer;
        if (reinterpret_cast<const xcb_selection_notify_event_t*>(e.get())->property == XCB_NONE)
            return Got::refused; // the owner has no such format after all
        xcb_atom_t type = XCB_NONE;
        if (!takeProperty(out, type))
            return Got::refused;
        if (type != m_incr)
            return Got::data;
        // Too large for one property: the owner sends it in pieces, each after we took the last.
        out.clear();
        for (;;) {
            XcbReply<xcb_generic_event_t> piece = waitFor([&](const xcb_generic_event_t* ev) {
                if ((ev->response_type & 0x7f) != XCB_PROPERTY_NOTIFY)
                    return false;
                const auto* p = reinterpret_cast<const xcb_property_notify_event_t*>(ev);
                return p->window == m_window && p->atom == m_property
                    && p->state == XCB_PROPERTY_NEW_VALUE;
            });
            if (!piece)
                return Got::noAnswer;
            QByteArray chunk;
            if (!takeProperty(chunk, type))
                return Got::refused;
            if (chunk.isEmpty())
                return Got::data;
            if (out.size() + chunk.size() > maxTransferBytes)
                return Got::refused;
            out += chunk;
        }
    }

    QList<xcb_atom_t> atomsIn(const QByteArray& bytes) const
    {
        QList<xcb_atom_t> atoms;
        const qsizetype n = std::min<qsizetype>(bytes.size() / 4, maxTargets);
        for (qsizetype i = 0; i < n; ++i) {
            xcb_atom_t a;
            std::memcpy(&a, bytes.constData() + i * 4, 4);
            atoms.append(a);
        }
        return atoms;
    }

    QList<std::pair<xcb_atom_t, QString>> names(const QList<xcb_atom_t>& atoms)
    {
        std::vector<xcb_get_atom_name_cookie_t> cookies;
        for (xcb_atom_t a : atoms)
            cookies.push_back(xcb_get_atom_name(m_c, a));
        QList<std::pair<xcb_atom_t, QString>> out;
        for (size_t i = 0; i < cookies.size(); ++i) {
            XcbReply<xcb_get_atom_name_reply_t> r(
                xcb_get_atom_name_reply(m_c, cookies[i], nullptr));
            if (r)
                out.append({atoms[qsizetype(i)],
                    QString::fromLatin1(
                        xcb_get_atom_name_name(r.get()), xcb_get_atom_name_name_length(r.get()))});
        }
        return out;
    }

private:
    template<typename Pred> XcbReply<xcb_generic_event_t> waitFor(Pred matches)
    {
        for (;;) {
            while (xcb_generic_event_t* raw = xcb_poll_for_event(m_c)) {
                XcbReply<xcb_generic_event_t> e(raw);
                if (matches(e.get()))
                    return e;
            }
            if (xcb_connection_has_error(m_c) || m_deadline.hasExpired())
                return {};
            pollfd p {xcb_get_file_descriptor(m_c), POLLIN, 0};
            if (::poll(&p, 1, int(std::max<qint64>(1, m_deadline.remainingTime()))) < 0
                && errno != EINTR)
                return {};
        }
    }

    // Reads our property whole and deletes it, which tells an INCR owner to send the next piece.
    bool takeProperty(QByteArray& out, xcb_atom_t& type)
    {
        uint32_t offset = 0;
        for (;;) {
            XcbReply<xcb_get_property_reply_t> r(xcb_get_property_reply(m_c,
                xcb_get_property(m_c, 0, m_window, m_property, XCB_GET_PROPERTY_TYPE_ANY, offset,
                    propertyChunkWords),
                nullptr));
            if (!r)
                return false;
            type = r->type;
            const int length = xcb_get_property_value_length(r.get());
            out.append(static_cast<const char*>(xcb_get_property_value(r.get())), length);
            if (out.size() > maxTransferBytes)
                return false;
            if (r->bytes_after == 0)
                break;
            offset += uint32_t(length) / 4;
        }
        xcb_delete_property(m_c, m_window, m_property);
        xcb_flush(m_c);
        return true;
    }

    xcb_connection_t* m_c;
    xcb_window_t m_window;
    QDeadlineTimer m_deadline;
    xcb_atom_t m_clipboard = XCB_NONE;
    xcb_atom_t m_property = XCB_NONE;
    xcb_atom_t m_incr = XCB_NONE;
};

int textRank(const QString& name)
{
    static const char* const order[]
        = {"UTF8_STRING", "text/plain;charset=utf-8", "text/plain", "STRING", "TEXT"};
    for (int i = 0; i < int(std::size(order)); ++i) {
        if (name == QLatin1String(order[i]))
            return i;
    }
    return -1;
}

} // namespace

Contents read(const QByteArray& display, int deadlineMs)
{
    Contents out;
    XcbConnection conn(xcb_connect(display.isEmpty() ? nullptr : display.constData(), nullptr));
    if (!conn || xcb_connection_has_error(conn.get()))
        return out;
    xcb_connection_t* c = conn.get();
    xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    if (!screen)
        return out;
    const xcb_window_t window = xcb_generate_id(c);
    const uint32_t events = XCB_EVENT_MASK_PROPERTY_CHANGE;
    xcb_create_window(c, XCB_COPY_FROM_PARENT, window, screen->root, 0, 0, 1, 1, 0,
        XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, XCB_CW_EVENT_MASK, &events);

    Transfer transfer(c, window, deadlineMs);
    if (!transfer.owned())
        return out;
    QByteArray bytes;
    const Got listed = transfer.fetch(transfer.atom("TARGETS"), bytes);
    if (listed == Got::noAnswer) {
        out.noAnswer = true;
        return out;
    }
    QList<std::pair<xcb_atom_t, QString>> images;
    std::optional<std::pair<xcb_atom_t, QString>> text;
    for (const auto& target : transfer.names(transfer.atomsIn(bytes))) {
        if (target.second.startsWith(QLatin1String("image/")))
            images.append(target);
        const int rank = textRank(target.second);
        if (rank >= 0 && (!text || rank < textRank(text->second)))
            text = target;
    }
    // Screenshots are offered as PNG; any other kind is decoded by what it says it is.
    std::stable_partition(images.begin(), images.end(),
        [](const auto& t) { return t.second == QLatin1String("image/png"); });
    bool timedOut = false;
    for (const auto& image : images) {
        const Got got = transfer.fetch(image.first, bytes);
        if (got == Got::data && !bytes.isEmpty()) {
            out.images.append({image.second, bytes});
            break;
        }
        if (got == Got::noAnswer) {
            timedOut = true;
            break;
        }
    }
    if (text && !timedOut) {
        const Got got = transfer.fetch(text->first, bytes);
        if (got == Got::data)
            out.text = text->second == QLatin1String("STRING") ? QString::fromLatin1(bytes)
                                                               : QString::fromUtf8(bytes);
        timedOut = got == Got::noAnswer;
    }
    out.noAnswer = timedOut && out.images.isEmpty() && !out.text;
    return out;
}

ClipboardReader reader()
{
    return [](QObject* context, std::function<void(const ClipboardRead&)> done) {
        auto contents = std::make_shared<Contents>();
        const QByteArray display = qgetenv("DISPLAY");
        QThread* thread = QThread::create(
            [contents, display] { *contents = read(display, clipboardDeadlineMs); });
        // Not called once `context` is gone; the thread ends on its own by the deadline.
        QObject::connect(thread, &QThread::finished, context, [contents, done = std::move(done)] {
            QMimeData data;
            for (const auto& [format, bytes] : contents->images)
                data.setData(format, bytes);
            if (contents->text)
                data.setText(*contents->text);
            const bool any = !contents->images.isEmpty() || contents->text;
            done({any ? &data : nullptr, contents->noAnswer});
        });
        QObject::connect(thread, &QThread::finished, thread, &QObject::deleteLater);
        thread->start();
    };
}

} // namespace quillet::X11Clipboard
