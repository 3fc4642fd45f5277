#pragma once

#include <QFrame>
#include <QString>

class QLabel;

namespace vlboot {

class PortWatcher;

// `text` on one line: each line break, with the blanks around it, becomes
// one space (a reason of several lines in a tile or a list row).
QString OneLine(QString text);

// One port of the production window, big enough to read from two metres:
// the port, its state in words ("WAITING", "PROGRAMMING 42%", "PASSED 1234",
// "FAILED", "NO DEVICE", "HELD"), one line beside it (the unit's caption,
// a failed unit's reason, why the port is absent or held) and the port's
// passed and failed units. The colour of the tile follows the state but is
// never the only sign of it.
class PortTile : public QFrame {
    Q_OBJECT
public:
    explicit PortTile(const QString& port, QWidget* parent = nullptr);

    void Show(const PortWatcher& port);
    // Before the line starts and after it stopped without a unit.
    void ShowIdle();

    QString StateText() const;
    QString LineText() const;
    QString CountsText() const;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void fitState();
    void elideLine();
    void showState(int state, const QString& words, const QString& beside);

    int styled_ = -2; // the state whose colours the tile has (-1: idle)
    double stateSize_ = 0; // the state's full point size
    QString lineText_;     // the line beside the state, whole (the label may show it cut short)
    QLabel* port_;
    QLabel* state_;
    QLabel* line_;
    QLabel* counts_;
};

} // namespace vlboot
