#ifndef PORTTOOLTIP_H
#define PORTTOOLTIP_H

#include <QString>

#include <optional>

class QSerialPortInfo;

// What the system knows of a serial port beyond its name, for telling two
// adapters apart; a field the system does not know is empty.
struct PortFields
{
    QString description;
    QString manufacturer;
    QString serial_number;
    std::optional<quint16> vendor_id;
    std::optional<quint16> product_id;
    QString system_location;
};

PortFields port_fields(const QSerialPortInfo &port);

// One line per known field, labelled, for the port chooser's tooltip.
QString port_tooltip(const PortFields &port);

#endif // PORTTOOLTIP_H
