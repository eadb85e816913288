#pragma once

#include <QString>

// Checks of the values a configuration change may carry, made before anything is sent. Each
// returns an empty string for a good value, otherwise why it is refused.
namespace ConfigCheck {

inline constexpr int HostNameMaxLength = 24; // as the settings dialog allows
inline constexpr int DomainMaxLength = 79;   // the field's width less its NUL
// "user:password" whose Base64 text still fits the request's credential field whole.
inline constexpr int CredentialsMaxBytes = 93;

// The settings dialog's host-name rule: a letter, then letters, digits and "-", ending with a
// letter or digit; at most 24 characters.
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
