#include "settings/bulk_runner.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <algorithm>

#include "core/texts.h"
#include "settings/dialog_parts.h"

namespace tqv {

BulkRunner::BulkRunner(QDialog& dialog, SendPath& path, BulkKind kind)
    : QObject(&dialog), dialog_(dialog), path_(path), kind_(kind) {
    connect(&timer_, &QTimer::timeout, this, [this] { tick(); });
}

BulkRunner::~BulkRunner() = default;  // the transfer leaves no run behind

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

QPushButton* BulkRunner::stop_button() {
    if (stop_ == nullptr) {
        stop_ = make_button(QStringLiteral("中止"), &dialog_);
        stop_->setEnabled(running());
        connect(stop_, &QPushButton::clicked, this, &BulkRunner::stop);
    }
    return stop_;
}

bool BulkRunner::start() { return start(kind_); }

bool BulkRunner::start(BulkKind kind) {
    return start(std::make_unique<BulkTransfer>(path_, kind));
}

bool BulkRunner::start_changes(std::vector<SettingDifference> changes) {
    auto transfer = std::make_unique<BulkTransfer>(path_, BulkKind::send_changes);
    transfer->set_changes(std::move(changes));
    return start(std::move(transfer));
}

bool BulkRunner::start(std::unique_ptr<BulkTransfer> transfer) {
    if (running()) {
        // The link-ready test still speaks; a second run does not start.
        if (!path_.link_ready() && transfer->kind() != BulkKind::network_read)
            warning_box(path_.ui(), text::kSocketNotConnected);
        return false;
    }
    if (!transfer->start()) return false;
    kind_ = transfer->kind();
    transfer_ = std::move(transfer);
    transfer_->on_end = [this](const BulkTick& t) { apply_end(t); };
    show_running(true);
    // A run stopped early left the bar where it stopped; a new run counts from 0, over the
    // steps of this run.
    if (bar_ != nullptr) {
        bar_->setRange(0, transfer_->progress_range());
        bar_->setValue(0);
    }
    timer_.start(transfer_->period_ms());
    return true;
}

void BulkRunner::stop() {
    if (transfer_ != nullptr) transfer_->stop();
}

BulkTick BulkRunner::tick() {
    if (transfer_ == nullptr) {
        BulkTick idle;
        idle.state = BulkTick::State::finished;
        return idle;
    }
    BulkTick t = transfer_->tick();
    // A run that completed within this tick (its last answer came at once) has already
    // shown its end: the step's progress must not be drawn over it.
    if (transfer_->run().end() != RunEnd::completed) apply(t);
    return t;
}

void BulkRunner::show_running(bool running) {
    if (close_ != nullptr) close_->setEnabled(!running);
    if (stop_ != nullptr) stop_->setEnabled(running);
}

void BulkRunner::apply(const BulkTick& t) {
    if (t.period_ms > 0 && timer_.isActive()) timer_.start(t.period_ms);
    if (t.percent && percent_ != nullptr) percent_->setText(QString::number(*t.percent));
    if (t.progress_step && bar_ != nullptr) {
        bar_->setValue(std::min(bar_->value() + 1, bar_->maximum()));
    }
    // Every step is out (or the run is over): no more ticks. The end itself comes through
    // apply_end, now or when the last answer is in.
    if (t.state != BulkTick::State::running) timer_.stop();
}

void BulkRunner::apply_end(const BulkTick& t) {
    timer_.stop();
    if (t.blank_percent && percent_ != nullptr) percent_->clear();
    if (t.reset_progress && bar_ != nullptr) bar_->setValue(0);
    // However the run ended, the operator must be able to close the dialog again.
    show_running(false);
    emit ended(t);
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
