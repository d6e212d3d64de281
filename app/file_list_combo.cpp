#include "app/file_list_combo.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QLineEdit>
#include <QMimeData>

namespace sqs {

FileListCombo::FileListCombo(QWidget* parent) : QComboBox(parent) {
    setEditable(true);
    setInsertPolicy(QComboBox::NoInsert);
    setAcceptDrops(true);
    // The text part must not take drops itself: every drop replaces the list.
    lineEdit()->setAcceptDrops(false);
}

void FileListCombo::dragEnterEvent(QDragEnterEvent* event) { event->acceptProposedAction(); }

void FileListCombo::dragMoveEvent(QDragMoveEvent* event) { event->acceptProposedAction(); }

void FileListCombo::dropEvent(QDropEvent* event) {
    event->acceptProposedAction();
    if (onDrop && event->mimeData()) onDrop(*event->mimeData());
}

}  // namespace sqs
