#include "settings/device_run_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include "settings/dialog_parts.h"

namespace tqv {

DeviceRunDialog::DeviceRunDialog(AppContext& context, QWidget* parent, const Setup& setup)
    : BulkDialog(context, parent, setup.caption, setup.kind),
      peer_caption_(setup.caption.toUtf8()) {
    start_button_ = make_button(setup.button, this);
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
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(address);
    bottom->addStretch(1);
    bottom->addWidget(bulk().close_button(), 0, Qt::AlignBottom);
    layout->addLayout(bottom);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    connect(start_button_, &QPushButton::clicked, this, [this] { bulk().start(); });

    run_opening_steps({.receives_answers = true,
                       .sets_address_prefix = true,
                       .peer_caption = peer_caption_.constData()});
}

}  // namespace tqv
