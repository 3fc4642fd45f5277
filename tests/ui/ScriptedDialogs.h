#pragma once

#include "Dialogs.h"

#include <QString>
#include <deque>
#include <functional>
#include <gtest/gtest.h>
#include <optional>
#include <vector>

namespace vlboot::test {

// Answers the window's dialogs from a script and records what was asked, so
// that no test ever waits for a person. A dialog without a scripted answer
// is a test failure and is answered with Cancel.
class ScriptedDialogs final : public Dialogs {
public:
    struct Box {
        QString title;
        QString text;
        Icon icon = Icon::None;
    };
    struct Input {
        QString title;
        QString prompt;
        QString initial;
    };
    struct FileDialog {
        QString title;
        QString startFolder;
        QString filter;
    };

    std::vector<Box> boxes;
    std::vector<Input> inputs;
    std::vector<FileDialog> fileDialogs;

    // Runs while a message box is "open" (after it was recorded), the way a
    // user could act while the box is up.
    std::function<void(const Box&)> whileBoxShown;

    // The answers, in order: text or std::nullopt (Cancel) for input
    // dialogs, a path or "" (Cancel) for file dialogs.
    std::deque<std::optional<QString>> inputAnswers;
    std::deque<QString> fileAnswers;

    void ShowMessageBox(QWidget*, const QString& title, const QString& text, Icon icon) override
    {
        boxes.push_back({title, text, icon});
        if (whileBoxShown)
            whileBoxShown(boxes.back());
    }

    std::optional<QString> ShowInputBox(QWidget*, const QString& title, const QString& prompt,
                                        const QString& initial) override
    {
        inputs.push_back({title, prompt, initial});
        if (inputAnswers.empty()) {
            ADD_FAILURE() << "unexpected input dialog " << title.toStdString();
            return std::nullopt;
        }
        std::optional<QString> answer = inputAnswers.front();
        inputAnswers.pop_front();
        return answer;
    }

    QString ShowOpenFileDialog(QWidget*, const QString& title, const QString& startFolder,
                               const QString& filter) override
    {
        fileDialogs.push_back({title, startFolder, filter});
        if (fileAnswers.empty()) {
            ADD_FAILURE() << "unexpected file dialog";
            return QString();
        }
        QString answer = fileAnswers.front();
        fileAnswers.pop_front();
        return answer;
    }
};

} // namespace vlboot::test
