#include "app/screen_scale.h"

#include <QList>
#include <QtGlobal>

#include <xcb/xcb.h>

#include <cmath>
#include <memory>

namespace marigal {

int UndeclaredScreenScale(const QByteArray& resources, int widthPx, int widthMm)
{
    for (const QByteArray& line : resources.split('\n'))
        if (line.trimmed().startsWith("Xft.dpi:")) return 1;
    if (widthPx <= 0 || widthMm <= 0) return 1;
    const double dpi = widthPx * 25.4 / widthMm;
    // Whole steps only: a fractional scale blurs every line of the windows.
    return dpi >= 1.75 * 96 ? int(std::lround(dpi / 96)) : 1;
}

void ScaleForUndeclaredHighResolution()
{
    for (const char* chosen : {"QT_SCALE_FACTOR", "QT_SCREEN_SCALE_FACTORS", "QT_ENABLE_HIGHDPI_SCALING",
                               "WAYLAND_DISPLAY"})
        if (qEnvironmentVariableIsSet(chosen)) return;
    const QByteArray platform = qgetenv("QT_QPA_PLATFORM");
    if ((!platform.isEmpty() && !platform.startsWith("xcb")) || !qEnvironmentVariableIsSet("DISPLAY")) return;
    int screenNumber = 0;
    const std::unique_ptr<xcb_connection_t, void (*)(xcb_connection_t*)> x(xcb_connect(nullptr, &screenNumber),
                                                                           xcb_disconnect);
    if (xcb_connection_has_error(x.get())) return;
    xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(x.get()));
    for (int i = 0; i < screenNumber && it.rem; ++i) xcb_screen_next(&it);
    if (!it.rem) return;
    const xcb_screen_t* screen = it.data;
    QByteArray resources;
    const xcb_get_property_cookie_t cookie = xcb_get_property(x.get(), 0, screen->root, XCB_ATOM_RESOURCE_MANAGER,
                                                              XCB_ATOM_STRING, 0, 1 << 20);
    if (xcb_get_property_reply_t* reply = xcb_get_property_reply(x.get(), cookie, nullptr)) {
        resources = QByteArray(static_cast<const char*>(xcb_get_property_value(reply)),
                               xcb_get_property_value_length(reply));
        std::free(reply);
    }
    const int scale = UndeclaredScreenScale(resources, screen->width_in_pixels, screen->width_in_millimeters);
    if (scale > 1) qputenv("QT_SCALE_FACTOR", QByteArray::number(scale));
}

}  // namespace marigal
