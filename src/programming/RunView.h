#pragma once

#include <QString>
#include <cstdint>

namespace vlboot {

// What a programming run shows: the status caption, the progress bar and the
// failure box. The main window shows them; the command-line front end prints
// them; tests record them.
//
// The rest is what only the command-line front end shows (the window's
// outputs are fixed): why a run failed, the bytes written, warnings about a
// run that succeeds but leaves the unit doubtful, and the serial number a
// fixture got.
class RunView {
public:
    virtual ~RunView() = default;
    // The status line; the text stays until the next caption.
    virtual void SetCaption(const QString& caption) = 0;
    // The progress bar, 0..100 (fractions are the front end's to show).
    virtual void SetProgress(float value) = 0;
    // The modal "Warning" box "Error!", two line breaks, "Fault during
    // upload."; returns when the user has closed it. Shown at the end of a
    // run that failed, once its record is kept (the station shows it).
    virtual void ShowFailureBox() = 0;
    // Why the run failed, in plain words (file and line, request and status),
    // said just before the failure box.
    virtual void ExplainFailure(const QString& why) { (void)why; }
    // Data bytes written so far out of the file's total, after every record.
    virtual void ReportBytes(double sent, double total) { (void)sent; (void)total; }
    // Something doubtful about a run that goes on, as soon as it is known.
    virtual void Warn(const QString& warning) { (void)warning; }
    // The serial number given out to a fixture, just before it is written
    // into it (the counter has moved on).
    virtual void ReportSerialNumber(std::int32_t number) { (void)number; }
    // The kind of device the run works with (DeviceTypes), once detected.
    virtual void ReportDevice(std::uint8_t deviceType) { (void)deviceType; }
};

} // namespace vlboot
