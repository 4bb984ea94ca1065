#!/usr/bin/env python3
"""The boot loader's serial protocol as it shows on the line, for the wine
check: what the program must send to flash an image, and how long each
command it sends is.

Prints, as hex, the bytes the program sends to flash IMAGE: all of them, or
only its first COMMANDS commands (the announcement is command 1, the second
handshake 2, packet 1 is 3, ...).

    tools/windows/boot_line.py IMAGE [COMMANDS]
"""
import struct
import sys

ACK = 0x02
CMD_BEGIN, CMD_DATA, CMD_END, CMD_SETUP = 2, 3, 4, 5
DESCRIPTOR_FIXED_WORD = 0x00008000
SETUP_VALUE = 18
PACKET_SIZE = 512
REPLY_SIZE = 4
CRC_POLYNOMIAL = 0x1EDC6F41
# Parameter bytes after each command word; a data packet says its own length.
PARAMETER_BYTES = {CMD_BEGIN: 12, CMD_END: 0, CMD_SETUP: 8}


def image_crc(image):
    """CRC-32, most significant bit first, initial value 0, no final xor."""
    crc = 0
    for byte in image:
        crc ^= byte << 24
        for _ in range(8):
            crc = ((crc << 1) ^ CRC_POLYNOMIAL if crc & 0x80000000 else crc << 1) & 0xFFFFFFFF
    return crc


def flash_commands(image):
    """Every command, with its parameters, that flashing image sends."""
    commands = [
        struct.pack("<IIII", CMD_BEGIN, DESCRIPTOR_FIXED_WORD, len(image), image_crc(image)),
        struct.pack("<IQ", CMD_SETUP, SETUP_VALUE),
    ]
    # len // 512 + 1 packets: the last one carries what is left, maybe nothing.
    for offset in range(0, len(image) + 1, PACKET_SIZE):
        packet = image[offset:offset + PACKET_SIZE]
        commands.append(struct.pack("<II", CMD_DATA, len(packet)) + packet)
    commands.append(struct.pack("<I", CMD_END))
    return commands


def command_length(pending):
    """Bytes of the first whole command in pending, or None if it is not all here."""
    if len(pending) < 4:
        return None
    code = struct.unpack_from("<I", pending)[0]
    if code == CMD_DATA:
        if len(pending) < 8:
            return None
        length = 8 + struct.unpack_from("<I", pending, 4)[0]
    else:
        length = 4 + PARAMETER_BYTES.get(code, 0)
    return length if len(pending) >= length else None


def main(image_path, commands=None):
    with open(image_path, "rb") as image:
        sent = flash_commands(image.read())
    count = len(sent) if commands is None else int(commands)
    print(b"".join(sent[:count]).hex())


if __name__ == "__main__":
    main(*sys.argv[1:])
