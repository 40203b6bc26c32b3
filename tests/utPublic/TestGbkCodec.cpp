// Telling UTF-8 files from GBK ones, and GBK through iconv.
#include "utPublic/GbkCodec.h"

#include <QTest>

class TestGbkCodec : public QObject {
    Q_OBJECT

private slots:
    void utf8Check_data();
    void utf8Check();
    void decode_data();
    void decode();
    void encode();
    void looksLikeGbk_data();
    void looksLikeGbk();
};

void TestGbkCodec::utf8Check_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("valid");
    QTest::newRow("ASCII") << QByteArray("Row0=a^^\r\n") << true;
    QTest::newRow("Chinese") << QByteArray("循环播放") << true;
    QTest::newRow("four bytes") << QByteArray("\xF0\x9F\x8E\xB5") << true;
    QTest::newRow("GBK 循环播放") << QByteArray::fromHex("d1adbbb7b2a5b7c5") << false;
    QTest::newRow("GBK 左声道") << QByteArray::fromHex("d7f3c9f9b5c0") << false;
    QTest::newRow("overlong slash") << QByteArray("\xC0\xAF") << false;
    QTest::newRow("overlong three bytes") << QByteArray("\xE0\x80\xAF") << false;
    QTest::newRow("surrogate") << QByteArray("\xED\xA0\x80") << false;
    QTest::newRow("beyond U+10FFFF") << QByteArray("\xF4\x90\x80\x80") << false;
    QTest::newRow("cut off") << QByteArray("\xE5\xBE") << false;
    QTest::newRow("lone continuation") << QByteArray("a\x80") << false;
}

void TestGbkCodec::utf8Check() {
    QFETCH(QByteArray, bytes);
    QFETCH(bool, valid);
    QCOMPARE(IsValidUtf8(bytes), valid);
}

void TestGbkCodec::decode_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("clean");
    QTest::newRow("caption") << QByteArray::fromHex("d1adbbb7b2a5b7c5") << "循环播放" << true;
    QTest::newRow("mixed with ASCII") << QByteArray("x=\xd7\xf3\r\n") << "x=左\r\n" << true;
    QTest::newRow("bad byte, line end kept")
        << QByteArray("a\xff\nb") << QStringLiteral("a\uFFFD\nb") << false;
    QTest::newRow("cut off lead byte") << QByteArray("a\xd7") << QStringLiteral("a\uFFFD") << false;
}

void TestGbkCodec::decode() {
    QFETCH(QByteArray, bytes);
    QFETCH(QString, text);
    QFETCH(bool, clean);
    QString out;
    QCOMPARE(GbkCodec::Decode(bytes, &out), clean);
    QCOMPARE(out, text);
}

void TestGbkCodec::encode() {
    QByteArray out;
    QVERIFY(GbkCodec::Encode(u"循环播放 ok", &out));
    QCOMPARE(out, QByteArray::fromHex("d1adbbb7b2a5b7c5") + " ok");
    QVERIFY(GbkCodec::Fits(u"播完退出"));
    QVERIFY(!GbkCodec::Fits(u"🎵"));
    QVERIFY(!GbkCodec::Encode(u"a🎵", &out));
}

void TestGbkCodec::looksLikeGbk_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("gbk");
    QTest::newRow("valid UTF-8") << QByteArray("路=梅") << false;
    QTest::newRow("one stray byte beside one UTF-8 character") << QByteArray("中\xE9") << false;
    QTest::newRow("one stray byte beside two accents") << QByteArray("\xFF é è") << false;
    // 路 梅 in GBK are C2 B7 and C3 B7, valid UTF-8 for "·" and "÷".
    QTest::newRow("GBK 路梅 beside 是") << QByteArray::fromHex("c2b7c3b70acac7") << true;
    QTest::newRow("GBK 新的一节") << QByteArray::fromHex("d0c2b5c4d2bbbdda") << true;
    QTest::newRow("ASCII") << QByteArray("Row0=a^^") << false;
}

void TestGbkCodec::looksLikeGbk() {
    QFETCH(QByteArray, bytes);
    QFETCH(bool, gbk);
    QCOMPARE(LooksLikeGbk(bytes), gbk);
}

QTEST_GUILESS_MAIN(TestGbkCodec)
#include "TestGbkCodec.moc"
