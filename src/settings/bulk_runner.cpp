#include "settings/bulk_runner.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <algorithm>

#include "settings/dialog_parts.h"

namespace tqv {

BulkRunner::BulkRunner(QDialog& dialog, SendPath& path, BulkKind kind)
    : QObject(&dialog), dialog_(dialog), path_(path), kind_(kind) {
    connect(&timer_, &QTimer::timeout, this, [this] { tick(); });
}

BulkRunner::~BulkRunner() {
    if (timer_.isActive()) path_.model().bulk_active = 0;
}

QProgressBar* BulkRunner::progress_bar() {
    if (bar_ == nullptr) {
        bar_ = new QProgressBar(&dialog_);
        // The range is the step count; only the percentage box shows a number.
        bar_->setRange(0, BulkTransfer(path_, kind_).progress_range());
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

bool BulkRunner::start() { return start(kind_); }

bool BulkRunner::start(BulkKind kind) {
    BulkTransfer transfer(path_, kind);
    if (!transfer.start()) return false;
    kind_ = kind;
    transfer_.emplace(transfer);
    if (close_ != nullptr) close_->setEnabled(false);
    // A run stopped by an error left the bar where it stopped; a new run counts from 0.
    if (bar_ != nullptr) bar_->setValue(0);
    timer_.start(transfer_->period_ms());
    return true;
}

BulkTick BulkRunner::tick() {
    if (!transfer_) {
        BulkTick idle;
        idle.state = BulkTick::State::finished;
        return idle;
    }
    Model& m = path_.model();
    const bool ended_elsewhere = m.bulk_active == 0;
    BulkTick t = transfer_->tick();
    if (ended_elsewhere && timer_.isActive()) {
        // A failed TCP send ends the transfer itself (bulk_active := 0) and raises
        // answer_error. The run is over: clear the flag as the stop at an error does, so
        // the next run does not stop on its first tick.
        m.answer_error = 0;
        t.enable_close = true;
    }
    apply(t);
    return t;
}

void BulkRunner::apply(const BulkTick& t) {
    if (t.period_ms > 0) timer_.start(t.period_ms);
    if (t.percent && percent_ != nullptr) percent_->setText(QString::number(*t.percent));
    if (t.progress_step && bar_ != nullptr) {
        bar_->setValue(std::min(bar_->value() + 1, bar_->maximum()));
    }
    if (t.state == BulkTick::State::running) return;

    timer_.stop();
    transfer_.reset();
    if (t.blank_percent && percent_ != nullptr) percent_->clear();
    if (t.reset_progress && bar_ != nullptr) bar_->setValue(0);
    // However the run ended, the operator must be able to close the dialog again.
    if (close_ != nullptr) close_->setEnabled(true);
    if (t.close_dialog) dialog_.accept();
}

// ---------------------------------------------------------------------------------------

BulkDialog::BulkDialog(AppContext& context, QWidget* parent, const QString& caption, BulkKind kind)
    : ModelDialog(context, parent, caption), bulk_(*this, context.link.send_path(), kind) {}

bool BulkDialog::bulk_busy() const { return bulk_.running(); }

void BulkDialog::reject() {
    // Escape and the close box end up here as well (QDialog::closeEvent calls reject() and
    // keeps the window open when it is still visible).
    if (bulk_busy()) return;
    ModelDialog::reject();
}

}  // namespace tqv
