// "外字登録": the glyph editor. The operator draws one 48 x 48-dot glyph on an enlarged
// grid (left button lights dots, right button clears them), registers it in the device under
// a number 01..28 and reads glyphs or font characters back from the device.
#pragma once

#include <functional>
#include <string>

#include "core/glyph.h"
#include "dialogs/model_dialog.h"

class QComboBox;
class QLineEdit;
class QPushButton;

namespace tqv {

// The enlarged dot grid of the working bitmap (`glyph_answer`): cells of 10 x 8 pixels, dot
// (0, 0) at the widget's top-left corner, lit dots white, dark dots blue with a black
// outline. The editor takes the mouse for it. With the keyboard focus it shows a cursor on
// one drawable dot: the arrows move it, Space asks `on_toggle` to change that dot.
class GlyphGrid : public QWidget {
  public:
    static constexpr int kCellWidth = 10;
    static constexpr int kCellHeight = 8;

    GlyphGrid(const Model& model, QWidget* parent);
    // How often the grid has painted itself, so that a check can tell that a mouse move
    // over dots already drawn repaints nothing.
    int paint_count() const { return paints_; }
    QPoint cursor() const { return cursor_; }  // x: column, y: row
    std::function<void(int row, int col)> on_toggle;

  protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

  private:
    // Says the dot under the cursor (row, column, lit or not) to assistive technology.
    void describe_cursor();

    const Model& model_;
    int paints_ = 0;
    QPoint cursor_{kFirstDrawnDot, kFirstDrawnDot};
};

class GlyphEditorDialog : public ModelDialog {
    Q_OBJECT
  public:
    GlyphEditorDialog(AppContext& context, QWidget* parent);

    GlyphGrid* grid() const { return grid_; }
    QComboBox* number_list() const { return number_list_; }
    QLineEdit* sample_edit() const { return sample_edit_; }
    QPushButton* clear_button() const { return clear_button_; }
    QPushButton* register_button() const { return register_button_; }
    QPushButton* read_button() const { return read_button_; }
    QPushButton* sample_read_button() const { return sample_read_button_; }
    QPushButton* close_button() const { return close_button_; }
    // The sample as it is sent: two code page 932 bytes, or empty.
    const std::string& sample_text() const { return sample_text_; }

  protected:
    // The dialog takes the mouse wherever no control lies, the grid included, and keeps it
    // while a button is held (Qt's implicit grab), so a stroke may leave and re-enter the
    // grid. Points are converted to grid coordinates, so the dot under the pointer changes.
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

  private:
    QPoint grid_point(const QMouseEvent* event) const;
    void take_sample(const QString& text);

    GlyphEditor editor_;
    std::string sample_text_;
    GlyphGrid* grid_ = nullptr;
    QComboBox* number_list_ = nullptr;
    QLineEdit* sample_edit_ = nullptr;
    QPushButton* clear_button_ = nullptr;
    QPushButton* register_button_ = nullptr;
    QPushButton* read_button_ = nullptr;
    QPushButton* sample_read_button_ = nullptr;
    QPushButton* close_button_ = nullptr;
};

}  // namespace tqv
