# Hostile IPP clients for the Printer Application's server on loopback:
#   mutate.py PORT PRINTER PAGE COUNT SEED: COUNT requests, one a connection,
#     each a valid request (Get-Printer-Attributes, Print-Job with the PWG
#     raster PAGE, Set-Printer-Attributes, Create-Printer) with its bytes
#     flipped, cut, repeated or its lengths made huge;
#   mutate.py PORT PRINTER PAGE big: a Print-Job whose page header claims
#     rows of 16 MiB, sent by 8 clients at once.
import random
import socket
import struct
import sys
import threading

port, printer, page = int(sys.argv[1]), sys.argv[2], open(sys.argv[3], 'rb').read()
uri = f'ipp://localhost:{port}/ipp/print/{printer}'.encode()


def attr(tag, name, value):
    return struct.pack('>BH', tag, len(name)) + name.encode() + struct.pack('>H', len(value)) + value


def request(op, target, groups, data=b''):
    head = struct.pack('>BBHI', 2, 0, op, 1) + b'\x01' + attr(0x47, 'attributes-charset', b'utf-8') + \
        attr(0x48, 'attributes-natural-language', b'en') + attr(0x45, target[0], target[1])
    return head + groups + b'\x03' + data


integer = lambda n: struct.pack('>i', n)
printer_uri = ('printer-uri', uri)
valid = [
    request(0x0b, printer_uri, attr(0x44, 'requested-attributes', b'all')),
    request(0x02, printer_uri, attr(0x49, 'document-format', b'image/pwg-raster') + b'\x02' +
            attr(0x21, 'copies', integer(2)) + attr(0x44, 'media', b'oe_2x1-label_2x1in'), page),
    request(0x13, printer_uri, b'\x04' + attr(0x21, 'printer-darkness-configured', integer(40)) +
            attr(0x21, 'print-speed-default', integer(5080)) + attr(0x44, 'print-method-default', b'direct-thermal')),
    request(0x4c, ('system-uri', f'ipp://localhost:{port}/ipp/system'.encode()),
            attr(0x44, 'printer-service-type', b'print') + attr(0x44, 'smi55357-driver', b'none') +
            attr(0x45, 'smi55357-device-uri', b'socket://127.0.0.1:9') + b'\x04' +
            attr(0x42, 'printer-name', b'hostile')),
]


def mutate(rng, body):
    body = bytearray(body)
    for _ in range(rng.randint(1, 4)):
        at = rng.randrange(len(body))
        how = rng.randrange(5)
        if how == 0:
            body[at] ^= 1 << rng.randrange(8)
        elif how == 1:
            del body[at:]
            if not body:
                body = bytearray(b'\x02')
        elif how == 2:
            body[at:at] = body[at:at + rng.randint(1, 64)] * rng.randint(2, 50)
        elif how == 3:
            body[at:at + 2] = b'\xff\xff'
        else:
            body[at:at] = bytes(rng.randrange(256) for _ in range(rng.randint(1, 16)))
    return bytes(body)


def send(body, length=None, timeout=10):
    try:
        with socket.create_connection(('127.0.0.1', port), timeout=timeout) as s:
            s.sendall(f'POST /ipp/print/{printer} HTTP/1.1\r\nHost: localhost\r\nContent-Type: application/ipp\r\n'
                      f'Content-Length: {len(body) if length is None else length}\r\n\r\n'.encode() + body)
            s.shutdown(socket.SHUT_WR)
            while s.recv(65536):
                pass
    except OSError:
        pass


if sys.argv[4] == 'big':
    header = bytearray(page[4:1800])
    width, bpp = struct.unpack_from('>I', header, 372)[0], struct.unpack_from('>I', header, 388)[0]
    assert bpp == 8 and struct.unpack_from('>I', header, 392)[0] == width, 'an 8-bit PWG page'
    struct.pack_into('>I', header, 372, 1 << 24)
    struct.pack_into('>I', header, 392, 1 << 24)
    row = b'\x00' + b'\x7f\x55' * (1 << 17)  # 16 MiB of 0x55, in runs of 128
    body = request(0x02, printer_uri, attr(0x49, 'document-format', b'image/pwg-raster'),
                   b'RaS2' + bytes(header) + row * 4)
    clients = [threading.Thread(target=send, args=(body,)) for _ in range(8)]
    for c in clients:
        c.start()
    for c in clients:
        c.join()
else:
    rng = random.Random(int(sys.argv[5]))
    for n in range(int(sys.argv[4])):
        body = mutate(rng, rng.choice(valid))
        send(body, None if rng.randrange(8) else rng.choice([0, len(body) // 2, len(body) * 2]), timeout=2)
