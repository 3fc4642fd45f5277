#include "ProgrammingSession.h"

#include "Bootloader.h"
#include "ComForm.h"
#include "DeviceProtocol.h"
#include "SerialNumber.h"
#include "WaitClock.h"

namespace vlboot {

ProgrammingSession::ProgrammingSession(const QString& configDir, std::function<QString(int comPort)> resolver)
    : settings_(configDir)
    , link_(std::make_unique<ComForm>(configDir, std::move(resolver)))
    , clock_(std::make_unique<SteadyWaitClock>())
{
    connectParts();
}

ProgrammingSession::ProgrammingSession(const QString& configDir, std::unique_ptr<Link> link, std::unique_ptr<WaitClock> clock)
    : settings_(configDir)
    , link_(std::move(link))
    , clock_(std::move(clock))
{
    connectParts();
}

// (Every run closes the port at its end; the link closes it when it goes.)
ProgrammingSession::~ProgrammingSession() = default;

void ProgrammingSession::connectParts()
{
    protocol_ = std::make_unique<DeviceProtocol>(*link_, settings_, *clock_, stop_);
    device_ = std::make_unique<Bootloader>(*protocol_);
    serials_ = std::make_unique<SettingsSerialNumbers>(settings_.Ini);
    protocol_->ExchangeCompleted = [this](double seconds) { roundTrips_.push_back(seconds); };
}

void ProgrammingSession::SetSerialNumberSource(std::unique_ptr<SerialNumberSource> source)
{
    serials_ = std::move(source);
}

ProgrammingSession::Startup ProgrammingSession::ReadStartup()
{
    settings_.ReadComSettings();
    Startup startup;
    startup.debug = settings_.ReadDebugSetting();
    startup.firmwareFile = settings_.ReadFirmwareFile();
    return startup;
}

const RunReport& ProgrammingSession::Program(const QString& fileName, RunView& view)
{
    roundTrips_.clear();
    const double start = clock_->Now();
    ProgrammingRun run(*device_, *serials_, view, stop_, pinnedSha256_);
    {
        // The port is the run's from its first frame until the run ends,
        // whichever way; a frame waits for the driver as long as for a reply.
        link_->SetWriteTimeout(protocol_->ReplyTimeout);
        const RunHold hold(*link_);
        last_ = run.ProgramModule(fileName);
        link_->CloseMScomm();
    }
    last_.roundTrips = roundTrips_;
    last_.seconds = clock_->Now() - start;
    return last_;
}

} // namespace vlboot
