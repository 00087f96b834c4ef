#!/usr/bin/env python3
"""Load and faults against one running Portavane: many connections ask for
static files, PHP pages (hello, upload, session) and bad requests, while the
server's php-cgi processes (the pool's parent and its children) are killed at
random. Every good request must get its own correct answer, or a gateway
error (502/503/504, or a cut answer) while PHP is killed; never a wrong body.
Then bursts of clients over the tree's Adminer, with nothing killed: no error
at all.

  soak.py <port> <server pid> <tree> <seconds> <connections>
  soak.py --length <seconds>    how long such a run takes in all, in seconds

Prints the figures and exits non-zero on a wrong answer, on resources that
did not come back, on a run that did not end in time, or on a php-cgi of the
tree that outlives the server (the caller stops the server and runs
`soak.py --after <tree> <pids file>`)."""
import collections, hashlib, os, random, signal, socket, sys, threading, time

STATIC = {"/soak/small.txt": 100, "/soak/medium.txt": 20000, "/soak/large.bin": 300000}


def content(size):
    return bytes((i * 7 + 13) % 251 for i in range(size))


def write_site(www):
    os.makedirs(os.path.join(www, "soak"), exist_ok=True)
    for url, size in STATIC.items():
        with open(os.path.join(www, url.lstrip("/")), "wb") as f:
            f.write(content(size))
    pages = {
        "hello.php": '<?php echo "hello ", $_GET["n"];\n',
        "upload.php": '<?php $f = $_FILES["f"];\n'
                      'echo $f["error"] === 0 ? md5_file($f["tmp_name"]) . " " . $f["size"] : "error " . $f["error"];\n',
        "session.php": '<?php session_start(); $_SESSION["n"] = ($_SESSION["n"] ?? 0) + 1;\n'
                       'echo "count ", $_SESSION["n"];\n',
    }
    for name, text in pages.items():
        with open(os.path.join(www, "soak", name), "w") as f:
            f.write(text)


# --- one HTTP exchange --------------------------------------------------

class Cut(Exception):
    """The server closed or reset the connection before a whole answer."""


def read_answer(sock, head_only=False):
    data = b""
    while b"\r\n\r\n" not in data:
        chunk = sock.recv(65536)
        if not chunk:
            raise Cut()
        data += chunk
    head, _, body = data.partition(b"\r\n\r\n")
    lines = head.decode("latin-1").split("\r\n")
    status = int(lines[0].split()[1])
    headers = {}
    for line in lines[1:]:
        name, _, value = line.partition(":")
        headers.setdefault(name.strip().lower(), value.strip())
    if head_only or status in (304,):
        return status, headers, b""
    if "content-length" in headers:
        length = int(headers["content-length"])
        while len(body) < length:
            chunk = sock.recv(65536)
            if not chunk:
                raise Cut()
            body += chunk
        return status, headers, body[:length]
    while True:  # to the end of the connection
        chunk = sock.recv(65536)
        if not chunk:
            return status, headers, body
        body += chunk


class Connection:
    """A client connection, kept open while the server keeps it; like a
    browser it does not reuse one that sat idle near the server's 5 s."""
    def __init__(self, port):
        self.port, self.sock, self.used = port, None, 0

    def exchange(self, request, keep):
        if self.sock is not None and time.time() - self.used > 3:
            self.close()
        if self.sock is None:
            self.sock = socket.create_connection(("127.0.0.1", self.port), timeout=30)
        try:
            self.sock.sendall(request)
            status, headers, body = read_answer(self.sock)
        except (Cut, OSError):
            self.close()
            raise Cut()
        if not keep or headers.get("connection", "").lower() == "close" or "content-length" not in headers:
            self.close()
        self.used = time.time()
        return status, headers, body

    def close(self):
        if self.sock is not None:
            self.sock.close()
            self.sock = None


def request(method, url, keep, extra=b"", body=b""):
    head = "%s %s HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: %s\r\n" % (
        method, url, "keep-alive" if keep else "close")
    return head.encode() + extra + b"\r\n" + body


# --- the kinds of request -----------------------------------------------

def static(conn, rng, keep):
    url = rng.choice(list(STATIC))
    full = content(STATIC[url])
    if rng.random() < 0.3:
        start = rng.randrange(1, len(full))
        status, _, body = conn.exchange(request("GET", url, keep, b"Range: bytes=%d-\r\n" % start), keep)
        return "static", status == 206 and body == full[start:], status
    status, _, body = conn.exchange(request("GET", url, keep), keep)
    return "static", status == 200 and body == full, status


def hello(conn, rng, keep):
    n = rng.randrange(10 ** 9)
    status, _, body = conn.exchange(request("GET", "/soak/hello.php?n=%d" % n, keep), keep)
    return "php-hello", status == 200 and body == b"hello %d" % n, status


def upload(conn, rng, keep):
    data = rng.randbytes(rng.randrange(1, 200000))
    boundary = "soak%016x" % rng.getrandbits(64)
    body = ("--%s\r\nContent-Disposition: form-data; name=\"f\"; filename=\"u.bin\"\r\n"
            "Content-Type: application/octet-stream\r\n\r\n" % boundary).encode() + data + \
        ("\r\n--%s--\r\n" % boundary).encode()
    extra = ("Content-Type: multipart/form-data; boundary=%s\r\nContent-Length: %d\r\n"
             % (boundary, len(body))).encode()
    status, _, answer = conn.exchange(request("POST", "/soak/upload.php", keep, extra, body), keep)
    expected = ("%s %d" % (hashlib.md5(data).hexdigest(), len(data))).encode()
    return "php-upload", status == 200 and answer == expected, status


class Session:
    """A browser's session: its count goes up by one with each answer; each
    failed request since the last answer may have counted too (the kill came
    after the session was saved)."""
    def __init__(self):
        self.cookie, self.count, self.failed = None, 0, 0


def session(conn, rng, keep, state):
    extra = b"Cookie: PHPSESSID=%s\r\n" % state.cookie.encode() if state.cookie else b""
    status, headers, body = conn.exchange(request("GET", "/soak/session.php", keep, extra), keep)
    if status != 200:
        state.failed += 1
        return "php-session", False, status
    cookie = headers.get("set-cookie", "")
    if cookie.startswith("PHPSESSID="):
        state.cookie = cookie.split(";")[0].split("=", 1)[1]
    try:
        count = int(body.decode().split()[1])
    except (IndexError, ValueError, UnicodeDecodeError):
        return "php-session", False, status
    ok = state.count + 1 <= count <= state.count + 1 + state.failed
    # PHP's files handler empties the session file before it writes it
    # again: a kill in between loses the session, which starts anew.
    lost = not ok and state.failed > 0 and count == 1
    state.count, state.failed = count, 0
    return "php-session", ok, "session lost" if lost else status


BAD = [  # request bytes, the status expected (None: any answer or a close)
    (b"PUT /soak/small.txt HTTP/1.1\r\nHost: x\r\n\r\n", 501),
    (b"GET /../secret.txt HTTP/1.1\r\nHost: x\r\n\r\n", 404),
    (b"GET /soak/small.txt\x00.php HTTP/1.1\r\nHost: x\r\n\r\n", 404),
    (b"GET /nothing-here.txt HTTP/1.1\r\n\r\n", 404),
    (b"GET / HTTP/1.1\r\nX-Big: " + b"a" * 70000 + b"\r\n\r\n", 431),
    (b"POST /soak/hello.php?n=1 HTTP/1.1\r\nContent-Length: many\r\n\r\n", 400),
    (b"\x16\x03\x01\x02\x00\x01\x00\x01\xfc\x03\x03", None),  # a TLS hello
    (None, None),  # random bytes
]


def bad(port, rng):
    data, expected = rng.choice(BAD)
    if data is None:
        data = rng.randbytes(rng.randrange(1, 3000)) + b"\r\n\r\n"
    sock = socket.create_connection(("127.0.0.1", port), timeout=30)
    try:
        sock.sendall(data)
        status, _, _ = read_answer(sock)
    except (Cut, OSError, ValueError, IndexError):
        status = None
    finally:
        sock.close()
    return "bad", expected is None or status == expected, status


# --- bursts that grow and shrink the PHP pool ---------------------------

# The tree's own application: its login page, and a login it refuses.
ADMINER = [("/adminer/", 200), ("/adminer/?server=127.0.0.1&username=nobody", 403)]


def churn(port, seconds, most):
    """Bursts of 1 to `most` clients over the tree's Adminer and the soak's
    PHP pages, each followed by a quiet spell in which kept connections
    close. Nothing is killed here: every answer must be whole."""
    counts, failures = collections.Counter(), collections.Counter()
    lock = threading.Lock()

    def client(until, seed):
        rng = random.Random(seed)
        conn, state = Connection(port), Session()
        while time.time() < until:
            keep = rng.random() < 0.5
            pick = rng.random()
            try:
                if pick < 0.5:
                    url, expected = rng.choice(ADMINER)
                    status, _, body = conn.exchange(request("GET", url, keep), keep)
                    kind, ok = "adminer", status == expected and b"Adminer" in body
                elif pick < 0.7:
                    kind, ok, status = hello(conn, rng, keep)
                elif pick < 0.85:
                    kind, ok, status = upload(conn, rng, keep)
                else:
                    kind, ok, status = session(conn, rng, keep, state)
            except Cut:
                kind, ok, status = "php", False, "cut"
            with lock:
                counts[kind] += 1
                if not ok:
                    failures["%s %s" % (kind, status)] += 1

    rng = random.Random(2)
    end, bursts = time.time() + seconds, 0
    while time.time() < end:
        until = time.time() + rng.uniform(1, 4)
        threads = [threading.Thread(target=client, args=(until, bursts * 1000 + i))
                   for i in range(rng.randint(1, most))]
        for t in threads:
            t.start()
        for t in threads:
            t.join()
        bursts += 1
        quiet = time.time() + rng.uniform(3, 5)  # past the server's 5 idle seconds of a kept connection
        while time.time() < quiet:  # a page now and then, as a quiet site gets them
            client(time.time() + 0.01, bursts)
            time.sleep(0.5)
    total = sum(counts.values())
    print("churn: %d s, %d bursts of 1 to %d clients, %d requests" % (seconds, bursts, most, total))
    print("  requests: " + ", ".join("%s %d" % kv for kv in sorted(counts.items())))
    print("  failures: " + (", ".join("%s: %d" % kv for kv in sorted(failures.items())) or "none"))
    return not failures


# --- the run ------------------------------------------------------------

WARM_UP, SETTLE_LOAD, SETTLE_QUIET = 15, 10, 7
LAST_BURST = 4 + 5  # the churn's last burst and its quiet spell may start at its end


def churn_length(seconds):
    return max(30, seconds // 3)


def length(seconds):
    """The run's phases end to end: warm-up, settling, the measured load,
    settling again and the churn."""
    return WARM_UP + 2 * (SETTLE_LOAD + SETTLE_QUIET) + seconds + churn_length(seconds) + LAST_BURST


class Phases:
    """Which phase runs and since when, so that a run cut short (its own
    deadline, a signal) says where it stood and still leaves the list of the
    php-cgi processes it saw for the after-check."""
    def __init__(self, seen, pids_file):
        self.seen, self.pids_file = seen, pids_file
        self.started = self.since = time.time()
        self.name = "start"

    def enter(self, name):
        self.name, self.since = name, time.time()

    def write_pids(self):
        with open(self.pids_file, "w") as f:
            f.write(" ".join(map(str, sorted(self.seen.copy()))))

    def cut_short(self, why):
        now = time.time()
        print("soak: cut short (%s) in the %s phase after %d s of it, %d s in all"
              % (why, self.name, now - self.since, now - self.started), flush=True)
        self.write_pids()
        os._exit(1)

    def watch(self, seconds):
        """Ends the run when it outlives its phases by more than a margin."""
        limit = length(seconds) + 60 + seconds // 20
        timer = threading.Timer(limit, self.cut_short, args=("no end after %d s" % limit,))
        timer.daemon = True
        timer.start()
        for sig in (signal.SIGTERM, signal.SIGINT):
            signal.signal(sig, lambda number, _: self.cut_short(signal.Signals(number).name))


def children(pid, program):
    """The php-cgi processes under `pid`: the pool's parent and its children."""
    parents = {}
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            with open("/proc/%s/stat" % entry) as f:
                stat = f.read()
            if os.readlink("/proc/%s/exe" % entry) == program:
                parents[int(entry)] = int(stat[stat.rindex(")") + 2:].split()[1])
        except (OSError, ValueError):
            pass
    found, grown = [], [pid]
    while grown:
        grown = [p for p, parent in parents.items() if parent in grown]
        found += grown
    return found


def resources(pid):
    with open("/proc/%d/status" % pid) as f:
        status = dict(line.split(":", 1) for line in f if ":" in line)
    return {"rss_kib": int(status["VmRSS"].split()[0]), "threads": int(status["Threads"]),
            "fds": len(os.listdir("/proc/%d/fd" % pid))}


def run(port, pid, tree, seconds, connections, phases):
    program = os.path.join(tree, "php", "php-cgi")
    counts = collections.Counter()
    errors = collections.Counter()
    wrong = []
    lock = threading.Lock()
    seen_cgi = phases.seen
    rss_by_minute = []  # the server's RSS during the measured load, once a minute

    def load(until, seed, tally):
        rng = random.Random(seed)
        conn, state = Connection(port), Session()
        while time.time() < until:
            keep = rng.random() < 0.5
            pick = rng.random()
            try:
                if pick < 0.35:
                    kind, ok, status = static(conn, rng, keep)
                elif pick < 0.6:
                    kind, ok, status = hello(conn, rng, keep)
                elif pick < 0.7:
                    kind, ok, status = upload(conn, rng, keep)
                elif pick < 0.85:
                    kind, ok, status = session(conn, rng, keep, state)
                else:
                    kind, ok, status = bad(port, rng)
            except Cut:
                kind, ok, status = "php" if 0.35 <= pick < 0.85 else "static", False, "cut"
                state.failed += 1
            except OSError as e:
                kind, ok, status = "connect", False, type(e).__name__
            if not tally:
                continue
            with lock:
                counts[kind] += 1
                if ok:
                    continue
                gateway = kind.startswith("php") and status in (502, 503, 504, "cut", "session lost")
                errors["%s %s" % (kind, status)] += 1
                if kind == "php-session" and status == 200:
                    wrong.append("php-session: a count out of step")
                elif not gateway:
                    wrong.append("%s %s" % (kind, status))

    def phase(length, tally, kill):
        until = time.time() + length
        threads = [threading.Thread(target=load, args=(until, i * 7919 + int(tally), tally))
                   for i in range(connections)]
        for t in threads:
            t.start()
        kills = 0
        rng = random.Random(1)
        next_sample = time.time() + 60
        while kill and time.time() < until:
            time.sleep(rng.uniform(0.3, 1.5))
            if tally and time.time() >= next_sample:
                rss_by_minute.append(resources(pid)["rss_kib"])
                next_sample += 60
            victims = children(pid, program)
            seen_cgi.update(victims)
            if victims:
                try:
                    os.kill(rng.choice(victims), signal.SIGKILL)
                    kills += 1
                except ProcessLookupError:
                    pass
        for t in threads:
            t.join()
        return kills

    def settled():
        """After the load without kills, so the PHP pool is whole again, and
        past the 5 idle seconds that end kept connections."""
        phases.enter("settling")
        phase(SETTLE_LOAD, False, False)
        time.sleep(SETTLE_QUIET)
        figures = resources(pid)
        figures["php-cgi"] = len(children(pid, program))
        return figures

    phases.enter("warm-up")
    phase(WARM_UP, False, True)  # as many workers as this load needs
    before = settled()
    phases.enter("measured load")
    start = time.time()
    kills = phase(seconds, True, True)
    elapsed = time.time() - start
    after = settled()
    seen_cgi.update(children(pid, program))
    phases.enter("churn")
    churned = churn(port, churn_length(seconds), connections)
    seen_cgi.update(children(pid, program))

    total = sum(counts.values())
    print("soak: %d s, %d connections, %d requests (%.0f/s), %d php-cgi killed"
          % (elapsed, connections, total, total / elapsed, kills))
    print("  requests: " + ", ".join("%s %d" % kv for kv in sorted(counts.items())))
    print("  errors:   " + (", ".join("%s: %d" % kv for kv in sorted(errors.items())) or "none"))
    print("  wrong answers: %d%s" % (len(wrong), (" (" + "; ".join(sorted(set(wrong))[:5]) + ")") if wrong else ""))
    for key in ("rss_kib", "threads", "fds", "php-cgi"):
        print("  %-8s before %7d  after %7d" % (key, before[key], after[key]))
    print("  rss_kib by minute: " + " ".join(str(r) for r in rss_by_minute))
    print("  in all: %d s (the phases' own length %d s)" % (time.time() - phases.started, length(seconds)))
    # Workers stay once created (up to maxconnections) and the PHP pool
    # refills on demand, so a slower, killed phase may leave a few more.
    back = after["rss_kib"] <= before["rss_kib"] * 1.25 + 4096 and \
        after["threads"] <= before["threads"] + 16 and after["fds"] <= before["fds"] + 8
    if not back:
        print("  resources did not come back near their starting values")
    return seen_cgi, not wrong and back and churned


def after(tree, pids_file):
    """After the server stopped: no php-cgi of the tree is left."""
    program = os.path.join(tree, "php", "php-cgi")
    try:
        with open(pids_file) as f:
            seen = {int(p) for p in f.read().split()}
    except FileNotFoundError:
        print("  no %s: the soak ended before it wrote which php-cgi it saw" % pids_file)
        seen = None
    deadline = time.time() + 10
    while True:
        left = []
        for entry in os.listdir("/proc"):
            if entry.isdigit():
                try:
                    if os.readlink("/proc/%s/exe" % entry) == program:
                        left.append(int(entry))
                except OSError:
                    pass
        if not left or time.time() > deadline:
            break
        time.sleep(0.2)
    print("  php-cgi processes seen %s, left after the server stopped: %d"
          % ("?" if seen is None else len(seen), len(left)))
    return seen is not None and not left


if __name__ == "__main__":
    if sys.argv[1] == "--site":
        write_site(sys.argv[2])
        sys.exit(0)
    if sys.argv[1] == "--after":
        sys.exit(0 if after(sys.argv[2], sys.argv[3]) else 1)
    if sys.argv[1] == "--length":
        print(length(int(sys.argv[2])))
        sys.exit(0)
    port, pid, tree, seconds, connections = sys.argv[1:6]
    phases = Phases(set(), os.path.join(os.path.dirname(tree), "php-cgi.pids"))
    phases.watch(int(seconds))
    _, ok = run(int(port), int(pid), tree, int(seconds), int(connections), phases)
    phases.write_pids()
    sys.exit(0 if ok else 1)
