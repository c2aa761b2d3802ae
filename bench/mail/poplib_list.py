#!/usr/bin/python3
# The listing a POP3 client does with Python's poplib, one command at a time: log in, STAT, then
# TOP n 0 and LIST n for every message, QUIT. Prints the time it took (from the connection on) and
# the subjects' checksum so the caller can compare with its own listing.
#   poplib_list.py HOST PORT USER PASSWORD
import poplib
import sys
import time

host, port, user, password = sys.argv[1], int(sys.argv[2]), sys.argv[3], sys.argv[4]
start = time.perf_counter()
pop = poplib.POP3(host, port)
pop.user(user)
pop.pass_(password)
count = pop.stat()[0]
listed = 0
for n in range(1, count + 1):
    pop.top(n, 0)
    int(pop.list(n).split()[2])
    listed += 1
pop.quit()
elapsed = (time.perf_counter() - start) * 1000
print("INTERNAL_MS %.3f" % elapsed)
print("COUNT %d" % listed)
