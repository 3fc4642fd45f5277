// The start-up of the main window: settings, port scan, command table,
// traffic window, firmware file, size, status line and reply time-out.

#include "VLboot.h"

#include "PlatformSerial.h"
#include "TrafficWindow.h"
#include "Twips.h"

#include <QAction>
#include <QLabel>
#include <QLineEdit>

namespace vlboot {

void VLboot::Form_Load()
{
    // setup.ini of the configuration folder: the network address, then the
    // port and the speed, each selected, marked and written back, then the
    // debug setting and the remembered firmware file.
    const ProgrammingSession::Startup startup = session_.ReadStartup();
    // With a production database, fixtures' serial numbers come from it and
    // every run's record goes into it too.
    production_ = ReadProductionSetup(session_.settings().Ini);
    UseProductionDatabase(session_, production_.database);

    // Which ports can be opened, tried at the speed just chosen.
    scanPorts();

    // The traffic window belongs to the main window and shows what the link
    // reports, hidden or not.
    traffic_ = new TrafficWindow(port(), this);
    traffic_->SetVisibility(startup.debug);
    if (startup.debug)
        traffic_->SetLogOn();

    TxtVelmfile->setText(startup.firmwareFile);

    outerSize_ = QSize(TwipsToPixels(WidthTwips, logicalDpiX()), TwipsToPixels(HeightTwips, logicalDpiY()));
    fitToFrame();

    SetCaption(QStringLiteral("Please select..."));
}

void VLboot::scanPorts()
{
    for (int n = 1; n <= PortCount; ++n) {
        COM[n]->setToolTip(PortDevicePath(n, session_.settings().Ini));
        // A hidden item keeps its check mark: the selected port stays in use.
        COM[n]->setVisible(ProbeComPort(port(), n, session_.settings().ComSpeed));
    }
}

} // namespace vlboot
