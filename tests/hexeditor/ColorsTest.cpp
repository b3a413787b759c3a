#include "hexeditor/Colors.h"
#include "hexeditor/CustomGrid.h"

#include <QtTest>

namespace {

class CountingGrid : public TCustomGrid {
public:
    int paints = 0;

protected:
    void PaintOverlay(QPainter&) override { ++paints; }
};

} // namespace

class ColorsTest : public QObject {
    Q_OBJECT

private slots:
    void defaults_data();
    void defaults();
    void publishedOrder();
    void invertColor_data();
    void invertColor();
    void settersKeepInvertedColours();
    void settersRepaintTheControl();
    void backgroundIsTheControlColour();
    void colorToQColor_data();
    void colorToQColor();
};

void ColorsTest::defaults_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<uint>("value");
    QTest::newRow("Offset") << "Offset" << uint(0x000000);
    QTest::newRow("OddColumn") << "OddColumn" << uint(0xFF0000);
    QTest::newRow("OddColumnInverted") << "OddColumnInverted" << uint(0x00FFFF);
    QTest::newRow("EvenColumn") << "EvenColumn" << uint(0x800000);
    QTest::newRow("EvenColumnInverted") << "EvenColumnInverted" << uint(0x7FFFFF);
    QTest::newRow("PositionBackground") << "PositionBackground" << uint(0x000080);
    QTest::newRow("CursorFrame") << "CursorFrame" << uint(0x800000);
    QTest::newRow("Background") << "Background" << uint(0x80000005);
    QTest::newRow("ChangedText") << "ChangedText" << uint(0x000080);
    QTest::newRow("PositionText") << "PositionText" << uint(0xFFFFFF);
    QTest::newRow("ChangedBackground") << "ChangedBackground" << uint(0xA8FFFF);
}

void ColorsTest::defaults()
{
    QFETCH(QString, name);
    QFETCH(uint, value);
    const TColors colors(nullptr);
    const QMap<QString, TColor> all{
        {"Offset", colors.Offset()},
        {"OddColumn", colors.OddColumn()},
        {"OddColumnInverted", colors.OddColumnInverted()},
        {"EvenColumn", colors.EvenColumn()},
        {"EvenColumnInverted", colors.EvenColumnInverted()},
        {"PositionBackground", colors.PositionBackground()},
        {"CursorFrame", colors.CursorFrame()},
        {"Background", colors.Background()},
        {"ChangedText", colors.ChangedText()},
        {"PositionText", colors.PositionText()},
        {"ChangedBackground", colors.ChangedBackground()},
    };
    QVERIFY(all.contains(name));
    QCOMPARE(uint(all[name]), value);
    QCOMPARE(colors.Control(), nullptr);
}

void ColorsTest::publishedOrder()
{
    QStringList names;
    TColors colors(nullptr);
    TColor value = 0x010203;
    for (const auto& property : TColors::Published()) {
        names << property.name;
        // Each entry reads and writes its own colour.
        (colors.*property.set)(value);
        QCOMPARE((colors.*property.get)(), value);
        ++value;
    }
    QCOMPARE(names,
        (QStringList{"Background", "PositionBackground", "PositionText", "ChangedBackground", "ChangedText",
            "CursorFrame", "Offset", "OddColumn", "EvenColumn"}));
    QCOMPARE(colors.Background(), TColor(0x010203));
    QCOMPARE(colors.EvenColumn(), TColor(0x01020B));
}

void ColorsTest::invertColor_data()
{
    QTest::addColumn<uint>("color");
    QTest::addColumn<uint>("inverted");
    QTest::newRow("blue") << uint(clBlue) << uint(0x00FFFF);
    QTest::newRow("navy") << uint(clNavy) << uint(0x7FFFFF);
    QTest::newRow("black") << uint(clBlack) << uint(0xFFFFFF);
    QTest::newRow("system colour not looked up") << uint(clWindow) << uint(0xFFFFFA);
    QTest::newRow("top byte dropped") << uint(0x12345678) << uint(0xCBA987);
}

void ColorsTest::invertColor()
{
    QFETCH(uint, color);
    QFETCH(uint, inverted);
    QCOMPARE(uint(InvertColor(color)), inverted);
}

void ColorsTest::settersKeepInvertedColours()
{
    TColors colors(nullptr);
    colors.SetOddColumn(0x102030);
    QCOMPARE(colors.OddColumnInverted(), TColor(0xEFDFCF));
    QCOMPARE(colors.EvenColumnInverted(), TColor(0x7FFFFF));
    colors.SetEvenColumn(clWhite);
    QCOMPARE(colors.EvenColumnInverted(), TColor(0));
    QCOMPARE(colors.OddColumnInverted(), TColor(0xEFDFCF));
}

void ColorsTest::settersRepaintTheControl()
{
    CountingGrid grid;
    grid.resize(100, 100);
    grid.show();
    QVERIFY(QTest::qWaitForWindowExposed(&grid));
    TColors colors(&grid);
    QTRY_VERIFY(grid.paints > 0);
    // Let the window's first paints pass before counting.
    for (int last = -1; last != grid.paints;) {
        last = grid.paints;
        QTest::qWait(50);
    }
    int before = grid.paints;
    colors.SetOffset(clRed);
    QTRY_VERIFY(grid.paints > before);
    before = grid.paints;
    colors.SetOffset(clRed); // unchanged: no repaint
    colors.SetCursorFrame(clNavy);
    QTest::qWait(50);
    QCOMPARE(grid.paints, before);
}

void ColorsTest::backgroundIsTheControlColour()
{
    CountingGrid grid;
    grid.resize(100, 100);
    grid.show();
    QVERIFY(QTest::qWaitForWindowExposed(&grid));
    grid.SetParentColor(true);
    TColors colors(&grid);
    const int before = grid.paints;
    colors.SetBackground(clYellow);
    QCOMPARE(grid.Color(), clYellow);
    QVERIFY(!grid.ParentColor());
    QVERIFY(grid.paints > before); // painted at once, not merely scheduled
    QCOMPARE(grid.EffectiveColor(), QColor(255, 255, 0));
}

void ColorsTest::colorToQColor_data()
{
    QTest::addColumn<uint>("color");
    QTest::addColumn<QColor>("expected");
    QPalette palette;
    palette.setColor(QPalette::Active, QPalette::Base, QColor(1, 2, 3));
    palette.setColor(QPalette::Active, QPalette::Text, QColor(4, 5, 6));
    palette.setColor(QPalette::Active, QPalette::Button, QColor(7, 8, 9));
    palette.setColor(QPalette::Active, QPalette::Highlight, QColor(10, 11, 12));
    QTest::newRow("plain") << uint(0x0080FF) << QColor(255, 128, 0);
    QTest::newRow("pale yellow") << uint(0xA8FFFF) << QColor(255, 255, 168);
    QTest::newRow("window") << uint(clWindow) << QColor(1, 2, 3);
    QTest::newRow("window text") << uint(clWindowText) << QColor(4, 5, 6);
    QTest::newRow("button face") << uint(clBtnFace) << QColor(7, 8, 9);
    QTest::newRow("highlight") << uint(clHighlight) << QColor(10, 11, 12);
}

void ColorsTest::colorToQColor()
{
    QFETCH(uint, color);
    QFETCH(QColor, expected);
    QPalette palette;
    palette.setColor(QPalette::Active, QPalette::Base, QColor(1, 2, 3));
    palette.setColor(QPalette::Active, QPalette::Text, QColor(4, 5, 6));
    palette.setColor(QPalette::Active, QPalette::Button, QColor(7, 8, 9));
    palette.setColor(QPalette::Active, QPalette::Highlight, QColor(10, 11, 12));
    QCOMPARE(ColorToQColor(color, palette), expected);
    if ((color & clSystemColor) == 0)
        QCOMPARE(uint(ColorFromQColor(expected)), color);
}

QTEST_MAIN(ColorsTest)
#include "ColorsTest.moc"
