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

QWidget* MessageBoxUi::owner(Box kind) const {
    const bool owned = kind == Box::error_owned || kind == Box::plain || kind == Box::information;
    return owned && windows_ != nullptr ? windows_->message_owner.data() : nullptr;
}

void MessageBoxUi::box(Box kind, std::string_view text, std::string_view caption) {
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    switch (kind) {
        case Box::error_owned:
        case Box::error:
            icon = QMessageBox::Critical;
            break;
        case Box::warning:
            icon = QMessageBox::Warning;
            break;
        case Box::success:
        case Box::plain:
            break;
        case Box::information:
            icon = QMessageBox::Information;
            break;
    }
    QApplication::beep();
    QMessageBox box(icon, qt_text(caption), qt_text(text), QMessageBox::Ok, owner(kind));
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
    if (windows_ != nullptr && windows_->notify_window) windows_->notify_window->update();
}

}  // namespace tqv
