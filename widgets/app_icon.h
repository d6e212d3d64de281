#pragma once

#include <QIcon>
#include <QPixmap>

namespace sqs {

// The program's icon: a floppy disk cut in two by a slanted slice.
QPixmap appIconPixmap(int size);
QIcon appIcon();

}  // namespace sqs
