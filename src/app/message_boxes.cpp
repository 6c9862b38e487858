#include "app/message_boxes.h"

#include <QApplication>
#include <QMessageBox>
#include <QString>
#include <QWidget>

namespace tqv {

namespace {

QString qt_text(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

QWidget* MessageBoxUi::live_widget(const void* handle) {
    if (handle == nullptr) return nullptr;
    // The handle is only compared, never dereferenced, until it is known to be alive.
    const QWidgetList widgets = QApplication::allWidgets();
    for (QWidget* w : widgets) {
        if (static_cast<const void*>(w) == handle) return w;
    }
    return nullptr;
}

void MessageBoxUi::box(Box kind, std::string_view text, std::string_view caption) {
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QWidget* owner = nullptr;
    switch (kind) {
        case Box::error_owned:
            icon = QMessageBox::Critical;
            owner = live_widget(model_.message_owner);
            break;
        case Box::error:
            icon = QMessageBox::Critical;
            break;
        case Box::warning:
            icon = QMessageBox::Warning;
            break;
        case Box::success:
            break;
        case Box::plain:
            owner = live_widget(model_.message_owner);
            break;
        case Box::information:
            icon = QMessageBox::Information;
            owner = live_widget(model_.message_owner);
            break;
    }
    QApplication::beep();
    QMessageBox box(icon, qt_text(caption), qt_text(text), QMessageBox::Ok, owner);
    // Task-modal: the operator answers the box before anything else of the program.
    box.setWindowModality(Qt::ApplicationModal);
    open_.emplace_back(&box);
    box.exec();
    std::erase(open_, QPointer<QMessageBox>(&box));
}

void MessageBoxUi::withdraw(std::string_view text) {
    const QString withdrawn = qt_text(text);
    for (const QPointer<QMessageBox>& box : open_) {
        if (box && box->text() == withdrawn) box->done(QMessageBox::Ok);
    }
}

bool MessageBoxUi::ask(std::string_view text, std::string_view caption) {
    QApplication::beep();
    QMessageBox box(QMessageBox::Question, qt_text(caption), qt_text(text),
                    QMessageBox::Yes | QMessageBox::No, nullptr);
    box.setWindowModality(Qt::ApplicationModal);
    return box.exec() == QMessageBox::Yes;
}

void MessageBoxUi::repaint_notify() {
    if (QWidget* w = live_widget(model_.notify_window)) w->update();
}

}  // namespace tqv
