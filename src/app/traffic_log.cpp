#include "app/traffic_log.h"

#include <QApplication>
#include <QClipboard>
#include <QCoreApplication>
#include <QDateTime>
#include <QFileDialog>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QListView>
#include <QScrollBar>
#include <QStyledItemDelegate>
#include <QPushButton>
#include <QSaveFile>
#include <QVBoxLayout>
#include <algorithm>
#include <utility>

#include "app/link_status.h"
#include "core/codec.h"

namespace tqv {

namespace {

constexpr const char* kTimedOut = "応答なし (タイムアウト)";

std::int64_t now_ms() { return QDateTime::currentMSecsSinceEpoch(); }

}  // namespace

TrafficLog::TrafficLog(DeviceLink& link, QObject* parent) : QObject(parent) {
    connect(&link, &DeviceLink::traffic, this, &TrafficLog::add);
    watch_link_events(link);
}

void TrafficLog::watch_link_events(DeviceLink& link) {
    const auto current_peer = [&link] {
        const Model& m = link.model();
        if (m.interface_kind != 1) return link.serial().last_path();
        return link.tcp().peer_name(m.tcp_role == 1 ? m.selected_peer : 0);
    };
    connect(&link, &DeviceLink::answer_timed_out, this,
            [this, current_peer] { note(current_peer(), kTimedOut); });
    // Opened, failed, connected, lost, back: each once, as the link says it.
    connect(&link, &DeviceLink::link_event, this,
            [this](const QString& where, const QString& what) { note(where, what.toStdString().c_str()); });
    // What the read after a reconnect found, one line per item that differs.
    connect(&link, &DeviceLink::reconnect_checked, this,
            [this, current_peer](bool completed, const std::vector<SettingDifference>& differences) {
                const QString peer = current_peer();
                note(peer, reconnect_check_summary(completed, differences.size()).toStdString().c_str());
                for (const SettingDifference& d : differences)
                    note(peer, (d.item + ": " + d.document_value + " → " + d.device_value).c_str());
            });
}

bool TrafficLog::write_to(const QString& path, QString* error) {
    auto file = std::make_unique<QFile>(path);
    if (!file->open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text)) {
        if (error != nullptr) *error = QStringLiteral("cannot write %1: %2").arg(path, file->errorString());
        return false;
    }
    // Earlier runs stay in the file; this one starts after its own line.
    const TrafficLine start{now_ms(), false, "",
                            utf8_to_cp932("---- tqv7310nx " +
                                          QCoreApplication::applicationVersion().toStdString() +
                                          " 開始 ----")
                                .value_or("---- start ----"),
                            true};
    file->write(text_of(start).toUtf8() + '\n');
    file->flush();
    file_ = std::move(file);
    return true;
}

void TrafficLog::note(const QString& peer, const char* what) {
    add_line({now_ms(), false, peer.toStdString(), utf8_to_cp932(what).value_or(what), true});
}

QString TrafficLog::text_of(const TrafficLine& line) {
    return QString::fromStdString(cp932_to_utf8(format_traffic_line(line)));
}

QString TrafficLog::all_text() const {
    QString out;
    for (const TrafficLine& line : ring_.lines()) out += text_of(line) + QLatin1Char('\n');
    return out;
}

void TrafficLog::add(bool sent, const QString& peer, const QByteArray& bytes) {
    add_line({now_ms(), sent, peer.toStdString(), bytes.toStdString()});
}

void TrafficLog::add_line(TrafficLine line) {
    if (file_ != nullptr) {
        file_->write(text_of(line).toUtf8() + '\n');
        file_->flush();
    }
    ring_.add(std::move(line));
    emit added();
}

// ---------------------------------------------------------------------------------------

int TrafficLogModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(lines_.size());
}

QVariant TrafficLogModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= int(lines_.size())) return {};
    const QString& line = lines_[std::size_t(index.row())];
    switch (role) {
        case Qt::DisplayRole:
        case Qt::ToolTipRole:
            return line;
        case Qt::ForegroundRole:
            return colour_of(direction_of(line));
        default:
            return {};
    }
}

TrafficLogModel::Direction TrafficLogModel::direction_of(const QString& line) {
    // After the time stamp ("2026-01-31 12:00:00.000"): " TX ", " RX " or " -- ".
    const QStringView mark = QStringView(line).mid(23, 4);
    if (mark == QLatin1String(" TX ")) return Direction::sent;
    if (mark == QLatin1String(" RX ")) return Direction::received;
    return Direction::event;
}

QColor TrafficLogModel::colour_of(Direction direction) {
    switch (direction) {
        case Direction::sent: return {0x0d, 0x47, 0xa1};      // blue: to the device
        case Direction::received: return {0x1b, 0x5e, 0x20};  // green: from it
        case Direction::event: return {0xa0, 0x50, 0x00};     // amber: the link itself
    }
    return {};
}

void TrafficLogModel::append(const QStringList& lines) {
    if (lines.isEmpty()) return;
    const int first = int(lines_.size());
    beginInsertRows({}, first, first + int(lines.size()) - 1);
    for (const QString& l : lines) lines_.push_back(l);
    endInsertRows();
    // The window keeps what the log keeps: the oldest lines go.
    const int excess = int(lines_.size()) - int(TrafficRing::kCapacity);
    if (excess > 0) {
        beginRemoveRows({}, 0, excess - 1);
        lines_.erase(lines_.begin(), lines_.begin() + excess);
        endRemoveRows();
    }
}

void TrafficLogModel::reset(const QStringList& lines) {
    beginResetModel();
    lines_.assign(lines.begin(), lines.end());
    endResetModel();
}

namespace {

// Every line is as high as every other and no wider than the window (a longer one is cut,
// and shows whole below the list): the view lays out only the lines in sight, not each one
// that arrives, and never scrolls sideways.
class FixedLineDelegate : public QStyledItemDelegate {
  public:
    using QStyledItemDelegate::QStyledItemDelegate;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex&) const override {
        const QFontMetrics fm(option.font);
        return {fm.horizontalAdvance(QLatin1Char('0')), fm.height() + 2};
    }
};

}  // namespace

TrafficLogWindow::TrafficLogWindow(TrafficLog& log, QWidget* parent)
    : QWidget(parent, Qt::Window), log_(log) {
    setWindowTitle(QStringLiteral("通信ログ"));
    view_ = new QListView(this);
    view_->setModel(&model_);
    view_->setUniformItemSizes(true);
    view_->setItemDelegate(new FixedLineDelegate(view_));
    view_->setTextElideMode(Qt::ElideRight);
    view_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    view_->setWordWrap(false);
    view_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    view_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    view_->setAccessibleName(QStringLiteral("通信ログ"));
    detail_ = new QLabel(this);
    detail_->setWordWrap(true);
    detail_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    detail_->setFont(view_->font());
    detail_->setAccessibleName(QStringLiteral("選択した行"));
    // Three lines of room: the longest frame fits, and the list keeps its height.
    detail_->setFixedHeight(QFontMetrics(detail_->font()).lineSpacing() * 3 + 4);
    detail_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    detail_->setFrameShape(QFrame::StyledPanel);
    connect(view_->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex& current) {
                const QString text = current.data().toString();
                detail_->setText(text);
                QPalette p = detail_->palette();
                p.setColor(QPalette::WindowText,
                           TrafficLogModel::colour_of(TrafficLogModel::direction_of(text)));
                detail_->setPalette(p);
            });

    pause_ = new QPushButton(QStringLiteral("一時停止"), this);
    pause_->setCheckable(true);
    auto* clear_button = new QPushButton(QStringLiteral("クリア"), this);
    auto* copy_button = new QPushButton(QStringLiteral("コピー"), this);
    auto* save_button = new QPushButton(QStringLiteral("保存..."), this);
    connect(pause_, &QPushButton::toggled, this, &TrafficLogWindow::set_paused);
    connect(clear_button, &QPushButton::clicked, this, &TrafficLogWindow::clear);
    connect(copy_button, &QPushButton::clicked, this, &TrafficLogWindow::copy_all);
    connect(save_button, &QPushButton::clicked, this, [this] {
        // Qt's own dialog, as the program's other file dialogs: it speaks Japanese.
        const QString path = QFileDialog::getSaveFileName(
            this, QStringLiteral("通信ログの保存"), QString(), QStringLiteral("テキスト(*.txt *.log)"),
            nullptr, QFileDialog::DontUseNativeDialog);
        if (!path.isEmpty()) save_as(path);
    });

    auto* buttons = new QHBoxLayout;
    for (QPushButton* b : {pause_, clear_button, copy_button, save_button}) buttons->addWidget(b);
    buttons->addStretch(1);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(view_, 1);
    layout->addWidget(detail_);
    layout->addLayout(buttons);
    resize(760, 420);

    // Lines come in bursts (a push to 96 devices writes thousands a second): they are shown
    // together about ten times a second, not one by one.
    batch_timer_.setSingleShot(true);
    batch_timer_.setInterval(100);
    connect(&batch_timer_, &QTimer::timeout, this, &TrafficLogWindow::flush);
    // Only counted here: the lines are read from the log's ring and put in words once per
    // batch.
    connect(&log_, &TrafficLog::added, this, [this] {
        if (paused_) return;
        ++pending_;
        if (!batch_timer_.isActive()) batch_timer_.start();
    });
    show_all();
}

int TrafficLogWindow::line_count() const { return model_.rowCount(); }

QString TrafficLogWindow::line(int i) const {
    return model_.data(model_.index(i < 0 ? model_.rowCount() + i : i), Qt::DisplayRole).toString();
}

void TrafficLogWindow::flush() {
    batch_timer_.stop();
    // More than the ring keeps: the older ones are gone from the log, as from the view.
    const auto& lines = log_.ring().lines();
    const std::size_t count = std::min(std::size_t(std::exchange(pending_, 0)), lines.size());
    if (count == 0) return;
    QStringList batch;
    batch.reserve(qsizetype(count));
    for (auto it = lines.end() - std::ptrdiff_t(count); it != lines.end(); ++it) batch << TrafficLog::text_of(*it);
    // The view follows the newest line unless the operator has scrolled away from it.
    QScrollBar* bar = view_->verticalScrollBar();
    const bool at_end = bar->value() >= bar->maximum();
    model_.append(batch);
    if (at_end) view_->scrollToBottom();
}

void TrafficLogWindow::show_all() {
    pending_ = 0;
    batch_timer_.stop();
    QString text = log_.all_text();
    text.chop(1);  // the last line's end
    model_.reset(text.isEmpty() ? QStringList() : text.split(QLatin1Char('\n')));
    view_->scrollToBottom();
}

void TrafficLogWindow::set_paused(bool paused) {
    if (paused == paused_) return;
    paused_ = paused;
    pause_->setChecked(paused);
    // The lines that came meanwhile are kept in the log and shown on resuming.
    if (!paused_) show_all();
}

void TrafficLogWindow::clear() {
    pending_ = 0;
    batch_timer_.stop();
    log_.clear();
    model_.reset({});
}

void TrafficLogWindow::copy_all() { QApplication::clipboard()->setText(log_.all_text()); }

bool TrafficLogWindow::save_as(const QString& path) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text)) return false;
    file.write(log_.all_text().toUtf8());
    return file.commit();
}

}  // namespace tqv
