#ifndef PROTOCOL_H
#define PROTOCOL_H

#include <QByteArray>
#include <QtEndian>
#include <QtGlobal>

// The boot loader's serial protocol: line speed, timing and command set.

constexpr qint32 BAUD_RATE = 921600;

constexpr int WRITE_TIMEOUT_MS = 10000; // each write: command word, then parameters
constexpr int REPLY_TIMEOUT_MS = 10000; // first byte of a reply; also the longest a reply may keep coming
constexpr int REPLY_GAP_MS = 10;        // silence that ends a reply once it has its expected length
constexpr int REPLY_MAX_BYTES = 64 * 1024; // a device that never stops sending cannot grow a reply past this

constexpr qint32 CMD_BEGIN = 2; // image descriptor
constexpr qint32 CMD_DATA = 3;  // one packet of the image
constexpr qint32 CMD_END = 4;   // transfer complete, no reply
constexpr qint32 CMD_SETUP = 5; // second handshake

constexpr char ACK = 0x02;
constexpr int PACKET_SIZE = 512;
constexpr int REPLY_SIZE = 4; // every reply the boot loader gives is this long

constexpr quint32 DESCRIPTOR_FIXED_WORD = 0x00008000; // first field of the image descriptor
constexpr quint64 SETUP_VALUE = 18;                    // the CMD_SETUP parameter block

// Every integer on the line is little-endian.
inline QByteArray le32(quint32 value)
{
    QByteArray bytes(4, Qt::Uninitialized);
    qToLittleEndian(value, bytes.data());
    return bytes;
}

inline QByteArray le64(quint64 value)
{
    QByteArray bytes(8, Qt::Uninitialized);
    qToLittleEndian(value, bytes.data());
    return bytes;
}

#endif // PROTOCOL_H
