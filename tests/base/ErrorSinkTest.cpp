// The process's error sink: guarded code reports there and never lets an error out, an
// installed sink replaces the default and gives way to the one it replaced.
#include "base/ErrorSink.h"
#include "base/Errors.h"

#include <QTest>

class ErrorSinkTest : public QObject {
    Q_OBJECT

private slots:
    void guardedErrorsReachTheSink_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("expected");
        QTest::newRow("library error") << 0 << "Invalid SelStart";
        QTest::newRow("standard error") << 1 << "vector";
        QTest::newRow("anything else") << 2 << "Unknown error";
    }
    void guardedErrorsReachTheSink()
    {
        QFETCH(int, kind);
        QFETCH(QString, expected);
        QStringList seen;
        const ErrorSink old = SetErrorSink([&](const std::exception& e) { seen << e.what(); });
        bool after = false;
        const bool ok = RunGuarded([&] {
            if (kind == 0)
                throw Exception("Invalid SelStart");
            if (kind == 1)
                throw std::out_of_range("vector");
            throw 42;
            after = true;
        });
        SetErrorSink(old);
        QVERIFY(!ok);
        QVERIFY(!after);
        QCOMPARE(seen, QStringList{expected});
    }

    void sinksReplaceEachOther()
    {
        QStringList first, second;
        const ErrorSink old = SetErrorSink([&](const std::exception& e) { first << e.what(); });
        ErrorSink replaced = SetErrorSink([&](const std::exception& e) { second << e.what(); });
        QVERIFY(RunGuarded([] {}));
        ReportError(Exception("one"));
        SetErrorSink(std::move(replaced));
        ReportUnknownError();
        QCOMPARE(SetErrorSink(old) != nullptr, true);
        QCOMPARE(first, QStringList{"Unknown error"});
        QCOMPARE(second, QStringList{"one"});
    }

    // A sink that fails itself (a display that cannot show) must not let that escape
    // either; the default, with no sink installed, only logs.
    void failingSinkAndDefaultStayInside()
    {
        const ErrorSink old = SetErrorSink([](const std::exception&) { throw Exception("display failed"); });
        QVERIFY(!RunGuarded([] { throw Exception("first"); }));
        SetErrorSink(nullptr);
        QVERIFY(!RunGuarded([] { throw Exception("logged"); }));
        SetErrorSink(old);
    }
};

QTEST_APPLESS_MAIN(ErrorSinkTest)
#include "ErrorSinkTest.moc"
