// Dialogs that record what the editor shows and answer questions from a
// queue set up in advance (Yes when nothing is queued). Yes/No/Cancel offers
// are recorded apart from the questions and take their answers from a queue
// of their own, declined (No) when nothing is queued: the editor goes on as
// it did before it made the offer, and what a test expects of the questions
// stays as it was. A choice among options takes the first one when nothing
// is queued.
#pragma once

#include "core/Dialogs.h"
#include "tests/support/QtPrinters.h"

#include <QStringList>
#include <deque>
#include <functional>
#include <vector>

namespace kestra::test {

class TestDialogs final : public Dialogs {
public:
    TestDialogs() { Dialogs::setInstance(this); }
    ~TestDialogs() override { Dialogs::setInstance(nullptr); }
    TestDialogs(const TestDialogs&) = delete;
    TestDialogs& operator=(const TestDialogs&) = delete;

    void message(const QString& text) override { messages.append(text); }
    void error(const QString& text) override { errors.append(text); }
    // Shown as a message; the box is ticked when the test said so.
    bool tip(const QString& text) override {
        messages.append(text);
        return tickTips;
    }
    using Dialogs::confirm;
    bool confirm(const QString& text, Default preselected) override {
        questions.append(text);
        defaults.push_back(preselected);
        if (whileAsked)
            whileAsked(text);
        if (answers.empty())
            return true;
        const bool answer = answers.front();
        answers.pop_front();
        return answer;
    }
    Choice offer(const QString& text, Default preselected) override {
        offers.append(text);
        offerDefaults.push_back(preselected);
        if (offerAnswers.empty())
            return Choice::No;
        const Choice choice = offerAnswers.front();
        offerAnswers.pop_front();
        return choice;
    }
    int choose(const QString& text, const QStringList& options) override {
        choiceTexts.append(text);
        choiceOptions.append(options);
        if (choices.empty())
            return 0;
        const int picked = choices.front();
        choices.pop_front();
        return picked;
    }
    QString openFile(const FileDialogOptions& options) override {
        lastDialog = options;
        return takeFile();
    }
    QString saveFile(const FileDialogOptions& options) override {
        lastDialog = options;
        return takeFile();
    }

    void clear() {
        messages.clear();
        errors.clear();
        questions.clear();
        defaults.clear();
        offers.clear();
        offerDefaults.clear();
        choiceTexts.clear();
        choiceOptions.clear();
    }

    QStringList messages;
    bool tickTips = false;
    QStringList errors;
    QStringList questions;
    std::vector<Default> defaults; // the preselected answer of each question
    std::deque<bool> answers;
    QStringList offers; // the Yes/No/Cancel questions
    std::vector<Default> offerDefaults;
    std::deque<Choice> offerAnswers; // their answers
    // Each choice asked, its options, and the answers to give: the index
    // picked, -1 to cancel; the first option when none is queued.
    QStringList choiceTexts;
    QList<QStringList> choiceOptions;
    std::deque<int> choices;
    // Runs while a question is open, as whatever happens while a player reads it.
    std::function<void(const QString& question)> whileAsked;
    std::deque<QString> files; // answers of the file dialogs; empty = cancelled
    FileDialogOptions lastDialog;

private:
    QString takeFile() {
        if (files.empty())
            return {};
        QString file = files.front();
        files.pop_front();
        return file;
    }
};

} // namespace kestra::test
