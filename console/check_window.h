// SPDX-License-Identifier: Apache-2.0
#pragma once

#include "device/check.h"
#include "settings/settings.h"

#include <QWidget>

#include <functional>
#include <optional>

class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QTableWidget;

namespace tessal::console {

class Transaction;

// "Provera uredjaja": the device check in a window.  The verdict stands on
// top, then a row for each stage (its outcome as an icon and a text, the
// reading, the reason) and the check's exchanges.  The check runs on the
// device engine as every device command does; the window stays live.
class CheckWindow : public QWidget {
    Q_OBJECT

  public:
    CheckWindow(Transaction& transaction, const settings::Settings& settings,
                QWidget* parent = nullptr);

    // Asks for the profile file; by default the desktop's file dialog.
    void set_profile_chooser(std::function<QString()> choose) { choose_ = std::move(choose); }
    // The PC's clock the device's is held against; tests set a fixed time.
    void set_now(std::function<QDateTime()> now) { now_ = std::move(now); }

    void Choose_Click();
    void Start_Click();
    void Copy_Click();

    // The check shown, once one has ended.
    const std::optional<device::CheckResult>& result() const { return result_; }
    // The whole result as text: the stages, the verdict, the exchanges.
    QString result_text() const;

    QLabel* Verdict = nullptr;
    QLineEdit* ProfileFile = nullptr;
    QPushButton* Choose = nullptr;
    QPushButton* Start = nullptr;
    QTableWidget* Stages = nullptr;
    QPushButton* Copy = nullptr;
    QPlainTextEdit* Exchanges = nullptr;

  private:
    void build();
    void show_result(const device::CheckResult& result);
    void show_verdict(const QString& text, device::CheckOutcome outcome);

    Transaction& transaction_;
    const settings::Settings& settings_;
    std::function<QString()> choose_;
    std::function<QDateTime()> now_;
    std::optional<device::CheckResult> result_;
};

} // namespace tessal::console
