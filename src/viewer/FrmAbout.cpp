#include "viewer/FrmAbout.h"

#include "ui/Fonts.h"
#include "ui/Guard.h"

#include <QLabel>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>

TFrmAbout* FrmAbout = nullptr;

TFrmAbout::TFrmAbout(QWidget* parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("FrmAbout"));
    setWindowTitle(QStringLiteral("About Korvex"));
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint
        | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    const QFont font = FormFont(SansFamilies(), 8);
    setFont(font);
    setFixedSize(260, 98);

    ButClose = new QPushButton(QStringLiteral("Close"), this);
    ButClose->setObjectName(QStringLiteral("ButClose"));
    ButClose->setGeometry((260 - 75) / 2, 62, 75, 25);
    ButClose->setDefault(true);
    connect(ButClose, &QPushButton::clicked, this, [this] { Guarded([this] { ButCloseClick(); }); });

    QFont bold = font;
    bold.setBold(true);
    Label1 = new QLabel(QStringLiteral("Korvex v" KORVEX_VERSION), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setFont(bold);
    Label1->setGeometry(12, 10, 190, 16);
    Label2 = new QLabel(QStringLiteral("Contact: korvex@example.com"), this);
    Label2->setObjectName(QStringLiteral("Label2"));
    Label2->setFont(bold);
    Label2->setGeometry(12, 32, 190, 16);

    Image1 = new QLabel(this);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setPixmap(ProgramIcon());
    Image1->setGeometry(260 - 12 - 32, 10, 32, 32);
    ButClose->setFocus();
}

TFrmAbout::~TFrmAbout()
{
    if (FrmAbout == this)
        FrmAbout = nullptr;
}

void TFrmAbout::ButCloseClick()
{
    accept();
}

QPixmap TFrmAbout::ProgramIcon()
{
    // A page of an executable with its header rows and a magnifying glass.
    QPixmap pixmap(32, 32);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing, true);
    const QPolygonF page(
        {QPointF(4.5, 1.5), QPointF(20.5, 1.5), QPointF(26.5, 7.5), QPointF(26.5, 30.5), QPointF(4.5, 30.5)});
    painter.setPen(QPen(QColor(0, 0, 128), 1));
    painter.setBrush(Qt::white);
    painter.drawPolygon(page);
    painter.setBrush(QColor(192, 192, 192));
    painter.drawPolygon(QPolygonF({QPointF(20.5, 1.5), QPointF(20.5, 7.5), QPointF(26.5, 7.5)}));
    painter.setPen(Qt::NoPen);
    const QColor rows[] = {QColor(0, 0, 255), QColor(0, 0, 255), QColor(128, 0, 0), QColor(0, 128, 0)};
    for (int r = 0; r < 4; ++r) {
        painter.setBrush(rows[r]);
        painter.drawRect(QRectF(7, 10 + 4 * r, 6 + 2 * (r % 2), 2));
        painter.drawRect(QRectF(15 + (r % 2), 10 + 4 * r, 8 - (r % 2), 2));
    }
    painter.setPen(QPen(QColor(200, 0, 0), 2.5));
    painter.setBrush(QColor(255, 255, 200, 180));
    painter.drawEllipse(QPointF(19, 21), 6, 6);
    painter.drawLine(QPointF(23.5, 25.5), QPointF(29.5, 31));
    painter.end();
    return pixmap;
}
