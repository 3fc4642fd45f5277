// The commands of the main window's menus and buttons.

#include "VLboot.h"

#include <QCoreApplication>

#include "Version.h"

#include <QDir>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <algorithm>

namespace vlboot {
namespace {

// The text a chosen file gets in a file box: its full path.
QString chosenFileText(const QString& file)
{
    return QDir::toNativeSeparators(QFileInfo(file).absoluteFilePath());
}

} // namespace

void VLboot::COM_Click(int n)
{
    // The port is opened with the new number by the next frame, not now.
    station_.settings().SelectComPort(n);
}

void VLboot::Speed_Click(int index)
{
    station_.settings().SelectComSpeed(index);
}

void VLboot::Com_Adress_Click()
{
    const std::optional<QString> entered = dialogs_.ShowInputBox(
        this, QStringLiteral("Network Address"), QStringLiteral("Enter Amplifier Network address"), station_.settings().DevAdr);
    // Cancel and an empty entry leave the address as it was.
    if (!entered || entered->isEmpty())
        return;
    station_.settings().StoreDevAdr(*entered);
}

void VLboot::About_Click()
{
    // Version 1.0.0 reads "Version 1.00": minor and revision run together.
    const QString text = QStringLiteral("Velmora Bootloader\r\n\r\nVersion %1.%2%3\r\nJune 2006")
                             .arg(VersionMajor)
                             .arg(VersionMinor)
                             .arg(VersionPatch);
    dialogs_.ShowMessageBox(this, QStringLiteral("About"), text, Dialogs::Icon::None);
}

QString VLboot::browseStartFolder(const QString& boxText) const
{
    if (boxText.size() >= 2) {
        // The folder part of the text, its last separator included; without
        // a separator, its first character.
        const qsizetype cut = std::max(boxText.lastIndexOf(QLatin1Char('\\')), boxText.lastIndexOf(QLatin1Char('/')));
        const QString folder = cut >= 0 ? boxText.left(cut + 1) : boxText.left(1);
        if (QFileInfo(folder).isDir())
            return folder;
    }
    return QDir::toNativeSeparators(QDir(station_.settings().ConfigDir).absolutePath() + QLatin1Char('/'));
}

QString VLboot::BrowseForFile(QLineEdit* Box)
{
    const QString chosen = dialogs_.ShowOpenFileDialog(this, QStringLiteral("Open"), browseStartFolder(Box->text()),
                                                       QStringLiteral("Files (*.ldr)"));
    if (chosen.isEmpty())
        return QString();
    Box->setText(chosenFileText(chosen));
    return Box->text();
}

void VLboot::BtnVelmbrowse_Click()
{
    if (!BrowseForFile(TxtVelmfile).isEmpty())
        station_.settings().StoreFirmwareFile(TxtVelmfile->text());
}

void VLboot::FirmwareFileChosen(const QString& file)
{
    TxtVelmfile->setText(chosenFileText(file));
    station_.settings().StoreFirmwareFile(TxtVelmfile->text());
}

void VLboot::BtnStart_Click()
{
    if (running_)
        return;
    // The file controls and the button itself are off for the run; the
    // menus stay usable.
    BtnStart->setEnabled(false);
    LblVelm->setEnabled(false);
    TxtVelmfile->setEnabled(false);
    BtnVelmbrowse->setEnabled(false);
    Frame1->setEnabled(false);

    running_ = true;
    // The unit's line in runs.csv (and its row in the production database,
    // when one is set) is kept before the end shows; the window's outputs
    // are fixed, so a record that cannot be kept, or waits to be sent,
    // shows nothing (see decisions.md).
    station_.Program(TxtVelmfile->text(), *this);
    running_ = false;

    LblVelm->setEnabled(true);
    TxtVelmfile->setEnabled(true);
    BtnVelmbrowse->setEnabled(true);
    Frame1->setEnabled(true);
    BtnStart->setEnabled(true);
    // Exit chosen during the run: the run has ended quietly, the program
    // ends now.
    if (station_.Session().Stop().Requested())
        QCoreApplication::exit(0);
}

} // namespace vlboot
