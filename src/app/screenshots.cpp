#include "app/screenshots.h"

#include <QDir>
#include <QPixmap>

#include "app/dialog_opener.h"
#include "app/file_dialogs.h"
#include "app/main_window.h"
#include "app/message_boxes.h"
#include "app/page_switch_dialog.h"

namespace tqv {

namespace {

bool save(QWidget& widget, const QString& path, QString* error) {
    if (widget.grab().save(path, "PNG")) return true;
    if (error != nullptr) *error = QStringLiteral("cannot write %1").arg(path);
    return false;
}

}  // namespace

bool save_screenshots(const QString& directory, QString* error) {
    // A fresh model with the configuration defaults: no file and no device are touched.
    Model model;
    model.reset();
    model.reset_configuration();
    // The road every new operator takes first: page 05 on ch.1 Top.
    model.current_page[0] = 4;
    MessageBoxUi ui(model);
    DeviceLink link(model, ui);
    CornerClicks clicks;
    AppContext context{model, link, clicks};
    QtFileDialogs files;
    ModalDialogOpener opener;

    QDir().mkpath(directory);
    MainWindow window(context, files, opener);
    window.show();
    PageSwitchDialog dialog(context, &window);
    dialog.show();
    const bool ok = save(window, directory + QStringLiteral("/main_window.png"), error) &&
                    save(dialog, directory + QStringLiteral("/page_switch_dialog.png"), error);
    link.shutdown();
    return ok;
}

}  // namespace tqv
