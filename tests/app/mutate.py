# IPP clients for the Printer Application's tests on loopback, PAGE a PWG
# raster file of 8-bit pages:
#   mutate.py PORT PRINTER PAGE COUNT SEED: COUNT requests, one a connection,
#     each a valid one (Get-Printer-Attributes, Print-Job of PAGE,
#     Set-Printer-Attributes, Create-Printer) flipped, cut, repeated, with
#     lengths made huge or bytes added;
#   mutate.py PORT PRINTER PAGE big: 8 clients at once each printing a page
#     whose header claims lines of 16 MiB, 4 lines sent;
#   mutate.py PORT PRINTER PAGE hangup|cancel: a Print-Job of PAGE that stops
#     halfway into its rows and hangs up, or waits for the file "go" there;
#   mutate.py PORT PRINTER PAGE busy SECONDS: for SECONDS, 6 clients printing
#     PAGE (turned away while the printer is busy) and 6 reading the printer's
#     attributes; fails if a request gets no answer within 10 seconds.
import concurrent.futures, os, random, socket, struct, sys, time

port, printer, page, how = int(sys.argv[1]), sys.argv[2], open(sys.argv[3], 'rb').read(), sys.argv[4]
attr = lambda tag, name, v: struct.pack('>BH', tag, len(name)) + name.encode() + struct.pack('>H', len(v)) + v
integer = lambda n: struct.pack('>i', n)
to_printer = ('printer-uri', f'ipp://localhost:{port}/ipp/print/{printer}'.encode())


def request(op, target, groups, data=b''):
    return (struct.pack('>BBHIB', 2, 0, op, 1, 1) + attr(0x47, 'attributes-charset', b'utf-8') +
            attr(0x48, 'attributes-natural-language', b'en') + attr(0x45, *target) + groups + b'\x03' + data)


def print_job(data):
    return request(0x02, to_printer, attr(0x49, 'document-format', b'image/pwg-raster'), data)


def send(body, length=None, cut=None, timeout=10):
    answered = True
    try:
        with socket.create_connection(('127.0.0.1', port), timeout=timeout) as s:
            s.sendall(f'POST /ipp/print/{printer} HTTP/1.1\r\nHost: localhost\r\nContent-Type: application/ipp\r\n'
                      f'Content-Length: {len(body) if length is None else length}\r\n\r\n'.encode() + body[:cut])
            while how == 'cancel' and not os.path.exists('go'):
                time.sleep(0.1)
            s.sendall(body[cut:] if how != 'hangup' else b'')
            s.shutdown(socket.SHUT_WR)
            while s.recv(65536):
                pass
    except socket.timeout:
        answered = False
    except OSError:
        pass
    return answered


def mutate(rng, body):
    for _ in range(rng.randint(1, 4)):
        at, how = rng.randrange(len(body)), rng.randrange(5)
        insert = [bytes([body[at] ^ 1 << rng.randrange(8)]), b'', body[at:at + rng.randint(1, 64)] * rng.randint(2, 50),
                  b'\xff\xff', rng.randbytes(rng.randint(1, 16))][how]
        body = body[:at] + insert + body[at + [1, len(body), 0, 2, 0][how]:] or b'\x02'
    return body


if how in ('hangup', 'cancel'):
    body = print_job(page)
    send(body, cut=len(body) - (len(page) - 1800) // 2)  # halfway into the rows after the 1800 bytes of header
elif how == 'big':
    header = bytearray(page[4:1800])  # cupsWidth at 372, cupsBytesPerLine at 392
    struct.pack_into('>I', header, 372, 1 << 24)
    struct.pack_into('>I', header, 392, 1 << 24)
    body = print_job(b'RaS2' + bytes(header) + (b'\x00' + b'\x7f\x55' * (1 << 17)) * 4)  # runs of 128
    list(concurrent.futures.ThreadPoolExecutor(8).map(send, [body] * 8))
elif how == 'busy':
    end = time.time() + float(sys.argv[5])
    flood = lambda body: all(send(body) for _ in iter(lambda: time.time() < end, False))
    bodies = [print_job(page)] * 6 + [request(0x0b, to_printer, attr(0x44, 'requested-attributes', b'all'))] * 6
    sys.exit(not all(concurrent.futures.ThreadPoolExecutor(12).map(flood, bodies)))
else:
    valid = [request(0x0b, to_printer, attr(0x44, 'requested-attributes', b'all')),
             print_job(page),
             request(0x13, to_printer, b'\x04' + attr(0x21, 'printer-darkness-configured', integer(40)) +
                     attr(0x21, 'print-speed-default', integer(5080)) + attr(0x44, 'print-method-default', b'direct-thermal')),
             request(0x4c, ('system-uri', f'ipp://localhost:{port}/ipp/system'.encode()),
                     attr(0x44, 'printer-service-type', b'print') + attr(0x44, 'smi55357-driver', b'none') +
                     attr(0x45, 'smi55357-device-uri', b'socket://127.0.0.1:9') + b'\x04' + attr(0x42, 'printer-name', b'x'))]
    rng = random.Random(int(sys.argv[5]))
    for n in range(int(how)):
        body = mutate(rng, rng.choice(valid))
        send(body, None if rng.randrange(8) else rng.choice([0, len(body) // 2, len(body) * 2]), timeout=2)
