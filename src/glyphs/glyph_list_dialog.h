// "外字一覧（大文字）": the glyph list. Fourteen glyphs at a time as small previews, the
// glyph list file, picture export of one preview, the editor on a double-clicked glyph and
// the paced transfer of glyph numbers 01..28 to or from the device.
#pragma once

#include <QElapsedTimer>
#include <QTimer>
#include <array>
#include <optional>
#include <string>

#include <memory>

#include "dialogs/model_dialog.h"
#include "core/bulk.h"
#include "dialogs/push_to_all.h"
#include "link/run_driver.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;

namespace tqv {

class GlyphEditorDialog;

// One preview: the glyph of slot 14 x glyph_group + cell, 2 x 2 pixels per dot (lit white,
// dark black), 96 x 96 pixels. It takes the keyboard focus (the list answers its keys); the
// panel marks the focused one around it, so the picture itself stays the glyph.
class GlyphPreview : public QWidget {
  public:
    static constexpr int kDotSize = 2;
    GlyphPreview(const Model& model, int cell, QWidget* parent);
    int slot() const;
    int cell() const { return cell_; }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    const Model& model_;
    int cell_;
};

class GlyphListDialog : public ModelDialog {
    Q_OBJECT
  public:
    static constexpr int kCells = 14;
    // The bar counts glyphs, as the percentage does.
    static constexpr int kProgressRange = GlyphBulk::kGlyphs;

    GlyphListDialog(AppContext& context, QWidget* parent);
    ~GlyphListDialog() override;

    // The fixed pace's timer has fired (tests call it instead of waiting).
    void tick() { driver_.pace_elapsed(); }

    GlyphPreview* preview(int cell) const { return previews_[cell]; }
    QLineEdit* number_box(int cell) const { return number_boxes_[cell]; }
    QWidget* preview_panel() const { return panel_; }
    QComboBox* group_list() const { return group_list_; }
    QPushButton* clear_button() const { return clear_button_; }
    QPushButton* open_button() const { return open_button_; }
    QPushButton* save_button() const { return save_button_; }
    QPushButton* save_as_button() const { return save_as_button_; }
    QPushButton* read_button() const { return read_button_; }
    QPushButton* register_button() const { return register_button_; }
    QPushButton* close_button() const { return close_button_; }
    QPushButton* stop_button() const { return stop_button_; }
    QCheckBox* fast_box() const { return fast_box_; }
    // Server role: register on "選択中の機器" or "接続中の全機器".
    QComboBox* target_list() const { return target_; }
    PushToAll* push_to_all() const { return push_.get(); }
    QLabel* remaining_label() const { return remaining_; }
    QProgressBar* progress() const { return progress_; }
    QLineEdit* percent_box() const { return percent_box_; }
    const QTimer& pacing_timer() const { return driver_.pace_timer(); }
    RunDriver& driver() { return driver_; }

    // Close, Escape and the close box: asks first when the glyphs are not saved.
    void reject() override;

  protected:
    // Left double click on a preview: the editor on that glyph; right: picture export.
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    // The previews' keys: arrows move between them, Enter opens the editor, the menu key
    // (or Shift+F10) offers the editor and the picture export. One Tab stop for all
    // fourteen: the one focused last.
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    bool bulk_running() const { return driver_.running(); }
    void show_running(bool running);
    void transfer_ended(RunEnd why);
    void show_remaining();
    void show_push_progress();
    void show_group();
    void start_bulk(bool registering);
    void open_editor(int cell);
    void export_picture(int cell);
    bool preview_key(int cell, int key);
    void preview_menu(int cell);
    std::optional<std::string> choose_save_name();
    void end_transfer();

    RunDriver driver_;
    QTimer remaining_ticks_;
    QWidget* panel_ = nullptr;
    std::array<GlyphPreview*, kCells> previews_{};
    std::array<QLineEdit*, kCells> number_boxes_{};
    QComboBox* group_list_ = nullptr;
    QPushButton* clear_button_ = nullptr;
    QPushButton* open_button_ = nullptr;
    QPushButton* save_button_ = nullptr;
    QPushButton* save_as_button_ = nullptr;
    QPushButton* read_button_ = nullptr;
    QPushButton* register_button_ = nullptr;
    QPushButton* close_button_ = nullptr;
    QPushButton* stop_button_ = nullptr;
    QCheckBox* fast_box_ = nullptr;
    QComboBox* target_ = nullptr;
    DeviceRowsTable* table_ = nullptr;
    std::unique_ptr<PushToAll> push_;
    QLabel* remaining_ = nullptr;
    QProgressBar* progress_ = nullptr;
    QLineEdit* percent_box_ = nullptr;
};

}  // namespace tqv
