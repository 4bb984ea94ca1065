#include "porttooltip.h"

#include <QCoreApplication>
#include <QSerialPortInfo>
#include <QStringList>

namespace {

// The tooltip is part of the window's text and is translated with it.
struct WindowText
{
    Q_DECLARE_TR_FUNCTIONS(MainWindow)
};

// USB identifiers as Device Manager and lsusb show them.
QString usb_id(const std::optional<quint16> &id)
{
    return id ? QStringLiteral("%1").arg(*id, 4, 16, QLatin1Char('0')).toUpper() : QString();
}

} // namespace

PortFields port_fields(const QSerialPortInfo &port)
{
    PortFields fields;
    fields.description = port.description();
    fields.manufacturer = port.manufacturer();
    fields.serial_number = port.serialNumber();
    if (port.hasVendorIdentifier())
        fields.vendor_id = port.vendorIdentifier();
    if (port.hasProductIdentifier())
        fields.product_id = port.productIdentifier();
    fields.system_location = port.systemLocation();
    return fields;
}

QString port_tooltip(const PortFields &port)
{
    const std::pair<QString, QString> labelled[] = {
        {WindowText::tr("Description: %1"), port.description},
        {WindowText::tr("Manufacturer: %1"), port.manufacturer},
        {WindowText::tr("Serial number: %1"), port.serial_number},
        {WindowText::tr("Vendor ID: %1"), usb_id(port.vendor_id)},
        {WindowText::tr("Product ID: %1"), usb_id(port.product_id)},
        {WindowText::tr("Location: %1"), port.system_location},
    };
    QStringList lines;
    for (const auto &field : labelled) {
        if (!field.second.isEmpty())
            lines << field.first.arg(field.second);
    }
    return lines.join(QLatin1Char('\n'));
}
