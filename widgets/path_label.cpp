#include "widgets/path_label.h"

#include <QPainter>
#include <QStyle>

#include <algorithm>

namespace sqs {

PathLabel::PathLabel(QWidget* parent) : QLabel(parent) {
    setTextFormat(Qt::PlainText);   // paths are shown as they are, never as markup
}

void PathLabel::setPath(const QString& path, int maxWidth) {
    setText(path);
    // The bounds QLabel itself measures for a plain one-line text, straight
    // from the font metrics: adjustSize took five times as long, and a
    // split sets this once a piece.
    const QRect bounds =
        fontMetrics().boundingRect(QRect(0, 0, 2000, 2000), Qt::AlignLeft | Qt::TextExpandTabs, path);
    QSize size = bounds.size().grownBy(contentsMargins());
    size.setWidth(std::min(size.width(), std::max(maxWidth, 0)));
    resize(size);
    // A tool tip has no plain-text switch: the path goes in escaped, and on one line.
    setToolTip(path.isEmpty() ? QString()
                              : QStringLiteral("<p style='white-space:pre'>%1</p>").arg(path.toHtmlEscaped()));
    setAccessibleDescription(path);   // else the tool tip's markup would be read out
}

void PathLabel::paintEvent(QPaintEvent* event) {
    const QRect room = contentsRect();
    if (fontMetrics().horizontalAdvance(text()) <= room.width()) {
        QLabel::paintEvent(event);
        return;
    }
    // The folders give way first, then the middle of the name.
    const QString path = text();
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    const QString name = path.mid(slash + 1), folder = path.left(slash + 1);
    const QString gone = folder.isEmpty() ? QString() : QStringLiteral("…/");
    // Parts measured apart can be wider together (fractional advances, each
    // rounded): the room is narrowed by what the joined text runs over.
    QString shown;
    for (int over = 0, tries = 0; tries < 4; ++tries) {
        const int width = room.width() - over;
        const int folderRoom = width - fontMetrics().horizontalAdvance(name);
        shown = folderRoom >= fontMetrics().horizontalAdvance(QStringLiteral("/…/"))
                    ? fontMetrics().elidedText(folder, Qt::ElideMiddle, folderRoom) + name
                    : gone + fontMetrics().elidedText(name, Qt::ElideMiddle, width - fontMetrics().horizontalAdvance(gone));
        const int excess = fontMetrics().horizontalAdvance(shown) - room.width();
        if (excess <= 0) break;
        over += excess;
    }
    QPainter painter(this);
    style()->drawItemText(&painter, room, QStyle::visualAlignment(layoutDirection(), alignment()), palette(),
                          isEnabled(), shown, foregroundRole());
}

}  // namespace sqs
