// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <QString>

class QWidget;

namespace tessal::console {

// Every message box of the program goes through this service, so that tests
// can read what was shown and answer the questions.
class MessageService {
  public:
    virtual ~MessageService() = default;

    // A modal box titled "rvt" with the information icon and one OK button.
    virtual void inform(const QString& text) = 0;
    // The same box with `details` behind its details button (none when
    // `details` is empty).
    virtual void inform_with_details(const QString& text, const QString& details) = 0;
    // A modal box with no title of its own, no icon and one OK button.
    virtual void plain(const QString& text) = 0;
    // "Jeste li sigurni?" style question, titled "rvt", Yes and No, no icon.
    // True only for Yes.
    virtual bool confirm(const QString& text) = 0;
};

// The real boxes.
class BoxMessageService final : public MessageService {
  public:
    void inform(const QString& text) override;
    void inform_with_details(const QString& text, const QString& details) override;
    void plain(const QString& text) override;
    bool confirm(const QString& text) override;
};

} // namespace tessal::console
