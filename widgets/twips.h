#pragma once

class QWidget;

namespace sqs {

// Twips are 1/1440 inch: 15 twips make one pixel at 96 dpi.
int pixelsFromTwips(int twips, double dpi);
int twipsFromPixels(int pixels, double dpi);

// Places a widget by a layout given in twips.
void placeInTwips(QWidget& widget, int left, int top, int width, int height, double dpi);

}  // namespace sqs
