#include "objects/firmware_image.h"

#include "base/checksums.h"
#include "base/text_safety.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>

namespace objects {
namespace {

// Larger than any drive's program; a file beyond it is not one.
constexpr qint64 image_max = qint64(16) << 20;

}  // namespace

bool parse_firmware_sidecar(const QByteArray &json, firmware_image *image, QString *error)
{
    QJsonParseError parse;
    const QJsonDocument doc = QJsonDocument::fromJson(json, &parse);
    if (parse.error != QJsonParseError::NoError || !doc.isObject()) {
        *error = QStringLiteral("不是JSON对象/not a JSON object: %1").arg(parse.errorString());
        return false;
    }
    const QJsonObject o = doc.object();
    const QJsonValue product = o.value(QStringLiteral("product"));
    if (product.isDouble()) {
        const double d = product.toDouble();
        if (d < 0 || d > 4294967295.0 || d != static_cast<double>(static_cast<uint32_t>(d))) {
            *error = QStringLiteral("产品代码无效/product is not a 32-bit number");
            return false;
        }
        image->product = static_cast<uint32_t>(d);
        image->product_known = true;
    } else if (product.isString()) {
        bool ok = false;
        const QString text = product.toString().trimmed();
        const qulonglong v = text.startsWith(QLatin1String("0x"), Qt::CaseInsensitive) ? text.mid(2).toULongLong(&ok, 16)
                                                                                       : text.toULongLong(&ok, 10);
        if (!ok || v > 0xFFFFFFFFull) {
            *error = QStringLiteral("产品代码无效/product is not a 32-bit number: %1").arg(text_safety::safe_text(text.left(40)));
            return false;
        }
        image->product = static_cast<uint32_t>(v);
        image->product_known = true;
    } else if (!product.isUndefined()) {
        *error = QStringLiteral("产品代码无效/product is not a number");
        return false;
    }
    const QJsonValue version = o.value(QStringLiteral("version"));
    if (!version.isUndefined() && !version.isString()) {
        *error = QStringLiteral("版本无效/version is not a text");
        return false;
    }
    image->version = text_safety::safe_text(version.toString().left(64));
    return true;
}

bool load_firmware_image(const QString &path, firmware_image *image, QString *error)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("无法打开/cannot open %1: %2").arg(path, f.errorString());
        return false;
    }
    if (f.size() > image_max) {
        *error = QStringLiteral("映像过大/image larger than %1 bytes").arg(image_max);
        return false;
    }
    firmware_image img;
    img.file = path;
    img.data = f.readAll();
    if (img.data.isEmpty()) {
        *error = QStringLiteral("映像为空/the image is empty");
        return false;
    }
    img.crc = checksums::crc32(img.data.constData(), static_cast<size_t>(img.data.size()));
    QFile side(path + QStringLiteral(".json"));
    if (side.exists()) {
        if (!side.open(QIODevice::ReadOnly) || side.size() > 65536) {
            *error = QStringLiteral("无法读取/cannot read %1").arg(side.fileName());
            return false;
        }
        QString why;
        if (!parse_firmware_sidecar(side.readAll(), &img, &why)) {
            *error = QStringLiteral("%1: %2").arg(side.fileName(), why);
            return false;
        }
    }
    *image = img;
    return true;
}

}  // namespace objects
