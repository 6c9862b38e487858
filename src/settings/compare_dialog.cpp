#include "settings/compare_dialog.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>

#include "dialogs/dialog_parts.h"

namespace tqv {

CompareDialog::CompareDialog(AppContext& context, QWidget* parent)
    : BulkDialog(context, parent, QStringLiteral("機器と比較"), BulkKind::compare_read) {
    read_ = make_button(QStringLiteral("読み込み"), this);
    send_ = make_button(QStringLiteral("差分のみ送信"), this);
    send_->setEnabled(false);
    summary_ = new QLabel(this);
    table_ = new QTableWidget(0, 3, this);
    table_->setHorizontalHeaderLabels(
        {QStringLiteral("項目"), QStringLiteral("文書"), QStringLiteral("機器")});
    // The item's whole name ("ch.2 Bottom スタートアップページ"), the values in the rest.
    table_->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    table_->horizontalHeader()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    table_->verticalHeader()->setVisible(false);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setAccessibleName(QStringLiteral("Differences"));
    table_->setMinimumSize(560, 260);

    auto* top = new QHBoxLayout;
    top->addWidget(read_);
    top->addWidget(bulk().percent_row());
    top->addWidget(bulk().progress_bar(), 1);
    top->addWidget(bulk().stop_button());
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(slave_address_group());
    bottom->addStretch(1);
    bottom->addWidget(send_, 0, Qt::AlignBottom);
    bottom->addWidget(bulk().close_button(), 0, Qt::AlignBottom);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(summary_);
    layout->addWidget(table_, 1);
    layout->addLayout(bottom);

    connect(read_, &QPushButton::clicked, this, &CompareDialog::start_read);
    connect(send_, &QPushButton::clicked, this, &CompareDialog::send_differences);
    connect(&bulk(), &BulkRunner::ended, this, &CompareDialog::run_ended);
    run_opening_steps({.receives_answers = true, .peer_caption = "機器と比較 "});
    // Once the dialog is up, so that a refusal's box has the dialog under it.
    QTimer::singleShot(0, this, &CompareDialog::start_read);
}

bool CompareDialog::start_read() {
    if (bulk().running()) return false;
    summary_->setText(QStringLiteral("機器の設定を読み込んでいます..."));
    if (!bulk().start(BulkKind::compare_read)) {
        summary_->clear();
        return false;
    }
    read_->setEnabled(false);
    send_->setEnabled(false);
    return true;
}

bool CompareDialog::send_differences() {
    if (differences_.empty() || bulk().running()) return false;
    if (!bulk().start_changes(differences_)) return false;
    read_->setEnabled(false);
    send_->setEnabled(false);
    summary_->setText(QStringLiteral("差分を送信しています..."));
    return true;
}

void CompareDialog::show_differences(std::vector<SettingDifference> differences) {
    differences_ = std::move(differences);
    table_->setRowCount(int(differences_.size()));
    for (int row = 0; row < int(differences_.size()); ++row) {
        const SettingDifference& d = differences_[std::size_t(row)];
        int column = 0;
        for (const std::string* text : {&d.item, &d.document_value, &d.device_value}) {
            auto* item = new QTableWidgetItem(QString::fromStdString(*text));
            item->setToolTip(item->text());
            table_->setItem(row, column++, item);
        }
    }
    // Room for the values beside the longest name.
    const int values = 2 * table_->fontMetrics().horizontalAdvance(QLatin1Char('0')) * 18;
    table_->resizeColumnToContents(0);
    table_->setMinimumWidth(std::max(560, table_->columnWidth(0) + values));
    summary_->setText(differences_.empty()
                          ? QStringLiteral("文書と機器の設定は同じです。送るものはありません。")
                          : QStringLiteral("%1 項目が文書と違います。").arg(differences_.size()));
    send_->setEnabled(!differences_.empty());
}

void CompareDialog::run_ended(RunEnd why) {
    read_->setEnabled(true);
    const BulkTransfer* transfer = bulk().transfer();
    const bool completed = why == RunEnd::completed;
    if (transfer != nullptr && transfer->kind() == BulkKind::compare_read) {
        if (completed) {
            show_differences(compare_settings(model_, transfer->device_settings()));
        } else {
            summary_->setText(QStringLiteral("読み込みは終わりませんでした。"));
        }
        return;
    }
    if (completed) {
        // What went out is what differed; a new read shows whether the device took it.
        differences_.clear();
        table_->setRowCount(0);
        summary_->setText(QStringLiteral("差分を送信しました。"));
    } else {
        summary_->setText(QStringLiteral("送信は途中で終わりました。"));
        send_->setEnabled(true);
    }
}

}  // namespace tqv
