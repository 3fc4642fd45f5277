#pragma once

#include "Dialogs.h"
#include "TestFiles.h"
#include "VLboot.h"

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <deque>
#include <functional>
#include <gtest/gtest.h>
#include <map>
#include <optional>

namespace vlboot::test {

// Answers the window's dialogs from a script and records what was asked, so
// that no test waits for a person. A dialog without an answer is a failure
// and is cancelled.
struct ScriptedDialogs final : Dialogs {
    struct Asked {
        QString title, text, extra; // message box: text, icon; input: prompt, initial; file: start folder, filter
    };
    std::vector<Asked> boxes, inputs, files;
    std::function<void(const Asked&)> whileBoxShown; // acts while a box is up
    std::deque<std::optional<QString>> answers;      // of the input and file dialogs; nullopt or "": Cancel

    void ShowMessageBox(QWidget*, const QString& title, const QString& text, Icon icon) override
    {
        boxes.push_back({title, text, QString::number(int(icon))});
        if (whileBoxShown)
            whileBoxShown(boxes.back());
    }
    std::optional<QString> ShowInputBox(QWidget*, const QString& title, const QString& prompt, const QString& initial) override
    {
        inputs.push_back({title, prompt, initial});
        return next();
    }
    QString ShowOpenFileDialog(QWidget*, const QString& title, const QString& startFolder, const QString& filter) override
    {
        files.push_back({title, startFolder, filter});
        return next().value_or(QString());
    }
    std::optional<QString> next()
    {
        if (answers.empty()) {
            ADD_FAILURE() << "a dialog nobody answers";
            return std::nullopt;
        }
        const auto answer = answers.front();
        answers.pop_front();
        return answer;
    }
};

// A window started on setup.ini holding `sections` and a [Ports] map in
// which the given ports lead to their paths and all others to devices that
// do not exist, so that the port scan never touches the machine's ports.
struct Window {
    TestFolder dir;
    ScriptedDialogs dialogs;
    std::unique_ptr<VLboot> w;

    explicit Window(const QByteArray& sections = {}, const std::map<int, QString>& ports = {})
    {
        QByteArray map = "[Ports]\r\n";
        for (int n = 1; n <= PortCount; ++n) {
            const auto it = ports.find(n);
            map += "COM" + QByteArray::number(n) + "="
                + (it != ports.end() ? it->second : QStringLiteral("/nonexistent/vlboot-tty%1").arg(n)).toUtf8() + "\r\n";
        }
        dir.write("setup.ini", sections + map);
        w = std::make_unique<VLboot>(dir.path(), dialogs);
    }
    template <typename T = QWidget>
    T* control(const char* name) const
    {
        return w->findChild<T*>(QLatin1String(name));
    }
    QAction* item(const QString& name) const { return w->findChild<QAction*>(name); }
    QByteArray setupIni() const { return dir.read("setup.ini"); }
    // The port (1..16) or speed (0..2) items that carry a check mark.
    std::vector<int> checked(bool ports) const
    {
        std::vector<int> marked;
        const QStringList names = ports ? QStringList() : QStringList{"Speed_9600", "Speed_57600", "Speed_115000"};
        for (int i = ports ? 1 : 0; i <= (ports ? PortCount : 2); ++i)
            if (item(ports ? QStringLiteral("COM%1").arg(i) : names[i])->isChecked())
                marked.push_back(i);
        return marked;
    }
};

} // namespace vlboot::test
