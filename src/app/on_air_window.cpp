#include "app/on_air_window.h"

#include <QGridLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPainter>
#include <QTableWidget>
#include <QVBoxLayout>

#include "core/channel_picture.h"
#include "core/codec.h"
#include "link/device_link.h"
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
    : QWidget(parent), model_(model), channel_(channel) {
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
    paint_channel(p, frame(), channel_picture(model_, channel_), model_.glyph_data);
}

OnAirView::OnAirView(const Model& model, QWidget* parent) : QWidget(parent), model_(model) {
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
        views_[channel] = new ChannelView(model_, channel, this);
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
    const int page = model_.current_page[l];
    const bool on_page = page >= 0 && page < kPages;
    switch (column) {
        case line_column:
            return QString::fromLatin1(kTitleLineGroups[l]);
        case page_column:
            return picture_page_text(page);
        case title_column:
            // Automatic switching changes the page by itself: which title is up is not known.
            return on_page ? title_text(model_, line, page) : QStringLiteral("(自動切換え)");
        case shown_column:
            if (!on_page) return QStringLiteral("—");
            return model_.title_display[l][static_cast<std::size_t>(page)] != 0
                       ? QStringLiteral("表示")
                       : QStringLiteral("非表示");
        case startup_column:
            return picture_page_text(model_.startup_page[l]);
        case columns:
            break;
    }
    return {};
}

QString OnAirView::channel_caption_text(int channel) const {
    return channel_caption(channel_picture(model_, channel));
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

OnAirWindow::OnAirWindow(DeviceLink& link, QWidget* parent) : QWidget(parent, Qt::Window) {
    setWindowTitle(QStringLiteral("オンエア"));
    view_ = new OnAirView(link.model(), this);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(view_);
    // What the device confirmed: every answer applied to the model, and the link's own
    // changes (a read after a reconnect, a device that came or went).
    connect(&link, &DeviceLink::answer_applied, view_, &OnAirView::refresh);
    connect(&link, &DeviceLink::state_changed, view_, &OnAirView::refresh);
}

void OnAirWindow::showEvent(QShowEvent* event) {
    // The document may have been opened or read while the window was closed.
    view_->refresh();
    QWidget::showEvent(event);
}

}  // namespace tqv
