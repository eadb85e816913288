// SPDX-License-Identifier: Apache-2.0
// The simulator's request reader: a sequence of datagrams of any content reaches a few simulated
// devices as it would from the network. Each datagram is taken from the input either as raw bytes
// or built from a request template whose fields the input chooses, so that whole requests (and
// with them configurations, restarts and credentials) are reached as well as broken ones.

#include "fuzzsupport.h"

#include "devsim/devicesimulator.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <QSet>

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    Fuzz::quietMessages();
    return 0;
}

namespace {

const QByteArray Broadcast = "FF:FF:FF:FF:FF:FF";

QList<DeviceProfile> profiles()
{
    DeviceProfile plain;
    plain.mac = QStringLiteral("02:00:00:00:00:01");
    plain.protocolVersion = 3;
    plain.restartTimeMs = 50;
    DeviceProfile secured;
    secured.mac = QStringLiteral("02:00:00:00:00:02");
    secured.password = QStringLiteral("s\u00e9cret");
    DeviceProfile lower;
    lower.mac = QStringLiteral("02:00:00:00:00:0A");
    lower.lowercaseMac = true;
    lower.dropPercent = 30;
    DeviceProfile refusing;
    refusing.mac = QStringLiteral("02:00:00:00:00:0B");
    refusing.resultCode = 7;
    refusing.answers = AnswerScope::ConfigOnly;
    return {plain, secured, lower, refusing};
}

QByteArray pickMac(FuzzedDataProvider &input, const QList<DeviceProfile> &devices)
{
    switch (input.ConsumeIntegralInRange(0, 3)) {
    case 0:
        return Broadcast;
    case 1:
        return input.ConsumeRandomLengthString(20).c_str();
    default: {
        QByteArray mac = devices.at(input.ConsumeIntegralInRange<int>(0, int(devices.size()) - 1)).mac.toLatin1();
        return input.ConsumeBool() ? mac.toLower() : mac;
    }
    }
}

QByteArray templateRequest(FuzzedDataProvider &input, const QList<DeviceProfile> &devices)
{
    static const quint32 ids[] = {RestartNetwork,       GetNetworkConfig,   SetNetworkConfig, GetDeviceInfo,
                                  SetNetworkConfigAuth, NetworkConfigReply, DeviceInfoReply};
    const quint32 id = input.ConsumeBool() ? input.PickValueInArray(ids) : input.ConsumeIntegral<quint32>();
    QByteArray datagram(Protocol::HeaderSize, '\0');
    Fuzz::putText(datagram, 0, 37, input.ConsumeIntegralInRange(0, 15) ? QByteArray(Fuzz::Key) : QByteArray("x"));
    Fuzz::putUInt32(datagram, 40, id);
    datagram[52] = char(input.ConsumeIntegral<quint8>());
    Fuzz::putText(datagram, 56, 18, pickMac(input, devices));
    Fuzz::putText(datagram, 74, 18, input.ConsumeRandomLengthString(20).c_str());
    qToLittleEndian(input.ConsumeIntegral<quint16>(), datagram.data() + 108);
    switch (id) {
    case SetNetworkConfig:
        datagram.append(QByteArray(Protocol::NetworkConfigBodySize, '\0'));
        break;
    case SetNetworkConfigAuth: {
        datagram.append(QByteArray(Protocol::AuthNetworkConfigBodySize, '\0'));
        const QByteArray credentials =
            input.ConsumeBool()
                ? NetworkConfigBody::credentialsText(QStringLiteral("admin"), QStringLiteral("s\u00e9cret"))
                : NetworkConfigBody::credentialsText(QStringLiteral("admin"), QStringLiteral("admin"));
        Fuzz::putText(datagram, 311, 128, credentials);
        break;
    }
    default:
        break;
    }
    // Body fields from the input, then maybe cut or grown.
    for (int offset = Protocol::HeaderSize; offset < datagram.size() && input.ConsumeBool();) {
        const std::string text = input.ConsumeRandomLengthString(40);
        const int width = int(qMin<size_t>(text.size(), size_t(datagram.size() - offset)));
        std::memcpy(datagram.data() + offset, text.data(), size_t(width));
        offset += width + 1;
    }
    switch (input.ConsumeIntegralInRange(0, 5)) {
    case 0:
        datagram.truncate(input.ConsumeIntegralInRange<int>(0, int(datagram.size())));
        break;
    case 1:
        datagram.append(QByteArray(input.ConsumeIntegralInRange(0, Fuzz::MaxDatagramSize - int(datagram.size())),
                                   char(input.ConsumeIntegral<char>())));
        break;
    default:
        break;
    }
    return datagram;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzedDataProvider input(data, size);
    const QList<DeviceProfile> devices = profiles();
    DeviceSimulator simulator(devices, input.ConsumeIntegral<quint32>());
    qint64 now = 0;
    while (input.remaining_bytes() > 0) {
        QByteArray datagram;
        if (input.ConsumeBool()) {
            const std::string raw = input.ConsumeRandomLengthString(Fuzz::MaxDatagramSize);
            datagram = QByteArray(raw.data(), qsizetype(raw.size()));
        } else {
            datagram = templateRequest(input, devices);
        }
        now += input.ConsumeIntegralInRange(0, 3000);
        const MessageHeader request = MessageHeader::fromDatagram(datagram);
        const QList<ScheduledReply> replies = simulator.handleDatagram(datagram, now);

        // Only whole requests with the key are answered, by the devices they name, once each.
        if (!replies.isEmpty()) {
            FUZZ_CHECK(datagram.size() >= Protocol::HeaderSize);
            FUZZ_CHECK(request.hasValidKey());
            FUZZ_CHECK(DeviceSimulator::isRequest(request.messageId));
        }
        FUZZ_CHECK(replies.size() <= simulator.deviceCount());
        QSet<int> answered;
        for (const ScheduledReply &reply : replies) {
            FUZZ_CHECK(reply.deviceIndex >= 0 && reply.deviceIndex < simulator.deviceCount());
            FUZZ_CHECK(!answered.contains(reply.deviceIndex));
            answered.insert(reply.deviceIndex);
            const SimulatedDevice &device = simulator.device(reply.deviceIndex);
            const bool named = request.destMacAddr.compare(device.profile().mac, Qt::CaseInsensitive) == 0 ||
                               request.destMacAddr.compare(QLatin1String(Broadcast), Qt::CaseInsensitive) == 0;
            FUZZ_CHECK(named);
            FUZZ_CHECK(reply.delayMs >= 0);

            const MessageHeader answer = MessageHeader::fromDatagram(reply.datagram);
            FUZZ_CHECK(reply.datagram.size() >= Protocol::HeaderSize);
            FUZZ_CHECK(answer.hasValidKey());
            FUZZ_CHECK(answer.messageId == request.messageId + 1);
            FUZZ_CHECK(answer.destMacAddr == request.srcMacAddr.left(17));
            FUZZ_CHECK(answer.srcMacAddr == device.profile().sentMac());
            FUZZ_CHECK(answer.sequenceNumber == request.sequenceNumber);
            FUZZ_CHECK(answer.payloadLength == quint32(reply.datagram.size() - Protocol::HeaderSize));
        }
    }
    return 0;
}
