#!/usr/bin/python3
"""Plays the desktop browser in the OAuth 2 tests: opens the authorization address (trusting the
test authority) and follows its redirect to the program's loopback listener.
usage: browser.py CAFILE URL"""
import ssl, sys, urllib.request

context = ssl.create_default_context(cafile=sys.argv[1])
opener = urllib.request.build_opener(urllib.request.HTTPSHandler(context=context))
with opener.open(sys.argv[2], timeout=20) as reply:
    reply.read()
