#include "dialogs/push_to_all.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <algorithm>

#include "core/texts.h"
#include "dialogs/model_dialog.h"
#include "link/run_driver.h"

namespace tqv {

struct PushToAll::Device {
    std::size_t row = 0;
    Channel* channel = nullptr;
    PeerChannel* peer = nullptr;  // nullptr: the chosen device, on the program's own link
    std::unique_ptr<RunDriver> driver;
};

PushToAll::PushToAll(AppContext& context, What what, QObject* parent)
    : QObject(parent), context_(context), what_(what) {
    connect(&context_.link.peers(), &PeerSet::channel_removed, this, &PushToAll::channel_removed);
}

PushToAll::~PushToAll() {
    // Quietly: the dialog is going away with its runs.
    for (auto& d : devices_) {
        if (d->driver) d->driver->disconnect(this);
    }
}

QString PushToAll::target_text() { return QStringLiteral("接続中の全機器"); }

int PushToAll::steps_out() const {
    int n = 0;
    for (const Row& r : rows_) n += r.step;
    return n;
}

int PushToAll::steps_total() const {
    int n = 0;
    for (const Row& r : rows_) n += r.total;
    return n;
}

std::optional<int> PushToAll::remaining_ms() const {
    std::optional<int> slowest = 0;
    for (const auto& d : devices_) {
        if (!d->driver || !d->driver->running()) continue;
        const auto ms = d->driver->remaining_ms();
        if (!ms) return std::nullopt;
        slowest = std::max(*slowest, *ms);
    }
    return slowest;
}

bool PushToAll::start() {
    if (running_) return false;
    Model& model = context_.model;
    DeviceLink& link = context_.link;
    TcpLink& tcp = link.tcp();
    devices_.clear();
    rows_.clear();
    for (int entry : link.peers().entries()) {
        Channel* channel = link.channel_of_peer(entry);
        if (channel == nullptr) continue;
        auto d = std::make_unique<Device>();
        d->row = rows_.size();
        d->channel = channel;
        if (channel != &link) {
            d->peer = link.peers().channel(entry);
            // Every device gets the document as it is now.
            d->peer->set_record(model);
        }
        rows_.push_back({entry, QString::fromStdString(tcp.peer_address(entry)), 0, 0,
                         QStringLiteral("送信中"), false, false});
        devices_.push_back(std::move(d));
    }
    emit rows_reset();
    if (devices_.empty() || model.tcp_connected != 1) {
        warning_box(context_.ui(), text::kSocketNotConnected);
        return false;
    }
    running_ = true;
    const bool fast = answer_paced(model);
    for (auto& owned : devices_) {
        Device& d = *owned;
        Row& row = rows_[d.row];
        d.driver = std::make_unique<RunDriver>(*d.channel);
        connect(d.driver.get(), &RunDriver::stepped, this, [this, &d](int step, int total, int) {
            Row& r = rows_[d.row];
            r.step = step;
            r.total = total;
            emit row_changed(int(d.row));
        });
        connect(d.driver.get(), &RunDriver::ended, this,
                [this, &d](RunEnd why, const QString& closing) { ended(d, why, closing); });
        std::unique_ptr<RunSteps> steps;
        if (what_ == What::set_all) {
            steps = std::make_unique<BulkTransfer>(BulkKind::set_all);
        } else {
            steps = std::make_unique<GlyphBulk>(true);
        }
        row.total = steps->total();
        if (!d.driver->start(std::move(steps), fast, true)) {
            const QString why = d.peer != nullptr
                                    ? QString::fromStdString(d.peer->last_message())
                                    : QString::fromUtf8(text::kSocketNotConnected);
            ended(d, RunEnd::link_lost, why);
        }
    }
    return true;
}

void PushToAll::channel_removed(int entry) {
    // The channel goes away: its run has ended with the link (its row says so).
    for (auto& d : devices_) {
        if (d->peer == nullptr || rows_[d->row].entry != entry) continue;
        d->driver.reset();
        d->peer = nullptr;
        d->channel = nullptr;
    }
}

void PushToAll::ended(Device& d, RunEnd why, const QString& closing) {
    Row& row = rows_[d.row];
    if (row.done) return;
    row.done = true;
    row.ok = why == RunEnd::completed;
    if (d.driver && d.driver->run() != nullptr) {
        // The step the message names, so the row and its text agree.
        row.step = row.ok ? d.driver->run()->total() : d.driver->run()->end_step();
    }
    // The run's message, on one line: where it stopped and why.
    QString text = closing;
    text.replace(QLatin1Char('\n'), QLatin1Char(' '));
    row.outcome = row.ok ? QStringLiteral("完了") : text;
    emit row_changed(int(d.row));
    int ok = 0;
    int failed = 0;
    for (const Row& r : rows_) {
        if (!r.done) return;
        (r.ok ? ok : failed) += 1;
    }
    running_ = false;
    emit finished(ok, failed);
}

void PushToAll::stop() {
    for (auto& d : devices_) {
        if (d->driver) d->driver->stop();
    }
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
