#include "app/dialog_opener.h"

#include <QDialog>

namespace tqv {

void ModalDialogOpener::open(std::unique_ptr<QDialog> dialog) {
    // Modal to the main window only: the traffic log, a window of its own, can still be
    // paused, scrolled, copied and saved while a dialog (or its run) is open.
    dialog->setWindowModality(Qt::WindowModal);
    dialog->exec();
}

}  // namespace tqv
