// SPDX-License-Identifier: Apache-2.0
// The settings dialog's loadFromDatagram: any datagram of 0 to 65,507 bytes, as a device's stored
// NetworkConfigReply, fills the dialog from the fields it holds and from nothing beyond its end.
// The first byte chooses whether the dialog asks for credentials; the rest is the datagram.

#include "fuzzsupport.h"

#include "protocol/configcheck.h"
#include "ui/connectiondialog.h"

#include <QApplication>
#include <QGroupBox>

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    Fuzz::quietMessages();
    Fuzz::makeApplication<QApplication>();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1 || size > size_t(Fuzz::MaxDatagramSize) + 1)
        return 0;
    const QByteArray datagram = Fuzz::bytes(data + 1, size - 1);
    ConnectionDialog dialog(data[0] & 1);
    dialog.loadFromDatagram(datagram);

    const auto *staticGroup = dialog.findChild<QGroupBox *>();
    FUZZ_CHECK(staticGroup);
    FUZZ_CHECK(dialog.macAddress() == Fuzz::text(datagram, 74, 18));
    FUZZ_CHECK(dialog.ipConfIndex() == ConnectionDialog::StaticIndex ||
               dialog.ipConfIndex() == ConnectionDialog::DhcpIndex);
    FUZZ_CHECK(staticGroup->isEnabled() == (dialog.ipConfIndex() == ConnectionDialog::StaticIndex));
    if (Fuzz::uint32(datagram, 44) != 0) {
        // A failed reply fills nothing.
        FUZZ_CHECK(dialog.hostname().isEmpty() && dialog.ipAddress().isEmpty() && dialog.domain().isEmpty());
        FUZZ_CHECK(dialog.ipConfIndex() == ConnectionDialog::StaticIndex);
        return 0;
    }
    FUZZ_CHECK(dialog.hostname() == Fuzz::text(datagram, 142, 25).left(ConfigCheck::HostNameMaxLength));
    const QString flag = Fuzz::text(datagram, 167, 2);
    FUZZ_CHECK((dialog.ipConfIndex() == ConnectionDialog::DhcpIndex) == (flag.toInt() == 1));
    FUZZ_CHECK(dialog.ipAddress() == Fuzz::text(datagram, 169, 16));
    FUZZ_CHECK(dialog.subnetMask() == Fuzz::text(datagram, 185, 16));
    FUZZ_CHECK(dialog.domain() == Fuzz::text(datagram, 201, 80).left(ConfigCheck::DomainMaxLength));
    FUZZ_CHECK(dialog.gateway() == Fuzz::text(datagram, 281, 16));
    FUZZ_CHECK(dialog.primaryDns() == Fuzz::text(datagram, 297, 16));
    FUZZ_CHECK(dialog.secondaryDns() == Fuzz::text(datagram, 313, 16));
    return 0;
}
