// "機器と比較": reads every setting of the device (the read-settings steps, into a scratch
// copy: the document stays as it is) and lists the items that differ, document value
// beside device value. "差分のみ送信" then sends the commands of those items alone, as a
// run with progress, stop and the fault rules of every other run.
#pragma once

#include <vector>

#include "core/compare.h"
#include "dialogs/bulk_runner.h"

class QLabel;
class QPushButton;
class QTableWidget;

namespace tqv {

class CompareDialog : public BulkDialog {
    Q_OBJECT
  public:
    CompareDialog(AppContext& context, QWidget* parent);

    QPushButton* read_button() const { return read_; }
    QPushButton* send_button() const { return send_; }
    QTableWidget* table() const { return table_; }
    QLabel* summary() const { return summary_; }
    const std::vector<SettingDifference>& differences() const { return differences_; }

    // The read starts as the dialog opens; again with "読み込み".
    bool start_read();
    bool send_differences();
    // Shows `differences` (tests and screenshots fill the table without a device).
    void show_differences(std::vector<SettingDifference> differences);

  private:
    void run_ended(RunEnd why);

    QPushButton* read_ = nullptr;
    QPushButton* send_ = nullptr;
    QTableWidget* table_ = nullptr;
    QLabel* summary_ = nullptr;
    std::vector<SettingDifference> differences_;
};

}  // namespace tqv
