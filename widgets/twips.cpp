#include "widgets/twips.h"

#include <QWidget>

#include <cmath>

namespace sqs {

int pixelsFromTwips(int twips, double dpi) { return static_cast<int>(std::lround(twips * dpi / 1440.0)); }

int twipsFromPixels(int pixels, double dpi) {
    return static_cast<int>(std::lround(pixels * 1440.0 / dpi));
}

void placeInTwips(QWidget& widget, int left, int top, int width, int height, double dpi) {
    widget.setGeometry(pixelsFromTwips(left, dpi), pixelsFromTwips(top, dpi),
                       pixelsFromTwips(width, dpi), pixelsFromTwips(height, dpi));
}

}  // namespace sqs
