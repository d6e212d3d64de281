#pragma once

#include <QComboBox>

#include <functional>

class QMimeData;

namespace sqs {

// The file list: an editable combo box that takes drops of any kind and
// hands the dropped data to its owner.
class FileListCombo final : public QComboBox {
    Q_OBJECT
public:
    explicit FileListCombo(QWidget* parent);
    std::function<void(const QMimeData&)> onDrop;

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
};

}  // namespace sqs
