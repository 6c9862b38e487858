#include "dialogs/push_to_all.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QTcpSocket>

#include "dialogs/model_dialog.h"
#include "core/texts.h"
#include "link/peer_channel.h"

namespace tqv {

namespace {

// A device's messages become its row, never a box: with many devices at once, one modal
// box per device would trap the operator.
class RowUi : public Ui {
  public:
    void box(Box, std::string_view text, std::string_view) override { last = std::string(text); }
    bool ask(std::string_view, std::string_view) override { return true; }
    std::string last;
};

}  // namespace

struct PushToAll::Device {
    std::size_t row = 0;
    RowUi ui;
    std::unique_ptr<PeerChannel> channel;
    std::unique_ptr<BulkTransfer> bulk;
    std::unique_ptr<GlyphBulk> glyphs;
    QTimer pace;
    bool fast = false;
    bool awaiting = false;
    const Run& run() const { return bulk ? bulk->run() : glyphs->run(); }
};

PushToAll::PushToAll(AppContext& context, What what, QObject* parent)
    : QObject(parent), context_(context), what_(what) {
    answer_ticks_.setInterval(500);
    connect(&answer_ticks_, &QTimer::timeout, this, [this] {
        for (auto& d : devices_) {
            if (d->run().running()) d->channel->tick();
        }
    });
    connect(&context_.link.tcp(), &TcpLink::bytes_received, this,
            [this](int entry, const QByteArray& bytes) {
                for (auto& d : devices_) {
                    if (rows_[d->row].entry == entry) d->channel->receive(bytes);
                }
            });
}

PushToAll::~PushToAll() {
    // Quietly: the dialog is going away with its runs.
    for (auto& d : devices_) {
        if (d->bulk) d->bulk->on_end = nullptr;
        if (d->glyphs) d->glyphs->on_end = nullptr;
    }
    // Only a push still under way holds the chosen device's bytes.
    if (running_) context_.link.set_tcp_delivery(true);
}

QString PushToAll::target_text() { return QStringLiteral("接続中の全機器"); }

bool PushToAll::start() {
    if (running_) return false;
    Model& model = context_.model;
    TcpLink& tcp = context_.link.tcp();
    devices_.clear();
    rows_.clear();
    for (int entry = 1; entry <= TcpLink::kMaxPeers; ++entry) {
        const TcpLink::Peer& p = tcp.peer(entry);
        if (p.in_use != 1 || p.peer_socket == nullptr) continue;
        auto d = std::make_unique<Device>();
        d->row = rows_.size();
        d->channel = std::make_unique<PeerChannel>(model, d->ui, p.peer_socket);
        rows_.push_back({entry, QString::fromStdString(tcp.peer_address(entry)), 0, 0,
                         QStringLiteral("送信中"), false, false});
        devices_.push_back(std::move(d));
    }
    if (devices_.empty() || model.tcp_connected != 1) {
        warning_box(context_.ui(), text::kSocketNotConnected);
        return false;
    }
    // The chosen device's bytes now belong to its own channel, not to the program's.
    context_.link.set_tcp_delivery(false);
    running_ = true;
    for (auto& owned : devices_) {
        Device& d = *owned;
        Row& row = rows_[d.row];
        d.fast = model.fast_transfer == 1;
        Model& m = d.channel->model();
        m.address_prefix_on = 1;
        bool started = false;
        if (what_ == What::set_all) {
            d.bulk = std::make_unique<BulkTransfer>(d.channel->send_path(), BulkKind::set_all);
            d.bulk->on_end = [this, &d](const BulkTick& t) {
                ended(d, t.state == BulkTick::State::finished, d.bulk->run().closing_text());
            };
            started = d.bulk->start();
            row.total = d.bulk->total_steps();
        } else {
            d.glyphs = std::make_unique<GlyphBulk>(d.channel->send_path());
            d.glyphs->on_end = [this, &d](RunEnd why) {
                ended(d, why == RunEnd::completed, d.glyphs->run().closing_text());
            };
            started = d.glyphs->start_register();
            row.total = GlyphBulk::kGlyphs;
        }
        if (!started) {
            ended(d, false, d.ui.last);
            continue;
        }
        d.pace.setSingleShot(true);
        connect(&d.pace, &QTimer::timeout, this, [this, &d] { tick(d); });
        d.channel->send_path().on_answer = [this, &d](bool) {
            if (d.fast && d.awaiting && d.run().running() && d.run().outstanding() == 0) {
                d.awaiting = false;
                d.pace.start(0);
            }
        };
        d.pace.start(d.fast ? 0 : (d.bulk ? d.bulk->period_ms() : d.glyphs->period_ms()));
    }
    answer_ticks_.start();
    emit rows_changed();
    return true;
}

void PushToAll::tick(Device& d) {
    if (!d.run().running()) return;
    bool sent = false;
    int period = 0;
    if (d.bulk) {
        const BulkTick t = d.bulk->tick();
        sent = t.sent;
        period = t.period_ms > 0 ? t.period_ms : d.bulk->period_ms();
    } else {
        sent = d.glyphs->tick().sent;
        period = d.glyphs->period_ms();
    }
    Row& row = rows_[d.row];
    row.step = d.run().step();
    emit rows_changed();
    if (d.run().running()) schedule(d, sent, period);
}

void PushToAll::schedule(Device& d, bool sent, int period_ms) {
    const bool all_out = d.bulk ? d.channel->model().bulk_active > d.bulk->total_steps()
                                : d.channel->model().glyph_index >= GlyphBulk::kGlyphs;
    if (all_out) return;  // the run ends with its last answer
    if (!d.fast) {
        d.pace.start(period_ms);
    } else if (!sent || d.run().outstanding() == 0) {
        d.pace.start(0);
    } else {
        d.awaiting = true;
    }
}

void PushToAll::ended(Device& d, bool completed, const std::string& closing) {
    d.pace.stop();
    Row& row = rows_[d.row];
    if (row.done) return;
    row.done = true;
    row.ok = completed;
    row.step = d.run().step();
    // The run's message, on one line: where it stopped and why.
    QString why = QString::fromStdString(closing);
    why.replace(QLatin1Char('\n'), QLatin1Char(' '));
    row.outcome = completed ? QStringLiteral("完了") : why;
    emit rows_changed();
    int ok = 0;
    int failed = 0;
    for (const Row& r : rows_) {
        if (!r.done) return;
        (r.ok ? ok : failed) += 1;
    }
    answer_ticks_.stop();
    running_ = false;
    context_.link.set_tcp_delivery(true);
    emit finished(ok, failed);
}

DeviceRowsTable::DeviceRowsTable(QWidget* parent) : QTableWidget(0, 3, parent) {
    setHorizontalHeaderLabels(
        {QStringLiteral("アドレス"), QStringLiteral("ステップ"), QStringLiteral("結果")});
    setAccessibleName(QStringLiteral("Devices"));
    horizontalHeader()->setStretchLastSection(true);
    verticalHeader()->hide();
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setMinimumSize(520, 160);
    hide();
}

void DeviceRowsTable::show_rows(const std::vector<PushToAll::Row>& rows) {
    show();
    setRowCount(int(rows.size()));
    for (int i = 0; i < int(rows.size()); ++i) {
        const PushToAll::Row& r = rows[std::size_t(i)];
        const QString cells[3] = {r.address, QStringLiteral("%1/%2").arg(r.step).arg(r.total),
                                  r.outcome};
        for (int c = 0; c < 3; ++c) {
            if (item(i, c) == nullptr) setItem(i, c, new QTableWidgetItem);
            item(i, c)->setText(cells[c]);
        }
    }
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

void PushToAll::stop() {
    for (auto& d : devices_) {
        if (d->bulk && d->bulk->running()) d->bulk->stop();
        if (d->glyphs && d->glyphs->running()) d->glyphs->stop();
    }
}

}  // namespace tqv
