#include "CliSettings.h"

#include "CommandTable.h"

namespace vlboot::cli {

StartupSettings ReadStartupSettings(Settings& settings, const CliOptions& options)
{
    settings.ReadComSettings();
    RSfunctions::InitCommandTable();
    StartupSettings startup;
    startup.log = settings.ReadDebugSetting() || options.log;
    const QString remembered = settings.ReadFirmwareFile();
    startup.firmwareFile = options.firmwareFile.isEmpty() ? remembered : options.firmwareFile;

    // For this run only; SelectComPort / SelectComSpeed would store them.
    if (options.comPort)
        settings.ComPort = static_cast<std::uint8_t>(*options.comPort);
    if (options.speedIndex)
        settings.ComSpeed = *options.speedIndex;
    if (options.address)
        settings.DevAdr = *options.address;
    return startup;
}

ComForm::PortResolver PortResolverFor(const CliOptions& options)
{
    if (options.portDevice.isEmpty())
        return {};
    // Whatever port number the settings hold, it stands for this device.
    return [device = options.portDevice](int) { return device; };
}

} // namespace vlboot::cli
