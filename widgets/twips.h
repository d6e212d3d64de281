#pragma once

class QWidget;

namespace sqs {

// Twips are 1/1440 inch: 15 twips make one pixel at 96 dpi.
int pixelsFromTwips(int twips, double dpi);
int twipsFromPixels(int pixels, double dpi);

// The dots per inch that lay out the fixed-size windows: the screen's,
// scaled up where the desktop's font is larger than the 9 points the
// layouts were drawn for, so that a larger font is never cut off (as a
// Windows screen of larger fonts has more dots per inch).
double layoutDpi(double screenDpi);

// Places a widget by a layout given in twips.
void placeInTwips(QWidget& widget, int left, int top, int width, int height, double dpi);

}  // namespace sqs
