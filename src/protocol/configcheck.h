// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <QString>

// The rules of the values a device's configuration may carry, for the settings dialog and
// veltra-find alike. The checks return an empty string for a good value, otherwise why it is
// refused.
namespace ConfigCheck {

inline constexpr int HostNameMaxLength = 24;
inline constexpr int DomainMaxLength = 79; // the field's width less its NUL
// "user:password" whose Base64 text still fits the request's credential field whole.
inline constexpr int CredentialsMaxBytes = 93;

// What the settings dialog's address fields take while the user types: four dot-separated groups
// of up to three digits, each at most 255, a group may be empty.
QString addressInputPattern();
// A host name: a letter first, then letters, digits and "-", ending with a letter or digit.
QString hostNamePattern();

// The host-name pattern, whole, and at most 24 characters.
QString hostName(const QString &text);
// A complete dotted-quad IPv4 text: four decimal numbers 0 to 255 without leading zeros.
QString address(const QString &text);
// A complete address whose ones are contiguous from the top, and not all zero.
QString mask(const QString &text);
// A static address must be usable as a host in its network: neither the network's nor its
// broadcast address. Both texts are checked with address() and mask() first.
QString hostInNetwork(const QString &ip, const QString &mask);
QString domain(const QString &text);
// What the credential field and the credential store can hold.
QString credentials(const QString &user, const QString &password);

// The number behind a complete address; 0 for anything else.
quint32 addressValue(const QString &text);

} // namespace ConfigCheck
