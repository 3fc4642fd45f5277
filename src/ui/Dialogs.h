#pragma once

#include <QString>
#include <optional>

class QWidget;

namespace vlboot {

// Every modal box and dialog of the program goes through this interface, so
// that the window can be driven without a person in front of it: the program
// uses QtDialogs, the tests answer from a script.
class Dialogs {
public:
    enum class Icon { None, Information, Exclamation, Critical };

    virtual ~Dialogs() = default;

    // A modal message box with a single OK button; returns once it is closed.
    // Line breaks in `text` are CR LF.
    virtual void ShowMessageBox(QWidget* parent, const QString& title, const QString& text, Icon icon) = 0;

    // A modal single-line input dialog with OK and Cancel, its field filled
    // with `initial`. The text entered on OK (possibly empty); nothing on
    // Cancel.
    virtual std::optional<QString> ShowInputBox(QWidget* parent, const QString& title, const QString& prompt,
                                            const QString& initial)
        = 0;

    // The modal open-file dialog starting in `startFolder` with the one
    // file-type entry `filter` (a label such as "Files (*.ldr)"). The full
    // path of the chosen file; "" on Cancel.
    virtual QString ShowOpenFileDialog(QWidget* parent, const QString& title, const QString& startFolder,
                                 const QString& filter)
        = 0;
};

// The real dialogs: QMessageBox, QInputDialog and QFileDialog.
class QtDialogs final : public Dialogs {
public:
    void ShowMessageBox(QWidget* parent, const QString& title, const QString& text, Icon icon) override;
    std::optional<QString> ShowInputBox(QWidget* parent, const QString& title, const QString& prompt,
                                    const QString& initial) override;
    QString ShowOpenFileDialog(QWidget* parent, const QString& title, const QString& startFolder,
                         const QString& filter) override;
};

} // namespace vlboot
