#include "ui/NativeCaption.h"

#include <QGuiApplication>
#include <QWidget>

#ifdef ZELV4_UI_XCB
#include <QtGui/qguiapplication_platform.h>
#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>
#endif

namespace zelv4 {

namespace {

#ifdef ZELV4_UI_XCB
xcb_atom_t Atom(xcb_connection_t* connection, const char* name)
{
    const xcb_intern_atom_cookie_t cookie =
        xcb_intern_atom(connection, 0, static_cast<uint16_t>(std::strlen(name)), name);
    xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(connection, cookie, nullptr);
    const xcb_atom_t atom = reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
    std::free(reply);
    return atom;
}

// Qt writes the application's name into _NET_WM_NAME (and, for a non-empty
// title, WM_NAME); window managers show _NET_WM_NAME first, WM_NAME otherwise.
bool EmptyX11Names(QWidget& window)
{
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    if (!x11 || !x11->connection())
        return false;
    xcb_connection_t* connection = x11->connection();
    const auto id = static_cast<xcb_window_t>(window.winId());
    const xcb_atom_t netWmName = Atom(connection, "_NET_WM_NAME");
    const xcb_atom_t utf8String = Atom(connection, "UTF8_STRING");
    xcb_change_property(connection, XCB_PROP_MODE_REPLACE, id, XCB_ATOM_WM_NAME, XCB_ATOM_STRING, 8, 0, nullptr);
    if (netWmName != XCB_ATOM_NONE && utf8String != XCB_ATOM_NONE)
        xcb_change_property(connection, XCB_PROP_MODE_REPLACE, id, netWmName, utf8String, 8, 0, nullptr);
    xcb_flush(connection);
    return true;
}
#endif

}  // namespace

void NativeCaption::MakeEmpty(QWidget& window)
{
    window.setWindowTitle(QString());
#ifdef ZELV4_UI_XCB
    if (QGuiApplication::platformName() == QLatin1String("xcb") && EmptyX11Names(window))
        return;
#endif
    window.setWindowTitle(QStringLiteral(" "));
}

}  // namespace zelv4
