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

namespace {

// A drop is taken as a copy, whatever the source proposes: taken as a
// move, the source would delete what was dragged (a text's selection).
bool acceptAsCopy(QDropEvent* event) {
    if (!(event->possibleActions() & Qt::CopyAction)) {
        event->ignore();
        return false;
    }
    event->setDropAction(Qt::CopyAction);
    event->accept();
    return true;
}

}  // namespace

void FileListCombo::dragEnterEvent(QDragEnterEvent* event) { acceptAsCopy(event); }

void FileListCombo::dragMoveEvent(QDragMoveEvent* event) { acceptAsCopy(event); }

void FileListCombo::dropEvent(QDropEvent* event) {
    if (acceptAsCopy(event) && onDrop && event->mimeData()) onDrop(*event->mimeData());
}

}  // namespace sqs
