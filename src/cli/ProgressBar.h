#pragma once

#include <QByteArray>
#include <QString>
#include <functional>
#include <optional>

namespace vlboot::cli {

// The one-line progress bar on a terminal's standard error:
//   [############------------]  50%  32768/65536 bytes  12.3 kB/s  0:03 left
// redrawn in place with a carriage return and an erase to the line's end, at
// most ten times a second (the full bar is always drawn), and ended with a
// line feed before anything else is printed. When the terminal's width
// changes, the bar goes on on a new line.
class ProgressBar {
public:
    using Writer = std::function<void(const QByteArray&)>;
    using Clock = std::function<double()>; // monotonic seconds
    using Columns = std::function<int()>;  // the terminal's width now, 0 when unknown

    ProgressBar(Writer write, Clock clock, Columns columns = {});

    // The bar value 0..100 and the data bytes written out of the total.
    void Update(float percent, double sent, double total);
    // Draws a state held back by the rate limit, then ends the line. Nothing
    // when no bar is on the line.
    void FinishLine();
    bool LineOpen() const { return lineOpen_; }

    // The text of the bar, without the carriage return, narrower than
    // `columns` when that is not 0: the bar shrinks, then the time left, the
    // rate and the byte count are left out in that order.
    static QString Render(float percent, double sent, double total, std::optional<double> bytesPerSecond, int columns = 0);
    // "850 B/s", "12.3 kB/s", "1.15 MB/s".
    static QString RateText(double bytesPerSecond);
    // "0:07", "12:34", "1:02:03".
    static QString DurationText(double seconds);

    static constexpr double MinRedrawSeconds = 0.1;
    static constexpr int BarWidth = 24;
    static constexpr int MinBarWidth = 5;

private:
    void draw();

    Writer write_;
    Clock clock_;
    Columns columns_;
    bool lineOpen_ = false;
    bool pending_ = false; // a state that has not been drawn yet
    int drawnColumns_ = 0; // the terminal's width when the line was drawn
    std::optional<double> lastDraw_;
    std::optional<double> startTime_;
    double startBytes_ = 0;
    float percent_ = 0;
    double sent_ = 0;
    double total_ = 0;
};

} // namespace vlboot::cli
