#include "glyphs/glyph_list_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPen>
#include <QPixmap>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include "dialogs/dialog_parts.h"
#include "dialogs/file_dialogs.h"
#include "core/atomic_file.h"
#include "core/digits.h"
#include "core/document.h"
#include "core/glyph.h"
#include "core/texts.h"
#include "glyphs/glyph_editor_dialog.h"

namespace tqv {


namespace {

// Where the previews sit in their panel: these are the coordinates glyph_preview_cell()
// hit-tests, so a double click on a preview's first pixel is a hit on that preview.
constexpr int kPreviewLeft = 12;
constexpr int kPreviewPitch = 114;
constexpr int kTopRow = 11;
constexpr int kBottomRow = 158;
constexpr int kPreviewSize = kGlyphSize * GlyphPreview::kDotSize;  // 96
constexpr int kColumns = 7;
constexpr int kNumberGap = 5;
constexpr int kNumberHeight = 22;

QPoint preview_origin(int cell) {
    return {kPreviewLeft + kPreviewPitch * (cell % kColumns),
            cell < kColumns ? kTopRow : kBottomRow};
}

// The previews' panel: a ring around the preview that has the keyboard focus, outside the
// picture, which the export takes as it is.
class PreviewPanel : public QWidget {
  public:
    using QWidget::QWidget;

  protected:
    void paintEvent(QPaintEvent*) override {
        for (const GlyphPreview* preview : findChildren<GlyphPreview*>()) {
            if (!preview->hasFocus()) continue;
            QPainter painter(this);
            painter.setPen(QPen(palette().color(QPalette::Highlight), 2));
            painter.drawRect(preview->geometry().adjusted(-3, -3, 3, 3));
        }
    }
};

}  // namespace

GlyphPreview::GlyphPreview(const Model& model, int cell, QWidget* parent)
    : QWidget(parent), model_(model), cell_(cell) {
    setFixedSize(kPreviewSize, kPreviewSize);
    // Tab reaches the first preview; the arrows the others.
    setFocusPolicy(cell == 0 ? Qt::StrongFocus : Qt::ClickFocus);
    setAccessibleDescription(
        QStringLiteral("Enter: 編集, メニューキー: 編集 / bmpファイルで保存, 矢印: 移動"));
}

int GlyphPreview::slot() const { return GlyphListDialog::kCells * model_.glyph_group + cell_; }

void GlyphPreview::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    // A dark dot's outline covers its whole 2 x 2 square, so dark dots show black.
    painter.fillRect(rect(), Qt::black);
    const int s = slot();
    if (s < 0 || s >= kGlyphSlots) return;
    const GlyphRecord& glyph = model_.glyph_data[s];
    for (int row = 0; row < kGlyphSize; ++row) {
        for (int col = 0; col < kGlyphSize; ++col) {
            if (glyph_dot(glyph, row, col)) {
                painter.fillRect(col * kDotSize, row * kDotSize, kDotSize, kDotSize, Qt::white);
            }
        }
    }
}

GlyphListDialog::GlyphListDialog(AppContext& context, QWidget* parent)
    : ModelDialog(context, parent, QStringLiteral("外字一覧（大文字）")),
      driver_(context.link) {
    model_.glyph_answer = blank_glyph();
    // Only the first groups are offered; a group left from elsewhere starts at the first.
    if (model_.glyph_group >= 5 || model_.glyph_group < 0) model_.glyph_group = 0;

    panel_ = new PreviewPanel(this);
    panel_->setFixedSize(preview_origin(kColumns - 1).x() + kPreviewSize + kPreviewLeft,
                         kBottomRow + kPreviewSize + kNumberGap + kNumberHeight + kTopRow);
    for (int cell = 0; cell < kCells; ++cell) {
        const QPoint at = preview_origin(cell);
        previews_[cell] = new GlyphPreview(model_, cell, panel_);
        previews_[cell]->move(at);
        previews_[cell]->installEventFilter(this);
        auto* number = new QLineEdit(panel_);
        number->setReadOnly(true);
        number->setAlignment(Qt::AlignCenter);
        number->setFocusPolicy(Qt::NoFocus);
        number->setGeometry(at.x(), at.y() + kPreviewSize + kNumberGap, kPreviewSize,
                            kNumberHeight);
        number_boxes_[cell] = number;
    }

    auto* group_box = new QGroupBox(QStringLiteral("番号切り替え"), this);
    group_list_ = make_list(group_box->title(),
                            {QStringLiteral("No. 1～14"), QStringLiteral("No.15～28")},
                            model_.glyph_group, group_box);
    (new QVBoxLayout(group_box))->addWidget(group_list_);

    QGroupBox* address = slave_address_group();
    address->setTitle(QStringLiteral("スレーブアドレス"));
    slave_address_list()->setAccessibleName(address->title());
    // The list's commands are addressed as every command is. Over TCP/IP there is no
    // address to choose.
    if (model_.interface_kind == 1) {
        slave_address_list()->setCurrentIndex(-1);
        slave_address_list()->setEnabled(false);
    }

    clear_button_ = make_button(QStringLiteral("バッファクリア"), this);
    open_button_ = make_button(QStringLiteral("開く"), this);
    save_button_ = make_button(QStringLiteral("保存"), this);
    save_as_button_ = make_button(QStringLiteral("名前をつけて保存"), this);
    read_button_ = make_button(QStringLiteral("リード"), this);
    register_button_ = make_button(QStringLiteral("登録"), this);
    close_button_ = make_button(QStringLiteral("Close"), this);
    stop_button_ = make_button(QStringLiteral("中止"), this);
    stop_button_->setEnabled(false);

    progress_ = new QProgressBar(this);
    progress_->setRange(0, kProgressRange);
    progress_->setValue(0);
    progress_->setTextVisible(false);
    progress_->setAccessibleName(QStringLiteral("Progress"));
    percent_box_ = new QLineEdit(this);
    percent_box_->setReadOnly(true);
    percent_box_->setAlignment(Qt::AlignCenter);
    percent_box_->setFocusPolicy(Qt::NoFocus);
    percent_box_->setFixedWidth(64);
    percent_box_->setAccessibleName(QStringLiteral("％"));
    remaining_ = make_time_left_label(this);
    fast_box_ = new QCheckBox(QStringLiteral("高速転送"), this);
    fast_box_->setChecked(model_.fast_transfer == 1);
    connect(fast_box_, &QCheckBox::toggled, this, [this](bool on) {
        model_.fast_transfer = on ? 1 : 0;
        if (context_.config != nullptr) write_fast_transfer(model_, *context_.config);
    });
    connect(&driver_, &RunDriver::stepped, this, [this](int step) {
        // A register counts the glyphs sent, a read the glyphs that came in.
        const auto* steps = static_cast<const GlyphBulk*>(driver_.steps());
        const int done = steps->registering() ? step : driver_.run()->answered();
        percent_box_->setText(QString::fromStdString(GlyphBulk::percent_text(done)));
        progress_->setValue(std::min(done, kProgressRange));
        show_remaining();
    });
    connect(&driver_, &RunDriver::ended, this, [this](RunEnd why) { transfer_ended(why); });
    remaining_ticks_.setInterval(1000);
    connect(&remaining_ticks_, &QTimer::timeout, this, &GlyphListDialog::show_remaining);
    auto* percent_label = new QLabel(QStringLiteral("％"), this);
    percent_label->setBuddy(percent_box_);

    auto* lists = new QHBoxLayout;
    lists->addWidget(group_box);
    lists->addWidget(address);
    lists->addStretch(1);
    lists->addWidget(clear_button_);
    lists->addWidget(open_button_);
    lists->addWidget(save_button_);
    lists->addWidget(save_as_button_);

    auto* transfer = new QHBoxLayout;
    transfer->addWidget(read_button_);
    transfer->addWidget(register_button_);
    transfer->addWidget(progress_, 1);
    transfer->addWidget(percent_box_);
    transfer->addWidget(percent_label);
    transfer->addWidget(remaining_);
    transfer->addWidget(fast_box_);
    transfer->addWidget(stop_button_);
    transfer->addSpacing(24);
    transfer->addWidget(close_button_);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(panel_);
    layout->addLayout(lists);
    layout->addLayout(transfer);
    if (model_.interface_kind == 1 && model_.tcp_role == 1) {
        layout->addLayout(make_target_row(QStringLiteral("登録の送信先"), this, target_));
        table_ = new DeviceRowsTable(this);
        layout->addWidget(table_);
        push_ = std::make_unique<PushToAll>(context_, PushToAll::What::glyph_register);
        table_->follow(*push_);
        connect(push_.get(), &PushToAll::row_changed, this, [this] { show_push_progress(); });
        connect(push_.get(), &PushToAll::finished, this, [this](int ok, int failed) {
            show_running(false);
            close_button_->setEnabled(true);
            remaining_->clear();
            announce_push_result(context_.ui(), ok, failed);
        });
        connect(stop_button_, &QPushButton::clicked, this, [this] { push_->stop(); });
    }
    layout->setSizeConstraint(QLayout::SetFixedSize);

    show_group();

    connect(group_list_, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (index < 0) return;
        model_.glyph_group = index;
        show_group();
    });
    // The file commands and the transfers wait while a transfer runs.
    connect(clear_button_, &QPushButton::clicked, this, [this] {
        if (!bulk_running() && glyph_list_clear(model_, context_.ui())) show_group();
    });
    connect(open_button_, &QPushButton::clicked, this, [this] {
        if (bulk_running()) return;
        auto choose = [this]() -> std::optional<std::string> {
            if (context_.files == nullptr) return std::nullopt;
            return context_.files->choose_open_glyph_list(this);
        };
        if (glyph_list_open(model_, context_.ui(), choose)) show_group();
    });
    connect(save_button_, &QPushButton::clicked, this, [this] {
        if (!bulk_running()) glyph_list_save(model_, context_.ui());
    });
    connect(save_as_button_, &QPushButton::clicked, this, [this] {
        if (bulk_running()) return;
        glyph_list_save_as(model_, context_.ui(), [this] { return choose_save_name(); });
    });
    connect(register_button_, &QPushButton::clicked, this, [this] { start_bulk(true); });
    connect(read_button_, &QPushButton::clicked, this, [this] { start_bulk(false); });
    connect(close_button_, &QPushButton::clicked, this, &QDialog::reject);
    connect(stop_button_, &QPushButton::clicked, &driver_, &RunDriver::stop);
    connect(this, &QDialog::finished, this, &GlyphListDialog::end_transfer);
    // A glyph answer outside a transfer shows at once; a transfer shows its glyphs at its end.
    connect(&context_.link, &DeviceLink::answer_applied, this, [this] {
        if (!bulk_running()) panel_->update();
    });

    run_opening_steps({.receives_answers = true, .peer_caption = "外字一覧"});
}

GlyphListDialog::~GlyphListDialog() {
    // Destroyed without being closed (the program ends): the transfer ends quietly with it.
    driver_.disconnect(this);
}

void GlyphListDialog::end_transfer() {
    // Close ends a transfer at once, as the operator's stop does.
    driver_.stop();
    if (push_) push_->stop();
}

void GlyphListDialog::show_running(bool running) {
    // The buttons that would do nothing during a transfer say so.
    for (QPushButton* b : {clear_button_, open_button_, save_button_, save_as_button_,
                           read_button_, register_button_})
        b->setEnabled(!running);
    stop_button_->setEnabled(running);
    // The pace of a run is chosen when it starts.
    fast_box_->setEnabled(!running);
    if (running) {
        remaining_ticks_.start();
    } else {
        remaining_ticks_.stop();
    }
}

void GlyphListDialog::show_remaining() {
    std::optional<int> ms;
    if (bulk_running()) {
        ms = driver_.remaining_ms();
    } else if (push_ && push_->running()) {
        ms = push_->remaining_ms();
    } else {
        remaining_->clear();
        return;
    }
    const QString text = QString::fromStdString(remaining_text(ms));
    remaining_->setText(text);
}

void GlyphListDialog::show_push_progress() {
    // Every device's glyphs: the bar and the percentage count them all.
    const int total = std::max(push_->steps_total(), 1);
    const int out = push_->steps_out();
    progress_->setValue(out * kProgressRange / total);
    percent_box_->setText(
        QString::fromStdString(GlyphBulk::percent_text(out * GlyphBulk::kGlyphs / total)));
    show_remaining();
}

void GlyphListDialog::transfer_ended(RunEnd why) {
    remaining_->clear();
    show_running(false);
    if (why == RunEnd::completed) {
        percent_box_->setText(QStringLiteral("   "));
        progress_->setValue(0);
    }
    show_group();
}

void GlyphListDialog::show_group() {
    for (int cell = 0; cell < kCells; ++cell) {
        const QString text = QStringLiteral("No.%1").arg(previews_[cell]->slot() + 1);
        number_boxes_[cell]->setText(text);
        number_boxes_[cell]->setAccessibleName(text);
        previews_[cell]->setAccessibleName(
            QStringLiteral("外字 %1").arg(previews_[cell]->slot() + 1, 2, 10, QLatin1Char('0')));
    }
    panel_->update();
}

void GlyphListDialog::start_bulk(bool registering) {
    if (bulk_running() || (push_ && push_->running())) return;
    if (registering && target_ != nullptr && target_->currentIndex() == 1) {
        // Every connected device at once, each on its own channel.
        if (!context_.link.send_path().confirm_not_switching()) return;
        progress_->setValue(0);
        if (!push_->start()) return;
        show_running(push_->running());
        close_button_->setEnabled(!push_->running());
        show_push_progress();
        return;
    }
    // A read writes glyphs 01..28: asked first when one of them is not saved. Without a link
    // the start itself says so, before any question.
    if (!registering && context_.link.send_path().link_ready() &&
        !glyph_read_may_overwrite(model_, context_.ui(), 0, GlyphBulk::kGlyphs))
        return;
    if (registering && !context_.link.send_path().confirm_not_switching()) return;
    if (!driver_.start(std::make_unique<GlyphBulk>(registering))) return;
    if (table_ != nullptr) table_->forget_rows();
    progress_->setValue(0);
    show_running(bulk_running());
    show_remaining();
}

void GlyphListDialog::mouseDoubleClickEvent(QMouseEvent* event) {
    const QPoint p = panel_->mapFrom(this, event->position().toPoint());
    const int cell = glyph_preview_cell(p.x(), p.y());
    if (cell < 0) {
        ModelDialog::mouseDoubleClickEvent(event);
        return;
    }
    if (event->button() == Qt::LeftButton) {
        open_editor(cell);
    } else if (event->button() == Qt::RightButton) {
        export_picture(cell);
    }
    event->accept();
}

bool GlyphListDialog::eventFilter(QObject* watched, QEvent* event) {
    const auto* preview = dynamic_cast<GlyphPreview*>(watched);
    if (preview == nullptr) return ModelDialog::eventFilter(watched, event);
    const int cell = preview->cell();
    switch (event->type()) {
        case QEvent::FocusIn:
            // Tab comes back to the preview focused last.
            for (GlyphPreview* p : previews_)
                p->setFocusPolicy(p == preview ? Qt::StrongFocus : Qt::ClickFocus);
            panel_->update();
            break;
        case QEvent::FocusOut:
            panel_->update();
            break;
        case QEvent::KeyPress:
            return preview_key(cell, static_cast<QKeyEvent*>(event)->key());
        case QEvent::ContextMenu:
            // The mouse has its double clicks; the menu is the keyboard's way to both.
            if (static_cast<QContextMenuEvent*>(event)->reason() != QContextMenuEvent::Keyboard)
                break;
            preview_menu(cell);
            return true;
        default:
            break;
    }
    return false;
}

bool GlyphListDialog::preview_key(int cell, int key) {
    int to = -1;
    switch (key) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
            open_editor(cell);
            return true;
        case Qt::Key_Left:
            to = cell - 1;
            break;
        case Qt::Key_Right:
            to = cell + 1;
            break;
        case Qt::Key_Up:
            to = cell - kColumns;
            break;
        case Qt::Key_Down:
            to = cell + kColumns;
            break;
        case Qt::Key_Home:
            to = 0;
            break;
        case Qt::Key_End:
            to = kCells - 1;
            break;
        default:
            return false;
    }
    if (to >= 0 && to < kCells) previews_[to]->setFocus(Qt::OtherFocusReason);
    return true;
}

void GlyphListDialog::preview_menu(int cell) {
    auto* menu = new QMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->addAction(QStringLiteral("編集"), this, [this, cell] { open_editor(cell); });
    menu->addAction(QStringLiteral("bmpファイルで保存"), this,
                    [this, cell] { export_picture(cell); });
    menu->popup(previews_[cell]->mapToGlobal(QPoint(0, previews_[cell]->height())));
}

void GlyphListDialog::open_editor(int cell) {
    // glyph_index is the counter of a transfer under way (the list's own, or the push to
    // every device on this link): the editor is not opened on it.
    if (bulk_running() || (push_ && push_->running()) || run_under_way(model_)) {
        warning_box(context_.ui(), text::kEditorDuringTransfer);
        return;
    }
    model_.glyph_index = kCells * model_.glyph_group + cell;
    const QPointer<QWidget> notify = context_.windows.notify_window;
    const QPointer<QWidget> owner = context_.windows.message_owner;
    auto* editor = new GlyphEditorDialog(context_, this);
    editor->setAttribute(Qt::WA_DeleteOnClose);
    // Back in the list, answers and boxes belong to it again, and the previews show what
    // the editor drew.
    connect(editor, &QDialog::finished, this, [this, notify, owner] {
        context_.windows.notify_window = notify;
        context_.windows.message_owner = owner;
        show_group();
    });
    // Modal over the list without a nested event loop.
    editor->open();
}

void GlyphListDialog::export_picture(int cell) {
    // The preview as it is on the screen now.
    const QImage image =
        previews_[cell]->grab().toImage().convertToFormat(QImage::Format_RGB32);
    const std::vector<std::uint8_t> bytes =
        bitmap_file_image(image.width(), image.height(), [&image](int x, int y) {
            return static_cast<std::uint32_t>(image.pixel(x, y)) & 0xFFFFFFu;
        });
    if (model_.glyph_request_pending == 1 || bytes.empty()) return;
    const int number = glyph_export_number(model_.glyph_group, cell);
    if (context_.files == nullptr) return;
    const auto chosen = context_.files->choose_save_bitmap(this, glyph_export_title(number),
                                                           glyph_export_file_name(number));
    if (!chosen) return;
    const auto path = save_as_name(context_.ui(), *chosen, ".bmp");
    if (!path) return;
    // Nothing is reported either way; a failed write leaves any earlier file as it was.
    write_file_atomically(*path,
                          std::string_view(reinterpret_cast<const char*>(bytes.data()),
                                           bytes.size()));
}

std::optional<std::string> GlyphListDialog::choose_save_name() {
    if (context_.files == nullptr) return std::nullopt;
    return context_.files->choose_save_glyph_list(this);
}

void GlyphListDialog::reject() {
    if (push_ && push_->running()) return;
    if (!glyph_list_may_discard(model_, context_.ui(), text::kAskCloseGlyphs,
                                [this] { return choose_save_name(); }))
        return;
    ModelDialog::reject();
}

}  // namespace tqv
