#!/usr/bin/env python3
"""A web server that fails on purpose, for the command-line tool's safety cases.

    faulty_server.py PORT

GET /cut    announces 200,000 bytes, sends 20,000 and closes the connection.
GET /reset  announces 200,000 bytes, sends 20,000 and resets the connection.
GET /slow   announces 2,000,000 bytes and sends 1,000 every 50 ms (to be cancelled).
"""
import socket, socketserver, struct, sys, time


class Handler(socketserver.BaseRequestHandler):
    def handle(self):
        request = b''
        while b'\r\n\r\n' not in request and b'\n\n' not in request:
            data = self.request.recv(4096)
            if not data:
                return
            request += data
        path = request.split(b' ')[1].decode() if b' ' in request else '/'
        total = 2000000 if path == '/slow' else 200000
        head = ('HTTP/1.0 200 OK\r\nContent-Length: %d\r\n'
                'Last-Modified: Sat, 01 Jan 2022 00:00:00 GMT\r\n\r\n' % total)
        self.request.sendall(head.encode())
        try:
            if path == '/slow':
                for _ in range(total // 1000):
                    self.request.sendall(b's' * 1000)
                    time.sleep(0.05)
                return
            self.request.sendall(b'p' * 20000)
            if path == '/reset':
                # SO_LINGER with a zero time-out turns the close into a reset.
                self.request.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack('ii', 1, 0))
        except OSError:
            pass


class Server(socketserver.ThreadingTCPServer):
    daemon_threads = True
    allow_reuse_address = True


if __name__ == '__main__':
    Server(('127.0.0.1', int(sys.argv[1])), Handler).serve_forever()
