#include "Dialogs.h"

#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>

namespace vlboot {
namespace {

QMessageBox::Icon boxIcon(Dialogs::Icon icon)
{
    switch (icon) {
    case Dialogs::Icon::Information: return QMessageBox::Information;
    case Dialogs::Icon::Exclamation: return QMessageBox::Warning;
    case Dialogs::Icon::Critical: return QMessageBox::Critical;
    case Dialogs::Icon::None: break;
    }
    return QMessageBox::NoIcon;
}

// The boxes' texts break lines with CR LF; a label shows a lone LF.
QString shownText(QString text)
{
    return text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
}

} // namespace

void QtDialogs::ShowMessageBox(QWidget* parent, const QString& title, const QString& text, Icon icon)
{
    QMessageBox box(boxIcon(icon), title, shownText(text), QMessageBox::Ok, parent);
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

std::optional<QString> QtDialogs::ShowInputBox(QWidget* parent, const QString& title, const QString& prompt,
                                           const QString& initial)
{
    bool ok = false;
    const QString text = QInputDialog::getText(parent, title, shownText(prompt), QLineEdit::Normal, initial, &ok);
    if (!ok)
        return std::nullopt;
    return text;
}

QString QtDialogs::ShowOpenFileDialog(QWidget* parent, const QString& title, const QString& startFolder,
                                const QString& filter)
{
    QString selected = filter;
    return QFileDialog::getOpenFileName(parent, title, startFolder, filter, &selected);
}

} // namespace vlboot
