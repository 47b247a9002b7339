// SPDX-License-Identifier: Apache-2.0
#pragma once

#include "console/message_service.h"

#include <QStringList>

#include <deque>

namespace tessal::testing {

// Records every message instead of showing it and answers questions from a
// queue (No when the queue is empty).
class RecordingMessages : public console::MessageService {
  public:
    void inform(const QString& text) override { record(informed, text); }
    void inform_with_details(const QString& text, const QString& detail_text) override {
        details << detail_text;
        inform(text);
    }
    void plain(const QString& text) override { record(plains, text); }
    bool confirm(const QString& text) override {
        questions << text;
        const bool yes = !answers.empty() && answers.front();
        if (!answers.empty()) {
            answers.pop_front();
        }
        return yes;
    }
    void clear() { shown = informed = details = plains = questions = {}; }

    QStringList shown;     // every box, in order
    QStringList informed;  // boxes titled "rvt" with the information icon
    QStringList details;   // the details of the boxes that had some
    QStringList plains;    // boxes without title or icon
    QStringList questions; // Yes/No questions asked
    std::deque<bool> answers;

  private:
    void record(QStringList& kind, const QString& text) {
        shown << text;
        kind << text;
    }
};

} // namespace tessal::testing
