#!/usr/bin/python3
"""SMTP server for the tests: listens on a free 127.0.0.1 port (printed as "PORT n" on stdout)
and stores every message it receives in the given folder as msg-NNNN.eml (the data as received,
dot-stuffing undone) and msg-NNNN.json (the envelope: sender and recipients).

Options after the folder: --tls CERT KEY offers STARTTLS on that port and also listens with TLS
from the first byte on a second port (printed as "TLSPORT n" after the PORT line)."""
import argparse
import asyncio
import json
import os
import ssl

from aiosmtpd.smtp import SMTP


class StoreHandler:
    def __init__(self, folder):
        self.folder = folder
        self.count = 0

    async def handle_DATA(self, server, session, envelope):
        self.count += 1
        base = os.path.join(self.folder, "msg-%04d" % self.count)
        with open(base + ".eml", "wb") as f:
            f.write(envelope.original_content)
        # The envelope file is written last: its presence means the message is complete.
        with open(base + ".json.tmp", "w") as f:
            json.dump({"mail_from": envelope.mail_from, "rcpt_tos": envelope.rcpt_tos}, f)
        os.rename(base + ".json.tmp", base + ".json")
        return "250 OK stored"


async def main(args):
    handler = StoreHandler(args.folder)
    loop = asyncio.get_running_loop()
    context = None
    if args.tls:
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.load_cert_chain(args.tls[0], args.tls[1])

    def session(starttls):
        return SMTP(handler, decode_data=False, data_size_limit=256 * 1024 * 1024, hostname="sink.test",
                    tls_context=context if starttls else None)

    server = await loop.create_server(lambda: session(True), host="127.0.0.1", port=0)
    print("PORT %d" % server.sockets[0].getsockname()[1], flush=True)
    servers = [server.serve_forever()]
    if context is not None:
        implicit = await loop.create_server(lambda: session(False), host="127.0.0.1", port=0, ssl=context)
        print("TLSPORT %d" % implicit.sockets[0].getsockname()[1], flush=True)
        servers.append(implicit.serve_forever())
    await asyncio.gather(*servers)


if __name__ == "__main__":
    parser = argparse.ArgumentParser()
    parser.add_argument("folder")
    parser.add_argument("--tls", nargs=2, metavar=("CERT", "KEY"))
    asyncio.run(main(parser.parse_args()))
