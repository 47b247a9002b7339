#pragma once

#include "console/message_service.h"

#include <QString>
#include <QStringList>

#include <deque>
#include <functional>

namespace tessal::testing {

// Records every message instead of showing it and answers questions from a
// queue (No when the queue is empty).
class RecordingMessages : public console::MessageService {
  public:
    void inform(const QString& text) override {
        shown.push_back(text);
        informed.push_back(text);
        if (on_message) {
            on_message(text);
        }
    }
    // Recorded like inform(); the details go to `details`, in step.
    void inform_with_details(const QString& text, const QString& detail_text) override {
        details.push_back(detail_text);
        inform(text);
    }
    void plain(const QString& text) override {
        shown.push_back(text);
        plains.push_back(text);
        if (on_message) {
            on_message(text);
        }
    }
    bool confirm(const QString& text) override {
        questions.push_back(text);
        if (answers.empty()) {
            return false;
        }
        const bool yes = answers.front();
        answers.pop_front();
        return yes;
    }

    void clear() {
        shown.clear();
        informed.clear();
        details.clear();
        plains.clear();
        questions.clear();
    }

    QStringList shown;     // every box, in order
    QStringList informed;  // boxes titled "rvt" with the information icon
    QStringList details;   // the details of the boxes that had some
    QStringList plains;    // boxes without title or icon
    QStringList questions; // Yes/No questions asked
    std::deque<bool> answers;
    std::function<void(const QString&)> on_message;
};

} // namespace tessal::testing
