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
    : QObject(&dialog),
      dialog_(dialog),
      context_(context),
      path_(context.link.send_path()),
      kind_(kind) {
    connect(&timer_, &QTimer::timeout, this, [this] { tick(); });
    next_.setSingleShot(true);
    next_.setInterval(0);
    connect(&next_, &QTimer::timeout, this, [this] { tick(); });
    connect(&context.link, &DeviceLink::answer_applied, this, [this] {
        if (fast_ && awaiting_answer_) next_when_answered();
    });
}

QCheckBox* BulkRunner::fast_box() {
    if (fast_box_ == nullptr) {
        fast_box_ = new QCheckBox(QStringLiteral("高速転送"), &dialog_);
        fast_box_->setChecked(context_.model.fast_transfer == 1);
        connect(fast_box_, &QCheckBox::toggled, this, [this](bool on) {
            context_.model.fast_transfer = on ? 1 : 0;
            if (context_.config != nullptr) write_fast_transfer(context_.model, *context_.config);
        });
    }
    return fast_box_;
}

QLabel* BulkRunner::remaining_label() {
    if (remaining_ == nullptr) {
        remaining_ = new QLabel(&dialog_);
        remaining_->setAccessibleDescription(QStringLiteral("Time left"));  // name: its text
        remaining_->setMinimumWidth(remaining_->fontMetrics().horizontalAdvance(
                                        QStringLiteral("残り 00:00")) + 4);
    }
    return remaining_;
}

void BulkRunner::next_when_answered() {
    if (!running() || transfer_->run().outstanding() > 0) return;
    awaiting_answer_ = false;
    next_.start();
}

void BulkRunner::show_remaining() {
    if (remaining_ == nullptr) return;
    if (!running()) {
        remaining_->clear();
        return;
    }
    const int step = transfer_->run().step();
    const int total = transfer_->total_steps();
    int ms = transfer_->paced_remaining_ms(step + 1);
    if (fast_ && step > 0) {
        // Answer-paced: the steps still to come at the pace the device has shown so far.
        ms = int(clock_.elapsed() * (total - step) / step);
    }
    remaining_->setText(QString::fromStdString(remaining_text(ms)));
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
    fast_ = tqv::answer_paced(path_.model());
    awaiting_answer_ = false;
    clock_.start();
    if (fast_) {
        next_.start();
    } else {
        timer_.start(transfer_->period_ms());
    }
    show_remaining();
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
    if (fast_ && running() && t.state == BulkTick::State::running) {
        if (t.sent) {
            awaiting_answer_ = true;
            next_when_answered();  // the answer may be in already
        } else {
            next_.start();
        }
    }
    return t;
}

void BulkRunner::show_running(bool running) {
    if (close_ != nullptr) close_->setEnabled(!running);
    if (stop_ != nullptr) stop_->setEnabled(running);
}

void BulkRunner::apply(const BulkTick& t) {
    if (t.period_ms > 0 && timer_.isActive()) timer_.start(t.period_ms);
    show_remaining();
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
    next_.stop();
    awaiting_answer_ = false;
    if (remaining_ != nullptr) remaining_->clear();
    if (t.blank_percent && percent_ != nullptr) percent_->clear();
    if (t.reset_progress && bar_ != nullptr) bar_->setValue(0);
    // However the run ended, the operator must be able to close the dialog again.
    show_running(false);
    emit ended(t);
    if (t.close_dialog) dialog_.accept();
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
