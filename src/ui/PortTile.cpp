#include "PortTile.h"

#include "LineWatch.h"

#include <QFontMetrics>
#include <QLabel>
#include <QRegularExpression>
#include <QVBoxLayout>
#include <algorithm>

namespace vlboot {
namespace {

QString stateWords(const PortWatcher& port)
{
    switch (port.State()) {
    case PortState::Waiting: return QStringLiteral("WAITING");
    case PortState::Programming:
        return QStringLiteral("PROGRAMMING %1%").arg(port.Unit() ? port.Unit()->State().percent : 0);
    case PortState::Passed:
        return port.Last() && port.Last()->serialNumber ? QStringLiteral("PASSED %1").arg(*port.Last()->serialNumber)
                                                        : QStringLiteral("PASSED");
    case PortState::Failed: return QStringLiteral("FAILED");
    case PortState::Absent: return QStringLiteral("NO DEVICE");
    case PortState::Held: return QStringLiteral("HELD");
    }
    return {};
}

// Background and text colours by state: grey, blue, green, red, amber;
// white for an idle port.
QString stateStyle(int state)
{
    if (state < 0)
        return QStringLiteral("background:white;color:black;");
    switch (static_cast<PortState>(state)) {
    case PortState::Programming: return QStringLiteral("background:#1f5fa8;color:white;");
    case PortState::Passed: return QStringLiteral("background:#1e7b34;color:white;");
    case PortState::Failed: return QStringLiteral("background:#b3261e;color:white;");
    case PortState::Absent:
    case PortState::Held: return QStringLiteral("background:#f2b705;color:black;");
    case PortState::Waiting: break;
    }
    return QStringLiteral("background:#d8d8d8;color:black;");
}

// The one line beside the state: a unit's caption while it is programmed,
// else what the port says (a reason of several lines on one).
QString besideState(const PortWatcher& port)
{
    if (port.State() == PortState::Programming)
        return port.Unit() ? port.Unit()->State().caption : QString();
    if (port.State() == PortState::Passed)
        return port.Last() ? port.Last()->deviceKind : QString();
    if (port.State() == PortState::Waiting)
        return QStringLiteral("place a unit");
    return OneLine(PortStateDetail(port));
}

QLabel* label(QWidget* parent, double pointScale, bool bold)
{
    auto* l = new QLabel(parent);
    QFont font = l->font();
    font.setPointSizeF(font.pointSizeF() * pointScale);
    font.setBold(bold);
    l->setFont(font);
    l->setAlignment(Qt::AlignCenter);
    l->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred); // a long reason is cut, not a wider window
    return l;
}

} // namespace

QString OneLine(QString text)
{
    static const QRegularExpression lineBreak(QStringLiteral("\\s*[\\r\\n]+\\s*"));
    return text.replace(lineBreak, QStringLiteral(" "));
}

PortTile::PortTile(const QString& port, QWidget* parent)
    : QFrame(parent)
    , port_(label(this, 1.6, true))
    , state_(label(this, 2.6, true))
    , line_(label(this, 1.2, false))
    , counts_(label(this, 1.2, false))
{
    setFrameShape(QFrame::Box);
    setObjectName(QStringLiteral("PortTile"));
    setAutoFillBackground(true);
    port_->setText(port);
    auto* layout = new QVBoxLayout(this);
    for (QLabel* l : {port_, state_, line_, counts_})
        layout->addWidget(l);
    setMinimumSize(260, 170);
    stateSize_ = state_->font().pointSizeF();
}

void PortTile::resizeEvent(QResizeEvent* event)
{
    QFrame::resizeEvent(event);
    fitState();
    elideLine();
}

// The line beside the state in one line: its start, cut short with "..."
// where the tile ends (the whole of it in the tooltip).
void PortTile::elideLine()
{
    const int room = contentsRect().width() - 2 * layout()->contentsMargins().left();
    line_->setText(line_->fontMetrics().elidedText(lineText_, Qt::ElideRight, std::max(room, 0)));
}

// The state as big as it fits the tile's width.
void PortTile::fitState()
{
    QFont font = state_->font();
    font.setPointSizeF(stateSize_);
    const int text = QFontMetrics(font).horizontalAdvance(state_->text());
    const int room = contentsRect().width() - 2 * layout()->contentsMargins().left();
    if (text > room && text > 0)
        font.setPointSizeF(std::max(6.0, stateSize_ * room / text));
    state_->setFont(font);
}

void PortTile::Show(const PortWatcher& port)
{
    const QString beside = besideState(port);
    showState(static_cast<int>(port.State()), stateWords(port), beside);
    line_->setToolTip(port.State() == PortState::Failed && port.Last() ? port.Last()->why : beside);
    counts_->setText(QStringLiteral("passed %1   failed %2").arg(port.Passed()).arg(port.Failed()));
}

void PortTile::ShowIdle()
{
    showState(-1, QStringLiteral("STOPPED"), QStringLiteral("press Start"));
    counts_->setText(QString());
}

void PortTile::showState(int state, const QString& words, const QString& beside)
{
    if (styled_ != state) { // a style sheet costs: set only when the state changes, not on each percent
        styled_ = state;
        setStyleSheet(QStringLiteral("QFrame#PortTile, QFrame#PortTile QLabel {") + stateStyle(state) + QLatin1Char('}'));
    }
    if (state_->text() != words) {
        state_->setText(words);
        fitState();
    }
    if (lineText_ != beside) {
        lineText_ = beside;
        elideLine();
    }
    setAccessibleName(port_->text() + QLatin1Char(' ') + words + QLatin1Char(' ') + beside);
}

QString PortTile::StateText() const
{
    return state_->text();
}

QString PortTile::LineText() const
{
    return lineText_;
}

QString PortTile::CountsText() const
{
    return counts_->text();
}

} // namespace vlboot
