#!/usr/bin/env python3
# An Alertmanager webhook receiver for tests: serves 127.0.0.1:PORT and appends one line per
# alert of every notification to LOG, `STATUS ALERTNAME instance=INSTANCE vfg=VFG flag=FLAG` (-
# for a missing label). A GET answers 200, so that a test can wait for it to listen.
#
# Usage: webhook_receiver.py PORT LOG
import json
import sys
from http.server import BaseHTTPRequestHandler, HTTPServer


class Receiver(BaseHTTPRequestHandler):
    def do_GET(self):
        self.send_response(200)
        self.end_headers()

    def do_POST(self):
        body = self.rfile.read(int(self.headers.get("Content-Length", 0)))
        lines = []
        for alert in json.loads(body)["alerts"]:
            labels = alert["labels"]
            lines.append(f'{alert["status"]} {labels.get("alertname", "-")} '
                         f'instance={labels.get("instance", "-")} vfg={labels.get("vfg", "-")} '
                         f'flag={labels.get("flag", "-")}\n')
        with open(sys.argv[2], "a", encoding="utf-8") as log:
            log.writelines(lines)
        self.send_response(200)
        self.end_headers()

    def log_message(self, *args):
        pass


HTTPServer(("127.0.0.1", int(sys.argv[1])), Receiver).serve_forever()
