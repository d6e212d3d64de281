#include "platform/x11_display.h"

#include <xcb/xcb.h>

namespace sqs {

bool x11DisplayOpens(const std::string& display) {
    xcb_connection_t* connection = xcb_connect(display.c_str(), nullptr);
    const bool opens = xcb_connection_has_error(connection) == 0;
    xcb_disconnect(connection);   // also frees a connection that failed
    return opens;
}

}  // namespace sqs
