#include "widgets/twips.h"

#include <QApplication>
#include <QWidget>

#include <algorithm>
#include <cmath>

namespace sqs {

int pixelsFromTwips(int twips, double dpi) { return static_cast<int>(std::lround(twips * dpi / 1440.0)); }

int twipsFromPixels(int pixels, double dpi) {
    return static_cast<int>(std::lround(pixels * 1440.0 / dpi));
}

double layoutDpi(double screenDpi) {
    constexpr double kDrawnForPoints = 9.0;
    const QFont font = QApplication::font();
    const double points = font.pointSizeF() > 0 ? font.pointSizeF() : font.pixelSize() * 72.0 / screenDpi;
    return screenDpi * std::max(1.0, points / kDrawnForPoints);
}

void placeInTwips(QWidget& widget, int left, int top, int width, int height, double dpi) {
    widget.setGeometry(pixelsFromTwips(left, dpi), pixelsFromTwips(top, dpi),
                       pixelsFromTwips(width, dpi), pixelsFromTwips(height, dpi));
}

}  // namespace sqs
