// The start-up of the main window: the station's start-up (settings,
// [Production], the serial-number source), the port scan, the traffic
// window, the firmware file, the size and the status line.

#include "VLboot.h"

#include "Link.h"
#include "Platform.h"
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
    // With a production database, fixtures' serial numbers come from it and
    // every run's record goes into it too.
    station_.StartUp();
    const ProgrammingSession::Startup& startup = station_.Startup();
    // (The window's own outputs are fixed: a setup.ini it cannot read is said on standard error.)
    for (const QString& note : station_.StartupNotes())
        platform::WriteStandardError((QStringLiteral("vlboot: ") + note + QLatin1Char('\n')).toLocal8Bit());

    // Which ports can be opened, tried at the speed just chosen.
    scanPorts();

    // The traffic window belongs to the main window and shows what the link
    // reports, hidden or not.
    traffic_ = new TrafficWindow(station_.link(), this);
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
        COM[n]->setToolTip(station_.link().DevicePathOf(n));
        // A hidden item keeps its check mark: the selected port stays in use.
        COM[n]->setVisible(station_.link().CanOpen(n, station_.settings().ComSpeed));
    }
}

} // namespace vlboot
