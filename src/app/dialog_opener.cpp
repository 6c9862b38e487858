#include "app/dialog_opener.h"

#include <QDialog>

namespace tqv {

void ModalDialogOpener::open(std::unique_ptr<QDialog> dialog) { dialog->exec(); }

}  // namespace tqv
