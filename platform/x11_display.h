#pragma once

#include <string>

namespace sqs {

// Whether the X11 display named as in DISPLAY accepts a connection (one is
// opened and closed again). The toolkit aborts where it cannot open it.
bool x11DisplayOpens(const std::string& display);

}  // namespace sqs
