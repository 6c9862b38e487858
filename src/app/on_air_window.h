// What is on air: for each title line the page shown now, its title, whether it is shown
// and the start-up page, and a picture of each channel as the device superimposes it.
// The view reads one device's model, so it serves any device of the server role as well as
// the program's own link; the window keeps it current from the link's confirmed answers.
#pragma once

#include <QString>
#include <QWidget>

#include "core/model.h"

class QLabel;
class QTableWidget;

namespace tqv {

class DeviceLink;

// One channel's picture, kept 16:9 inside the widget.
class ChannelView : public QWidget {
    Q_OBJECT
  public:
    ChannelView(const Model& model, int channel, QWidget* parent = nullptr);
    int channel() const { return channel_; }
    QSize sizeHint() const override;
    // The frame inside the widget where the picture goes.
    QRectF frame() const;

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    const Model& model_;
    int channel_;
};

class OnAirView : public QWidget {
    Q_OBJECT
  public:
    enum Column { line_column, page_column, title_column, shown_column, startup_column, columns };

    explicit OnAirView(const Model& model, QWidget* parent = nullptr);

    // Reads the model again: the table and both pictures.
    void refresh();
    // What the table shows in a cell, for line 0..3.
    QString cell_text(int line, Column column) const;
    QTableWidget* table() const { return table_; }
    ChannelView* channel_view(int channel) const { return views_[channel]; }
    QString channel_caption_text(int channel) const;

  private:
    const Model& model_;
    QTableWidget* table_ = nullptr;
    ChannelView* views_[2] = {nullptr, nullptr};
    QLabel* captions_[2] = {nullptr, nullptr};
};

// The menu's "オンエア" window for the program's link: non-modal, beside the dialogs.
class OnAirWindow : public QWidget {
    Q_OBJECT
  public:
    explicit OnAirWindow(DeviceLink& link, QWidget* parent = nullptr);
    OnAirView* view() const { return view_; }

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    OnAirView* view_ = nullptr;
};

}  // namespace tqv
