#!/usr/bin/python3
"""Reads a stored message back as a modern mail program does (Python's email package, policy
default), for the sending tests.
Usage: mail_readback.py MESSAGE OUTDIR
Prints JSON: subject, sender and recipients as (display name, address) pairs, date, identifiers,
the plain text body, and each attachment's file name with its bytes written to OUTDIR/att-N."""
import email
import email.policy
import json
import os
import sys


def mailboxes(msg, name):
    header = msg[name]
    if header is None:
        return []
    return [[a.display_name, a.addr_spec] for a in header.addresses]


def main(path, outdir):
    os.makedirs(outdir, exist_ok=True)
    with open(path, "rb") as f:
        msg = email.message_from_binary_file(f, policy=email.policy.default)
    body = msg.get_body(preferencelist=("plain",))
    attachments = []
    for n, part in enumerate(msg.iter_attachments()):
        out = os.path.join(outdir, "att-%d" % n)
        with open(out, "wb") as f:
            f.write(part.get_payload(decode=True) or b"")
        attachments.append({"filename": part.get_filename() or "", "file": out})
    defects = [type(d).__name__ for p in msg.walk() for d in p.defects]
    for name in ("From", "To", "Cc", "Subject", "Date"):
        h = msg[name]
        if h is not None:
            defects += [type(d).__name__ for d in h.defects]
    date = msg["Date"]
    print(json.dumps({
        "subject": str(msg["Subject"] or ""),
        "from": mailboxes(msg, "From"),
        "to": mailboxes(msg, "To"),
        "cc": mailboxes(msg, "Cc"),
        "date_ok": date is not None and date.datetime is not None and date.datetime.tzinfo is not None,
        "message_id": str(msg["Message-ID"] or ""),
        "in_reply_to": str(msg["In-Reply-To"] or ""),
        "references": str(msg["References"] or ""),
        "body": body.get_content() if body is not None else None,
        "attachments": attachments,
        "defects": defects,
    }))


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2])
