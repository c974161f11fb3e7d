"""Shared pieces of the package's tests: the repository's data folders and a loopback server."""

import http.server
import os
import pathlib
import threading

import pytest

REPOSITORY = pathlib.Path(os.environ.get("VEXOGEO_TEST_DATA",
                                         pathlib.Path(__file__).resolve().parents[2]))


@pytest.fixture
def serve():
    """serve(routes) starts an HTTP server on 127.0.0.1 answering each path of `routes` with
    (status, content type, body bytes); it returns the base URL and records request paths."""
    servers = []

    def start(routes):
        seen = []

        class Handler(http.server.BaseHTTPRequestHandler):
            def do_GET(self):
                path = self.path.split("?")[0]
                seen.append(self.path)
                status, content_type, body = routes.get(path, (404, "text/plain", b"none"))
                self.send_response(status)
                self.send_header("Content-Type", content_type)
                self.send_header("Content-Length", str(len(body)))
                self.end_headers()
                self.wfile.write(body)

            def log_message(self, *args):
                pass

        server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
        threading.Thread(target=server.serve_forever, daemon=True).start()
        servers.append(server)
        return f"http://127.0.0.1:{server.server_address[1]}", seen

    yield start
    for server in servers:
        server.shutdown()
        server.server_close()
