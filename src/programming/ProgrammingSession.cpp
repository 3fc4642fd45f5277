#include "ProgrammingSession.h"

#include "Bootloader.h"
#include "ComForm.h"
#include "DeviceProtocol.h"
#include "SerialNumber.h"
#include "WaitClock.h"

namespace vlboot {
namespace {

// The run's view as the caller gave it, noting the last caption and the
// explanation of a failure for the run's record.
class NotingView final : public RunView {
public:
    NotingView(RunView& view, ProgrammingSession::LastRun& last) : view_(view), last_(last) {}
    void SetCaption(const QString& caption) override
    {
        last_.caption = caption;
        view_.SetCaption(caption);
    }
    void SetProgress(float value) override { view_.SetProgress(value); }
    void ShowFailureBox() override { view_.ShowFailureBox(); }
    void ExplainFailure(const QString& why) override
    {
        last_.why = why;
        view_.ExplainFailure(why);
    }
    void ReportBytes(double sent, double total) override { view_.ReportBytes(sent, total); }
    void Warn(const QString& warning) override { view_.Warn(warning); }
    void ReportSerialNumber(std::int32_t number) override { view_.ReportSerialNumber(number); }

private:
    RunView& view_;
    ProgrammingSession::LastRun& last_;
};

} // namespace

ProgrammingSession::ProgrammingSession(const QString& configDir, std::function<QString(int comPort)> resolver)
    : settings_(configDir)
    , clock_(std::make_unique<SteadyWaitClock>())
{
    auto port = std::make_unique<ComForm>(configDir, std::move(resolver));
    serialPort_ = port.get();
    link_ = std::move(port);
    connectParts();
}

ProgrammingSession::ProgrammingSession(const QString& configDir, std::unique_ptr<Link> link, std::unique_ptr<WaitClock> clock)
    : settings_(configDir)
    , link_(std::move(link))
    , clock_(std::move(clock))
{
    connectParts();
}

ProgrammingSession::~ProgrammingSession()
{
    // The port is closed when the program is done with it, whichever way a
    // run ended.
    if (link_)
        link_->CloseMScomm();
}

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

RunOutcome ProgrammingSession::Program(const QString& fileName, RunView& view)
{
    roundTrips_.clear();
    last_ = LastRun{};
    last_.fileName = fileName;
    const double start = clock_->Now();
    NotingView noting(view, last_);
    ProgrammingRun run(*protocol_, *device_, *serials_, noting, stop_);
    // The port is the run's from its first frame until the run ends,
    // whichever way; a frame waits for the driver as long as for a reply.
    std::optional<ComForm::RunHold> hold;
    if (serialPort_) {
        serialPort_->WriteTimeout = protocol_->ReplyTimeout;
        hold.emplace(*serialPort_);
    }
    run.ProgramModule(fileName);
    link_->CloseMScomm();
    hold.reset();
    stopReport_ = run.Outcome() == RunOutcome::Stopped ? run.StopReport() : QString();
    serialNumber_ = run.SerialNumber();
    last_.outcome = run.Outcome();
    last_.deviceType = run.DeviceType;
    last_.check = run.FileCheck();
    if (run.Outcome() != RunOutcome::Success)
        last_.failedStep = run.Step();
    last_.seconds = clock_->Now() - start;
    return run.Outcome();
}

} // namespace vlboot
