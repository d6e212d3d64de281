#pragma once

#include <QIcon>
#include <QPixmap>

namespace sqs {

// The program's icon: a floppy disk cut in two by a slanted slice.
// size: in device-independent pixels; ratio: device pixels to each, so that
// a screen scaled by 2 gets a sharp picture, not a stretched one.
QPixmap appIconPixmap(int size, qreal ratio = 1.0);
QIcon appIcon();

}  // namespace sqs
