#include "dialogs/bulk_runner.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <algorithm>

#include "core/texts.h"
#include "dialogs/dialog_parts.h"

namespace tqv {

BulkRunner::BulkRunner(QDialog& dialog, AppContext& context, BulkKind kind)
    : QObject(&dialog), dialog_(dialog), context_(context), kind_(kind), driver_(context.link) {
    connect(&driver_, &RunDriver::stepped, this,
            [this](int step, int, int percent) { show_step(step, percent); });
    connect(&driver_, &RunDriver::ended, this, [this](RunEnd why) { show_end(why); });
    remaining_ticks_.setInterval(1000);
    connect(&remaining_ticks_, &QTimer::timeout, this, &BulkRunner::show_remaining);
}

BulkRunner::~BulkRunner() = default;  // the run leaves nothing behind

const BulkTransfer* BulkRunner::transfer() const {
    return static_cast<const BulkTransfer*>(driver_.steps());
}

QCheckBox* BulkRunner::fast_box() {
    if (fast_box_ == nullptr) {
        fast_box_ = new QCheckBox(QStringLiteral("高速転送"), &dialog_);
        fast_box_->setChecked(context_.model.fast_transfer == 1);
        fast_box_->setEnabled(!running());
        connect(fast_box_, &QCheckBox::toggled, this, [this](bool on) {
            context_.model.fast_transfer = on ? 1 : 0;
            if (context_.config != nullptr) write_fast_transfer(context_.model, *context_.config);
        });
    }
    return fast_box_;
}

QLabel* BulkRunner::remaining_label() {
    if (remaining_ == nullptr) remaining_ = make_time_left_label(&dialog_);
    return remaining_;
}

void BulkRunner::show_remaining() {
    if (remaining_ == nullptr) return;
    QString text;
    if (running()) {
        text = QString::fromStdString(remaining_text(driver_.remaining_ms()));
    } else if (pushing_) {
        text = QString::fromStdString(remaining_text(pushed_remaining_));
    }
    remaining_->setText(text);
}

QProgressBar* BulkRunner::progress_bar() {
    if (bar_ == nullptr) {
        bar_ = new QProgressBar(&dialog_);
        // The range is the step count; only the percentage box shows a number.
        bar_->setRange(0, BulkTransfer(kind_).progress_range());
        bar_->setValue(0);
        bar_->setTextVisible(false);
        // Screen readers announce the run's progress from the bar's value.
        bar_->setAccessibleName(QStringLiteral("Progress"));
    }
    return bar_;
}

QLineEdit* BulkRunner::percent_box() {
    if (percent_ == nullptr) {
        percent_ = new QLineEdit(&dialog_);
        percent_->setReadOnly(true);
        percent_->setFocusPolicy(Qt::NoFocus);
        percent_->setAlignment(Qt::AlignRight);
        percent_->setMaximumWidth(
            percent_->fontMetrics().horizontalAdvance(QStringLiteral("0000")) + 12);
        percent_->setAccessibleName(QStringLiteral("Percentage"));
    }
    return percent_;
}

QWidget* BulkRunner::percent_row() {
    if (percent_row_ == nullptr) {
        percent_row_ = new QWidget(&dialog_);
        auto* row = new QHBoxLayout(percent_row_);
        row->setContentsMargins(0, 0, 0, 0);
        QLineEdit* box = percent_box();
        box->setParent(percent_row_);
        row->addWidget(box);
        row->addWidget(new QLabel(QStringLiteral("％"), percent_row_));
        row->addWidget(remaining_label());
    }
    return percent_row_;
}

QPushButton* BulkRunner::close_button() {
    if (close_ == nullptr) {
        close_ = make_button(QStringLiteral("Close"), &dialog_);
        connect(close_, &QPushButton::clicked, &dialog_, &QDialog::reject);
    }
    return close_;
}

QPushButton* BulkRunner::stop_button() {
    if (stop_ == nullptr) {
        stop_ = make_button(QStringLiteral("中止"), &dialog_);
        stop_->setEnabled(running());
        connect(stop_, &QPushButton::clicked, this, &BulkRunner::stop);
    }
    return stop_;
}

bool BulkRunner::start() { return start(kind_); }

bool BulkRunner::start(BulkKind kind) { return start(std::make_unique<BulkTransfer>(kind)); }

bool BulkRunner::start_changes(std::vector<SettingDifference> changes) {
    auto transfer = std::make_unique<BulkTransfer>(BulkKind::send_changes);
    transfer->set_changes(std::move(changes));
    return start(std::move(transfer));
}

bool BulkRunner::start(std::unique_ptr<BulkTransfer> transfer) {
    const BulkKind kind = transfer->kind();
    const int range = transfer->progress_range();
    if (!driver_.start(std::move(transfer))) return false;
    kind_ = kind;
    if (driver_.running()) show_running(true);
    // A run stopped early left the bar where it stopped; a new run counts from 0, over the
    // steps of this run.
    if (bar_ != nullptr) {
        bar_->setRange(0, range);
        bar_->setValue(0);
    }
    show_remaining();
    return true;
}

void BulkRunner::show_running(bool running) {
    if (close_ != nullptr) close_->setEnabled(!running);
    if (stop_ != nullptr) stop_->setEnabled(running);
    if (fast_box_ != nullptr) fast_box_->setEnabled(!running);
    if (running) {
        remaining_ticks_.start();
    } else {
        remaining_ticks_.stop();
    }
}

void BulkRunner::show_progress(int out, int total, std::optional<int> remaining_ms) {
    total = std::max(total, 1);
    if (bar_ != nullptr) {
        bar_->setRange(0, total);
        bar_->setValue(std::min(out, total));
    }
    if (percent_ != nullptr) percent_->setText(QString::number(out * 100 / total));
    pushed_remaining_ = remaining_ms;
    show_remaining();
}

void BulkRunner::show_push_running(bool running) {
    pushing_ = running;
    show_running(running);
    show_remaining();
}

void BulkRunner::show_step(int step, int percent) {
    if (percent >= 0 && percent_ != nullptr) percent_->setText(QString::number(percent));
    if (bar_ != nullptr) bar_->setValue(std::min(step, bar_->maximum()));
    show_remaining();
}

void BulkRunner::show_end(RunEnd why) {
    show_running(false);
    show_remaining();
    if (why == RunEnd::completed) {
        // A completed run starts the bar again; the percentage of the title and set-all runs
        // is emptied, the display and switching dialogs keep their last figure.
        if (bar_ != nullptr) bar_->setValue(0);
        const bool keep_percent = kind_ == BulkKind::display_lines ||
                                  kind_ == BulkKind::switch_time_lines ||
                                  kind_ == BulkKind::network_read;
        if (!keep_percent && percent_ != nullptr) percent_->clear();
    }
    // An early end leaves the bar and the percentage where the run stopped.
    emit ended(why);
    // Set all items and read settings end their dialog once their run is complete.
    if (why == RunEnd::completed &&
        (kind_ == BulkKind::set_all || kind_ == BulkKind::read_settings))
        dialog_.accept();
}

// ---------------------------------------------------------------------------------------

BulkDialog::BulkDialog(AppContext& context, QWidget* parent, const QString& caption, BulkKind kind)
    : ModelDialog(context, parent, caption), bulk_(*this, context, kind) {}

bool BulkDialog::bulk_busy() const { return bulk_.running(); }

void BulkDialog::reject() {
    // Escape and the close box end up here as well (QDialog::closeEvent calls reject() and
    // keeps the window open when it is still visible).
    if (bulk_busy()) return;
    ModelDialog::reject();
}

}  // namespace tqv
