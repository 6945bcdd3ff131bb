// Prompts that record what the editor shows and answer questions from a
// queue set up in advance (Yes when nothing is queued).
#pragma once

#include "core/Prompts.h"

#include <QStringList>
#include <deque>

namespace kestra::test {

class TestPrompts final : public Prompts {
public:
    TestPrompts() { Prompts::setInstance(this); }
    ~TestPrompts() override { Prompts::setInstance(nullptr); }
    TestPrompts(const TestPrompts&) = delete;
    TestPrompts& operator=(const TestPrompts&) = delete;

    void message(const QString& text) override { messages.append(text); }
    void error(const QString& text) override { errors.append(text); }
    bool confirm(const QString& text) override {
        questions.append(text);
        if (answers.empty())
            return true;
        const bool answer = answers.front();
        answers.pop_front();
        return answer;
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
    }

    QStringList messages;
    QStringList errors;
    QStringList questions;
    std::deque<bool> answers;
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
