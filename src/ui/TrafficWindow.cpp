#include "TrafficWindow.h"

#include "Link.h"
#include "Twips.h"

#include <QCheckBox>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <algorithm>

namespace vlboot {

TrafficWindow::TrafficWindow(Link& link, QWidget* parent)
    : QWidget(parent, Qt::Window)
    , link_(link)
{
    setWindowTitle(QStringLiteral("Communication"));
    resize(TwipsToPixels(WidthTwips, logicalDpiX()), TwipsToPixels(HeightTwips, logicalDpiY()));

    Label1 = PlaceControl<QLabel>(this, "Label1", 120, 240, 375, 255);
    Label1->setText(QStringLiteral("Tx"));
    Text1 = PlaceControl<QLineEdit>(this, "Text1", 600, 120, 7695, 375);
    Text1->setReadOnly(true);
    Label2 = PlaceControl<QLabel>(this, "Label2", 120, 720, 375, 255);
    Label2->setText(QStringLiteral("Rx"));
    Text2 = PlaceControl<QLineEdit>(this, "Text2", 600, 600, 7695, 375);
    Text2->setReadOnly(true);
    Label3 = PlaceControl<QLabel>(this, "Label3", 8400, 240, 855, 255);
    Label3->setText(QStringLiteral("Log to File"));
    // Designed for a narrower font: the text gets the room it needs up to
    // the window's edge, and a smaller font where even that is too narrow.
    const int room = width() - Label3->x();
    QFont font = Label3->font();
    while (QFontMetrics(font).horizontalAdvance(Label3->text()) > room && font.pointSizeF() > 5)
        font.setPointSizeF(font.pointSizeF() - 0.5);
    Label3->setFont(font);
    Label3->resize(std::max(Label3->width(), std::min(room, QFontMetrics(font).horizontalAdvance(Label3->text()))),
                   Label3->height());
    ChkLog = PlaceControl<QCheckBox>(this, "ChkLog", 8520, 600, 255, 255);
    ChkLog->setChecked(link.Logging());

    // Every change of the tick is the box's click action, whether the user
    // clicked or SetLogOn ticked it.
    connect(ChkLog, &QCheckBox::toggled, this, [this](bool checked) {
        link_.SetLogging(checked);
    });

    link.SetDisplay(this);
}

TrafficWindow::~TrafficWindow()
{
    if (link_.Display() == this)
        link_.SetDisplay(nullptr);
}

void TrafficWindow::SetVisibility(bool Level)
{
    if (Level) {
        move(0, 0);
        show();
    } else {
        hide();
    }
}

void TrafficWindow::SetLogOn()
{
    if (!ChkLog->isChecked())
        ChkLog->setChecked(true);
}

void TrafficWindow::ShowOut(const QString& line)
{
    Text1->setText(line);
    Text1->setCursorPosition(0); // a long frame shows from its start
}

void TrafficWindow::ShowIn(const QString& line)
{
    Text2->setText(line);
    Text2->setCursorPosition(0);
}

} // namespace vlboot
