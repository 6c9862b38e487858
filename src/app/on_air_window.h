// What is on air: for each title line the page shown now, its title, whether it is shown
// and the start-up page, and a picture of each channel as the device superimposes it.
// The view reads one device's model, so it serves any device of the server role as well as
// the program's own link; the window keeps it current from each device's confirmed answers
// and, in the server role, lists every device with the pages it has on air.
#pragma once

#include <QString>
#include <QWidget>
#include <map>
#include <memory>

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
    void set_model(const Model& model) { model_ = &model; }
    QSize sizeHint() const override;
    // The frame inside the widget where the picture goes.
    QRectF frame() const;

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    const Model* model_;
    int channel_;
};

class OnAirView : public QWidget {
    Q_OBJECT
  public:
    enum Column { line_column, page_column, title_column, shown_column, startup_column, columns };

    explicit OnAirView(const Model& model, QWidget* parent = nullptr);

    // Reads the model again: the table and both pictures.
    void refresh();
    // Shows another device's model from now on (and refreshes).
    void set_model(const Model& model);
    const Model& model() const { return *model_; }
    // What the table shows in a cell, for line 0..3.
    QString cell_text(int line, Column column) const;
    QTableWidget* table() const { return table_; }
    ChannelView* channel_view(int channel) const { return views_[channel]; }
    QString channel_caption_text(int channel) const;

  private:
    const Model* model_;
    QTableWidget* table_ = nullptr;
    ChannelView* views_[2] = {nullptr, nullptr};
    QLabel* captions_[2] = {nullptr, nullptr};
};

// The menu's "オンエア" window for the program's link: non-modal, beside the dialogs. In
// the server role a list beside the view has every connected device with its four pages
// on air; the view shows the device chosen in the list.
class OnAirWindow : public QWidget {
    Q_OBJECT
  public:
    enum DeviceColumn { device_column, first_line_column, device_columns = first_line_column + kTitleLines };

    explicit OnAirWindow(DeviceLink& link, QWidget* parent = nullptr);
    ~OnAirWindow() override;
    OnAirView* view() const { return view_; }
    QTableWidget* devices() const { return devices_; }
    // The peer entry the view shows; 0 outside the server role.
    int shown_device() const { return shown_; }
    // Shows device `entry` of the list; false when it is not there.
    bool show_device(int entry);

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    struct Watched;
    // The devices came or went, the role or the chosen device changed.
    void rebuild();
    void device_answered(int entry);
    void show_pages(int entry);
    void show_row(int row);
    const Model* model_of(int entry) const;
    int row_of(int entry) const;

    DeviceLink& link_;
    OnAirView* view_ = nullptr;
    QTableWidget* devices_ = nullptr;
    QLabel* who_ = nullptr;
    std::map<int, std::unique_ptr<Watched>> watched_;
    int shown_ = 0;
};

}  // namespace tqv
