#!/usr/bin/python3
"""The people around the user in the real-client tests, in one process on one event loop.

Scripted contacts log in to the test's chat server, write to the user when told, and report
every message they receive, in order and with its exact text. Beside them listens the page's
observer (tests/fixtures/realclient/index.html posts its reports here), so the test reads the
contacts and the page on one stream, in the order things happened.

Standard input, one JSON object a line:
    {"send": "ann", "to": "me@localhost", "body": "..."}
Standard output, one JSON object a line, each with "t" (CLOCK_MONOTONIC seconds):
    {"source": "peers", "type": "ready", "observer": PORT}      everyone is online
    {"source": "contact", "type": "sent", "contact": "ann", "body": ...}
    {"source": "contact", "type": "received", "contact": "ann", "from": "me@localhost", "body": ...}
    {"source": "page", ...}                                      a report of the page, as it came

Usage: peers.py --host 127.0.0.1 --port C2S_PORT --domain localhost --contact NAME:PASSWORD...
"""
import argparse
import asyncio
import json
import logging
import sys
import time

import slixmpp


def emit(record):
    record["t"] = time.monotonic()
    sys.stdout.write(json.dumps(record) + "\n")
    sys.stdout.flush()


class Contact(slixmpp.ClientXMPP):
    def __init__(self, name, jid, password):
        super().__init__(jid, password)
        self.name = name
        self.online = asyncio.get_event_loop().create_future()
        self.add_event_handler("session_start", self.started)
        self.add_event_handler("message", self.received)
        self.add_event_handler("failed_auth", lambda _: self.fail("authentication failed"))
        self.add_event_handler("connection_failed", lambda error: self.fail(f"connection failed: {error}"))

    def fail(self, reason):
        if not self.online.done():
            self.online.set_exception(RuntimeError(f"{self.name}: {reason}"))

    async def started(self, _):
        await self.get_roster()
        self.send_presence()
        if not self.online.done():
            self.online.set_result(True)

    def received(self, message):
        if message["type"] not in ("chat", "normal") or not message["body"]:
            return
        emit({"source": "contact", "type": "received", "contact": self.name,
              "from": message["from"].bare, "body": message["body"]})


async def observe(reader, writer):
    """One HTTP request of the page's observer: a POST whose body is one report."""
    try:
        head = await reader.readuntil(b"\r\n\r\n")
        length = 0
        for line in head.decode("latin-1").split("\r\n")[1:]:
            name, _, value = line.partition(":")
            if name.strip().lower() == "content-length":
                length = int(value.strip())
        body = await reader.readexactly(length) if length else b""
        if head.startswith(b"POST"):
            try:
                report = json.loads(body.decode("utf-8"))
            except ValueError:
                report = {"type": "unreadable", "text": body.decode("utf-8", "replace")}
            if isinstance(report, dict):
                report["source"] = "page"
                emit(report)
        writer.write(b"HTTP/1.1 204 No Content\r\nAccess-Control-Allow-Origin: *\r\n"
                     b"Content-Length: 0\r\nConnection: close\r\n\r\n")
        await writer.drain()
    except (asyncio.IncompleteReadError, asyncio.LimitOverrunError, ConnectionError, ValueError):
        pass
    finally:
        writer.close()


async def commands(contacts):
    loop = asyncio.get_event_loop()
    reader = asyncio.StreamReader()
    await loop.connect_read_pipe(lambda: asyncio.StreamReaderProtocol(reader), sys.stdin)
    while line := await reader.readline():
        try:
            command = json.loads(line)
            contact = contacts[command["send"]]
            contact.send_message(mto=command["to"], mbody=command["body"], mtype="chat")
            emit({"source": "contact", "type": "sent", "contact": contact.name, "body": command["body"]})
        except (ValueError, KeyError, TypeError) as error:
            emit({"source": "peers", "type": "error", "text": f"bad command {line!r}: {error}"})


async def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--host", default="127.0.0.1")
    parser.add_argument("--port", type=int, required=True)
    parser.add_argument("--domain", required=True)
    parser.add_argument("--contact", action="append", default=[])
    arguments = parser.parse_args()
    logging.basicConfig(level=logging.ERROR, stream=sys.stderr)

    observer = await asyncio.start_server(observe, "127.0.0.1", 0)
    contacts = {}
    for entry in arguments.contact:
        name, _, password = entry.partition(":")
        contact = Contact(name, f"{name}@{arguments.domain}", password)
        # The test's server speaks no TLS; SCRAM needs none.
        contact.connect((arguments.host, arguments.port), disable_starttls=True, force_starttls=False)
        contacts[name] = contact
    try:
        await asyncio.wait_for(asyncio.gather(*(c.online for c in contacts.values())), 60)
    except (RuntimeError, asyncio.TimeoutError) as error:
        emit({"source": "peers", "type": "error", "text": str(error) or "contacts did not come online"})
        return 1
    emit({"source": "peers", "type": "ready", "observer": observer.sockets[0].getsockname()[1]})
    await commands(contacts)
    for contact in contacts.values():
        contact.disconnect()
    return 0


if __name__ == "__main__":
    sys.exit(asyncio.run(main()))
