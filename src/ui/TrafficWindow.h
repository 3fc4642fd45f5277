#pragma once

#include "TrafficDisplay.h"

#include <QWidget>

class QCheckBox;
class QLabel;
class QLineEdit;

namespace vlboot {

class Link;

// The traffic window "Communication": the last frame sent (Tx), the last
// reply received (Rx) and the "Log to File" box that switches the link's
// traffic log on and off. It is the link's display for as long as it
// exists; hidden or shown, its boxes keep being updated.
class TrafficWindow : public QWidget, public TrafficDisplay {
    Q_OBJECT
public:
    // `link` must outlive the window.
    explicit TrafficWindow(Link& link, QWidget* parent = nullptr);
    ~TrafficWindow() override;

    // true: moved to the top left corner of the screen (0, 0) with its size
    // kept, and shown. false: hidden (the window still exists and its boxes
    // go on being updated; hiding is used rather than moving it off-screen,
    // which window managers may refuse).
    void SetVisibility(bool Level);

    // Ticks "Log to File" when it is not ticked, which starts a new log;
    // nothing happens when it is ticked already.
    void SetLogOn();

    void ShowOut(const QString& line) override;
    void ShowIn(const QString& line) override;

    // Client area in twips.
    static constexpr int WidthTwips = 9345;
    static constexpr int HeightTwips = 1095;

private:
    Link& link_;
    QLabel* Label1;
    QLineEdit* Text1;
    QLabel* Label2;
    QLineEdit* Text2;
    QLabel* Label3;
    QCheckBox* ChkLog;
};

} // namespace vlboot
