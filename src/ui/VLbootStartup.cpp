// The start-up of the main window: settings, port scan, command table,
// traffic window, firmware file, size, status line and reply time-out.

#include "VLboot.h"

#include "CommandTable.h"
#include "PortNames.h"
#include "TrafficWindow.h"
#include "Twips.h"

#include <QLabel>
#include <QLineEdit>

namespace vlboot {

void VLboot::Form_Load()
{
    // setup.ini of the configuration folder is the settings' file from the
    // window's construction on; the network address, then the port and the
    // speed, each selected, marked and written back.
    settings_.ReadComSettings();

    // Which ports can be opened, tried at the speed just chosen.
    ScanPorts();

    RSfunctions::InitCommandTable();

    // The traffic window belongs to the main window and shows what the link
    // reports, hidden or not.
    traffic_ = new TrafficWindow(link_, this);
    const bool debug = settings_.ReadDebugSetting();
    traffic_->SetVisibility(debug);
    if (debug)
        traffic_->SetLogOn();

    TxtVelmfile->setText(settings_.ReadFirmwareFile());

    fixedSize_ = QSize(TwipsToPixels(WidthTwips, logicalDpiX()), TwipsToPixels(HeightTwips, logicalDpiY()));
    setFixedSize(fixedSize_);

    SetCaption(QStringLiteral("Please select..."));

    device_.ReplyTimeout = 12;
}

void VLboot::ScanPorts()
{
    for (int n = 1; n <= 16; ++n) {
        COM[n]->setToolTip(PortDevicePath(n, settings_.Ini));
        // A hidden item keeps its check mark: the selected port stays in use.
        COM[n]->setVisible(ProbeComPort(link_, n, settings_.ComSpeed));
    }
}

} // namespace vlboot
