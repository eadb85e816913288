// SPDX-License-Identifier: Apache-2.0
#include "devsim/devicelistreader.h"

#include "protocol/deviceinfobody.h"
#include "protocol/messageheader.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QSet>

#include <cmath>

namespace {

constexpr int MaxDeviceNameLength = 255;    // the field has no fixed width; keep datagrams reasonable
constexpr int MaxCredentialsBytes = 93;     // "user:password" whose Base64 text fits the request's field
constexpr qint64 MaxMilliseconds = 3600000; // an hour; more is surely a typing error

using DeviceText::quoted;

// Where `offset` lies in `json`, as "line L, column C".
QString position(const QByteArray &json, int offset)
{
    int line = 1;
    int column = 1;
    for (int i = 0; i < offset && i < json.size(); ++i) {
        if (json.at(i) == '\n') {
            ++line;
            column = 1;
        } else {
            ++column;
        }
    }
    return QStringLiteral("line %1, column %2").arg(line).arg(column);
}

// Reads the keys of one device object onto a copy of the template.
class ObjectReader
{
public:
    explicit ObjectReader(const QJsonObject &object, QString *error) : object(object), error(error) {}

    bool text(const char *key, QString *target)
    {
        const QJsonValue value = object.value(QLatin1String(key));
        if (value.isUndefined())
            return true;
        if (!value.isString())
            return fail(key, QStringLiteral("must be a text"));
        *target = value.toString();
        return true;
    }

    bool flag(const char *key, bool *target)
    {
        const QJsonValue value = object.value(QLatin1String(key));
        if (value.isUndefined())
            return true;
        if (!value.isBool())
            return fail(key, QStringLiteral("must be true or false"));
        *target = value.toBool();
        return true;
    }

    bool integer(const char *key, qint64 minimum, qint64 maximum, qint64 *target)
    {
        const QJsonValue value = object.value(QLatin1String(key));
        if (value.isUndefined())
            return true;
        const double number = value.toDouble(std::nan(""));
        if (!value.isDouble() || std::floor(number) != number || number < double(minimum) || number > double(maximum))
            return fail(key, QStringLiteral("must be a whole number from %1 to %2").arg(minimum).arg(maximum));
        *target = qint64(number);
        return true;
    }

    bool milliseconds(const char *key, int *target)
    {
        qint64 value = *target;
        if (!integer(key, 0, MaxMilliseconds, &value))
            return false;
        *target = int(value);
        return true;
    }

    bool fail(const char *key, const QString &message)
    {
        *error = QLatin1Char('"') + QLatin1String(key) + QStringLiteral("\" ") + message;
        return false;
    }

private:
    const QJsonObject &object;
    QString *error;
};

bool readDevice(const QJsonObject &object, DeviceProfile *device, QString *error)
{
    const QStringList known = DeviceListReader::keys();
    for (auto it = object.begin(); it != object.end(); ++it) {
        if (!known.contains(it.key())) {
            *error = QStringLiteral("unknown key %1 (known keys: %2)")
                         .arg(quoted(it.key()), known.join(QStringLiteral(", ")));
            return false;
        }
    }
    if (!object.contains(QLatin1String("mac"))) {
        *error = QStringLiteral("\"mac\" is missing");
        return false;
    }

    ObjectReader reader(object, error);
    NetworkConfigBody &config = device->config;
    bool dhcp = config.isDhcp();
    bool hasHostName = false;
    if (!reader.text("mac", &device->mac) || !reader.text("deviceName", &device->deviceName) ||
        !reader.text("firmware", &device->firmware) || !reader.flag("dhcp", &dhcp) ||
        !reader.text("ip", &config.ipAddress) || !reader.text("mask", &config.subnetMask) ||
        !reader.text("domain", &config.domain) || !reader.text("gateway", &config.gateway) ||
        !reader.text("dns1", &config.primaryDns) || !reader.text("dns2", &config.secondaryDns) ||
        !reader.text("user", &device->user) || !reader.text("password", &device->password) ||
        !reader.flag("silent", &device->silent) || !reader.flag("lowercaseMac", &device->lowercaseMac) ||
        !reader.milliseconds("delay", &device->delayMs) || !reader.milliseconds("jitter", &device->jitterMs) ||
        !reader.milliseconds("restartTime", &device->restartTimeMs))
        return false;
    config.ipConfig = NetworkConfigBody::ipConfigText(dhcp);

    if (object.contains(QLatin1String("hostName"))) {
        hasHostName = true;
        if (!reader.text("hostName", &config.hostName))
            return false;
    }

    // The product type goes out as digits; a number is taken as those digits.
    const QJsonValue productType = object.value(QLatin1String("productType"));
    if (productType.isDouble()) {
        qint64 number = 0;
        if (!reader.integer("productType", 0, 999, &number))
            return false;
        device->productType = QString::number(number);
    } else if (!reader.text("productType", &device->productType)) {
        return reader.fail("productType", QStringLiteral("must be a text or a number"));
    }

    qint64 version = device->protocolVersion;
    if (!reader.integer("protocolVersion", 0, 255, &version))
        return false;
    device->protocolVersion = quint8(version);

    qint64 dropRate = device->dropPercent;
    if (!reader.integer("dropRate", 0, DeviceProfile::MaxDropPercent, &dropRate))
        return false;
    device->dropPercent = int(dropRate);

    qint64 resultCode = device->resultCode;
    if (!reader.integer("resultCode", 0, 0xffffffffLL, &resultCode))
        return false;
    device->resultCode = quint32(resultCode);

    const QJsonValue answers = object.value(QLatin1String("answers"));
    if (!answers.isUndefined()) {
        const QString scope = answers.toString();
        if (scope == QLatin1String("all"))
            device->answers = AnswerScope::All;
        else if (scope == QLatin1String("info"))
            device->answers = AnswerScope::InfoOnly;
        else if (scope == QLatin1String("config"))
            device->answers = AnswerScope::ConfigOnly;
        else if (scope == QLatin1String("read"))
            device->answers = AnswerScope::ReadOnly;
        else
            return reader.fail("answers", QStringLiteral("must be \"all\", \"info\", \"config\" or \"read\""));
    }

    config.macAddress = device->mac;
    if (!hasHostName && DeviceText::isMac(device->mac))
        config.hostName = QStringLiteral("veltra-") + device->mac.right(8).remove(QLatin1Char(':')).toLower();
    return true;
}

} // namespace

QStringList DeviceListReader::keys()
{
    return {QStringLiteral("mac"),
            QStringLiteral("deviceName"),
            QStringLiteral("firmware"),
            QStringLiteral("productType"),
            QStringLiteral("hostName"),
            QStringLiteral("dhcp"),
            QStringLiteral("ip"),
            QStringLiteral("mask"),
            QStringLiteral("domain"),
            QStringLiteral("gateway"),
            QStringLiteral("dns1"),
            QStringLiteral("dns2"),
            QStringLiteral("protocolVersion"),
            QStringLiteral("user"),
            QStringLiteral("password"),
            QStringLiteral("silent"),
            QStringLiteral("answers"),
            QStringLiteral("resultCode"),
            QStringLiteral("delay"),
            QStringLiteral("jitter"),
            QStringLiteral("restartTime"),
            QStringLiteral("lowercaseMac"),
            QStringLiteral("dropRate")};
}

std::optional<QList<DeviceProfile>> DeviceListReader::fromFile(const QString &path, const DeviceProfile &deviceTemplate,
                                                               QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("cannot read the device list %1: %2").arg(path, file.errorString());
        return std::nullopt;
    }
    // Read in bounded pieces, so that /dev/zero or a pipe that never ends stops at the limit.
    QByteArray json;
    while (json.size() <= MaxFileBytes) {
        const QByteArray piece = file.read(MaxFileBytes + 1 - json.size());
        if (piece.isEmpty())
            break;
        json += piece;
    }
    if (file.error() != QFileDevice::NoError) {
        *error = QStringLiteral("cannot read the device list %1: %2").arg(path, file.errorString());
        return std::nullopt;
    }
    if (json.size() > MaxFileBytes) {
        *error = QStringLiteral("the device list %1 is larger than %2 MiB").arg(path).arg(MaxFileBytes / (1024 * 1024));
        return std::nullopt;
    }
    QString message;
    auto devices = fromJson(json, deviceTemplate, &message);
    if (!devices)
        *error = path + QStringLiteral(": ") + message;
    return devices;
}

std::optional<QList<DeviceProfile>> DeviceListReader::fromJson(const QByteArray &json,
                                                               const DeviceProfile &deviceTemplate, QString *error)
{
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(json, &parseError);
    if (parseError.error != QJsonParseError::NoError) {
        *error =
            QStringLiteral("not valid JSON at %1: %2").arg(position(json, parseError.offset), parseError.errorString());
        return std::nullopt;
    }
    if (!document.isArray()) {
        *error = QStringLiteral("the device list must be a JSON array of device objects");
        return std::nullopt;
    }

    const QJsonArray array = document.array();
    QList<DeviceProfile> devices;
    devices.reserve(array.size());
    for (int i = 0; i < array.size(); ++i) {
        const QString where = QStringLiteral("device %1").arg(i + 1);
        if (!array.at(i).isObject()) {
            *error = where + QStringLiteral(": must be a JSON object");
            return std::nullopt;
        }
        DeviceProfile device = deviceTemplate;
        QString message;
        if (!readDevice(array.at(i).toObject(), &device, &message) || !checkDevice(device, &message)) {
            const QString mac = array.at(i).toObject().value(QLatin1String("mac")).toString();
            *error = where + (mac.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(DeviceText::shortened(mac))) +
                     QStringLiteral(": ") + message;
            return std::nullopt;
        }
        devices.append(device);
    }
    if (devices.isEmpty()) {
        *error = QStringLiteral("the device list is empty");
        return std::nullopt;
    }
    return devices;
}

bool DeviceListReader::checkList(const QList<DeviceProfile> &devices, QString *error)
{
    if (devices.isEmpty()) {
        *error = QStringLiteral("no devices to simulate: give --devices FILE and/or --count N");
        return false;
    }
    QSet<QString> seen;
    seen.reserve(devices.size());
    for (const DeviceProfile &device : devices) {
        const QString key = device.mac.toUpper();
        if (seen.contains(key)) {
            *error = QStringLiteral("the MAC address %1 is used by more than one device").arg(device.mac);
            return false;
        }
        seen.insert(key);
    }
    return true;
}

bool DeviceListReader::checkDevice(const DeviceProfile &device, QString *error)
{
    auto fail = [error](const QString &message) {
        *error = message;
        return false;
    };
    if (!DeviceText::isMac(device.mac))
        return fail(QStringLiteral("\"mac\" must be six two-digit hexadecimal groups joined by colons, "
                                   "like \"02:00:00:00:00:01\", not %1")
                        .arg(quoted(device.mac)));
    if (device.mac.compare(QLatin1String(Protocol::BroadcastMac), Qt::CaseInsensitive) == 0)
        return fail(QStringLiteral("\"mac\" must not be the broadcast address %1").arg(device.mac));

    const NetworkConfigBody &config = device.config;
    const std::pair<const char *, const QString *> addresses[] = {{"ip", &config.ipAddress},
                                                                  {"mask", &config.subnetMask},
                                                                  {"gateway", &config.gateway},
                                                                  {"dns1", &config.primaryDns},
                                                                  {"dns2", &config.secondaryDns}};
    for (const auto &[key, value] : addresses) {
        if (!DeviceText::isIpv4(*value))
            return fail(QStringLiteral("\"%1\" must be a dotted IPv4 address like \"192.168.1.10\", not %2")
                            .arg(QLatin1String(key), quoted(*value)));
    }

    // Texts must fit their fields whole and be Latin-1: a device that silently cut or changed
    // them would report something else than the list says.
    const struct
    {
        const char *key;
        const QString *value;
        int maximum;
    } texts[] = {{"deviceName", &device.deviceName, MaxDeviceNameLength},
                 {"firmware", &device.firmware, DeviceInfoBody::FirmwareWidth - 1},
                 {"productType", &device.productType, DeviceInfoBody::ProductTypeWidth - 1},
                 {"hostName", &config.hostName, NetworkConfigBody::HostNameWidth - 1},
                 {"domain", &config.domain, NetworkConfigBody::DomainWidth - 1},
                 {"user", &device.user, MaxCredentialsBytes},
                 {"password", &device.password, MaxCredentialsBytes}};
    for (const auto &text : texts) {
        if (!DeviceText::isLatin1(*text.value))
            return fail(QStringLiteral("\"%1\" holds characters outside Latin-1: %2")
                            .arg(QLatin1String(text.key), quoted(*text.value)));
        if (text.value->size() > text.maximum)
            return fail(QStringLiteral("\"%1\" is longer than %2 characters: %3")
                            .arg(QLatin1String(text.key))
                            .arg(text.maximum)
                            .arg(quoted(*text.value)));
        if (text.value->contains(QChar(0)))
            return fail(QStringLiteral("\"%1\" must not contain a NUL character").arg(QLatin1String(text.key)));
    }
    if (device.user.size() + 1 + device.password.size() > MaxCredentialsBytes)
        return fail(QStringLiteral("\"user\" and \"password\" together are longer than %1 characters; "
                                   "the program's request cannot carry them whole")
                        .arg(MaxCredentialsBytes - 1));
    return true;
}
