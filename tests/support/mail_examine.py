#!/usr/bin/python3
"""Describes a stored message with Python's email package, for the mail tests.
Usage: mail_examine.py MESSAGE OUTDIR
Prints JSON: the top-level headers (name, value), and for every leaf part its content type,
transfer encoding, file name and the decoded payload written to OUTDIR/part-N."""
import email
import email.policy
import json
import os
import sys


def main(path, outdir):
    os.makedirs(outdir, exist_ok=True)
    with open(path, "rb") as f:
        msg = email.message_from_binary_file(f, policy=email.policy.compat32)
    parts = []
    for n, part in enumerate(p for p in msg.walk() if not p.is_multipart()):
        payload = part.get_payload(decode=True) or b""
        out = os.path.join(outdir, "part-%d" % n)
        with open(out, "wb") as f:
            f.write(payload)
        parts.append({
            "content_type": part.get_content_type(),
            "transfer_encoding": (part.get("Content-Transfer-Encoding") or "").strip().lower(),
            "filename": part.get_filename() or "",
            "payload_file": out,
            "size": len(payload),
        })
    print(json.dumps({
        "headers": [[k, str(v)] for k, v in msg.items()],
        "is_multipart": msg.is_multipart(),
        "defects": [type(d).__name__ for d in msg.defects],
        "parts": parts,
    }))


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2])
