// Draws every picture the program ships. Usage:
//   tessaly-draw-icons <repository root> <spinner frame folder>
// Writes resources/icons/*, resources/iconImg/*.png and the demo platform's icons; the spinner is
// written as PNG frames for ImageMagick to assemble (see draw.sh).

#include "brandpictures.h"
#include "catalogpictures.h"
#include "painting.h"
#include "qrpicture.h"

#include <QBuffer>
#include <QDataStream>
#include <QDir>
#include <QFile>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QImage>
#include <QTextStream>

namespace {

QTextStream &out()
{
    static QTextStream stream(stdout);
    return stream;
}

QTextStream &err()
{
    static QTextStream stream(stderr);
    return stream;
}

class Writer
{
public:
    explicit Writer(const QString &root)
        : m_root(root)
    {
    }

    bool ok() const { return m_ok; }

    // PNGs are stored uncompressed (quality 100): the program decodes its pictures at start, where
    // inflating them cost more than reading the larger files; the installer compresses them anyway.
    void write(const QImage &image, const QString &relativePath, int expectedSize, const char *format = "PNG",
               int quality = 100)
    {
        const QString path = m_root.filePath(relativePath);
        if (image.width() != expectedSize || image.height() != expectedSize) {
            fail(QStringLiteral("%1: drawn at %2x%3, wanted %4")
                     .arg(relativePath)
                     .arg(image.width())
                     .arg(image.height())
                     .arg(expectedSize));
            return;
        }
        if (!QDir().mkpath(QFileInfo(path).absolutePath()) || !image.save(path, format, quality)) {
            fail(QStringLiteral("cannot write %1").arg(path));
            return;
        }
        out() << "wrote " << relativePath << '\n';
    }

    // A Windows icon file holding one PNG-compressed image per size (read by Windows Vista and later).
    void writeIcon(const QVector<QImage> &images, const QString &relativePath)
    {
        QVector<QByteArray> pngs;
        for (const QImage &image : images) {
            QByteArray png;
            QBuffer buffer(&png);
            if (image.width() != image.height() || image.width() > 256 || !buffer.open(QIODevice::WriteOnly) ||
                !image.save(&buffer, "PNG")) {
                fail(QStringLiteral("%1: cannot encode the %2-pixel image").arg(relativePath).arg(image.width()));
                return;
            }
            pngs.append(png);
        }
        QByteArray ico;
        QDataStream stream(&ico, QIODevice::WriteOnly);
        stream.setByteOrder(QDataStream::LittleEndian);
        stream << quint16(0) << quint16(1) << quint16(images.size());
        quint32 offset = 6 + 16 * quint32(images.size());
        for (int i = 0; i < images.size(); ++i) {
            const int size = images.at(i).width();
            stream << quint8(size == 256 ? 0 : size) << quint8(size == 256 ? 0 : size) << quint8(0) << quint8(0)
                   << quint16(1) << quint16(32) << quint32(pngs.at(i).size()) << offset;
            offset += quint32(pngs.at(i).size());
        }
        for (const QByteArray &png : pngs)
            stream.writeRawData(png.constData(), png.size());

        const QString path = m_root.filePath(relativePath);
        QFile file(path);
        if (!QDir().mkpath(QFileInfo(path).absolutePath()) || !file.open(QIODevice::WriteOnly) ||
            file.write(ico) != ico.size()) {
            fail(QStringLiteral("cannot write %1").arg(path));
            return;
        }
        out() << "wrote " << relativePath << '\n';
    }

    void fail(const QString &message)
    {
        err() << "tessaly-draw-icons: " << message << '\n';
        m_ok = false;
    }

private:
    QDir m_root;
    bool m_ok = true;
};

} // namespace

int main(int argc, char *argv[])
{
    QGuiApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 3) {
        err() << "usage: tessaly-draw-icons <repository root> <spinner frame folder>\n";
        return 2;
    }
    if (!QFontDatabase().families().contains(Paint::CjkFamily)) {
        err() << "tessaly-draw-icons: font family \"" << Paint::CjkFamily << "\" is not installed\n";
        return 1;
    }

    Writer writer(args.at(1));
    const QString icons = QStringLiteral("resources/icons/");

    // The window icon: the system shows it at 16 to 64 pixels.
    writer.write(BrandPictures::applicationMark(128, true), icons + "application_icon.png", 128);
    // The same mark as the Windows program's file icon, at the sizes Explorer asks for.
    QVector<QImage> iconSizes;
    for (const int size : {16, 24, 32, 48, 64, 128, 256})
        iconSizes.append(BrandPictures::applicationMark(size, true));
    writer.writeIcon(iconSizes, QStringLiteral("resources/windows/tessaly.ico"));
    writer.write(BrandPictures::applicationMark(90, false), icons + "title_icon.png", 90);
    writer.write(BrandPictures::applicationMark(40, false), icons + "logindialoglabel.png", 40);
    writer.write(BrandPictures::contactHeadset(50), icons + "concatus.png", 50);
    writer.write(BrandPictures::minimise(32), icons + "min_black.png", 32);
    writer.write(BrandPictures::closeCross(32, Qt::white), icons + "close_white.png", 32);
    writer.write(BrandPictures::closeCross(32, QColor(0x33, 0x33, 0x33)), icons + "close_dialog.png", 32);
    writer.write(BrandPictures::notice(64), icons + "note.png", 64);
    writer.write(BrandPictures::signedOutUser(50), icons + "login_white.png", 50);
    writer.write(BrandPictures::defaultAvatar(60), icons + "defalut_title_head_img.png", 60);
    writer.write(BrandPictures::defaultAvatar(120), icons + "defalut_head_img.png", 120);

    // The official-account code; checked again after the lossy save so a scanner can read it.
    QString problem;
    const QrPicture qr = QrPicture::encode("https://mp.tessaly.invalid/official-account", 180, &problem);
    if (qr.image.isNull()) {
        writer.fail(problem);
    } else {
        const QString qrFile = icons + "tessalygongzhonghao.jpg";
        writer.write(qr.image, qrFile, 180, "JPG", 95);
        if (!qr.matches(QImage(QDir(args.at(1)).filePath(qrFile)), &problem))
            writer.fail(QStringLiteral("%1 does not read back: %2").arg(qrFile, problem));
    }

    // Built-in catalog icons at the tile's icon size, so they are shown as drawn.
    for (const CatalogPictures::Picture &picture : CatalogPictures::catalogIcons(80))
        writer.write(picture.image, QStringLiteral("resources/iconImg/") + picture.fileName, 80);
    for (const CatalogPictures::Picture &picture : CatalogPictures::demoIcons(128))
        writer.write(picture.image, QStringLiteral("tools/platform-sim/demo/files/icons/") + picture.fileName, 128);

    const QVector<QImage> frames = BrandPictures::spinnerFrames(64, 12);
    const QDir frameDir(args.at(2));
    for (int i = 0; i < frames.size(); ++i) {
        const QString name = QStringLiteral("frame_%1.png").arg(i, 2, 10, QLatin1Char('0'));
        if (!frames.at(i).save(frameDir.filePath(name), "PNG"))
            writer.fail(QStringLiteral("cannot write spinner frame %1").arg(frameDir.filePath(name)));
    }

    return writer.ok() ? 0 : 1;
}
