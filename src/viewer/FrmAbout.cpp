#include "viewer/FrmAbout.h"

#include "ui/Fonts.h"
#include "ui/Guard.h"

#include <QLabel>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QSvgRenderer>

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

TFrmAbout::~TFrmAbout() = default;

void TFrmAbout::ButCloseClick()
{
    accept();
}

QPixmap TFrmAbout::ProgramIcon()
{
    // The application icon as installed (packaging/io.github.korvex.Korvex.svg), drawn at the
    // box's size.
    QPixmap pixmap(32, 32);
    pixmap.fill(Qt::transparent);
    QSvgRenderer renderer(QStringLiteral(":/io.github.korvex.Korvex.svg"));
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing, true);
    renderer.render(&painter, QRectF(0, 0, 32, 32));
    painter.end();
    return pixmap;
}
