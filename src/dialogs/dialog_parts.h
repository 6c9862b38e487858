// Pieces the settings dialogs are built from: the grid of page cells beside the lists, a
// control in a group box captioned as its accessible name, and a push button that never
// takes Enter for itself.
#pragma once

#include <QWidget>
#include <functional>
#include <vector>

class QLabel;

class QGroupBox;
class QLabel;
class QPushButton;

namespace tqv {

// The group of 16 or 32 pages of the chosen title line that holds the chosen page, in
// columns of eight, top to bottom.
class PageCells : public QWidget {
    Q_OBJECT
  public:
    static constexpr int kRows = 8;
    // The text of the cell showing page index 0..63 of the chosen line.
    using CellText = std::function<QString(int page)>;

    // `count` cells: 16 (two columns) or 32 (four columns). Each cell is wide enough for
    // `widest`, the longest text it can show.
    PageCells(int count, CellText text, const QString& widest, QWidget* parent);

    // Shows the group of pages that holds `page` (0..63).
    void show_group(int page);
    // Page index of the first cell.
    int first_page() const { return first_page_; }
    int count() const { return static_cast<int>(cells_.size()); }
    QString cell_text(int i) const;

  private:
    CellText text_;
    std::vector<QLabel*> cells_;
    int first_page_ = 0;
};

// `control` in a group box captioned `caption`, as the lists and the title field sit.
QGroupBox* captioned(const QString& caption, QWidget* control, QWidget* parent);

// "残り 2:41" beside a run's progress: read out by its text, and as wide when idle as during
// a run, so that the bar beside it keeps its width.
QLabel* make_time_left_label(QWidget* parent);

}  // namespace tqv
