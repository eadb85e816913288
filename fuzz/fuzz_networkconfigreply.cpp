// SPDX-License-Identifier: Apache-2.0
// The NetworkConfigReply reader (and the SetNetworkConfigAuth reader the simulator uses): any
// datagram of 0 to 65,507 bytes, each field read at its offset up to its NUL or width, never beyond
// the datagram's end.

#include "fuzzsupport.h"

#include "protocol/messageheader.h"
#include "protocol/networkconfigbody.h"

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    Fuzz::quietMessages();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size > size_t(Fuzz::MaxDatagramSize))
        return 0;
    const QByteArray datagram = Fuzz::bytes(data, size);

    const NetworkConfigBody config = NetworkConfigBody::fromDatagram(datagram);
    FUZZ_CHECK(config.macAddress == Fuzz::text(datagram, 124, 18));
    FUZZ_CHECK(config.hostName == Fuzz::text(datagram, 142, 25));
    FUZZ_CHECK(config.ipConfig == Fuzz::text(datagram, 167, 2));
    FUZZ_CHECK(config.ipAddress == Fuzz::text(datagram, 169, 16));
    FUZZ_CHECK(config.subnetMask == Fuzz::text(datagram, 185, 16));
    FUZZ_CHECK(config.domain == Fuzz::text(datagram, 201, 80));
    FUZZ_CHECK(config.gateway == Fuzz::text(datagram, 281, 16));
    FUZZ_CHECK(config.primaryDns == Fuzz::text(datagram, 297, 16));
    FUZZ_CHECK(config.secondaryDns == Fuzz::text(datagram, 313, 16));
    FUZZ_CHECK(config.isDhcp() == (config.ipConfig == QLatin1String("1")));

    QString credentials;
    const NetworkConfigBody auth = NetworkConfigBody::fromAuthDatagram(datagram, &credentials);
    FUZZ_CHECK(auth.macAddress.isEmpty());
    FUZZ_CHECK(auth.hostName == Fuzz::text(datagram, 124, 25));
    FUZZ_CHECK(auth.ipConfig == Fuzz::text(datagram, 149, 2));
    FUZZ_CHECK(auth.ipAddress == Fuzz::text(datagram, 151, 16));
    FUZZ_CHECK(auth.subnetMask == Fuzz::text(datagram, 167, 16));
    FUZZ_CHECK(auth.domain == Fuzz::text(datagram, 183, 80));
    FUZZ_CHECK(auth.gateway == Fuzz::text(datagram, 263, 16));
    FUZZ_CHECK(auth.primaryDns == Fuzz::text(datagram, 279, 16));
    FUZZ_CHECK(auth.secondaryDns == Fuzz::text(datagram, 295, 16));
    FUZZ_CHECK(credentials == Fuzz::text(datagram, 311, 128));

    // What was read goes out again in bodies of the fixed sizes and reads back cut to width - 1.
    const QByteArray body = config.toByteArray();
    FUZZ_CHECK(body.size() == Protocol::NetworkConfigBodySize);
    const NetworkConfigBody again = NetworkConfigBody::fromDatagram(QByteArray(Protocol::HeaderSize, '\0') + body);
    FUZZ_CHECK(again.macAddress == config.macAddress.left(17));
    FUZZ_CHECK(again.hostName == config.hostName.left(24));
    FUZZ_CHECK(again.ipConfig == config.ipConfig.left(1));
    FUZZ_CHECK(again.domain == config.domain.left(79));
    FUZZ_CHECK(again.secondaryDns == config.secondaryDns.left(15));
    const QByteArray authBody = auth.toAuthByteArray(credentials, config.domain);
    FUZZ_CHECK(authBody.size() == Protocol::AuthNetworkConfigBodySize);
    return 0;
}
