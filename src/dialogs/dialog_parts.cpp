#include "dialogs/dialog_parts.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "core/model.h"

namespace tqv {

PageCells::PageCells(int count, CellText text, const QString& widest, QWidget* parent)
    : QWidget(parent), text_(std::move(text)) {
    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->setHorizontalSpacing(6);
    grid->setVerticalSpacing(3);
    for (int i = 0; i < count; ++i) {
        auto* cell = new QLabel(this);
        // Sunken static cells, as the operators know them.
        cell->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        cell->setTextFormat(Qt::PlainText);
        cell->setMargin(2);
        cell->setMinimumWidth(cell->fontMetrics().horizontalAdvance(widest) + 2 * 2 +
                              2 * cell->frameWidth() + 4);
        grid->addWidget(cell, i % kRows, i / kRows);
        cells_.push_back(cell);
    }
}

void PageCells::show_group(int page) {
    const int n = count();
    if (page < 0 || page >= kPages) page = 0;
    first_page_ = page / n * n;
    for (int i = 0; i < n; ++i) {
        cells_[static_cast<std::size_t>(i)]->setText(text_(first_page_ + i));
    }
}

QString PageCells::cell_text(int i) const { return cells_[static_cast<std::size_t>(i)]->text(); }

QGroupBox* captioned(const QString& caption, QWidget* control, QWidget* parent) {
    auto* group = new QGroupBox(caption, parent);
    control->setParent(group);
    auto* layout = new QVBoxLayout(group);
    layout->addWidget(control);
    return group;
}

QLabel* make_time_left_label(QWidget* parent) {
    auto* label = new QLabel(parent);
    label->setAccessibleDescription(QStringLiteral("Time left"));  // name: its text
    label->setFixedWidth(label->fontMetrics().horizontalAdvance(QStringLiteral("残り 00:00")) + 4);
    return label;
}

}  // namespace tqv
