// SPDX-License-Identifier: Apache-2.0
// The icons compiled into veltra_core: each one loads from its resource path at its size, with a
// transparent background, and QIcon picks its "@2x" twin on a screen of device pixel ratio 2.
//
// This test links veltra_core (a static library) and never calls Q_INIT_RESOURCE: the icons being
// there at all shows that the resources reach every program that links the library.

#include <QFile>
#include <QGuiApplication>
#include <QIcon>
#include <QImage>
#include <QPixmap>
#include <QTest>

class TestIcons : public QObject
{
    Q_OBJECT

private slots:
    void screenHasDevicePixelRatio2();
    void image_data();
    void image();
    void iconPicksDoubleSizeImage_data();
    void iconPicksDoubleSizeImage();
    void iconKeepsSingleSizeImageAtRatio1_data();
    void iconKeepsSingleSizeImageAtRatio1();

private:
    static void addIconRows();
    static void addImageRows();
};

namespace {

// Every icon of the program: its resource name (":/<name>") and its size in device-independent
// pixels, which is also the pixel size of the single-size file.
struct Icon
{
    const char *name;
    int size;
};

constexpr Icon icons[] = {
    {"vorq", 32}, {"scan", 32},       {"edit", 32},  {"about", 32},
    {"web", 32},  {"exportconn", 32}, {"trash", 16}, {"warning", 32},
};

// Same pixels, whatever the formats the images were loaded or painted in. A pixmap keeps its pixels
// premultiplied, which rounds the colour of partly transparent pixels: compare in that form.
bool samePixels(const QImage &a, const QImage &b)
{
    return a.size() == b.size() && a.convertToFormat(QImage::Format_ARGB32_Premultiplied) ==
                                       b.convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

} // namespace

// The files themselves: each icon and its "@2x" twin, with the pixel size of the file.
void TestIcons::addImageRows()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<int>("size");
    for (const Icon &icon : icons) {
        const QString path = QStringLiteral(":/") + QLatin1String(icon.name);
        QTest::newRow(icon.name) << path << icon.size;
        QTest::newRow((QByteArray(icon.name) + "@2x").constData()) << path + QStringLiteral("@2x") << 2 * icon.size;
    }
}

// Every icon of the program with its size in device-independent pixels.
void TestIcons::addIconRows()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<int>("size");
    for (const Icon &icon : icons)
        QTest::newRow(icon.name) << QStringLiteral(":/") + QLatin1String(icon.name) << icon.size;
}

// main() below sets up a screen of ratio 2 so that QIcon looks for "@2x" files; make sure it took.
void TestIcons::screenHasDevicePixelRatio2()
{
    QCOMPARE(qApp->devicePixelRatio(), 2.0);
}

void TestIcons::image_data()
{
    addImageRows();
}

void TestIcons::image()
{
    QFETCH(QString, path);
    QFETCH(int, size);

    QVERIFY2(QFile::exists(path), qPrintable(path));
    const QImage image(path);
    QVERIFY2(!image.isNull(), qPrintable(path));
    QCOMPARE(image.size(), QSize(size, size));
    QVERIFY(image.hasAlphaChannel());

    // Transparent background: the corners are clear, a good part of the square is drawn on.
    const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
    for (const QPoint corner : {QPoint(0, 0), QPoint(size - 1, 0), QPoint(0, size - 1), QPoint(size - 1, size - 1)})
        QCOMPARE(qAlpha(argb.pixel(corner)), 0);
    int visible = 0;
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            if (qAlpha(argb.pixel(x, y)) > 0)
                ++visible;
        }
    }
    QVERIFY2(visible >= size * size / 5, qPrintable(QStringLiteral("only %1 visible pixels").arg(visible)));
}

void TestIcons::iconPicksDoubleSizeImage_data()
{
    addIconRows();
}

// What a high-density screen shows: QIcon(":/scan") also holds ":/scan@2x" and paints from it, not
// from the single-size image scaled up.
void TestIcons::iconPicksDoubleSizeImage()
{
    QFETCH(QString, path);
    QFETCH(int, size);

    const QIcon icon(path);
    QVERIFY(!icon.isNull());
    const QList<QSize> sizes = icon.availableSizes();
    QVERIFY2(sizes.contains(QSize(size, size)), qPrintable(path));
    QVERIFY2(sizes.contains(QSize(2 * size, 2 * size)), qPrintable(path));

    const QPixmap pixmap = icon.pixmap(QSize(size, size), 2.0);
    QCOMPARE(pixmap.devicePixelRatio(), 2.0);
    QCOMPARE(pixmap.size(), QSize(2 * size, 2 * size));
    QVERIFY(samePixels(pixmap.toImage(), QImage(path + QStringLiteral("@2x"))));
}

void TestIcons::iconKeepsSingleSizeImageAtRatio1_data()
{
    addIconRows();
}

// Where the program paints at ratio 1 (a second, ordinary screen), the single-size image is used as
// it is.
void TestIcons::iconKeepsSingleSizeImageAtRatio1()
{
    QFETCH(QString, path);
    QFETCH(int, size);

    const QPixmap pixmap = QIcon(path).pixmap(QSize(size, size), 1.0);
    QCOMPARE(pixmap.devicePixelRatio(), 1.0);
    QCOMPARE(pixmap.size(), QSize(size, size));
    QVERIFY(samePixels(pixmap.toImage(), QImage(path)));
}

// QIcon adds the "@2x" twin of a file only when the application's device pixel ratio (the highest
// of its screens) is 2 or more at the time the icon is made. The test platform has one screen of
// ratio 1, so scale it by 2 before the application starts: that is a high-density screen as far as
// Qt is concerned.
int main(int argc, char **argv)
{
    qputenv("QT_SCALE_FACTOR", "2");
    QGuiApplication app(argc, argv);
    TestIcons test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_icons.moc"
