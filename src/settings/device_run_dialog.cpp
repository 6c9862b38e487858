#include "settings/device_run_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include "dialogs/dialog_parts.h"

namespace tqv {

DeviceRunDialog::DeviceRunDialog(AppContext& context, QWidget* parent, const Setup& setup)
    : BulkDialog(context, parent, setup.caption, setup.kind),
      peer_caption_(setup.caption.toUtf8()) {
    // "全項目 設定", "設定項目 読み込み".
    start_button_ = make_set_button(setup.what, setup.button, this);
    QGroupBox* address = slave_address_group();

    auto* top = new QHBoxLayout;
    top->addWidget(start_button_);
    top->addWidget(bulk().percent_row());
    top->addStretch(1);

    auto* layout = new QVBoxLayout(this);
    if (!setup.notice.isEmpty()) {
        auto* notice = new QLabel(setup.notice, this);
        layout->addWidget(notice);
    }
    layout->addLayout(top);
    bulk().progress_bar()->setMinimumWidth(300);
    auto* progress = new QHBoxLayout;
    progress->addWidget(bulk().progress_bar(), 1);
    progress->addWidget(bulk().fast_box());
    progress->addWidget(bulk().stop_button());
    layout->addLayout(progress);
    const bool server_role = model_.interface_kind == 1 && model_.tcp_role == 1;
    if (setup.to_all_devices && server_role) {
        layout->insertLayout(layout->indexOf(top) + 1,
                             make_target_row(QStringLiteral("送信先"), this, target_));
        table_ = new DeviceRowsTable(this);
        layout->addWidget(table_);
        push_ = std::make_unique<PushToAll>(context, PushToAll::What::set_all);
        table_->follow(*push_);
        connect(push_.get(), &PushToAll::row_changed, this, [this] {
            bulk().show_progress(push_->steps_out(), push_->steps_total(), push_->remaining_ms());
        });
        connect(push_.get(), &PushToAll::finished, this, [this](int ok, int failed) {
            bulk().show_push_running(false);
            announce_push_result(context_.ui(), ok, failed);
        });
        connect(bulk().stop_button(), &QPushButton::clicked, this, [this] {
            if (push_ && push_->running()) push_->stop();
        });
    }
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(address);
    bottom->addStretch(1);
    bottom->addWidget(bulk().close_button(), 0, Qt::AlignBottom);
    layout->addLayout(bottom);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    connect(start_button_, &QPushButton::clicked, this, [this] {
        if (target_ != nullptr && target_->currentIndex() == 1) {
            start_all();
        } else if (bulk().start() && table_ != nullptr) {
            table_->forget_rows();
        }
    });

    run_opening_steps({.receives_answers = true, .peer_caption = peer_caption_.constData()});
}

void DeviceRunDialog::start_all() {
    if (bulk().running() || push_->running()) return;
    if (!push_->start()) return;
    bulk().show_push_running(push_->running());
    bulk().show_progress(push_->steps_out(), push_->steps_total(), push_->remaining_ms());
}

void DeviceRunDialog::reject() {
    if (push_ && push_->running()) return;
    BulkDialog::reject();
}

}  // namespace tqv
