#!/usr/bin/python3
# The listing the IMAP benchmark compares with: Python's imaplib logs in, selects INBOX, fetches
# the same items of messages 1 to N in one FETCH, parses the header fields, and logs out. Prints
# the milliseconds from connection to logout, then those of the FETCH and its parsing alone.
#   imaplib_list.py PORT USER PASSWORD N
import email.parser
import imaplib
import sys
import time

port, user, password, count = int(sys.argv[1]), sys.argv[2], sys.argv[3], int(sys.argv[4])
items = "(UID FLAGS RFC822.SIZE BODY.PEEK[HEADER.FIELDS (FROM SUBJECT DATE MESSAGE-ID)])"
start = time.perf_counter()
imap = imaplib.IMAP4("127.0.0.1", port)
imap.login(user, password)
imap.select("INBOX")
fetch_start = time.perf_counter()
status, data = imap.fetch("1:%d" % count, items)
parser = email.parser.BytesHeaderParser()
listed = 0
for part in data:
    if isinstance(part, tuple):
        headers = parser.parsebytes(part[1])
        if headers["Subject"] is not None:
            listed += 1
fetch = (time.perf_counter() - fetch_start) * 1000
imap.logout()
elapsed = (time.perf_counter() - start) * 1000
if listed != count:
    sys.exit("imaplib listed %d of %d" % (listed, count))
print("%.3f %.3f" % (elapsed, fetch))
