#!/usr/bin/python3
"""A small HTTP server on 127.0.0.1 that answers what a test wrote.

usage: local_http_server.py ROUTES.json LOG.jsonl

ROUTES.json is read again for every request, so a test may change the
answers between requests. It maps a path ("/a/b?x=1" first, then "/a/b")
to an answer:
  {"status": 200, "body": "text" | "body_hex": "00ff" | "body_file": PATH
   | "body_bytes": N (N bytes of 'x'), "headers": {"Retry-After": "2"},
   "delay_ms": 0}
A path without an answer gets 404. Every request is appended to LOG.jsonl
as one JSON line (path, user agent, accept). The chosen port is printed
on the first line of standard output.
"""
import http.server
import json
import sys
import time

ROUTES, LOG = sys.argv[1], sys.argv[2]


def answer_for(path):
    try:
        with open(ROUTES, encoding="utf-8") as f:
            routes = json.load(f)
    except (OSError, ValueError):
        routes = {}
    return routes.get(path) or routes.get(path.split("?", 1)[0])


def body_of(answer):
    if "body_hex" in answer:
        return bytes.fromhex(answer["body_hex"])
    if "body_file" in answer:
        with open(answer["body_file"], "rb") as f:
            return f.read()
    if "body_bytes" in answer:
        return b"x" * int(answer["body_bytes"])
    return answer.get("body", "").encode("utf-8")


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *args):
        pass

    def do_GET(self):
        with open(LOG, "a", encoding="utf-8") as f:
            f.write(json.dumps({"path": self.path,
                                "user_agent": self.headers.get("User-Agent", ""),
                                "accept": self.headers.get("Accept", "")}) + "\n")
        answer = answer_for(self.path) or {"status": 404, "body": "not found"}
        time.sleep(answer.get("delay_ms", 0) / 1000.0)
        body = body_of(answer)
        self.send_response(answer.get("status", 200))
        for name, value in answer.get("headers", {}).items():
            self.send_header(name, value)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        try:
            self.wfile.write(body)
        except (BrokenPipeError, ConnectionResetError):
            pass


server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
server.daemon_threads = True
sys.stdout.write("%d\n" % server.server_address[1])
sys.stdout.flush()
sys.stdout.close()
server.serve_forever()
