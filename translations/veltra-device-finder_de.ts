<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de_DE" sourcelanguage="en">
<context>
    <name>ConfigCheck</name>
    <message>
        <source>longer than %1 characters</source>
        <translation>länger als %1 Zeichen</translation>
    </message>
    <message>
        <source>must start with a letter, hold only letters, digits and &quot;-&quot;, end with a letter or digit and be at least two characters long</source>
        <translation>muss mit einem Buchstaben beginnen, nur Buchstaben, Ziffern und „-“ enthalten, mit einem Buchstaben oder einer Ziffer enden und mindestens zwei Zeichen lang sein</translation>
    </message>
    <message>
        <source>must be a complete IPv4 address such as 192.168.1.20</source>
        <translation>muss eine vollständige IPv4-Adresse sein, etwa 192.168.1.20</translation>
    </message>
    <message>
        <source>must be a subnet mask of contiguous bits such as 255.255.255.0</source>
        <translation>muss eine Subnetzmaske aus zusammenhängenden Bits sein, etwa 255.255.255.0</translation>
    </message>
    <message>
        <source>%1 is the network address of mask %2</source>
        <translation>%1 ist die Netzadresse der Maske %2</translation>
    </message>
    <message>
        <source>%1 is the broadcast address of mask %2</source>
        <translation>%1 ist die Broadcast-Adresse der Maske %2</translation>
    </message>
    <message>
        <source>holds characters outside Latin-1</source>
        <translation>enthält Zeichen außerhalb von Latin-1</translation>
    </message>
    <message>
        <source>holds a NUL character</source>
        <translation>enthält ein NUL-Zeichen</translation>
    </message>
    <message>
        <source>hold characters outside Latin-1</source>
        <translation>enthalten Zeichen außerhalb von Latin-1</translation>
    </message>
    <message>
        <source>hold a NUL character</source>
        <translation>enthalten ein NUL-Zeichen</translation>
    </message>
    <message>
        <source>the user name holds a &quot;:&quot;, which ends it on the device&apos;s side</source>
        <translation>der Benutzername enthält ein „:“, das ihn auf der Seite des Geräts beendet</translation>
    </message>
    <message>
        <source>user name and password together are longer than %1 characters</source>
        <translation>Benutzername und Passwort sind zusammen länger als %1 Zeichen</translation>
    </message>
</context>
<context>
    <name>ConnectionDialog</name>
    <message>
        <source>Connection properties</source>
        <translation>Verbindungseigenschaften</translation>
    </message>
    <message>
        <source>static</source>
        <translation>statisch</translation>
    </message>
    <message>
        <source>DHCP</source>
        <translation>DHCP</translation>
    </message>
    <message>
        <source>Static configuration</source>
        <translation>Statische Konfiguration</translation>
    </message>
    <message>
        <source>A letter first, then letters, digits and hyphens, ending with a letter or digit; at most %1 characters</source>
        <translation>Zuerst ein Buchstabe, dann Buchstaben, Ziffern und Bindestriche, am Ende ein Buchstabe oder eine Ziffer; höchstens %1 Zeichen</translation>
    </message>
    <message>
        <source>Four numbers from 0 to 255 separated by dots</source>
        <translation>Vier durch Punkte getrennte Zahlen von 0 bis 255</translation>
    </message>
    <message>
        <source>Apply</source>
        <translation>Übernehmen</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Abbrechen</translation>
    </message>
    <message>
        <source>Hostname:</source>
        <translation>Hostname:</translation>
    </message>
    <message>
        <source>IP configuration:</source>
        <translation>IP-Konfiguration:</translation>
    </message>
    <message>
        <source>IP address:</source>
        <translation>IP-Adresse:</translation>
    </message>
    <message>
        <source>Subnet mask:</source>
        <translation>Subnetzmaske:</translation>
    </message>
    <message>
        <source>Domain:</source>
        <translation>Domäne:</translation>
    </message>
    <message>
        <source>Gateway IP:</source>
        <translation>Gateway-IP:</translation>
    </message>
    <message>
        <source>Primary DNS server:</source>
        <translation>Primärer DNS-Server:</translation>
    </message>
    <message>
        <source>Secondary DNS server:</source>
        <translation>Sekundärer DNS-Server:</translation>
    </message>
    <message>
        <source>&lt;h2&gt;Network Settings&lt;/h2&gt; General network parameters for device at MAC-Address &lt;b&gt;%1&lt;/b&gt;.&lt;p&gt;&lt;p&gt;</source>
        <translation>&lt;h2&gt;Netzwerkeinstellungen&lt;/h2&gt; Allgemeine Netzwerkparameter des Geräts mit der MAC-Adresse &lt;b&gt;%1&lt;/b&gt;.&lt;p&gt;&lt;p&gt;</translation>
    </message>
    <message>
        <source>%1 %2.

Nothing has been sent.</source>
        <translation>%1 %2.

Es wurde nichts gesendet.</translation>
    </message>
</context>
<context>
    <name>DeviceModel</name>
    <message>
        <source>Device</source>
        <translation>Gerät</translation>
    </message>
    <message>
        <source>Firmware</source>
        <translation>Firmware</translation>
    </message>
    <message>
        <source>Hostname</source>
        <translation>Hostname</translation>
    </message>
    <message>
        <source>IP Address</source>
        <translation>IP-Adresse</translation>
    </message>
    <message>
        <source>IP config.</source>
        <translation>IP-Konfig.</translation>
    </message>
    <message>
        <source>MAC Address</source>
        <translation>MAC-Adresse</translation>
    </message>
    <message>
        <source>Status</source>
        <translation>Status</translation>
    </message>
    <message>
        <source>IP conflict!</source>
        <translation>IP-Konflikt!</translation>
    </message>
    <message>
        <source>Hostname conflict!</source>
        <translation>Hostname-Konflikt!</translation>
    </message>
    <message>
        <source>Interface</source>
        <translation>Schnittstelle</translation>
    </message>
</context>
<context>
    <name>DevicePlan</name>
    <message>
        <source>text after the closing quote of a field</source>
        <translation>Text nach dem schließenden Anführungszeichen eines Feldes</translation>
    </message>
    <message>
        <source>a quote within a field that does not start with one</source>
        <translation>ein Anführungszeichen in einem Feld, das nicht mit einem beginnt</translation>
    </message>
    <message>
        <source>a quoted field is not closed</source>
        <translation>ein Feld in Anführungszeichen ist nicht geschlossen</translation>
    </message>
    <message>
        <source>line %1 (row %2)</source>
        <translation>Zeile %1 (Eintrag %2)</translation>
    </message>
    <message>
        <source>line %1</source>
        <translation>Zeile %1</translation>
    </message>
    <message>
        <source>row %1</source>
        <translation>Eintrag %1</translation>
    </message>
    <message>
        <source>larger than %1 MiB</source>
        <translation>größer als %1 MiB</translation>
    </message>
    <message>
        <source>not UTF-8 text</source>
        <translation>kein UTF-8-Text</translation>
    </message>
    <message>
        <source>the first line must be &quot;%1&quot;</source>
        <translation>die erste Zeile muss „%1“ lauten</translation>
    </message>
    <message>
        <source>more than %1 rows</source>
        <translation>mehr als %1 Einträge</translation>
    </message>
    <message>
        <source>%1 fields, expected %2</source>
        <translation>%1 Felder, erwartet %2</translation>
    </message>
    <message>
        <source>&quot;%1&quot; is neither DHCP nor static</source>
        <translation>„%1“ ist weder DHCP noch static</translation>
    </message>
    <message>
        <source>no header line</source>
        <translation>keine Kopfzeile</translation>
    </message>
</context>
<context>
    <name>DeviceState</name>
    <message>
        <source>Setting new parameters...</source>
        <translation>Neue Parameter werden gesetzt...</translation>
    </message>
    <message>
        <source>Applying new parameters...</source>
        <translation>Neue Parameter werden übernommen...</translation>
    </message>
    <message>
        <source>Device not responding</source>
        <translation>Gerät antwortet nicht</translation>
    </message>
    <message>
        <source>Request failed</source>
        <translation>Anfrage fehlgeschlagen</translation>
    </message>
    <message>
        <source>Device information incomplete. Please scan network again!</source>
        <translation>Geräteinformationen unvollständig. Bitte das Netzwerk erneut durchsuchen!</translation>
    </message>
    <message>
        <source>Stored password is not valid any more, please try again!</source>
        <translation>Das gespeicherte Passwort ist nicht mehr gültig, bitte erneut versuchen!</translation>
    </message>
    <message>
        <source>Authorization failed</source>
        <translation>Autorisierung fehlgeschlagen</translation>
    </message>
</context>
<context>
    <name>HistoryDialog</name>
    <message>
        <source>Device history</source>
        <translation>Geräteverlauf</translation>
    </message>
    <message>
        <source>All devices</source>
        <translation>Alle Geräte</translation>
    </message>
    <message>
        <source>New in their last scan</source>
        <translation>Neu beim letzten Suchlauf</translation>
    </message>
    <message>
        <source>Missing from the last scan</source>
        <translation>Fehlend beim letzten Suchlauf</translation>
    </message>
    <message>
        <source>Changed in their last scan</source>
        <translation>Geändert beim letzten Suchlauf</translation>
    </message>
    <message>
        <source>&amp;Show:</source>
        <translation>&amp;Anzeigen:</translation>
    </message>
    <message>
        <source>MAC Address</source>
        <translation>MAC-Adresse</translation>
    </message>
    <message>
        <source>Hostname</source>
        <translation>Hostname</translation>
    </message>
    <message>
        <source>IP Address</source>
        <translation>IP-Adresse</translation>
    </message>
    <message>
        <source>Device</source>
        <translation>Gerät</translation>
    </message>
    <message>
        <source>First seen</source>
        <translation>Zuerst gesehen</translation>
    </message>
    <message>
        <source>Last seen</source>
        <translation>Zuletzt gesehen</translation>
    </message>
    <message>
        <source>Last scan</source>
        <translation>Letzter Suchlauf</translation>
    </message>
    <message>
        <source>Interface</source>
        <translation>Schnittstelle</translation>
    </message>
    <message>
        <source>Known devices</source>
        <translation>Bekannte Geräte</translation>
    </message>
    <message>
        <source>Time</source>
        <translation>Zeit</translation>
    </message>
    <message>
        <source>Event</source>
        <translation>Ereignis</translation>
    </message>
    <message>
        <source>Field</source>
        <translation>Feld</translation>
    </message>
    <message>
        <source>Was</source>
        <translation>Vorher</translation>
    </message>
    <message>
        <source>Now</source>
        <translation>Jetzt</translation>
    </message>
    <message>
        <source>Events of the device</source>
        <translation>Ereignisse des Geräts</translation>
    </message>
    <message>
        <source>&amp;Export CSV…</source>
        <translation>Als CSV e&amp;xportieren…</translation>
    </message>
    <message>
        <source>found</source>
        <translation>gefunden</translation>
    </message>
    <message>
        <source>missing</source>
        <translation>fehlt</translation>
    </message>
    <message>
        <source>%1 of %2 devices</source>
        <translation>%1 von %2 Geräten</translation>
    </message>
    <message>
        <source>Export the device history</source>
        <translation>Geräteverlauf exportieren</translation>
    </message>
    <message>
        <source>CSV files (*.csv)</source>
        <translation>CSV-Dateien (*.csv)</translation>
    </message>
    <message>
        <source>Could not write %1: %2</source>
        <translation>%1 konnte nicht geschrieben werden: %2</translation>
    </message>
    <message>
        <source>Appeared</source>
        <translation>Aufgetaucht</translation>
    </message>
    <message>
        <source>Disappeared</source>
        <translation>Verschwunden</translation>
    </message>
    <message>
        <source>Changed</source>
        <translation>Geändert</translation>
    </message>
    <message>
        <source>Firmware</source>
        <translation>Firmware</translation>
    </message>
    <message>
        <source>Product type</source>
        <translation>Produkttyp</translation>
    </message>
    <message>
        <source>IP config.</source>
        <translation>IP-Konfig.</translation>
    </message>
    <message>
        <source>Subnet mask</source>
        <translation>Subnetzmaske</translation>
    </message>
    <message>
        <source>Gateway</source>
        <translation>Gateway</translation>
    </message>
    <message>
        <source>Domain</source>
        <translation>Domäne</translation>
    </message>
    <message>
        <source>Primary DNS server</source>
        <translation>Primärer DNS-Server</translation>
    </message>
    <message>
        <source>Secondary DNS server</source>
        <translation>Sekundärer DNS-Server</translation>
    </message>
    <message>
        <source>Protocol version</source>
        <translation>Protokollversion</translation>
    </message>
</context>
<context>
    <name>HistoryStore</name>
    <message>
        <source>the history file is in use by another program</source>
        <translation>die Verlaufsdatei wird von einem anderen Programm benutzt</translation>
    </message>
    <message>
        <source>Device history is off: Qt&apos;s SQLite driver is missing (package libqt6sql6-sqlite).</source>
        <translation>Geräteverlauf ist aus: Der SQLite-Treiber von Qt fehlt (Paket libqt6sql6-sqlite).</translation>
    </message>
    <message>
        <source>Device history is off: %1.</source>
        <translation>Geräteverlauf ist aus: %1.</translation>
    </message>
    <message>
        <source>Device history is off: %1 was written by a newer version of this program (history version %2, this one knows up to %3); the file is left as it is.</source>
        <translation>Geräteverlauf ist aus: %1 wurde von einer neueren Version dieses Programms geschrieben (Verlaufsversion %2, diese kennt bis %3); die Datei bleibt unverändert.</translation>
    </message>
    <message>
        <source>Device history is off: the history file %1 is damaged and could not be moved aside.</source>
        <translation>Geräteverlauf ist aus: Die Verlaufsdatei %1 ist beschädigt und konnte nicht beiseitegelegt werden.</translation>
    </message>
    <message>
        <source>The device history file was damaged; it was kept as %1 and a new history begun.</source>
        <translation>Die Datei des Geräteverlaufs war beschädigt; sie wurde als %1 aufbewahrt und ein neuer Verlauf begonnen.</translation>
    </message>
    <message>
        <source>Device history is off: the folder %1 cannot be written to.</source>
        <translation>Geräteverlauf ist aus: In den Ordner %1 kann nicht geschrieben werden.</translation>
    </message>
    <message>
        <source>Device history is off: the history file %1 is damaged.</source>
        <translation>Geräteverlauf ist aus: Die Verlaufsdatei %1 ist beschädigt.</translation>
    </message>
</context>
<context>
    <name>InterfaceBox</name>
    <message>
        <source>Network interface</source>
        <translation>Netzwerkschnittstelle</translation>
    </message>
    <message>
        <source>All interfaces</source>
        <translation>Alle Schnittstellen</translation>
    </message>
    <message>
        <source>%1 (%2)</source>
        <translation>%1 (%2)</translation>
    </message>
    <message>
        <source>No network interface</source>
        <translation>Keine Netzwerkschnittstelle</translation>
    </message>
    <message>
        <source>The network interface to scan on: %1. Choosing one scans on it.</source>
        <translation>Die Netzwerkschnittstelle für den Suchlauf: %1. Die Wahl einer Schnittstelle startet dort einen Suchlauf.</translation>
    </message>
</context>
<context>
    <name>LoginDialog</name>
    <message>
        <source>Device login</source>
        <translation>Geräteanmeldung</translation>
    </message>
    <message>
        <source>Remember password</source>
        <translation>Passwort merken</translation>
    </message>
    <message>
        <source>This device accepts only authenticated requests. Please insert a valid username and password (the same as in the web interface)</source>
        <translation>Dieses Gerät nimmt nur authentifizierte Anfragen an. Bitte einen gültigen Benutzernamen und ein gültiges Passwort eingeben (dieselben wie in der Weboberfläche)</translation>
    </message>
    <message>
        <source>&amp;Username:</source>
        <translation>&amp;Benutzername:</translation>
    </message>
    <message>
        <source>&amp;Password:</source>
        <translation>&amp;Passwort:</translation>
    </message>
    <message>
        <source>Authentication parameters</source>
        <translation>Anmeldedaten</translation>
    </message>
    <message>
        <source>Credentials: %1.

The device could never accept them.</source>
        <translation>Anmeldedaten: %1.

Das Gerät könnte sie nie annehmen.</translation>
    </message>
</context>
<context>
    <name>MainWindow</name>
    <message>
        <source>Devices</source>
        <translation>Geräte</translation>
    </message>
    <message>
        <source>Devices found on the network; F5 scans again</source>
        <translation>Im Netzwerk gefundene Geräte; F5 sucht erneut</translation>
    </message>
    <message>
        <source>More than %1 devices answered: further devices are not listed.</source>
        <translation>Mehr als %1 Geräte haben geantwortet: Weitere Geräte werden nicht aufgeführt.</translation>
    </message>
    <message>
        <source>&amp;Interface:</source>
        <translation>&amp;Schnittstelle:</translation>
    </message>
    <message>
        <source>Scan automatically</source>
        <translation>Automatisch suchen</translation>
    </message>
    <message>
        <source>Off</source>
        <translation>Aus</translation>
    </message>
    <message>
        <source>Every 15 seconds</source>
        <translation>Alle 15 Sekunden</translation>
    </message>
    <message>
        <source>Every 30 seconds</source>
        <translation>Alle 30 Sekunden</translation>
    </message>
    <message>
        <source>Every minute</source>
        <translation>Jede Minute</translation>
    </message>
    <message>
        <source>Every 5 minutes</source>
        <translation>Alle 5 Minuten</translation>
    </message>
    <message>
        <source>Device &amp;history…</source>
        <translation>Geräte&amp;verlauf…</translation>
    </message>
    <message>
        <source>Ctrl+H</source>
        <translation>Ctrl+H</translation>
    </message>
    <message>
        <source>Filter devices</source>
        <translation>Geräte filtern</translation>
    </message>
    <message>
        <source>Filter devices (Ctrl+F)</source>
        <translation>Geräte filtern (Ctrl+F)</translation>
    </message>
    <message>
        <source>&amp;Filter:</source>
        <translation>&amp;Filter:</translation>
    </message>
    <message>
        <source>%1 of %2 devices shown</source>
        <translation>%1 von %2 Geräten angezeigt</translation>
    </message>
    <message>
        <source>Scan / Refresh</source>
        <translation>Suchen / Aktualisieren</translation>
    </message>
    <message>
        <source>F5</source>
        <translation>F5</translation>
    </message>
    <message>
        <source>Detect and list devices in network</source>
        <translation>Geräte im Netzwerk erkennen und auflisten</translation>
    </message>
    <message>
        <source>Edit network settings</source>
        <translation>Netzwerkeinstellungen bearbeiten</translation>
    </message>
    <message>
        <source>Ctrl+E</source>
        <translation>Ctrl+E</translation>
    </message>
    <message>
        <source>Edit currently selected device</source>
        <translation>Das ausgewählte Gerät bearbeiten</translation>
    </message>
    <message>
        <source>Set up selected devices…</source>
        <translation>Ausgewählte Geräte einrichten…</translation>
    </message>
    <message>
        <source>Set up the network configuration of the selected devices at once</source>
        <translation>Die Netzwerkkonfiguration der ausgewählten Geräte in einem Schritt einrichten</translation>
    </message>
    <message>
        <source>Open in web browser</source>
        <translation>Im Webbrowser öffnen</translation>
    </message>
    <message>
        <source>Ctrl+W</source>
        <translation>Ctrl+W</translation>
    </message>
    <message>
        <source>Open currently selected device in a web browser (works only if device is properly configured)</source>
        <translation>Das ausgewählte Gerät im Webbrowser öffnen (funktioniert nur, wenn das Gerät richtig konfiguriert ist)</translation>
    </message>
    <message>
        <source>Open currently selected device in a web browser</source>
        <translation>Das ausgewählte Gerät im Webbrowser öffnen</translation>
    </message>
    <message>
        <source>Export connection for Quillo</source>
        <translation>Verbindung für Quillo exportieren</translation>
    </message>
    <message>
        <source>Ctrl+X</source>
        <translation>Ctrl+X</translation>
    </message>
    <message>
        <source>Export connections to a xml file for Quillo</source>
        <translation>Verbindungen für Quillo in eine XML-Datei exportieren</translation>
    </message>
    <message>
        <source>Delete stored password</source>
        <translation>Gespeichertes Passwort löschen</translation>
    </message>
    <message>
        <source>Del</source>
        <translation>Del</translation>
    </message>
    <message>
        <source>Delete locally stored password for selected connections</source>
        <translation>Das lokal gespeicherte Passwort der ausgewählten Verbindungen löschen</translation>
    </message>
    <message>
        <source>About</source>
        <translation>Über</translation>
    </message>
    <message>
        <source>Scan devices</source>
        <translation>Geräte suchen</translation>
    </message>
    <message>
        <source>Could not bind socket! Please check if another application instance is already running!</source>
        <translation>Der Socket konnte nicht gebunden werden! Bitte prüfen, ob bereits eine andere Instanz des Programms läuft!</translation>
    </message>
    <message>
        <source>New since the last scan</source>
        <translation>Neu seit dem letzten Suchlauf</translation>
    </message>
    <message>
        <source>IP address was %1</source>
        <translation>IP-Adresse war %1</translation>
    </message>
    <message>
        <source>Hostname was %1</source>
        <translation>Hostname war %1</translation>
    </message>
    <message>
        <source>No devices found!</source>
        <translation>Keine Geräte gefunden!</translation>
    </message>
    <message>
        <source>Fix: %1</source>
        <translation>Abhilfe: %1</translation>
    </message>
    <message>
        <source>No device replied on %1.&lt;p&gt;Try another network interface or cancel?</source>
        <translation>Auf %1 hat kein Gerät geantwortet.&lt;p&gt;Eine andere Netzwerkschnittstelle versuchen oder abbrechen?</translation>
    </message>
    <message>
        <source>Scan/Refresh</source>
        <translation>Suchen/Aktualisieren</translation>
    </message>
    <message>
        <source>Export %1 connections to a file</source>
        <translation>%1 Verbindungen in eine Datei exportieren</translation>
    </message>
    <message>
        <source>Xml files (*.xml)</source>
        <translation>XML-Dateien (*.xml)</translation>
    </message>
    <message>
        <source>Export connections</source>
        <translation>Verbindungen exportieren</translation>
    </message>
    <message>
        <source>Could not write the connections to %1: %2</source>
        <translation>Die Verbindungen konnten nicht nach %1 geschrieben werden: %2</translation>
    </message>
    <message>
        <source>%1 connection(s) exported to %2</source>
        <translation>%1 Verbindung(en) nach %2 exportiert</translation>
    </message>
    <message>
        <source>&lt;h2&gt;%1&lt;/h2&gt;Version %2</source>
        <translation>&lt;h2&gt;%1&lt;/h2&gt;Version %2</translation>
    </message>
    <message>
        <source>&lt;b&gt;%1&lt;/b&gt; is a user-friendly application to scan the local network for installed Orvane devices and easily change their network configuration</source>
        <translation>&lt;b&gt;%1&lt;/b&gt; ist ein benutzerfreundliches Programm, das das lokale Netzwerk nach installierten Orvane-Geräten durchsucht und deren Netzwerkkonfiguration einfach ändert</translation>
    </message>
    <message>
        <source>Using Qt Version: &lt;b&gt;%1&lt;/b&gt;</source>
        <translation>Verwendete Qt-Version: &lt;b&gt;%1&lt;/b&gt;</translation>
    </message>
    <message>
        <source>Supported devices:</source>
        <translation>Unterstützte Geräte:</translation>
    </message>
    <message>
        <source>VeltraNET-4.3 version 1.8.0 or newer</source>
        <translation>VeltraNET-4.3 ab Version 1.8.0</translation>
    </message>
    <message>
        <source>VeltraNET-III version 5.6.0 or newer</source>
        <translation>VeltraNET-III ab Version 5.6.0</translation>
    </message>
    <message>
        <source>Panoryx-4.3 version 1.6.0 or newer</source>
        <translation>Panoryx-4.3 ab Version 1.6.0</translation>
    </message>
    <message>
        <source>Panoryx-III version 1.8.0 or newer</source>
        <translation>Panoryx-III ab Version 1.8.0</translation>
    </message>
    <message>
        <source>Motilux-II version 2.2.0 or newer</source>
        <translation>Motilux-II ab Version 2.2.0</translation>
    </message>
    <message>
        <source>Motilux-III version 1.0.0 or newer</source>
        <translation>Motilux-III ab Version 1.0.0</translation>
    </message>
    <message>
        <source>About %1</source>
        <translation>Über %1</translation>
    </message>
    <message>
        <source>Store deleted password</source>
        <translation>Gespeichertes Passwort löschen</translation>
    </message>
    <message>
        <source>Do you really want to delete stored password for selected connections?</source>
        <translation>Soll das gespeicherte Passwort der ausgewählten Verbindungen wirklich gelöscht werden?</translation>
    </message>
    <message>
        <source>Works only if device is properly configured.</source>
        <translation>Funktioniert nur, wenn das Gerät richtig konfiguriert ist.</translation>
    </message>
</context>
<context>
    <name>NetworkDiagnosis</name>
    <message>
        <source>no answer within %1 s</source>
        <translation>keine Antwort innerhalb von %1 s</translation>
    </message>
    <message>
        <source>%1 could not be read (%2)</source>
        <translation>%1 konnten nicht gelesen werden (%2)</translation>
    </message>
    <message>
        <source>no reason given</source>
        <translation>ohne Angabe eines Grundes</translation>
    </message>
    <message>
        <source>run the check as root: sudo veltra-find diagnose</source>
        <translation>die Prüfung als root ausführen: sudo veltra-find diagnose</translation>
    </message>
    <message>
        <source>the nftables rule (handle %1) in chain %2 of table %3 %4</source>
        <translation>die nftables-Regel (Handle %1) in der Kette %2 der Tabelle %3 %4</translation>
    </message>
    <message>
        <source>the iptables rule &quot;%1&quot;</source>
        <translation>die iptables-Regel „%1“</translation>
    </message>
    <message>
        <source>%1 (pid %2)</source>
        <translation>%1 (PID %2)</translation>
    </message>
    <message>
        <source>a process</source>
        <translation>ein Prozess</translation>
    </message>
    <message>
        <source>nothing on this host stops the replies: when no device answered, most likely none could (devices off, on another segment behind a router, or a cable)</source>
        <translation>nichts auf diesem Rechner hält die Antworten auf: Wenn kein Gerät geantwortet hat, konnte sehr wahrscheinlich keines antworten (Geräte aus, in einem anderen Segment hinter einem Router oder ein Kabel)</translation>
    </message>
    <message>
        <source>nothing on this host stops the replies that the checks could see: when no device answered, most likely none could (devices off, on another segment behind a router, or a cable)</source>
        <translation>nichts, was die Prüfungen sehen konnten, hält auf diesem Rechner die Antworten auf: Wenn kein Gerät geantwortet hat, konnte sehr wahrscheinlich keines antworten (Geräte aus, in einem anderen Segment hinter einem Router oder ein Kabel)</translation>
    </message>
    <message>
        <source>check that the devices are powered and cabled to this host&apos;s network segment, with no router in between</source>
        <translation>prüfen, dass die Geräte eingeschaltet und mit dem Netzwerksegment dieses Rechners verkabelt sind, ohne Router dazwischen</translation>
    </message>
    <message>
        <source>the network interface %1 has the IPv4 address %2 but is down: nothing is sent or received on it</source>
        <translation>die Netzwerkschnittstelle %1 hat die IPv4-Adresse %2, ist aber deaktiviert: Auf ihr wird nichts gesendet oder empfangen</translation>
    </message>
    <message>
        <source>no usable network interface: none is up with an IPv4 address (other than loopback)</source>
        <translation>keine nutzbare Netzwerkschnittstelle: Keine ist mit einer IPv4-Adresse aktiv (außer Loopback)</translation>
    </message>
    <message>
        <source>connect this host to the devices&apos; network and give it an IPv4 address (DHCP or static); ip -4 addr shows what it has</source>
        <translation>diesen Rechner mit dem Netzwerk der Geräte verbinden und ihm eine IPv4-Adresse geben (DHCP oder statisch); ip -4 addr zeigt, welche er hat</translation>
    </message>
    <message>
        <source>a process of %1</source>
        <translation>ein Prozess von %1</translation>
    </message>
    <message>
        <source>UDP port %1 cannot be had (%2): replies cannot be received</source>
        <translation>UDP-Port %1 ist nicht zu bekommen (%2): Antworten können nicht empfangen werden</translation>
    </message>
    <message>
        <source>sudo ss -uapn &apos;sport = :%1&apos; shows what holds it</source>
        <translation>sudo ss -uapn &apos;sport = :%1&apos; zeigt, wer ihn belegt</translation>
    </message>
    <message>
        <source>%1 and %2</source>
        <translation>%1 und %2</translation>
    </message>
    <message>
        <source>UDP port %1 is held by %2, which does not share it: the replies cannot be received</source>
        <translation>UDP-Port %1 ist von %2 belegt, ohne ihn zu teilen: Die Antworten können nicht empfangen werden</translation>
    </message>
    <message>
        <source>stop it: kill %1</source>
        <translation>beenden: kill %1</translation>
    </message>
    <message>
        <source>UDP port %1 is held by %2 that does not share it; which program it is could not be told as this user: the replies cannot be received</source>
        <translation>UDP-Port %1 ist von %2 belegt, ohne ihn zu teilen; welches Programm es ist, lässt sich als dieser Benutzer nicht feststellen: Die Antworten können nicht empfangen werden</translation>
    </message>
    <message>
        <source>sudo ss -uapn &apos;sport = :%1&apos; names it; then stop it</source>
        <translation>sudo ss -uapn &apos;sport = :%1&apos; nennt es; dann beenden</translation>
    </message>
    <message>
        <source>firewalld&apos;s zone</source>
        <translation>die Zone von firewalld</translation>
    </message>
    <message>
        <source>firewalld is running and its default zone does not open UDP port %1: it rejects the replies</source>
        <translation>firewalld läuft und seine Standardzone öffnet UDP-Port %1 nicht: Sie weist die Antworten ab</translation>
    </message>
    <message>
        <source>ufw&apos;s state</source>
        <translation>der Zustand von ufw</translation>
    </message>
    <message>
        <source>ufw&apos;s rule &quot;%1&quot; blocks UDP port %2: the replies do not arrive</source>
        <translation>die ufw-Regel „%1“ sperrt UDP-Port %2: Die Antworten kommen nicht an</translation>
    </message>
    <message>
        <source>sudo ufw insert 1 allow &quot;%1&quot;   (without the package&apos;s profile: sudo ufw insert 1 allow %2/udp)</source>
        <translation>sudo ufw insert 1 allow &quot;%1&quot;   (ohne das Profil des Pakets: sudo ufw insert 1 allow %2/udp)</translation>
    </message>
    <message>
        <source>ufw is active and no rule of it allows UDP port %1: it blocks the replies</source>
        <translation>ufw ist aktiv und keine seiner Regeln erlaubt UDP-Port %1: Es sperrt die Antworten</translation>
    </message>
    <message>
        <source>sudo ufw allow &quot;%1&quot;   (without the package&apos;s profile: sudo ufw allow %2/udp)</source>
        <translation>sudo ufw allow &quot;%1&quot;   (ohne das Profil des Pakets: sudo ufw allow %2/udp)</translation>
    </message>
    <message>
        <source>the nftables rules</source>
        <translation>die nftables-Regeln</translation>
    </message>
    <message>
        <source>the nftables rules could not be understood (nft -j list ruleset)</source>
        <translation>die nftables-Regeln waren nicht zu verstehen (nft -j list ruleset)</translation>
    </message>
    <message>
        <source>the iptables rules</source>
        <translation>die iptables-Regeln</translation>
    </message>
    <message>
        <source>the drop policy of the nftables input chain %1 of table %2 %3 (no rule accepts UDP port %4)</source>
        <translation>die Drop-Policy der nftables-Eingangskette %1 der Tabelle %2 %3 (keine Regel akzeptiert UDP-Port %4)</translation>
    </message>
    <message>
        <source>the DROP policy of the iptables INPUT chain (no rule accepts UDP port %1)</source>
        <translation>die DROP-Policy der iptables-Kette INPUT (keine Regel akzeptiert UDP-Port %1)</translation>
    </message>
    <message>
        <source>%1 drops UDP to port %2: the replies do not arrive</source>
        <translation>%1 verwirft UDP an Port %2: Die Antworten kommen nicht an</translation>
    </message>
</context>
<context>
    <name>OutputFile</name>
    <message>
        <source>%1 is a symbolic link of another user and is not followed</source>
        <translation>%1 ist eine symbolische Verknüpfung eines anderen Benutzers und wird nicht verfolgt</translation>
    </message>
    <message>
        <source>%1 is a pipe or socket, not a file or device</source>
        <translation>%1 ist eine Pipe oder ein Socket, keine Datei und kein Gerät</translation>
    </message>
</context>
<context>
    <name>PacketTransceiver</name>
    <message>
        <source>Creating message header</source>
        <translation>Nachrichtenkopf erstellen</translation>
    </message>
    <message>
        <source>Could not get a valid network interface!</source>
        <translation>Keine gültige Netzwerkschnittstelle gefunden!</translation>
    </message>
</context>
<context>
    <name>PlanCheck</name>
    <message>
        <source>empty</source>
        <translation>leer</translation>
    </message>
    <message>
        <source>&quot;%1&quot; is in row %2 already</source>
        <translation>„%1“ steht schon in Eintrag %2</translation>
    </message>
    <message>
        <source>&quot;%1&quot; is not among the devices the scan found</source>
        <translation>„%1“ ist nicht unter den Geräten, die die Suche gefunden hat</translation>
    </message>
    <message>
        <source>the configuration of %1 has not been read; scan again</source>
        <translation>die Konfiguration von %1 wurde nicht gelesen; erneut suchen</translation>
    </message>
    <message>
        <source>&quot;%1&quot; is neither DHCP nor static</source>
        <translation>„%1“ ist weder DHCP noch static</translation>
    </message>
    <message>
        <source>needed to go from DHCP to static</source>
        <translation>nötig für den Wechsel von DHCP zu static</translation>
    </message>
    <message>
        <source>&quot;%1&quot; (the device&apos;s own value) %2</source>
        <translation>„%1“ (der eigene Wert des Geräts) %2</translation>
    </message>
    <message>
        <source>&quot;%1&quot; is also the address of row %2 (%3)</source>
        <translation>„%1“ ist auch die Adresse von Eintrag %2 (%3)</translation>
    </message>
    <message>
        <source>&quot;%1&quot; is also the host name of row %2 (%3)</source>
        <translation>„%1“ ist auch der Hostname von Eintrag %2 (%3)</translation>
    </message>
    <message>
        <source>&quot;%1&quot; is the address of %2, a device outside the plan</source>
        <translation>„%1“ ist die Adresse von %2, einem Gerät außerhalb des Plans</translation>
    </message>
    <message>
        <source>&quot;%1&quot; is the host name of %2, a device outside the plan</source>
        <translation>„%1“ ist der Hostname von %2, einem Gerät außerhalb des Plans</translation>
    </message>
</context>
<context>
    <name>PlanDialog</name>
    <message numerus="yes">
        <source>Set up %n devices</source>
        <translation>
            <numerusform>%n Gerät einrichten</numerusform>
            <numerusform>%n Geräte einrichten</numerusform>
        </translation>
    </message>
    <message>
        <source>static</source>
        <translation>statisch</translation>
    </message>
    <message>
        <source>DHCP</source>
        <translation>DHCP</translation>
    </message>
    <message>
        <source>Four numbers from 0 to 255 separated by dots</source>
        <translation>Vier durch Punkte getrennte Zahlen von 0 bis 255</translation>
    </message>
    <message>
        <source>counted up, skipping addresses in use</source>
        <translation>hochgezählt, belegte Adressen werden übersprungen</translation>
    </message>
    <message>
        <source>e.g. cam-{nn}; empty keeps the host names</source>
        <translation>z. B. cam-{nn}; leer behält die Hostnamen bei</translation>
    </message>
    <message>
        <source>{n}, {nn} and {nnn} become the device&apos;s number with 1, 2 or 3 digits; empty keeps the host names</source>
        <translation>{n}, {nn} und {nnn} werden zur Nummer des Geräts mit 1, 2 oder 3 Stellen; leer behält die Hostnamen bei</translation>
    </message>
    <message>
        <source>IP &amp;configuration:</source>
        <translation>IP-&amp;Konfiguration:</translation>
    </message>
    <message>
        <source>&amp;First IP address:</source>
        <translation>&amp;Erste IP-Adresse:</translation>
    </message>
    <message>
        <source>Subnet mas&amp;k:</source>
        <translation>Subnetz&amp;maske:</translation>
    </message>
    <message>
        <source>&amp;Gateway IP:</source>
        <translation>&amp;Gateway-IP:</translation>
    </message>
    <message>
        <source>D&amp;omain:</source>
        <translation>D&amp;omäne:</translation>
    </message>
    <message>
        <source>&amp;Primary DNS server:</source>
        <translation>&amp;Primärer DNS-Server:</translation>
    </message>
    <message>
        <source>Secondar&amp;y DNS server:</source>
        <translation>Sekundärer &amp;DNS-Server:</translation>
    </message>
    <message>
        <source>&amp;Host name template:</source>
        <translation>&amp;Vorlage für Hostnamen:</translation>
    </message>
    <message>
        <source>First n&amp;umber:</source>
        <translation>Erste N&amp;ummer:</translation>
    </message>
    <message>
        <source>Plan problems</source>
        <translation>Probleme des Plans</translation>
    </message>
    <message>
        <source>MAC Address</source>
        <translation>MAC-Adresse</translation>
    </message>
    <message>
        <source>Hostname</source>
        <translation>Hostname</translation>
    </message>
    <message>
        <source>New hostname</source>
        <translation>Neuer Hostname</translation>
    </message>
    <message>
        <source>IP Address</source>
        <translation>IP-Adresse</translation>
    </message>
    <message>
        <source>New IP address</source>
        <translation>Neue IP-Adresse</translation>
    </message>
    <message>
        <source>Status</source>
        <translation>Status</translation>
    </message>
    <message>
        <source>Plan preview</source>
        <translation>Vorschau des Plans</translation>
    </message>
    <message>
        <source>One row per device: what it has now, what the plan gives it, and problems or outcomes</source>
        <translation>Eine Zeile je Gerät: was es jetzt hat, was der Plan ihm gibt, und Probleme oder Ergebnisse</translation>
    </message>
    <message>
        <source>%v of %m devices</source>
        <translation>%v von %m Geräten</translation>
    </message>
    <message>
        <source>Progress</source>
        <translation>Fortschritt</translation>
    </message>
    <message>
        <source>Summary</source>
        <translation>Zusammenfassung</translation>
    </message>
    <message>
        <source>&amp;Load plan…</source>
        <translation>Plan &amp;laden…</translation>
    </message>
    <message>
        <source>&amp;Save plan…</source>
        <translation>Plan &amp;speichern…</translation>
    </message>
    <message>
        <source>Save ou&amp;tcomes…</source>
        <translation>Ergebnisse spei&amp;chern…</translation>
    </message>
    <message>
        <source>&amp;Apply</source>
        <translation>&amp;Anwenden</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Abbrechen</translation>
    </message>
    <message>
        <source>enter the first IP address to hand out, or choose DHCP</source>
        <translation>die erste zu vergebende IP-Adresse eingeben oder DHCP wählen</translation>
    </message>
    <message>
        <source>No plan: %1</source>
        <translation>Kein Plan: %1</translation>
    </message>
    <message>
        <source>Devices with a problem: %1, marked in the Status column. Nothing is sent until every problem is solved.</source>
        <translation>Geräte mit einem Problem: %1, in der Spalte Status markiert. Es wird nichts gesendet, bis jedes Problem gelöst ist.</translation>
    </message>
    <message>
        <source>Save plan</source>
        <translation>Plan speichern</translation>
    </message>
    <message>
        <source>CSV files (*.csv);;All files (*)</source>
        <translation>CSV-Dateien (*.csv);;Alle Dateien (*)</translation>
    </message>
    <message>
        <source>Could not save the plan to %1: %2</source>
        <translation>Der Plan konnte nicht nach %1 gespeichert werden: %2</translation>
    </message>
    <message>
        <source>Load plan</source>
        <translation>Plan laden</translation>
    </message>
    <message>
        <source>Could not load the plan from %1:
%2</source>
        <translation>Der Plan konnte nicht aus %1 geladen werden:
%2</translation>
    </message>
    <message>
        <source>not a file</source>
        <translation>keine Datei</translation>
    </message>
    <message numerus="yes">
        <source>… and %n more</source>
        <translation>
            <numerusform>… und %n weiteres</numerusform>
            <numerusform>… und %n weitere</numerusform>
        </translation>
    </message>
    <message>
        <source>the file holds no device</source>
        <translation>die Datei enthält kein Gerät</translation>
    </message>
    <message>
        <source>Showing the plan loaded from %1. Changing a field above makes the plan from the form again.</source>
        <translation>Angezeigt wird der aus %1 geladene Plan. Eine Änderung an einem Feld oben erstellt den Plan wieder aus dem Formular.</translation>
    </message>
    <message numerus="yes">
        <source>Device login for %n device(s)</source>
        <translation>
            <numerusform>Geräteanmeldung für %n Gerät</numerusform>
            <numerusform>Geräteanmeldung für %n Geräte</numerusform>
        </translation>
    </message>
    <message>
        <source>Applying the plan…</source>
        <translation>Der Plan wird angewendet…</translation>
    </message>
    <message>
        <source>waiting</source>
        <translation>wartet</translation>
    </message>
    <message>
        <source>Cancelling: the device under way is seen through first…</source>
        <translation>Abbruch: Das Gerät in Arbeit wird noch zu Ende gebracht…</translation>
    </message>
    <message>
        <source>under way…</source>
        <translation>in Arbeit…</translation>
    </message>
    <message>
        <source>not started</source>
        <translation>nicht begonnen</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>Schließen</translation>
    </message>
    <message>
        <source>Cancelled after %1 of %2 devices</source>
        <translation>Abgebrochen nach %1 von %2 Geräten</translation>
    </message>
    <message>
        <source>Save outcomes</source>
        <translation>Ergebnisse speichern</translation>
    </message>
    <message>
        <source>Could not save the outcomes to %1: %2</source>
        <translation>Die Ergebnisse konnten nicht nach %1 gespeichert werden: %2</translation>
    </message>
    <message>
        <source>applied</source>
        <translation>übernommen</translation>
    </message>
    <message>
        <source>authorization failed</source>
        <translation>Anmeldung fehlgeschlagen</translation>
    </message>
    <message>
        <source>no answer</source>
        <translation>keine Antwort</translation>
    </message>
    <message>
        <source>refused</source>
        <translation>abgelehnt</translation>
    </message>
    <message>
        <source>differs</source>
        <translation>weicht ab</translation>
    </message>
</context>
<context>
    <name>PlanMaker</name>
    <message>
        <source>the first number must be from 0 to %1</source>
        <translation>die erste Nummer muss zwischen 0 und %1 liegen</translation>
    </message>
    <message>
        <source>first address: &quot;%1&quot; %2</source>
        <translation>erste Adresse: „%1“ %2</translation>
    </message>
    <message>
        <source>mask: &quot;%1&quot; %2</source>
        <translation>Maske: „%1“ %2</translation>
    </message>
    <message>
        <source>first address: %1</source>
        <translation>erste Adresse: %1</translation>
    </message>
    <message>
        <source>the free addresses from %1 to %2 are not enough: %3 of %4 devices got none</source>
        <translation>die freien Adressen von %1 bis %2 reichen nicht: %3 von %4 Geräten bekamen keine</translation>
    </message>
</context>
<context>
    <name>PlanRun</name>
    <message>
        <source>not sent: the table holds no configuration of the device</source>
        <translation>nicht gesendet: Die Tabelle enthält keine Konfiguration des Geräts</translation>
    </message>
    <message>
        <source>not sent: the device takes changes only with credentials, and none are stored or given</source>
        <translation>nicht gesendet: Das Gerät nimmt Änderungen nur mit Anmeldedaten an, und es sind keine gespeichert oder angegeben</translation>
    </message>
    <message>
        <source>applied</source>
        <translation>übernommen</translation>
    </message>
    <message>
        <source>accepted, but after its restart %1</source>
        <translation>angenommen, aber nach seinem Neustart %1</translation>
    </message>
    <message>
        <source>accepted, but refused to report its configuration afterwards (result code %1)</source>
        <translation>angenommen, aber danach die Auskunft über seine Konfiguration verweigert (Ergebniscode %1)</translation>
    </message>
    <message>
        <source>refused the change (result code %1)</source>
        <translation>Änderung abgelehnt (Ergebniscode %1)</translation>
    </message>
    <message>
        <source>refused the credentials given for the run</source>
        <translation>die für den Durchlauf angegebenen Anmeldedaten abgelehnt</translation>
    </message>
    <message>
        <source>refused its stored credentials, which are forgotten now</source>
        <translation>seine gespeicherten Anmeldedaten abgelehnt, die jetzt vergessen sind</translation>
    </message>
    <message>
        <source>refused the stored credentials</source>
        <translation>die gespeicherten Anmeldedaten abgelehnt</translation>
    </message>
    <message>
        <source>accepted, but did not answer after restarting its network</source>
        <translation>angenommen, aber nach dem Neustart seines Netzwerks nicht geantwortet</translation>
    </message>
    <message>
        <source>did not answer the change</source>
        <translation>auf die Änderung nicht geantwortet</translation>
    </message>
    <message>
        <source>%1 shows &quot;%2&quot;, expected &quot;%3&quot;</source>
        <translation>%1 zeigt „%2“, erwartet „%3“</translation>
    </message>
</context>
</TS>
