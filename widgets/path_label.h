#pragma once

#include <QLabel>

namespace sqs {

// A one-line label for a path in a window of fixed width: text() keeps the
// whole path, and where it is wider than the label, the middle of its
// folders (then of its name) gives way to "…" on the screen, so that the
// file's name and a piece's number stay in sight. The tool tip shows it whole.
class PathLabel final : public QLabel {
public:
    explicit PathLabel(QWidget* parent = nullptr);

    // Shows `path`, as wide as its text up to `maxWidth` pixels.
    void setPath(const QString& path, int maxWidth);

protected:
    void paintEvent(QPaintEvent* event) override;
};

}  // namespace sqs
