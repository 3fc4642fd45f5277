#pragma once

#include <QString>

namespace vlboot {

// What a programming run shows: the status caption, the progress bar and the
// failure box. The main window shows them; the command-line front end prints
// them; tests record them.
class RunView {
public:
    virtual ~RunView() = default;
    // The status line; the text stays until the next caption.
    virtual void SetCaption(const QString& caption) = 0;
    // The progress bar, 0..100 (fractions are the front end's to show).
    virtual void SetProgress(float value) = 0;
    // The modal "Warning" box "Error!", two line breaks, "Fault during
    // upload."; returns when the user has closed it.
    virtual void ShowFailureBox() = 0;
    // Why the run failed, in plain words (file and line, request and status),
    // said just before the failure box. The window has no place for it.
    virtual void ExplainFailure(const QString& why) { (void)why; }
    // Data bytes written so far out of the file's total, after every record.
    virtual void ReportBytes(double sent, double total) { (void)sent; (void)total; }
};

} // namespace vlboot
