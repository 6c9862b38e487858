#include "glyphs/glyph_editor_dialog.h"

#include <QComboBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QPen>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

#include "core/codec.h"
#include "core/commands.h"
#include "core/digits.h"

namespace tqv {


namespace {

constexpr int kEditorGlyphs = 28;  // numbers 01..28 can be registered

QStringList glyph_number_items() {
    QStringList items;
    for (int n = 1; n <= kEditorGlyphs; ++n) items << QString::fromStdString(two_digits(n));
    return items;
}

}  // namespace

GlyphGrid::GlyphGrid(const Model& model, QWidget* parent) : QWidget(parent), model_(model) {
    setFixedSize(kGlyphSize * kCellWidth, kGlyphSize * kCellHeight);  // 480 x 384
    // Not marked opaque although every pixel is painted: a repaint of the dialog (what a
    // glyph answer asks for) then repaints this widget too.
    // The dialog handles the mouse, in the grid's own coordinates.
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setFocusPolicy(Qt::StrongFocus);
    describe_cursor();
}

void GlyphGrid::describe_cursor() {
    const bool lit = glyph_dot(model_.glyph_answer, cursor_.y(), cursor_.x());
    const QString text = QStringLiteral("行 %1, 列 %2: %3")
                             .arg(cursor_.y())
                             .arg(cursor_.x())
                             .arg(lit ? QStringLiteral("点灯") : QStringLiteral("消灯"));
    if (text != accessibleDescription()) setAccessibleDescription(text);
}

void GlyphGrid::keyPressEvent(QKeyEvent* event) {
    QPoint to = cursor_;
    switch (event->key()) {
        case Qt::Key_Left:
            to.rx() -= 1;
            break;
        case Qt::Key_Right:
            to.rx() += 1;
            break;
        case Qt::Key_Up:
            to.ry() -= 1;
            break;
        case Qt::Key_Down:
            to.ry() += 1;
            break;
        case Qt::Key_Space:
            if (on_toggle) on_toggle(cursor_.y(), cursor_.x());
            describe_cursor();
            return;
        default:
            QWidget::keyPressEvent(event);
            return;
    }
    // The cursor stays on the dots that can be drawn, as the mouse does.
    to.setX(std::clamp(to.x(), kFirstDrawnDot, kLastDrawnDot));
    to.setY(std::clamp(to.y(), kFirstDrawnDot, kLastDrawnDot));
    if (to != cursor_) {
        cursor_ = to;
        describe_cursor();
        update();
    }
}

void GlyphGrid::focusInEvent(QFocusEvent* event) {
    QWidget::focusInEvent(event);
    update();
}

void GlyphGrid::focusOutEvent(QFocusEvent* event) {
    QWidget::focusOutEvent(event);
    update();
}

void GlyphGrid::paintEvent(QPaintEvent*) {
    ++paints_;
    // A glyph answer or a clear changes the bitmap and paints the grid: the description
    // follows.
    describe_cursor();
    QPainter painter(this);
    for (int row = 0; row < kGlyphSize; ++row) {
        for (int col = 0; col < kGlyphSize; ++col) {
            const QRect cell(col * kCellWidth, row * kCellHeight, kCellWidth, kCellHeight);
            if (glyph_dot(model_.glyph_answer, row, col)) {
                painter.fillRect(cell, Qt::white);
            } else {
                // A black outline around a blue cell: the outlines of neighbouring dark dots
                // form the visible grid.
                painter.fillRect(cell, Qt::black);
                painter.fillRect(cell.adjusted(1, 1, -1, -1), QColor(0, 0, 255));
            }
        }
    }
    if (hasFocus()) {
        // The keyboard cursor: a frame inside the cell, its middle still showing the dot.
        painter.setPen(QPen(QColor(255, 0, 0), 2));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(QRect(cursor_.x() * kCellWidth + 1, cursor_.y() * kCellHeight + 1,
                               kCellWidth - 2, kCellHeight - 2));
    }
}

GlyphEditorDialog::GlyphEditorDialog(AppContext& context, QWidget* parent)
    : ModelDialog(context, parent, QStringLiteral("外字登録")) {
    // The working bitmap starts as the stored glyph; a slot outside the table starts blank.
    model_.glyph_answer = model_.glyph_index >= 0 && model_.glyph_index < kGlyphSlots
                              ? model_.glyph_data[model_.glyph_index]
                              : blank_glyph();

    grid_ = new GlyphGrid(model_, this);
    grid_->setAccessibleName(QStringLiteral("外字"));

    clear_button_ = make_button(QStringLiteral("バッファクリア"), this);

    auto* number_group = new QGroupBox(QStringLiteral("登録番号"), this);
    number_list_ =
        make_list(number_group->title(), glyph_number_items(), model_.glyph_index, number_group);
    // Two buttons read "リード": each, and 登録 beside them, is named with its group.
    register_button_ = make_set_button(number_group->title(), QStringLiteral("登録"), number_group);
    read_button_ = make_set_button(number_group->title(), QStringLiteral("リード"), number_group);
    auto* number_layout = new QVBoxLayout(number_group);
    number_layout->addWidget(number_list_);
    auto* number_buttons = new QHBoxLayout;
    number_buttons->addWidget(register_button_);
    number_buttons->addWidget(read_button_);
    number_layout->addLayout(number_buttons);

    auto* sample_group = new QGroupBox(QStringLiteral("サンプル"), this);
    sample_edit_ = new QLineEdit(sample_group);
    sample_edit_->setAccessibleName(sample_group->title());
    sample_edit_->setMaxLength(2);
    sample_read_button_ =
        make_set_button(sample_group->title(), QStringLiteral("リード"), sample_group);
    auto* sample_layout = new QHBoxLayout(sample_group);
    sample_layout->addWidget(sample_edit_, 1);
    sample_layout->addWidget(sample_read_button_);

    QGroupBox* address = slave_address_group();
    close_button_ = make_button(QStringLiteral("Close"), this);

    auto* controls = new QVBoxLayout;
    controls->addWidget(clear_button_);
    controls->addSpacing(12);
    controls->addWidget(number_group);
    controls->addWidget(sample_group);
    controls->addWidget(address);
    controls->addStretch(1);
    controls->addWidget(close_button_);

    auto* layout = new QHBoxLayout(this);
    layout->addWidget(grid_, 0, Qt::AlignTop);
    layout->addLayout(controls);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    SendPath& path = context_.link.send_path();
    connect(clear_button_, &QPushButton::clicked, this, [this] {
        if (glyph_editor_clear(model_, context_.ui())) grid_->update();
    });
    // The number only chooses where the bitmap is stored, registered and read; the picture
    // stays as it is.
    connect(number_list_, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (index >= 0) model_.glyph_index = index;
    });
    connect(register_button_, &QPushButton::clicked, this,
            [&path] { send_glyph_register_editor(path); });
    connect(read_button_, &QPushButton::clicked, this,
            [&path] { send_glyph_read(path, GlyphRead::editor); });
    connect(sample_edit_, &QLineEdit::textChanged, this, &GlyphEditorDialog::take_sample);
    connect(sample_read_button_, &QPushButton::clicked, this,
            [this, &path] {
                send_glyph_read(path, GlyphRead::sample, sample_text_);
                // A sample glyph number ("28") chose the slot the next 登録 writes: the list
                // shows it.
                if (model_.glyph_index >= 0 && model_.glyph_index < number_list_->count())
                    number_list_->setCurrentIndex(model_.glyph_index);
            });
    connect(close_button_, &QPushButton::clicked, this, &QDialog::reject);
    // However the editor ends, a read it started no longer blocks the glyph commands.
    connect(this, &QDialog::finished, this, [this] { model_.glyph_request_pending = 0; });
    // A glyph answer has filled the working bitmap.
    connect(&context_.link, &DeviceLink::answer_applied, grid_, qOverload<>(&QWidget::update));
    grid_->on_toggle = [this](int row, int col) {
        if (glyph_toggle_dot(model_, editor_, row, col)) grid_->update();
    };

    run_opening_steps({.receives_answers = true, .peer_caption = "外字登録 "});
}

void GlyphEditorDialog::take_sample(const QString& text) {
    // The device takes one two-byte character or a two-digit glyph number: the first two
    // bytes of the text in code page 932, nothing when there is only one.
    const auto bytes = utf8_to_cp932(text.toStdString());
    sample_text_ = bytes && bytes->size() > 1 ? bytes->substr(0, 2) : std::string();
}

QPoint GlyphEditorDialog::grid_point(const QMouseEvent* event) const {
    return grid_->mapFrom(this, event->position().toPoint());
}

void GlyphEditorDialog::mousePressEvent(QMouseEvent* event) {
    const Qt::MouseButton button = event->button();
    if (button != Qt::LeftButton && button != Qt::RightButton) {
        ModelDialog::mousePressEvent(event);
        return;
    }
    const QPoint p = grid_point(event);
    if (glyph_button_down(model_, editor_, p.x(), p.y(), button == Qt::LeftButton)) {
        grid_->update();
    }
    event->accept();
}

void GlyphEditorDialog::mouseReleaseEvent(QMouseEvent* event) {
    const Qt::MouseButton button = event->button();
    if (button != Qt::LeftButton && button != Qt::RightButton) {
        ModelDialog::mouseReleaseEvent(event);
        return;
    }
    glyph_button_up(editor_, button == Qt::LeftButton);
    event->accept();
}

void GlyphEditorDialog::mouseMoveEvent(QMouseEvent* event) {
    const QPoint p = grid_point(event);
    if (glyph_mouse_move(model_, editor_, p.x(), p.y())) grid_->update();
    event->accept();
}

}  // namespace tqv
