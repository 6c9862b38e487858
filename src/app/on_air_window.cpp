#include "app/on_air_window.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPainter>
#include <QPointer>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>

#include "core/channel_picture.h"
#include "core/codec.h"
#include "core/observers.h"
#include "core/vocabulary.h"
#include "link/device_link.h"
#include "link/peer_channel.h"
#include "picture/channel_painter.h"

namespace tqv {

namespace {

constexpr int kViewWidth = 400;

// The title as the table shows it: glyphs as "〓", no padding at the end.
QString title_text(const Model& m, int line, int page) {
    QString text = QString::fromStdString(cp932_to_utf8(slot_text(m.title(line, page))));
    while (text.endsWith(QChar(0x3000))) text.chop(1);
    return text;
}

}  // namespace

ChannelView::ChannelView(const Model& model, int channel, QWidget* parent)
    : QWidget(parent), model_(&model), channel_(channel) {
    setMinimumSize(kViewWidth * 3 / 4, kViewWidth * 3 / 4 * 9 / 16);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    setAccessibleName(QStringLiteral("ch.%1 picture").arg(channel + 1));
}

QSize ChannelView::sizeHint() const { return {kViewWidth, kViewWidth * 9 / 16}; }

QRectF ChannelView::frame() const {
    qreal w = width();
    qreal h = w * 9 / 16;
    if (h > height()) {
        h = height();
        w = h * 16 / 9;
    }
    return {(width() - w) / 2, (height() - h) / 2, w, h};
}

void ChannelView::paintEvent(QPaintEvent*) {
    QPainter p(this);
    paint_channel(p, frame(), channel_picture(*model_, channel_), model_->glyph_data);
}

OnAirView::OnAirView(const Model& model, QWidget* parent) : QWidget(parent), model_(&model) {
    table_ = new QTableWidget(kTitleLines, columns, this);
    table_->setHorizontalHeaderLabels({QStringLiteral("ライン"), QStringLiteral("オンエア"),
                                       QStringLiteral("タイトル"), QStringLiteral("表示"),
                                       QStringLiteral("スタートアップ")});
    table_->verticalHeader()->hide();
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->setSelectionMode(QAbstractItemView::NoSelection);
    table_->setFocusPolicy(Qt::TabFocus);
    table_->setAccessibleName(QStringLiteral("オンエア"));
    for (int line = 0; line < kTitleLines; ++line) {
        for (int column = 0; column < columns; ++column) {
            auto* item = new QTableWidgetItem;
            if (column != title_column) item->setTextAlignment(Qt::AlignCenter);
            table_->setItem(line, column, item);
        }
    }
    QHeaderView* header = table_->horizontalHeader();
    header->setSectionResizeMode(QHeaderView::ResizeToContents);
    header->setSectionResizeMode(title_column, QHeaderView::Stretch);
    table_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    table_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);

    auto* grid = new QGridLayout;
    for (int channel = 0; channel < 2; ++channel) {
        captions_[channel] = new QLabel(this);
        views_[channel] = new ChannelView(*model_, channel, this);
        grid->addWidget(captions_[channel], 0, channel);
        grid->addWidget(views_[channel], 1, channel);
    }
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(table_);
    layout->addLayout(grid, 1);
    refresh();
    // Four rows and the header, nothing to scroll.
    table_->setFixedHeight(header->sizeHint().height() +
                           kTitleLines * table_->verticalHeader()->defaultSectionSize() +
                           2 * table_->frameWidth());
}

QString OnAirView::cell_text(int line, Column column) const {
    const auto l = static_cast<std::size_t>(line);
    const Model& m = *model_;
    const int page = m.current_page[l];
    const bool on_page = page >= 0 && page < kPages;
    switch (column) {
        case line_column:
            return QString::fromLatin1(kTitleLineGroups[l]);
        case page_column:
            return picture_page_text(page);
        case title_column:
            // Automatic switching changes the page by itself: which title is up is not known.
            return on_page ? title_text(m, line, page) : QStringLiteral("(自動切換え)");
        case shown_column:
            if (!on_page) return QStringLiteral("—");
            return m.title_display[l][static_cast<std::size_t>(page)] != 0
                       ? QStringLiteral("表示")
                       : QStringLiteral("非表示");
        case startup_column:
            return picture_page_text(m.startup_page[l]);
        case columns:
            break;
    }
    return {};
}

QString OnAirView::channel_caption_text(int channel) const {
    return channel_caption(channel_picture(*model_, channel));
}

void OnAirView::set_model(const Model& model) {
    model_ = &model;
    for (ChannelView* view : views_) view->set_model(model);
    refresh();
}

void OnAirView::refresh() {
    for (int line = 0; line < kTitleLines; ++line) {
        for (int column = 0; column < columns; ++column) {
            QTableWidgetItem* item = table_->item(line, column);
            const QString text = cell_text(line, static_cast<Column>(column));
            if (item->text() != text) item->setText(text);
        }
    }
    for (int channel = 0; channel < 2; ++channel) {
        const QString caption = channel_caption_text(channel);
        captions_[channel]->setText(caption);
        views_[channel]->setAccessibleDescription(caption);
        views_[channel]->update();
    }
}

// A device of the server role whose answers the window follows: its channel's dispatcher
// tells of every line it handled. The chosen device answers through the link itself.
struct OnAirWindow::Watched {
    QPointer<PeerChannel> channel;
    Subscription answered;
    ~Watched() {
        // A channel deleted before us took its observer list along.
        if (channel.isNull()) answered.release();
    }
};

OnAirWindow::OnAirWindow(DeviceLink& link, QWidget* parent)
    : QWidget(parent, Qt::Window), link_(link) {
    setWindowTitle(QStringLiteral("オンエア"));
    view_ = new OnAirView(link.model(), this);
    devices_ = new QTableWidget(0, device_columns, this);
    QStringList heads{QStringLiteral("機器")};
    for (int line = 0; line < kTitleLines; ++line)
        heads << QString::fromLatin1(line_label(line));
    devices_->setHorizontalHeaderLabels(heads);
    devices_->verticalHeader()->hide();
    devices_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    devices_->setSelectionBehavior(QAbstractItemView::SelectRows);
    devices_->setSelectionMode(QAbstractItemView::SingleSelection);
    devices_->setAccessibleName(QStringLiteral("機器"));
    devices_->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    devices_->horizontalHeader()->setSectionResizeMode(device_column, QHeaderView::Stretch);
    devices_->setMinimumWidth(340);
    devices_->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Expanding);
    who_ = new QLabel(this);
    who_->setAccessibleName(QStringLiteral("表示中の機器"));

    auto* right = new QVBoxLayout;
    right->setContentsMargins(0, 0, 0, 0);
    right->addWidget(who_);
    right->addWidget(view_, 1);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(devices_);
    layout->addLayout(right, 1);

    connect(devices_, &QTableWidget::currentCellChanged, this,
            [this](int row, int, int, int) { show_row(row); });
    // What the device confirmed: every answer applied to the model, and the link's own
    // changes (a read after a reconnect, a device that came or went).
    connect(&link, &DeviceLink::answer_applied, this, [this] {
        const Model& m = link_.model();
        if (m.interface_kind == 1 && m.tcp_role == 1) show_pages(m.selected_peer);
        if (&view_->model() == &m) view_->refresh();
    });
    connect(&link, &DeviceLink::state_changed, this, &OnAirWindow::rebuild);
    connect(&link.peers(), &PeerSet::channel_added, this, &OnAirWindow::rebuild);
    connect(&link.peers(), &PeerSet::channel_removed, this, &OnAirWindow::rebuild);
    rebuild();
}

OnAirWindow::~OnAirWindow() = default;

const Model* OnAirWindow::model_of(int entry) const {
    Channel* channel = entry > 0 ? link_.channel_of_peer(entry) : nullptr;
    return channel != nullptr ? &channel->model() : &link_.model();
}

int OnAirWindow::row_of(int entry) const {
    for (int row = 0; row < devices_->rowCount(); ++row)
        if (devices_->item(row, device_column)->data(Qt::UserRole).toInt() == entry) return row;
    return -1;
}

void OnAirWindow::rebuild() {
    const Model& m = link_.model();
    const bool server = m.interface_kind == 1 && m.tcp_role == 1;
    const std::vector<int> entries = server ? link_.peers().entries() : std::vector<int>{};
    // Watched anew: the chosen device answers through the link, every other one through
    // its own channel, and which is which may just have changed.
    watched_.clear();
    for (int entry : entries) {
        PeerChannel* channel = link_.peers().channel(entry);
        if (channel == nullptr || link_.channel_of_peer(entry) != channel) continue;
        auto w = std::make_unique<Watched>();
        w->channel = channel;
        w->answered = Subscription(channel->dispatcher().line_handled,
                                   [this, entry] { device_answered(entry); });
        watched_[entry] = std::move(w);
    }
    const QSignalBlocker quiet(devices_);
    devices_->setRowCount(static_cast<int>(entries.size()));
    for (int row = 0; row < devices_->rowCount(); ++row) {
        for (int column = 0; column < device_columns; ++column) {
            if (devices_->item(row, column) != nullptr) continue;
            auto* item = new QTableWidgetItem;
            if (column != device_column) item->setTextAlignment(Qt::AlignCenter);
            devices_->setItem(row, column, item);
        }
        const int entry = entries[static_cast<std::size_t>(row)];
        QTableWidgetItem* head = devices_->item(row, device_column);
        head->setData(Qt::UserRole, entry);
        head->setText(QStringLiteral("%1  %2%3")
                          .arg(entry)
                          .arg(link_.tcp().peer_name(entry),
                               entry == m.selected_peer ? QStringLiteral("  (選択)") : QString()));
        show_pages(entry);
    }
    devices_->setVisible(server);
    who_->setVisible(server);
    if (std::find(entries.begin(), entries.end(), shown_) == entries.end()) {
        const bool chosen_here =
            std::find(entries.begin(), entries.end(), m.selected_peer) != entries.end();
        shown_ = entries.empty() ? 0 : chosen_here ? m.selected_peer : entries.front();
    }
    devices_->setCurrentCell(row_of(shown_), device_column);
    show_row(row_of(shown_));
}

void OnAirWindow::show_pages(int entry) {
    const int row = row_of(entry);
    if (row < 0) return;
    const Model& m = *model_of(entry);
    for (int line = 0; line < kTitleLines; ++line) {
        QTableWidgetItem* item = devices_->item(row, first_line_column + line);
        const QString text = picture_page_text(m.current_page[static_cast<std::size_t>(line)]);
        if (item->text() != text) item->setText(text);
    }
}

void OnAirWindow::device_answered(int entry) {
    show_pages(entry);
    if (entry == shown_ && entry != 0) view_->refresh();
}

void OnAirWindow::show_row(int row) {
    const int entry = row >= 0 && row < devices_->rowCount()
                          ? devices_->item(row, device_column)->data(Qt::UserRole).toInt()
                          : 0;
    shown_ = entry;
    who_->setText(entry == 0 ? QString()
                             : QStringLiteral("機器 %1  %2").arg(entry).arg(link_.tcp().peer_name(entry)));
    view_->set_model(*model_of(entry));
}

bool OnAirWindow::show_device(int entry) {
    const int row = row_of(entry);
    if (row < 0) return false;
    devices_->setCurrentCell(row, device_column);
    return true;
}

void OnAirWindow::showEvent(QShowEvent* event) {
    // The document may have been opened or read while the window was closed, the role or
    // the chosen device changed.
    rebuild();
    QWidget::showEvent(event);
}

}  // namespace tqv
