#include "app/cue_list_window.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QGridLayout>
#include <QFileInfo>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QScrollArea>
#include <QShortcut>
#include <QSplitter>
#include <QSpinBox>
#include <QStyledItemDelegate>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>

#include "app/on_air_window.h"
#include "core/commands.h"
#include "core/texts.h"
#include "core/ui.h"
#include "core/vocabulary.h"
#include "dialogs/file_dialogs.h"

namespace tqv {

namespace {

QString qs(const std::string& s) { return QString::fromStdString(s); }

// Program and preview pictures are small: the list and the steps come first. Four sit in
// one row; the operator may give them more room with the splitter above them.
constexpr int kPreviewWidth = 192;
// Rows each table shows at the least, whatever else the window holds.
constexpr int kCueRows = 5;
constexpr int kStepRows = 4;

const char* state_text(StepState s) {
    switch (s) {
        case StepState::pending: return "";
        case StepState::sent: return text::kStepSent;
        case StepState::done: return text::kStepDone;
        case StepState::failed: return text::kStepFailed;
        case StepState::stopped: return text::kStepStopped;
        case StepState::not_sent: return text::kStepNotSent;
    }
    return "";
}

const char* go_message(CueShow::Go go) {
    switch (go) {
        case CueShow::Go::started: return "";
        case CueShow::Go::cue_running: return text::kCueGoRunning;
        case CueShow::Go::no_next: return text::kCueGoNoNext;
        case CueShow::Go::link_busy: return text::kCueGoLinkBusy;
        case CueShow::Go::link_down: return text::kCueGoLinkDown;
    }
    return "";
}

// The one message of a cue's end, as the window says it: a cue that never began (a bulk
// run took the link first) in the words of a refused GO.
std::string outcome_text(const CueOutcome& o) {
    if (o.end == RunEnd::refused && o.message == CueShow::go_text(CueShow::Go::link_busy))
        return go_message(CueShow::Go::link_busy);
    return o.message;
}

bool blanks_title(const CueStep& s) { return s.action == CueAction::title && s.text.empty(); }

// A selected row that has a colour of its own (the current and the next cue) keeps it, and
// shows the selection as a frame: the style would cover the colour with the selection's.
class FramedSelection : public QStyledItemDelegate {
  public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter* p, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        if (!(option.state & QStyle::State_Selected) || !index.data(Qt::BackgroundRole).isValid()) {
            QStyledItemDelegate::paint(p, option, index);
            return;
        }
        QStyleOptionViewItem own(option);
        own.state &= ~QStyle::State_Selected;
        QStyledItemDelegate::paint(p, own, index);
        p->save();
        p->setPen(QPen(option.palette.color(QPalette::Active, QPalette::Highlight), 2));
        const QRect r = option.rect.adjusted(1, 1, -1, -1);
        p->drawLine(r.topLeft(), r.topRight());
        p->drawLine(r.bottomLeft(), r.bottomRight());
        if (index.column() == 0) p->drawLine(r.topLeft(), r.bottomLeft());
        if (index.column() == index.model()->columnCount() - 1) p->drawLine(r.topRight(), r.bottomRight());
        p->restore();
    }
};

QTableWidget* table(const QStringList& headers, const char* accessible) {
    auto* t = new QTableWidget(0, int(headers.size()));
    t->setHorizontalHeaderLabels(headers);
    t->setSelectionBehavior(QAbstractItemView::SelectRows);
    t->setSelectionMode(QAbstractItemView::SingleSelection);
    t->setEditTriggers(QAbstractItemView::NoEditTriggers);
    t->verticalHeader()->hide();
    t->horizontalHeader()->setStretchLastSection(true);
    t->setWordWrap(false);
    t->setTextElideMode(Qt::ElideRight);
    t->setItemDelegate(new FramedSelection(t));
    t->setAccessibleName(QString::fromUtf8(accessible));
    return t;
}

// High enough for the header and `rows` rows: the table never shrinks to a row or two.
void keep_rows(QTableWidget* t, int rows) {
    const int row = t->verticalHeader()->defaultSectionSize();
    t->setMinimumHeight(t->horizontalHeader()->sizeHint().height() + rows * row + 2 * t->frameWidth());
}

}  // namespace

CueListWindow::CueListWindow(CueShow& show, Ui& ui, FileDialogs* files, QWidget* parent)
    : QWidget(parent, Qt::Window), show_(show), ui_(ui), files_(files) {
    setObjectName(QStringLiteral("cue_list_window"));
    resize(960, 680);

    cues_ = table({QStringLiteral(""), QStringLiteral("番号"), QStringLiteral("キュー"),
                   QStringLiteral("ステップ")},
                  "キュー一覧");
    // The mark, number and name as wide as they are; the steps take the rest, and the
    // whole list shows as the row's tooltip.
    for (int c = 0; c < 3; ++c) cues_->horizontalHeader()->setSectionResizeMode(c, QHeaderView::ResizeToContents);
    keep_rows(cues_, kCueRows);
    // The outcome is a word: the step takes the rest, cut at the edge, whole in its tooltip.
    steps_ = table({QStringLiteral("ステップ"), QStringLiteral("結果")}, "ステップ一覧");
    steps_->horizontalHeader()->setStretchLastSection(false);
    steps_->horizontalHeader()->setSectionResizeMode(0, QHeaderView::Stretch);
    steps_->horizontalHeader()->setSectionResizeMode(1, QHeaderView::ResizeToContents);
    keep_rows(steps_, kStepRows);

    auto* files_row = new QHBoxLayout;
    for (auto [text, name, slot] :
         {std::tuple{"開く", "キューリストを開く", &CueListWindow::open_file},
          std::tuple{"上書き保存", "キューリストを上書き保存", &CueListWindow::save},
          std::tuple{"名前を付けて保存", "キューリストに名前を付けて保存", &CueListWindow::save_as}}) {
        QPushButton* b = button(text, name);
        connect(b, &QPushButton::clicked, this, [this, slot] { (this->*slot)(); });
        files_row->addWidget(b);
    }
    files_row->addStretch();

    // Cue edits.
    name_ = new QLineEdit;
    name_->setAccessibleName(QStringLiteral("キュー名"));
    name_->setPlaceholderText(QStringLiteral("キュー名"));
    name_->setMinimumWidth(200);
    auto* name_row = new QHBoxLayout;
    name_row->addWidget(name_, 1);
    auto* cue_row = new QHBoxLayout;
    auto add_cue_button = [&](const char* text, const char* accessible, auto change) {
        QPushButton* b = button(text, accessible);
        connect(b, &QPushButton::clicked, this, change);
        (cue_row->count() == 0 && name_row->count() < 3 ? name_row : cue_row)->addWidget(b);
        edit_controls_.push_back(b);
    };
    add_cue_button("追加", "キューを追加", [this] {
        const int at = selected_cue() + 1;
        // The name typed, unless a cue has it already (it shows the selected cue's), and
        // the step the editor shows: the operator's choice, which starts as a wait of no
        // time, so that a cue added as it comes sends nothing.
        Cue cue{name_->text().trimmed().toStdString(), {step_from_editor()}};
        auto taken = [this](const std::string& name) {
            for (const Cue& c : show_.list().cues())
                if (c.name == name) return true;
            return name.empty();
        };
        for (std::size_t n = show_.list().size() + 1; taken(cue.name); ++n) cue.name = "Cue " + std::to_string(n);
        edit([&](CueList& l) { return reply_ok(l.insert(std::size_t(at), cue)); }, at);
    });
    add_cue_button("名前変更", "キューの名前を変更", [this] {
        const int row = selected_cue();
        if (row < 0) return;
        Cue cue = show_.list().cues()[std::size_t(row)];
        cue.name = name_->text().trimmed().toStdString();
        // The refusals an operator meets while renaming, in the operator's words.
        if (cue.name.empty()) return void(status_->setText(QString::fromUtf8(text::kCueNameEmpty)));
        for (std::size_t i = 0; i < show_.list().size(); ++i)
            if (i != std::size_t(row) && show_.list().cues()[i].name == cue.name)
                return void(status_->setText(QString::fromUtf8(text::kCueNameTaken) + qs(cue.name)));
        edit([&](CueList& l) { return reply_ok(l.replace(std::size_t(row), cue)); }, row);
    });
    add_cue_button("複製", "キューを複製", [this] {
        const int row = selected_cue();
        if (row >= 0) edit([&](CueList& l) { return reply_ok(l.duplicate(std::size_t(row))); }, row + 1);
    });
    add_cue_button("上へ", "キューを上へ移動", [this] {
        const int row = selected_cue();
        if (row > 0) edit([&](CueList& l) { return l.move(std::size_t(row), std::size_t(row - 1)); }, row - 1);
    });
    add_cue_button("下へ", "キューを下へ移動", [this] {
        const int row = selected_cue();
        if (row >= 0 && row + 1 < int(show_.list().size()))
            edit([&](CueList& l) { return l.move(std::size_t(row), std::size_t(row + 1)); }, row + 1);
    });
    add_cue_button("削除", "キューを削除", [this] {
        const int row = selected_cue();
        if (row >= 0) edit([&](CueList& l) { return l.remove(std::size_t(row)); }, std::max(0, row - 1));
    });

    // The step editor: one step's fields; the buttons add it, put it in place of the
    // selected step, or remove that step.
    action_ = new QComboBox;
    for (const char* a : {"title", "page", "startup", "wait"}) action_->addItem(QString::fromLatin1(a));
    line_ = new QComboBox;
    for (int i = 0; i < kTitleLines; ++i) line_->addItem(QString::fromLatin1(line_label(i)));
    page_ = new QComboBox;
    for (int p = 0; p <= kAutoPage; ++p) page_->addItem(qs(page_label(p)));
    text_ = new QLineEdit;
    memory_ = new QCheckBox(QStringLiteral("メモリーに記憶"));
    memory_->setChecked(true);
    seconds_ = new QSpinBox;
    seconds_->setRange(0, kCueMaxWaitSeconds);
    seconds_->setSuffix(QStringLiteral(" ") + QString::fromUtf8(text::kSeconds));
    action_->setCurrentIndex(int(CueAction::wait));
    // Two fields a row, so that the step table above keeps its room: the action and its
    // wait, the line and its page, the title and whether the device keeps it.
    struct Field {
        QWidget* widget;
        const char* label;
        int row, column;
    };
    const Field fields[] = {{action_, "動作", 0, 0}, {seconds_, "待ち時間", 0, 2}, {line_, "ライン", 1, 0},
                            {page_, "ページ", 1, 2},  {text_, "タイトル", 2, 0}};
    auto* form = new QGridLayout;
    form->setColumnStretch(1, 1);
    form->setColumnStretch(3, 1);
    for (const Field& f : fields) {
        auto* label = new QLabel(QString::fromUtf8(f.label));
        label->setBuddy(f.widget);
        f.widget->setAccessibleName(QString::fromUtf8(f.label));
        form->addWidget(label, f.row, f.column);
        form->addWidget(f.widget, f.row, f.column + 1);
        edit_controls_.push_back(f.widget);
    }
    memory_->setAccessibleName(QStringLiteral("メモリーに記憶"));
    form->addWidget(memory_, 2, 2, 1, 2);
    edit_controls_.push_back(memory_);
    auto* step_buttons = new QHBoxLayout;
    auto add_step_button = [&](const char* text, const char* accessible, auto change) {
        QPushButton* b = button(text, accessible);
        connect(b, &QPushButton::clicked, this, change);
        step_buttons->addWidget(b);
        edit_controls_.push_back(b);
    };
    auto change_steps = [this](auto how) {
        const int row = selected_cue();
        if (row < 0) return;
        Cue cue = show_.list().cues()[std::size_t(row)];
        if (!how(cue.steps, steps_->currentRow())) return;
        edit([&](CueList& l) { return reply_ok(l.replace(std::size_t(row), cue)); }, row);
    };
    add_step_button("ステップ追加", "ステップを追加", [this, change_steps] {
        change_steps([this](std::vector<CueStep>& s, int at) {
            s.insert(s.begin() + (at < 0 ? long(s.size()) : at + 1), step_from_editor());
            return true;
        });
    });
    add_step_button("ステップ変更", "ステップを変更", [this, change_steps] {
        change_steps([this](std::vector<CueStep>& s, int at) {
            if (at < 0 || at >= int(s.size())) return false;
            s[std::size_t(at)] = step_from_editor();
            return true;
        });
    });
    add_step_button("ステップ削除", "ステップを削除", [change_steps] {
        change_steps([](std::vector<CueStep>& s, int at) {
            if (at < 0 || at >= int(s.size()) || s.size() == 1) return false;
            s.erase(s.begin() + at);
            return true;
        });
    });
    auto* editor = new QGroupBox(QStringLiteral("ステップ"));
    steps_caption_ = editor;
    auto* editor_layout = new QVBoxLayout(editor);
    editor_layout->addWidget(steps_, 1);
    editor_layout->addLayout(form);
    editor_layout->addLayout(step_buttons);

    // The show: GO big and first, BACK and 中止 beside it.
    go_ = button("GO", "GO (Space)");
    go_->setMinimumHeight(48);
    QFont big = go_->font();
    big.setPointSize(big.pointSize() + 6);
    big.setBold(true);
    go_->setFont(big);
    back_ = button("BACK", "BACK: 前のキューを次に");
    stop_ = button("中止", "キューを中止");
    status_ = new QLabel;
    status_->setWordWrap(true);
    status_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    status_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    status_->setAccessibleName(QStringLiteral("キューの状態"));
    // A long failure message scrolls in a few lines of its own instead of taking the
    // room of the tables.
    auto* status_area = new QScrollArea;
    status_area->setAccessibleName(QStringLiteral("キューの状態"));  // a Tab stop: it scrolls
    status_area->setWidget(status_);
    status_area->setWidgetResizable(true);
    status_area->setFrameShape(QFrame::NoFrame);
    status_area->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    status_area->setFixedHeight(status_->fontMetrics().lineSpacing() * 3 + 6);
    connect(go_, &QPushButton::clicked, this, &CueListWindow::go);
    connect(back_, &QPushButton::clicked, this, [this] { show_.back(); });
    connect(stop_, &QPushButton::clicked, this, [this] { show_.stop(); });
    auto* space = new QShortcut(QKeySequence(Qt::Key_Space), this);
    connect(space, &QShortcut::activated, this, &CueListWindow::go);
    auto* show_row = new QHBoxLayout;
    show_row->addWidget(go_, 2);
    show_row->addWidget(back_, 1);
    show_row->addWidget(stop_, 1);

    auto* left = new QVBoxLayout;
    left->addWidget(cues_, 1);
    left->addLayout(name_row);
    left->addLayout(cue_row);
    // The lists, the editor and the show's buttons above; program and preview below, in
    // a pane of their own that the splitter between them sizes.
    auto* top = new QWidget;
    auto* top_layout = new QVBoxLayout(top);
    top_layout->setContentsMargins(0, 0, 0, 0);
    auto* middle = new QHBoxLayout;
    middle->addLayout(left, 1);
    middle->addWidget(editor, 1);
    top_layout->addLayout(middle, 1);
    top_layout->addLayout(show_row);
    // Program and preview beside each other, each ch.1 then ch.2: one row of pictures.
    preview_model_ = show_.channel().model();
    auto* pictures_pane = new QWidget;
    auto* pictures = new QGridLayout(pictures_pane);
    pictures->setContentsMargins(0, 0, 0, 0);
    pictures->setColumnMinimumWidth(2, 12);  // program | preview
    auto* program_caption = new QLabel(QStringLiteral("プログラム (オンエア中)"));
    preview_caption_ = new QLabel;
    pictures->addWidget(program_caption, 0, 0, 1, 2);
    pictures->addWidget(preview_caption_, 0, 3, 1, 2);
    for (int channel = 0; channel < 2; ++channel) {
        program_[channel] = new ChannelView(show_.channel().model(), channel);
        preview_[channel] = new ChannelView(preview_model_, channel);
        program_[channel]->setAccessibleName(QStringLiteral("プログラム ch.%1").arg(channel + 1));
        preview_[channel]->setAccessibleName(QStringLiteral("プレビュー ch.%1").arg(channel + 1));
        for (ChannelView* view : {program_[channel], preview_[channel]})
            view->setMinimumSize(kPreviewWidth, kPreviewWidth * 9 / 16);
        pictures->addWidget(program_[channel], 1, channel);
        pictures->addWidget(preview_[channel], 1, 3 + channel);
        pictures->setColumnStretch(channel, 1);
        pictures->setColumnStretch(3 + channel, 1);
    }
    pictures->setRowStretch(1, 1);
    auto* splitter = new QSplitter(Qt::Vertical);
    splitter->setObjectName(QStringLiteral("cue_pictures_splitter"));
    splitter->addWidget(top);
    splitter->addWidget(pictures_pane);
    splitter->setChildrenCollapsible(false);
    // A larger window gives the lists its room; the pictures keep theirs.
    splitter->setStretchFactor(0, 1);
    splitter->setStretchFactor(1, 0);
    splitter->setSizes({top->sizeHint().height(), pictures_pane->minimumSizeHint().height()});

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(files_row);
    layout->addWidget(splitter, 1);
    layout->addWidget(status_area);

    connect(cues_, &QTableWidget::itemSelectionChanged, this, [this] {
        const int row = selected_cue();
        if (row >= 0) name_->setText(qs(show_.list().cues()[std::size_t(row)].name));
        refresh_steps();
    });
    connect(cues_, &QTableWidget::cellDoubleClicked, this,
            [this](int row, int) { show_.select_next(std::size_t(row)); });
    connect(steps_, &QTableWidget::currentCellChanged, this, [this](int row, int, int, int) {
        const int cue = shown_cue();
        if (cue < 0 || row < 0) return;
        const auto& steps = show_.list().cues()[std::size_t(cue)].steps;
        if (row < int(steps.size())) step_to_editor(steps[std::size_t(row)]);
    });
    connect(action_, &QComboBox::currentIndexChanged, this, &CueListWindow::update_enabled);

    connect(&show_, &CueShow::list_changed, this, [this] {
        // A list loaded from elsewhere (a panel) is no file of this window's.
        if (!own_edit_) {
            path_.clear();
            dirty_ = false;
            saved_ = show_.list().cues();
            status_->clear();
        }
        refresh_cues();
        refresh_caption();
    });
    connect(&show_, &CueShow::position_changed, this, &CueListWindow::refresh_cues);
    connect(&show_, &CueShow::cue_started, this, [this](int index, int) {
        running_name_ = qs(show_.list().cues()[std::size_t(index)].name);
        refresh_running();
        // The cue under way is the row the operator sees selected, and its steps the table.
        cues_->selectRow(index);
        refresh_steps();
        update_enabled();
        countdown_.start();
    });
    connect(&show_, &CueShow::cue_stepped, this, &CueListWindow::refresh_steps);
    connect(&show_, &CueShow::cue_answered, this, &CueListWindow::refresh_steps);
    connect(&show_, &CueShow::cue_ended, this, [this](const CueOutcome& o) {
        countdown_.stop();
        status_->setText(o.ok() ? QString::fromUtf8(text::kCueCompleted) + ": " + qs(o.name)
                                : qs(outcome_text(o)));
        refresh_steps();
        update_enabled();
    });
    // The seconds left of a wait, as a clock shows them.
    countdown_.setInterval(200);
    connect(&countdown_, &QTimer::timeout, this, &CueListWindow::refresh_running);
    // The preview follows the next cue, its steps, and every answer of the device.
    connect(&show_, &CueShow::position_changed, this, &CueListWindow::refresh_preview);
    connect(&show_, &CueShow::list_changed, this, &CueListWindow::refresh_preview);
    connect(&show_, &CueShow::cue_ended, this, &CueListWindow::refresh_preview);
    answered_ = Subscription(show_.channel().send_path().answered, [this](bool) { refresh_preview(); });
    refresh_cues();
    refresh_caption();
    refresh_preview();
}

void CueListWindow::refresh_preview() {
    const Model& now = show_.channel().model();
    preview_model_ = now;
    const std::optional<std::size_t> next = show_.list().next();
    if (next) {
        const Cue& cue = show_.list().cues()[*next];
        for (const CueStep& step : cue.steps) {
            const ParsedOperation op = step_operation(step, Language::japanese);
            if (op.operation) apply_operation(preview_model_, *op.operation);
        }
        preview_caption_->setText(QStringLiteral("プレビュー: 「%1」の後").arg(qs(cue.name)));
    } else {
        preview_caption_->setText(QStringLiteral("プレビュー: 次のキューなし"));
    }
    for (int channel = 0; channel < 2; ++channel) {
        program_[channel]->update();
        preview_[channel]->update();
    }
}

QPushButton* CueListWindow::button(const char* text, const char* accessible) {
    auto* b = new QPushButton(QString::fromUtf8(text));
    b->setAccessibleName(QString::fromUtf8(accessible));
    b->setAutoDefault(false);
    return b;
}

bool CueListWindow::reply_ok(const std::string& refused) {
    if (refused.empty()) return true;
    status_->setText(qs(refused));
    return false;
}

void CueListWindow::refresh_running() {
    if (!show_.running()) return;
    QString line = QString::fromUtf8(text::kCueRunning) + ": " + running_name_;
    if (const auto left = show_.wait_left_ms())
        line += QStringLiteral("  %1 %2 %3")
                    .arg(QString::fromUtf8(text::kCueWaitLeft))
                    .arg((*left + 999) / 1000)
                    .arg(QString::fromUtf8(text::kSeconds));
    status_->setText(line);
}

void CueListWindow::edit(const std::function<bool(CueList&)>& change, int select_row) {
    if (show_.running()) {
        status_->setText(QString::fromUtf8(text::kCueNoEditWhileRunning));
        return;
    }
    own_edit_ = true;
    bool changed = false;
    show_.edit([&](CueList& l) { return changed = change(l); });
    own_edit_ = false;
    if (!changed) return;
    dirty_ = true;
    refresh_caption();
    if (select_row >= 0 && select_row < cues_->rowCount()) cues_->selectRow(select_row);
}

int CueListWindow::selected_cue() const {
    const auto rows = cues_->selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : rows.front().row();
}

void CueListWindow::refresh_cues() {
    const int selected = selected_cue();
    const CueList& list = show_.list();
    QSignalBlocker block(cues_);
    cues_->setRowCount(int(list.size()));
    const QColor current_colour(0xc8, 0xe6, 0xc9);
    const QColor next_colour(0xff, 0xf1, 0x76);
    for (std::size_t i = 0; i < list.size(); ++i) {
        const Cue& cue = list.cues()[i];
        QString steps;
        for (const CueStep& s : cue.steps) steps += (steps.isEmpty() ? "" : " / ") + qs(step_text(s));
        const bool current = list.current() == i;
        const bool next = list.next() == i;
        // A cue that failed part-way stays current, marked, until the next GO.
        const QString now = list.current_failed() ? QStringLiteral("現在 (失敗)") : QStringLiteral("現在");
        const QString mark = current && next ? now + QStringLiteral("/次")
                             : current        ? now
                             : next           ? QStringLiteral("次")
                                              : QString();
        const QString cells[] = {mark, QString::number(i + 1), qs(cue.name), steps};
        for (int c = 0; c < 4; ++c) {
            auto* item = new QTableWidgetItem(cells[c]);
            if (c == 3) item->setToolTip(steps);
            if (current || next) item->setBackground(next ? next_colour : current_colour);
            if (next) {
                QFont f = item->font();
                f.setBold(true);
                item->setFont(f);
            }
            cues_->setItem(int(i), c, item);
        }
    }
    if (selected >= 0 && selected < cues_->rowCount()) cues_->selectRow(selected);
    if (selected < 0 && list.size() > 0) cues_->selectRow(int(list.next().value_or(0)));
    const int row = selected_cue();
    if (row >= 0 && row < int(list.size())) name_->setText(qs(list.cues()[std::size_t(row)].name));
    refresh_steps();
    update_enabled();
}

int CueListWindow::shown_cue() const {
    // While a cue runs its steps are shown, whichever row is selected.
    if (show_.running() && show_.shown_index()) return int(*show_.shown_index());
    return selected_cue();
}

void CueListWindow::refresh_steps() {
    const int row = shown_cue();
    const int keep = steps_->currentRow();
    QSignalBlocker block(steps_);
    if (row < 0 || row >= int(show_.list().size())) {
        steps_->setRowCount(0);
        steps_caption_->setTitle(QStringLiteral("ステップ"));
        return;
    }
    const Cue& cue = show_.list().cues()[std::size_t(row)];
    steps_caption_->setTitle(QStringLiteral("ステップ: ") + qs(cue.name));
    const std::vector<StepState> states =
        show_.shown_index() == std::size_t(row) ? show_.step_states() : std::vector<StepState>{};
    steps_->setRowCount(int(cue.steps.size()));
    for (std::size_t i = 0; i < cue.steps.size(); ++i) {
        auto* step = new QTableWidgetItem(qs(step_text(cue.steps[i])));
        step->setToolTip(step->text());
        steps_->setItem(int(i), 0, step);
        auto* outcome = new QTableWidgetItem(
            QString::fromUtf8(i < states.size() ? state_text(states[i]) : ""));
        if (i < states.size() && (states[i] == StepState::failed || states[i] == StepState::not_sent))
            outcome->setForeground(QColor(0xb7, 0x1c, 0x1c));
        steps_->setItem(int(i), 1, outcome);
    }
    if (keep >= 0 && keep < steps_->rowCount()) steps_->setCurrentCell(keep, 0);
}

void CueListWindow::refresh_caption() {
    const QString name = path_.empty() ? QStringLiteral("無題")
                                       : QFileInfo(QString::fromStdString(path_)).fileName();
    setWindowTitle(QString::fromUtf8(text::kCueListTitle) + " - " + name + (dirty_ ? " *" : ""));
}

void CueListWindow::update_enabled() {
    const bool running = show_.running();
    go_->setEnabled(!running && show_.list().next().has_value());
    back_->setEnabled(!running);
    stop_->setEnabled(running);
    for (QWidget* w : edit_controls_) w->setEnabled(!running);
    const auto action = CueAction(action_->currentIndex());
    line_->setEnabled(!running && action != CueAction::wait);
    page_->setEnabled(!running && action != CueAction::wait);
    text_->setEnabled(!running && action == CueAction::title);
    memory_->setEnabled(!running && action == CueAction::title);
    seconds_->setEnabled(!running && action == CueAction::wait);
}

CueStep CueListWindow::step_from_editor() const {
    CueStep s;
    s.action = CueAction(action_->currentIndex());
    s.line = line_->currentIndex();
    s.page = page_->currentIndex();
    if (s.action == CueAction::title) s.page = std::min(s.page, kAutoPage - 1);
    s.text = s.action == CueAction::title ? text_->text().toStdString() : std::string();
    s.memory = s.action != CueAction::title || memory_->isChecked();
    s.seconds = s.action == CueAction::wait ? seconds_->value() : 0;
    if (s.action == CueAction::wait) s.line = s.page = 0;
    return s;
}

void CueListWindow::step_to_editor(const CueStep& s) {
    action_->setCurrentIndex(int(s.action));
    line_->setCurrentIndex(s.line);
    page_->setCurrentIndex(s.page);
    text_->setText(qs(s.text));
    memory_->setChecked(s.memory);
    seconds_->setValue(s.seconds);
}

bool CueListWindow::blanking_confirmed() {
    const auto next = show_.list().next();
    if (!next || show_.running()) return true;
    const Cue& cue = show_.list().cues()[*next];
    QString titles;
    for (const CueStep& s : cue.steps)
        if (blanks_title(s)) titles += QStringLiteral("\n") + qs(step_text(s));
    // A list saved (or loaded) with this very cue says what the operator prepared; a
    // question answered once holds for the cue as it is.
    if (titles.isEmpty() || std::ranges::count(saved_, cue) > 0 || std::ranges::count(confirmed_, cue) > 0)
        return true;
    if (!ui_.ask((QString::fromUtf8(text::kAskBlankTitles) + titles).toStdString(), text::kCueListTitle))
        return false;
    confirmed_.push_back(cue);
    return true;
}

void CueListWindow::go() {
    if (!blanking_confirmed()) {
        status_->setText(QString::fromUtf8(text::kCueGoNotConfirmed));
        return;
    }
    const CueShow::Go go = show_.go([this](const CueOutcome& o) {
        // The run is quiet: its one message is shown here, by the front end that fired it;
        // the operator's own stop is no fault.
        if (o.end == RunEnd::stopped) {
            ui_.box(Box::information, o.message, text::kRunStoppedCaption);
        } else if (!o.ok()) {
            warning_box(ui_, outcome_text(o));
        }
    });
    if (go == CueShow::Go::cue_running) show_.refused(QStringLiteral("window"), go);
    if (go != CueShow::Go::started) status_->setText(QString::fromUtf8(go_message(go)));
}

bool CueListWindow::open_file() {
    if (dirty_ && !ui_.ask(text::kAskOpenCues, text::kCueListTitle)) return false;
    if (files_ == nullptr) return false;
    const auto path = files_->choose_open_cues(this);
    return path && open_path(*path);
}

bool CueListWindow::open_path(const std::string& path) {
    std::vector<Cue> cues;
    CueFileError error;
    if (!load_cue_file(path, cues, error)) {
        warning_box(ui_, text::kCantFileOpen + std::string("\n") + error.message());
        return false;
    }
    own_edit_ = true;
    const bool loaded = show_.load(std::move(cues));
    own_edit_ = false;
    if (!loaded) {
        status_->setText(QString::fromUtf8(text::kCueNoLoadWhileRunning));
        return false;
    }
    path_ = path;
    dirty_ = false;
    saved_ = show_.list().cues();
    status_->clear();
    refresh_caption();
    return true;
}

bool CueListWindow::save() {
    if (path_.empty()) return save_as();
    if (!save_cue_file(path_, show_.list().cues())) {
        warning_box(ui_, text::kCantFileOpen);
        return false;
    }
    dirty_ = false;
    saved_ = show_.list().cues();
    refresh_caption();
    return true;
}

bool CueListWindow::save_as() {
    if (files_ == nullptr) return false;
    const auto path = files_->choose_save_cues(this);
    if (!path) return false;
    path_ = *path;
    return save();
}

bool CueListWindow::may_discard(const char* question) {
    return !dirty_ || ui_.ask(question, text::kCueListTitle);
}

void CueListWindow::close_discarding() {
    discarding_ = true;
    close();
}

void CueListWindow::closeEvent(QCloseEvent* event) {
    if (!discarding_ && !may_discard(text::kAskCloseCues)) {
        event->ignore();
        return;
    }
    event->accept();
}

}  // namespace tqv
