#!/usr/bin/python3
"""The account set-up tests' network, run inside the tests' own network namespace:
- a DNS server on 127.0.0.1:53 (UDP) answering A, MX and SRV records from a JSON zone,
  NXDOMAIN for every other name;
- an HTTPS server on 127.0.0.1:443 serving files by host name (www/<host>/<path>) and, for the
  host auth.test, an OAuth 2 authorization server: /authorize, /token (authorization code with
  a PKCE S256 check, refresh), /revoke?token= (forgets a refresh token) and /expire?token=
  (forgets an access token);
- a plain HTTP introspection endpoint on 127.0.0.1:<introspection port>/introspect for Dovecot.
Prints "ready" once everything listens.
usage: setup_servers.py ZONE.json WWW CERT KEY INTROSPECTION_PORT"""
import base64, hashlib, http.server, json, os, secrets, socket, ssl, struct, sys, threading
import urllib.parse

zone_file, www, cert, key, introspection_port = sys.argv[1:6]
with open(zone_file) as f:
    zone = {k.lower().rstrip('.'): v for k, v in json.load(f).items()}

codes, refresh_tokens, access_tokens = {}, {}, {}  # code -> request, refresh -> user, access -> user
lock = threading.Lock()


def encode_name(name):
    out = b''
    for label in name.rstrip('.').split('.'):
        if label:
            out += bytes([len(label)]) + label.encode()
    return out + b'\0'


def dns_answer(query):
    qid, flags, qd = struct.unpack('>HHH', query[:6])
    pos, labels = 12, []
    while query[pos]:
        labels.append(query[pos + 1:pos + 1 + query[pos]].decode().lower())
        pos += 1 + query[pos]
    qtype = struct.unpack('>H', query[pos + 1:pos + 3])[0]
    question = query[12:pos + 5]
    name = '.'.join(labels)
    records = zone.get(name)
    answers = []
    for r in records or []:
        t = r['type']
        if t == 'A' and qtype == 1:
            answers.append((1, socket.inet_aton(r['value'])))
        elif t == 'MX' and qtype == 15:
            answers.append((15, struct.pack('>H', r['pref']) + encode_name(r['host'])))
        elif t == 'SRV' and qtype == 33:
            answers.append((33, struct.pack('>HHH', r['prio'], r['weight'], r['port']) + encode_name(r['target'])))
    rcode = 3 if records is None else 0
    header = struct.pack('>HHHHHH', qid, 0x8580 | (flags & 0x0100) | rcode, 1, len(answers), 0, 0)
    body = b''.join(struct.pack('>HHHIH', 0xC00C, t, 1, 60, len(d)) + d for t, d in answers)
    return header + question + body


def serve_dns():
    sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    sock.bind(('127.0.0.1', 53))
    while True:
        data, peer = sock.recvfrom(4096)
        try:
            sock.sendto(dns_answer(data), peer)
        except Exception as e:  # a malformed query gets no answer
            print('dns:', e, file=sys.stderr)


class Https(http.server.BaseHTTPRequestHandler):
    def log_message(self, *args):
        pass

    def reply(self, status, body, ctype='application/json', headers=()):
        data = body if isinstance(body, bytes) else json.dumps(body).encode()
        self.send_response(status)
        for k, v in headers:
            self.send_header(k, v)
        self.send_header('Content-Type', ctype)
        self.send_header('Content-Length', str(len(data)))
        self.end_headers()
        self.wfile.write(data)

    def do_GET(self):
        host = (self.headers.get('Host') or '').split(':')[0].lower()
        url = urllib.parse.urlsplit(self.path)
        q = dict(urllib.parse.parse_qsl(url.query))
        if host == 'auth.test':
            return self.auth_get(url.path, q)
        path = os.path.normpath(os.path.join(www, host, url.path.lstrip('/')))
        if not path.startswith(os.path.join(www, host)) or not os.path.isfile(path):
            return self.reply(404, b'not found', 'text/plain')
        with open(path, 'rb') as f:
            self.reply(200, f.read(), 'application/xml')

    def auth_get(self, path, q):
        with lock:
            if path == '/authorize':
                if q.get('response_type') != 'code' or q.get('code_challenge_method') != 'S256' \
                        or not q.get('code_challenge') or not q.get('redirect_uri', '').startswith('http://127.0.0.1:'):
                    return self.reply(400, {'error': 'invalid_request'})
                code = secrets.token_urlsafe(16)
                codes[code] = q
                target = q['redirect_uri'] + '?' + urllib.parse.urlencode({'code': code, 'state': q.get('state', '')})
                return self.reply(302, b'', 'text/plain', [('Location', target)])
            if path == '/revoke':
                refresh_tokens.pop(q.get('token'), None)
                return self.reply(200, {})
            if path == '/expire':  # without a token: every access token
                if 'token' in q:
                    access_tokens.pop(q['token'], None)
                else:
                    access_tokens.clear()
                return self.reply(200, {})
        self.reply(404, b'not found', 'text/plain')

    def do_POST(self):
        form = dict(urllib.parse.parse_qsl(self.rfile.read(int(self.headers.get('Content-Length', 0))).decode()))
        if self.path != '/token':
            return self.reply(404, b'not found', 'text/plain')
        with lock:
            grant = form.get('grant_type')
            if grant == 'authorization_code':
                req = codes.pop(form.get('code'), None)
                verifier = form.get('code_verifier', '')
                challenge = base64.urlsafe_b64encode(hashlib.sha256(verifier.encode()).digest()).rstrip(b'=').decode()
                if not req or req['code_challenge'] != challenge or req['redirect_uri'] != form.get('redirect_uri') \
                        or req['client_id'] != form.get('client_id'):
                    return self.reply(400, {'error': 'invalid_grant'})
                user = req.get('login_hint', 'user').split('@')[0]  # accounts named by the local part
                refresh = secrets.token_urlsafe(24)
                refresh_tokens[refresh] = user
            elif grant == 'refresh_token':
                refresh = form.get('refresh_token')
                user = refresh_tokens.get(refresh)
                if user is None:
                    return self.reply(400, {'error': 'invalid_grant'})
            else:
                return self.reply(400, {'error': 'unsupported_grant_type'})
            access = secrets.token_urlsafe(24)
            access_tokens[access] = user
            self.reply(200, {'access_token': access, 'refresh_token': refresh, 'expires_in': 3600,
                             'token_type': 'Bearer'})


class Introspection(http.server.BaseHTTPRequestHandler):
    def log_message(self, *args):
        pass

    def do_POST(self):
        form = dict(urllib.parse.parse_qsl(self.rfile.read(int(self.headers.get('Content-Length', 0))).decode()))
        with lock:
            user = access_tokens.get(form.get('token'))
        body = json.dumps({'active': 'true', 'username': user} if user else {'active': 'false'}).encode()
        self.send_response(200)
        self.send_header('Content-Type', 'application/json')
        self.send_header('Content-Length', str(len(body)))
        self.end_headers()
        self.wfile.write(body)


https = http.server.ThreadingHTTPServer(('127.0.0.1', 443), Https)
context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
context.load_cert_chain(cert, key)
https.socket = context.wrap_socket(https.socket, server_side=True)
introspection = http.server.ThreadingHTTPServer(('127.0.0.1', int(introspection_port)), Introspection)
for target in (serve_dns, https.serve_forever, introspection.serve_forever):
    threading.Thread(target=target, daemon=True).start()
print('ready', flush=True)
sys.stdin.read()  # ends with the test process
