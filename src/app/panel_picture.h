// The main window's client area: a fixed picture of the device's front panel with the
// name of the current settings document.
#pragma once

#include <QString>
#include <QWidget>

#include "core/model.h"

namespace tqv {

class PanelPicture : public QWidget {
    Q_OBJECT
  public:
    static constexpr int kWidth = 630;
    static constexpr int kHeight = 150;

    explicit PanelPicture(const Model& model, QWidget* parent = nullptr);

    // "File Name " while there is no document, else the document's path.
    QString name_text() const;

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    const Model& model_;
};

}  // namespace tqv
