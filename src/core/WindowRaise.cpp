#include "WindowRaise.h"

#include <QGuiApplication>

#include <xcb/xcb.h>

#include <cstring>
#include <memory>
#include <vector>

namespace sondrel {

namespace {

template <class T>
using Reply = std::unique_ptr<T, decltype(&std::free)>;

xcb_atom_t atom(xcb_connection_t* c, const char* name)
{
    Reply<xcb_intern_atom_reply_t> r(xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, std::uint16_t(std::strlen(name)), name), nullptr),
                                     &std::free);
    return r ? r->atom : xcb_atom_t(XCB_ATOM_NONE);
}

// A property of a window as bytes (empty when the window has none).
QByteArray property(xcb_connection_t* c, xcb_window_t w, xcb_atom_t name, xcb_atom_t type)
{
    Reply<xcb_get_property_reply_t> r(xcb_get_property_reply(c, xcb_get_property(c, 0, w, name, type, 0, 4096), nullptr),
                                      &std::free);
    if (!r || r->type == XCB_ATOM_NONE)
        return {};
    return QByteArray(static_cast<const char*>(xcb_get_property_value(r.get())), xcb_get_property_value_length(r.get()));
}

std::vector<xcb_window_t> windowList(const QByteArray& bytes)
{
    std::vector<xcb_window_t> out(std::size_t(bytes.size()) / sizeof(xcb_window_t));
    if (!out.empty())
        std::memcpy(out.data(), bytes.constData(), out.size() * sizeof(xcb_window_t));
    return out;
}

// The top-level windows: the window manager's list of clients, or without one the root's
// children.
std::vector<xcb_window_t> topLevelWindows(xcb_connection_t* c, xcb_window_t root)
{
    std::vector<xcb_window_t> managed = windowList(property(c, root, atom(c, "_NET_CLIENT_LIST"), XCB_ATOM_WINDOW));
    if (!managed.empty())
        return managed;
    Reply<xcb_query_tree_reply_t> tree(xcb_query_tree_reply(c, xcb_query_tree(c, root), nullptr), &std::free);
    if (!tree)
        return {};
    const xcb_window_t* children = xcb_query_tree_children(tree.get());
    return std::vector<xcb_window_t>(children, children + xcb_query_tree_children_length(tree.get()));
}

bool shown(xcb_connection_t* c, xcb_window_t w)
{
    Reply<xcb_get_window_attributes_reply_t> a(xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, w), nullptr),
                                               &std::free);
    return a && a->map_state == XCB_MAP_STATE_VIEWABLE;
}

} // namespace

bool raiseOtherProgramsWindow(const QString& title)
{
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    xcb_connection_t* c = x11 ? x11->connection() : nullptr;
    if (!c)
        return false;
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    if (!screen)
        return false;
    const xcb_window_t root = screen->root;
    const xcb_atom_t netName = atom(c, "_NET_WM_NAME"), utf8 = atom(c, "UTF8_STRING");
    for (const xcb_window_t w : topLevelWindows(c, root)) {
        QString name = QString::fromUtf8(property(c, w, netName, utf8));
        if (name.isEmpty())
            name = QString::fromLocal8Bit(property(c, w, XCB_ATOM_WM_NAME, XCB_ATOM_STRING));
        if (!name.contains(title) || !shown(c, w))
            continue;
        const xcb_atom_t active = atom(c, "_NET_ACTIVE_WINDOW");
        if (!property(c, root, atom(c, "_NET_SUPPORTING_WM_CHECK"), XCB_ATOM_WINDOW).isEmpty()) {
            // A window manager decides: ask it, as a pager would.
            xcb_client_message_event_t e{};
            e.response_type = XCB_CLIENT_MESSAGE;
            e.format = 32;
            e.window = w;
            e.type = active;
            e.data.data32[0] = 2; // the request comes from a pager-like source
            e.data.data32[1] = XCB_CURRENT_TIME;
            xcb_send_event(c, 0, root, XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                           reinterpret_cast<const char*>(&e));
        } else {
            const std::uint32_t above = XCB_STACK_MODE_ABOVE;
            xcb_configure_window(c, w, XCB_CONFIG_WINDOW_STACK_MODE, &above);
            xcb_set_input_focus(c, XCB_INPUT_FOCUS_POINTER_ROOT, w, XCB_CURRENT_TIME);
        }
        xcb_flush(c);
        return true;
    }
    return false;
}

} // namespace sondrel
