#include "dialogs/push_to_all.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <algorithm>

#include "core/texts.h"
#include "dialogs/model_dialog.h"

namespace tqv {

PushToAll::PushToAll(AppContext& context, What what, QObject* parent)
    : QObject(parent),
      context_(context),
      what_(what),
      run_(context.link.fleet(), {QStringLiteral("送信中"), QStringLiteral("完了")}) {
    connect(&run_, &FleetRun::reset, this, &PushToAll::rows_reset);
    connect(&run_, &FleetRun::changed, this, &PushToAll::row_changed);
    connect(&run_, &FleetRun::finished, this, &PushToAll::finished);
}

QString PushToAll::target_text() { return QStringLiteral("接続中の全機器"); }

bool PushToAll::start() {
    if (run_.running()) return false;
    Fleet& fleet = context_.link.fleet();
    std::vector<FleetDevice> devices = fleet.connected();
    std::erase_if(
        devices, [&](const FleetDevice& d) { return d.entry == 0 || fleet.channel(d) == nullptr; });
    run_.set_devices(devices);
    if (devices.empty() || context_.model.tcp_connected != 1) {
        warning_box(context_.ui(), text::kSocketNotConnected);
        return false;
    }
    const bool fast = answer_paced(context_.model);
    run_.start(
        [this, fast](const FleetRun::Member&, Channel& channel) -> std::unique_ptr<FleetPart> {
            // Every device gets the document as it is now.
            if (auto* peer = dynamic_cast<PeerChannel*>(&channel)) peer->set_record(context_.model);
            std::unique_ptr<RunSteps> steps;
            if (what_ == What::set_all) {
                steps = std::make_unique<BulkTransfer>(BulkKind::set_all);
            } else {
                steps = std::make_unique<GlyphBulk>(true);
            }
            return std::make_unique<DriverPart>(channel, std::move(steps), fast);
        });
    return true;
}

DeviceRowsTable::DeviceRowsTable(QWidget* parent) : QTableWidget(0, 3, parent) {
    setHorizontalHeaderLabels(
        {QStringLiteral("アドレス"), QStringLiteral("ステップ"), QStringLiteral("結果")});
    setAccessibleName(QStringLiteral("Devices"));
    horizontalHeader()->setStretchLastSection(true);
    verticalHeader()->hide();
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setWordWrap(true);
    setMinimumSize(520, 160);
    hide();
}

void DeviceRowsTable::follow(const PushToAll& push) {
    connect(&push, &PushToAll::rows_reset, this, [this, &push] { show_rows(push.rows()); });
    connect(&push, &PushToAll::row_changed, this, [this, &push](int i) {
        if (i >= 0 && i < int(push.rows().size())) show_row(i, push.rows()[std::size_t(i)]);
    });
}

void DeviceRowsTable::show_rows(const std::vector<PushToAll::Row>& rows) {
    show();
    setRowCount(int(rows.size()));
    for (int i = 0; i < int(rows.size()); ++i) show_row(i, rows[std::size_t(i)]);
}

void DeviceRowsTable::forget_rows() {
    setRowCount(0);
    hide();
}

void DeviceRowsTable::show_row(int i, const PushToAll::Row& r) {
    if (i >= rowCount()) return;
    const QString cells[3] = {r.address, QStringLiteral("%1/%2").arg(r.step).arg(r.total),
                              r.outcome};
    for (int c = 0; c < 3; ++c) {
        QTableWidgetItem* cell = item(i, c);
        if (cell == nullptr) {
            cell = new QTableWidgetItem;
            setItem(i, c, cell);
        }
        if (cell->text() != cells[c]) cell->setText(cells[c]);
    }
    // The whole reason, however narrow the column.
    item(i, 2)->setToolTip(r.outcome);
    if (r.done && !r.ok) resizeRowToContents(i);
}

QLayout* make_target_row(const QString& caption, QWidget* parent, QComboBox*& list) {
    list = make_list(QStringLiteral("送信先"),
                     {QStringLiteral("選択中の機器"), PushToAll::target_text()}, 0, parent);
    auto* row = new QHBoxLayout;
    row->addWidget(new QLabel(caption, parent));
    row->addWidget(list);
    row->addStretch(1);
    return row;
}

void announce_push_result(Ui& ui, int completed, int failed) {
    const QString head = PushToAll::target_text() + QStringLiteral(": ");
    if (failed == 0) {
        success_box(ui, (head + QStringLiteral("%1 台とも完了しました").arg(completed)).toStdString());
    } else {
        warning_box(ui, (head + QStringLiteral("%1 台完了、%2 台は途中で終わりました")
                                    .arg(completed)
                                    .arg(failed))
                            .toStdString());
    }
}

}  // namespace tqv
