#!/usr/bin/env python3
"""Figures for bootstrap-installer, each measured side by side with the command a user would
otherwise run, the two alternating, and reported as medians and ratios.

  bench/bench.py [--runs N] [--road-runs N] [--sizes 256,1024] [--build DIR]

Needs a built tree (scripts/build.sh), nginx, curl, unzip, zip and minisign. Everything runs on
127.0.0.1 in a temporary directory that is removed at the end.
"""

import argparse
import os
import shutil
import signal
import socket
import statistics
import subprocess
import sys
import tempfile
import time

MIB = 1024 * 1024

# The install agent used for measuring: it reads the bootstrap process's own figures while that
# process waits for it (peak memory, CPU time, bytes read), then exits 0.
PROBE_AGENT = r"""p=$$
for i in 1 2 3 4 5 6; do
  p=$(awk '/^PPid:/{print $2}' /proc/$p/status)
  if [ "$(readlink /proc/$p/exe)" = "$BI_PROGRAM" ]; then
    hwm=$(awk '/^VmHWM:/{print $2}' /proc/$p/status)
    ticks=$(awk '{print $14 + $15}' /proc/$p/stat)
    rchar=$(awk '/^rchar:/{print $2}' /proc/$p/io)
    echo "$hwm $ticks $rchar" > "$BI_PROBE"
    break
  fi
done
"""


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def wait_for_port(port, timeout=10):
    deadline = time.time() + timeout
    while time.time() < deadline:
        try:
            with socket.create_connection(("127.0.0.1", port), timeout=0.2):
                return
        except OSError:
            time.sleep(0.02)
    raise RuntimeError(f"nothing listens on port {port}")


class Nginx:
    def __init__(self, root, web_root, name="nginx", server="", port=None):
        """`server`: more of the server block (add_header, say)."""
        self.dir = os.path.join(root, name)
        os.makedirs(self.dir)
        self.port = port or free_port()
        self.log = os.path.join(self.dir, "access.log")
        temp = " ".join(f"{name}_temp_path {self.dir}/{name};" for name in
                        ("client_body", "proxy", "fastcgi", "uwsgi", "scgi"))
        conf = os.path.join(self.dir, "nginx.conf")
        with open(conf, "w") as f:
            f.write(f"""daemon off; master_process off; worker_processes 1;
error_log {self.dir}/error.log; pid {self.dir}/nginx.pid; lock_file {self.dir}/nginx.lock;
events {{ worker_connections 64; }}
http {{ {temp}
  log_format figures '$status $body_bytes_sent "$http_if_none_match"';
  access_log {self.log} figures; sendfile on;
  server {{ listen 127.0.0.1:{self.port}; root {web_root}; {server} }} }}
""")
        self.process = subprocess.Popen(["nginx", "-c", conf, "-p", self.dir],
                                        stderr=subprocess.DEVNULL)
        wait_for_port(self.port)

    def url(self, path):
        return f"http://127.0.0.1:{self.port}/{path}"

    def last_log_line(self):
        with open(self.log) as f:
            return f.read().splitlines()[-1]

    def stop(self):
        self.process.send_signal(signal.SIGQUIT)
        self.process.wait()


class Endpoint:
    def __init__(self, program, root, archive, extra=()):
        self.dir = tempfile.mkdtemp(dir=root)
        port_file = os.path.join(self.dir, "port")
        self.log = os.path.join(self.dir, "log")
        self.process = subprocess.Popen(
            [program, "--port", "0", "--port-file", port_file, "--archive", archive,
             "--log", self.log, *extra], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        deadline = time.time() + 10
        while not (os.path.exists(port_file) and open(port_file).read().strip()):
            if time.time() > deadline:
                raise RuntimeError("bi-endpoint did not start")
            time.sleep(0.02)
        self.port = int(open(port_file).read())

    def url(self, path):
        return f"http://127.0.0.1:{self.port}/{path}"

    def log_lines(self, count):
        deadline = time.time() + 10
        while time.time() < deadline:
            if os.path.exists(self.log):
                lines = open(self.log).read().splitlines()
                if len(lines) >= count:
                    return lines
            time.sleep(0.02)
        raise RuntimeError("the endpoint logged too little")

    def stop(self):
        self.process.terminate()
        self.process.wait()


class Sandbox:
    """A bundle with the program and a HOME of its own."""

    def __init__(self, build, root, name):
        self.dir = os.path.join(root, name)
        self.app = os.path.join(self.dir, "app")
        self.home = os.path.join(self.dir, "home")
        os.makedirs(self.app)
        os.makedirs(self.home)
        self.program = os.path.join(self.app, "setup")
        shutil.copy2(os.path.join(build, "bootstrap-installer"), self.program)
        self.probe = os.path.join(self.dir, "probe")

    def set_url(self, url):
        with open(os.path.join(self.app, "installAgentURL.txt"), "w") as f:
            f.write(url + "\n")

    def clear_cache(self):
        shutil.rmtree(os.path.join(self.home, ".velmora"), ignore_errors=True)

    def env(self):
        env = dict(os.environ, HOME=self.home, BI_PROGRAM=self.program, BI_PROBE=self.probe)
        for name in ("DISPLAY", "WAYLAND_DISPLAY", "ZR_INTERNAL_INSTALL_AGENT_URL"):
            env.pop(name, None)
        return env

    def run(self):
        """Runs the program; returns (seconds until the body was complete, seconds in all,
        probe figures (peak KiB, CPU seconds, bytes read))."""
        if os.path.exists(self.probe):
            os.unlink(self.probe)
        start = time.perf_counter()
        process = subprocess.Popen([self.program], env=self.env(), stdin=subprocess.DEVNULL,
                                   stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
        body_done = None
        for line in process.stderr:
            if line.startswith(b"Initializing the installer") and body_done is None:
                body_done = time.perf_counter() - start
        status = process.wait()
        total = time.perf_counter() - start
        if status != 0:
            raise RuntimeError(f"the program failed with status {status}")
        hwm, ticks, rchar = open(self.probe).read().split()
        return body_done, total, (int(hwm), int(ticks) / os.sysconf("SC_CLK_TCK"), int(rchar))


def make_archive(root, name, size):
    stage = tempfile.mkdtemp(dir=root)
    with open(os.path.join(stage, "install"), "w") as f:
        f.write(PROBE_AGENT)
    with open(os.path.join(stage, "payload.bin"), "wb") as f:
        remaining = size
        while remaining > 0:
            chunk = min(remaining, 8 * MIB)
            f.write(os.urandom(chunk))
            remaining -= chunk
    archive = os.path.join(root, "www", name)
    subprocess.run(["zip", "-q", "-0", archive, "install", "payload.bin"], cwd=stage, check=True)
    shutil.rmtree(stage)
    return archive


def timed_curl(url, out):
    if os.path.exists(out):
        os.unlink(out)  # replacing a large file would be counted against curl
    start = time.perf_counter()
    pid = os.posix_spawnp("curl", ["curl", "-s", "-o", out, url], os.environ)
    _, status, usage = os.wait4(pid, 0)
    if status != 0:
        raise RuntimeError("curl failed")
    return time.perf_counter() - start, usage.ru_utime + usage.ru_stime


def timed_spawn(argv, env):
    start = time.perf_counter()
    pid = os.posix_spawnp(argv[0], argv, env, file_actions=[
        (os.POSIX_SPAWN_OPEN, 1, "/dev/null", os.O_WRONLY, 0),
        (os.POSIX_SPAWN_OPEN, 2, "/dev/null", os.O_WRONLY, 0)])
    _, status = os.waitpid(pid, 0)
    elapsed = time.perf_counter() - start
    if status != 0:
        raise RuntimeError(f"{argv[0]} failed with status {status}")
    return elapsed


def median(values):
    return statistics.median(values)


def throughput_and_memory(args, root, nginx, sizes):
    print("\n== Download over loopback from nginx: the program against curl -s -o FILE")
    print(f"{'size':>8} {'program s':>10} {'curl s':>8} {'ratio':>6} {'peak RSS':>9} "
          f"{'CPU s/GiB':>10} {'curl CPU s/GiB':>15}")
    sandbox = Sandbox(args.build, root, "throughput")
    for size in sizes:
        archive = make_archive(root, f"agent-{size}.zip", size * MIB)
        sandbox.set_url(nginx.url(os.path.basename(archive)))
        program_times, curl_times, peaks, cpus, curl_cpus = [], [], [], [], []
        for _ in range(args.runs):
            sandbox.clear_cache()
            # Each command starts with no dirty pages of the one before, so that the kernel's
            # write-back throttling falls on neither of them more than on the other.
            os.sync()
            body, _, (hwm, cpu, _) = sandbox.run()
            program_times.append(body)
            peaks.append(hwm)
            cpus.append(cpu)
            os.sync()
            seconds, curl_cpu = timed_curl(nginx.url(os.path.basename(archive)),
                                           os.path.join(root, "curl.out"))
            curl_times.append(seconds)
            curl_cpus.append(curl_cpu)
        gib = os.path.getsize(archive) / (1024 * MIB)
        ratio = median(curl_times) / median(program_times)
        print(f"{size:>5} MiB {median(program_times):>10.3f} {median(curl_times):>8.3f} "
              f"{ratio:>6.2f} {max(peaks) / 1024:>6.1f} MiB {median(cpus) / gib:>10.2f} "
              f"{median(curl_cpus) / gib:>15.2f}")
        os.unlink(archive)
        os.unlink(os.path.join(root, "curl.out"))
        sandbox.clear_cache()
    print("ratio: curl's time over the program's, for the body alone (above 1: the program is "
          "faster); peak RSS: the program's VmHWM at hand-over; CPU: the program's own threads")


def cache_hits(args, root, nginx):
    print("\n== Cache hit: body bytes sent for a current cache")
    archive = make_archive(root, "hit.zip", 100 * MIB)
    endpoint_program = os.path.join(args.build, "tools", "endpoint", "bi-endpoint")
    sandbox = Sandbox(args.build, root, "hits")
    # nginx honours If-None-Match.
    sandbox.set_url(nginx.url("hit.zip"))
    sandbox.run()
    sandbox.run()
    print(f"nginx (honours If-None-Match): access log of the second run: {nginx.last_log_line()}")
    # Our endpoint, told to ignore it: the first data decides.
    sandbox.clear_cache()
    ignoring = Endpoint(endpoint_program, root, archive, ["--ignore-if-none-match"])
    sandbox.set_url(ignoring.url("hit.zip"))
    sandbox.run()
    _, _, (_, _, rchar) = sandbox.run()
    line = ignoring.log_lines(2)[-1]
    ignoring.stop()
    print(f"server ignoring If-None-Match: its log of the second run: {line}")
    print(f"  the program read {rchar} bytes in all during that run (files and socket)")
    os.unlink(archive)


def hand_over(args, root, xvfb):
    print("\n== Hand-over to a shipped install agent (median of alternating runs)")
    base = os.path.join(root, "handover")
    os.makedirs(base)
    env = {"PATH": os.environ.get("PATH", "/usr/bin:/bin"), "HOME": base}
    agent = "exit 0\n"
    # A shipped entry point.
    flat = os.path.join(base, "shipped")
    os.makedirs(flat)
    shutil.copy2(os.path.join(args.build, "bootstrap-installer"), os.path.join(flat, "setup"))
    with open(os.path.join(flat, "InstallerForMac"), "w") as f:
        f.write(agent)
    # A shipped archive.
    zipped = os.path.join(base, "zipped")
    os.makedirs(zipped)
    shutil.copy2(os.path.join(args.build, "bootstrap-installer"), os.path.join(zipped, "setup"))
    with open(os.path.join(base, "install"), "w") as f:
        f.write(agent)
    subprocess.run(["zip", "-q", os.path.join(zipped, "InstallAgent.zip"), "install"], cwd=base,
                   check=True)
    unpacked = os.path.join(base, "unpacked")

    def direct_zip():
        elapsed = timed_spawn(["unzip", "-qq", "-o", os.path.join(zipped, "InstallAgent.zip"),
                               "-d", unpacked], env)
        return elapsed + timed_spawn(["sh", os.path.join(unpacked, "install"), "-installbundle",
                                      os.path.join(zipped, "bundle.zip")], env)

    cases = [
        ("shipped InstallerForMac", lambda: timed_spawn([os.path.join(flat, "setup")], env),
         "sh install", lambda: timed_spawn(["sh", os.path.join(flat, "InstallerForMac"),
                                            "-installbundle", os.path.join(flat, "bundle.zip")],
                                           env)),
        ("shipped InstallAgent.zip", lambda: timed_spawn([os.path.join(zipped, "setup")], env),
         "unzip + sh install", direct_zip),
    ]
    if xvfb.display is not None:
        # A display named changes nothing here: GTK is loaded only for a download's window.
        shown = dict(env, DISPLAY=xvfb.display)
        cases.append(("InstallerForMac, DISPLAY set",
                       lambda: timed_spawn([os.path.join(flat, "setup")], shown),
                       "sh install", cases[0][3]))
    runs = max(args.runs * 40, 100)
    for name, ours, direct_name, direct in cases:
        mine, theirs = [], []
        for _ in range(10):
            ours()
            direct()
        for _ in range(runs):
            mine.append(ours())
            theirs.append(direct())
        m, t = median(mine) * 1000, median(theirs) * 1000
        print(f"{name:>30}: {m:6.2f} ms   {direct_name:>20}: {t:6.2f} ms   "
              f"difference {m - t:+5.2f} ms")


class Xvfb:
    """A virtual X server of the bench's own, when the machine has one. It never resets: a reset
    when one run's window leaves would drop the next run's connection if it came meanwhile."""

    def __init__(self, wanted):
        self.display = None
        self.process = None
        if not wanted or shutil.which("Xvfb") is None:
            return
        read, write = os.pipe()
        self.process = subprocess.Popen(["Xvfb", "-displayfd", str(write), "-nolisten", "tcp",
                                         "-noreset"],
                                        pass_fds=[write], stderr=subprocess.DEVNULL)
        os.close(write)
        with os.fdopen(read) as f:
            self.display = ":" + f.readline().strip()

    def stop(self):
        if self.process is not None:
            self.process.terminate()
            self.process.wait()


def alternate(first, second, runs):
    """Medians in milliseconds of two commands run in turn, after a warm-up."""
    for _ in range(10):
        first()
        second()
    firsts, seconds = [], []
    for _ in range(runs):
        firsts.append(first())
        seconds.append(second())
    return median(firsts) * 1000, median(seconds) * 1000


def make_exit0_archive(root, name):
    """An archive whose install agent only exits 0, in www/ as NAME.zip."""
    base = os.path.join(root, name)
    os.makedirs(base)
    with open(os.path.join(base, "install"), "w") as f:
        f.write("exit 0\n")
    subprocess.run(["zip", "-q", os.path.join(root, "www", name + ".zip"), "install"], cwd=base,
                   check=True)


def cache_and_tag(sandbox):
    """The sandbox's cache directory and the validation string stored there."""
    cache = subprocess.run(["sh", "-c", f"echo {sandbox.home}/.velmora/*/*/*"],
                           capture_output=True, text=True, check=True).stdout.strip()
    with open(os.path.join(cache, ".validatestring")) as f:
        return cache, f.read()


def start_up(args, root, nginx, xvfb):
    print("\n== Cache hit (nginx answers 304), medians of alternating runs: the program against "
          "curl -s -o /dev/null -H 'If-None-Match: TAG' URL && sh install")
    make_exit0_archive(root, "startup")
    sandbox = Sandbox(args.build, root, "startup-hit")
    url = nginx.url("startup.zip")
    sandbox.set_url(url)
    plain = sandbox.env()
    timed_spawn([sandbox.program], plain)  # fills the cache
    cache, tag = cache_and_tag(sandbox)
    entry = os.path.join(cache, "installagent", "install")

    def curl_and_sh():
        return (timed_spawn(["curl", "-s", "-o", "/dev/null", "-H", f"If-None-Match: {tag}", url],
                            plain) +
                timed_spawn(["sh", entry, "-installbundle", os.path.join(sandbox.app, "b.zip")],
                            plain))

    def line_in_a_shell():
        return timed_spawn(["sh", "-c", f"curl -s -o /dev/null -H 'If-None-Match: {tag}' {url} && "
                            f"sh {entry} -installbundle {sandbox.app}/b.zip"], plain)

    rows = [("no display", plain)]
    if xvfb.display is not None:
        rows.append((f"DISPLAY={xvfb.display}", dict(plain, DISPLAY=xvfb.display)))
    runs = max(args.runs * 20, 100)
    for name, env in rows:
        def ours():
            return timed_spawn([sandbox.program], env)
        mine, theirs = alternate(ours, curl_and_sh, runs)
        again, shell = alternate(ours, line_in_a_shell, runs)
        print(f"{name:>14}: program {mine:6.2f} ms   curl, then sh {theirs:6.2f} ms   "
              f"ratio {mine / theirs:4.2f}")
        print(f"{'':>14}  program {again:6.2f} ms   sh -c 'curl ... && sh install' {shell:6.2f} ms"
              f"   ratio {again / shell:4.2f}")
    print(f"nginx's answer to the program: {nginx.last_log_line()}")
    print("ratio: the program's time over the command's (at most 1: the program is as fast); "
          "'curl, then sh': the two started one after the other, as an interactive shell that "
          "is already running does; sh -c: the line run by a shell, as a script runs it and as "
          "the program runs its own hand-over")


def fresh_hits(args, root):
    print("\n== Fresh cache hit (Cache-Control: max-age=3600), medians of alternating runs: the "
          "program against sh -c \"curl -s -o /dev/null -H 'If-None-Match: TAG' URL && sh install\"")
    make_exit0_archive(root, "fresh")
    www = os.path.join(root, "www")
    fresh = Nginx(root, www, "nginx-fresh",
                  'add_header Cache-Control "max-age=3600, stale-if-error=604800";')
    plain = Nginx(root, www, "nginx-plain")
    down = Nginx(root, www, "nginx-down", 'add_header Cache-Control "max-age=0, stale-if-error=604800";')
    try:
        sandboxes = {}
        for name, server in (("fresh", fresh), ("plain", plain), ("down", down)):
            sandbox = Sandbox(args.build, root, f"fresh-{name}")
            sandbox.set_url(server.url("fresh.zip"))
            timed_spawn([sandbox.program], sandbox.env())  # fills the cache, and its record
            sandboxes[name] = sandbox
        sandbox = sandboxes["plain"]
        cache, tag = cache_and_tag(sandbox)
        url = plain.url("fresh.zip")
        line = (f"curl -s -o /dev/null -H 'If-None-Match: {tag}' {url} && "
                f"sh {cache}/installagent/install -installbundle {sandbox.app}/b.zip")

        def command():
            return timed_spawn(["sh", "-c", line], sandbox.env())

        runs = max(args.runs * 20, 100)
        rows = []
        for name, note in (("fresh", "no request"), ("plain", "304, no lifetime")):
            env = sandboxes[name].env()
            rows.append((note, *alternate(lambda: timed_spawn([sandboxes[name].program], env),
                                          command, runs)))
        down.stop()  # connection refused from here on
        env = sandboxes["down"].env()
        rows.append(("endpoint down, stale-if-error",
                     *alternate(lambda: timed_spawn([sandboxes["down"].program], env), command,
                                runs)))
        if os.geteuid() == 0:
            rows.append(("host unknown, stale-if-error", *unknown_host(args, root, runs)))
        for note, mine, theirs in rows:
            print(f"{note:>30}: program {mine:6.2f} ms   sh -c 'curl ... && sh install' "
                  f"{theirs:6.2f} ms   ratio {mine / theirs:4.2f}")
        print("ratio: the program's time over the command's (at most 0.5 for a fresh hit)")
        launches = 100
        for name, server in (("fresh", fresh), ("plain", plain)):
            before = len(open(server.log).read().splitlines())
            for _ in range(launches):
                timed_spawn([sandboxes[name].program], sandboxes[name].env())
            after = len(open(server.log).read().splitlines())
            print(f"{launches} launches in a row, {name:>5}: {after - before} requests reached nginx")
    finally:
        for server in (fresh, plain, down):
            if server.process.poll() is None:
                server.stop()


def unknown_host(args, root, runs):
    """An endpoint whose name stops resolving (as when the network is gone), each run in a mount
    namespace of its own with its own /etc/hosts and a resolver on 127.0.0.1 where nothing
    listens, so that no lookup leaves the machine; the command line runs the same way, while the
    name still resolves."""
    www = os.path.join(root, "www")
    server = Nginx(root, www, "nginx-unknown",
                   'add_header Cache-Control "max-age=0, stale-if-error=604800";')
    files = os.path.join(root, "unknown-host")
    os.makedirs(files)
    for name, lines in (("on", "127.0.0.1 localhost\n127.0.0.1 endpoint.test\n"),
                        ("off", "127.0.0.1 localhost\n"), ("resolv", "nameserver 127.0.0.1\n")):
        with open(os.path.join(files, name), "w") as f:
            f.write(lines)
    wrapper = ["unshare", "-m", "sh", "-c",
               f'mount --bind "$0" /etc/hosts && mount --bind {files}/resolv /etc/resolv.conf && '
               'exec "$@"']
    try:
        sandbox = Sandbox(args.build, root, "unknown-host-run")
        url = f"http://endpoint.test:{server.port}/fresh.zip"
        sandbox.set_url(url)
        env = sandbox.env()
        timed_spawn(wrapper + [f"{files}/on", sandbox.program], env)  # fills the cache
        cache, tag = cache_and_tag(sandbox)
        line = (f"curl -s -o /dev/null -H 'If-None-Match: {tag}' {url} && "
                f"sh {cache}/installagent/install -installbundle {sandbox.app}/b.zip")
        return alternate(lambda: timed_spawn(wrapper + [f"{files}/off", sandbox.program], env),
                         lambda: timed_spawn(wrapper + [f"{files}/on", "sh", "-c", line], env),
                         runs)
    finally:
        server.stop()


def make_small_files_archive(root, name, count):
    stage = tempfile.mkdtemp(dir=root)
    with open(os.path.join(stage, "install"), "w") as f:
        f.write(PROBE_AGENT)
    os.makedirs(os.path.join(stage, "lib"))
    for i in range(count):
        with open(os.path.join(stage, "lib", f"file{i}"), "wb") as f:
            f.write(os.urandom(4096))
    archive = os.path.join(root, "www", name)
    subprocess.run(["zip", "-q", "-r", archive, "install", "lib"], cwd=stage, check=True)
    shutil.rmtree(stage)
    return archive


def road_archives(root):
    return [("16 MiB", make_archive(root, "road-16.zip", 16 * MIB)),
            ("256 MiB", make_archive(root, "road-256.zip", 256 * MIB)),
            ("2,000 files", make_small_files_archive(root, "road-files.zip", 2000))]


def road_medians(args, sandbox, work, ours, commands):
    """Medians of the program's road (`ours`), the command line and the command line followed by
    `sync -f`, run in turn from an empty cache and work directory, each after a sync."""
    synced = commands + f" && sync -f {work}/d"
    # The install agent finds the process that started it as it finds the program (the shell
    # that runs the line), so that it does the same work after both: without this, it would look
    # six generations up and start twice as many processes after the commands.
    env = dict(os.environ, BI_PROGRAM=os.path.realpath(shutil.which("sh")),
               BI_PROBE=os.path.join(os.path.dirname(work), "commands-probe"))
    mine, plain, durable = [], [], []
    for _ in range(args.road_runs):
        for times, run in ((mine, ours),
                           (plain, lambda: timed_spawn(["sh", "-c", commands], env)),
                           (durable, lambda: timed_spawn(["sh", "-c", synced], env))):
            sandbox.clear_cache()
            shutil.rmtree(work, ignore_errors=True)
            os.makedirs(work)
            os.sync()
            times.append(run())
    return median(mine), median(plain), median(durable)


def whole_road(args, root, nginx):
    print("\n== Whole road (download, unpack, hand-over) against curl, unzip and sh "
          "(medians of alternating runs, each after sync)")
    print(f"{'archive':>12} {'program s':>10} {'commands s':>11} {'ratio':>6} "
          f"{'+ sync -f s':>12} {'ratio':>6}")
    sandbox = Sandbox(args.build, root, "road")
    work = os.path.join(root, "road-work")
    cache = os.path.join(sandbox.home, ".velmora")
    for name, archive in road_archives(root):
        url = nginx.url(os.path.basename(archive))
        sandbox.set_url(url)
        commands = (f"curl -s -o {work}/f {url} && unzip -qq -o {work}/f -d {work}/d"
                    f" && sh {work}/d/install")
        mine, plain, durable = road_medians(args, sandbox, work, lambda: sandbox.run()[1],
                                            commands)
        print(f"{name:>12} {mine:>10.3f} {plain:>11.3f} {plain / mine:>6.2f} {durable:>12.3f} "
              f"{durable / mine:>6.2f}")
        os.unlink(archive)
    shutil.rmtree(cache, ignore_errors=True)
    print("ratio: the commands' time over the program's (above 1: the program is faster)")


def signed_road(args, root, nginx):
    print("\n== A signed 256 MiB archive, whole road, against curl, minisign -V, unzip and sh "
          "(medians of alternating runs, each after sync)")
    archive = make_archive(root, "signed.zip", 256 * MIB)
    key = os.path.join(root, "signing")
    subprocess.run(["minisign", "-G", "-W", "-p", key + ".pub", "-s", key + ".key"],
                   stdout=subprocess.DEVNULL, check=True)
    subprocess.run(["minisign", "-S", "-s", key + ".key", "-m", archive],
                   stdout=subprocess.DEVNULL, check=True)
    sandbox = Sandbox(args.build, root, "signed")
    shutil.copy2(key + ".pub", os.path.join(sandbox.app, "installAgentKey.pub"))
    url = nginx.url(os.path.basename(archive))
    sandbox.set_url(url)
    work = os.path.join(root, "signed-work")
    commands = (f"curl -s -o {work}/f {url} && curl -s -o {work}/f.minisig {url}.minisig"
                f" && minisign -Vq -m {work}/f -p {key}.pub"
                f" && unzip -qq -o {work}/f -d {work}/d && sh {work}/d/install")
    peaks = []

    def ours():
        _, total, (hwm, _, _) = sandbox.run()
        peaks.append(hwm)
        return total

    mine, plain, durable = road_medians(args, sandbox, work, ours, commands)
    print(f"program {mine:.3f} s, peak RSS {max(peaks) / 1024:.1f} MiB; "
          f"commands {plain:.3f} s (ratio {plain / mine:.2f}); "
          f"commands + sync -f {durable:.3f} s (ratio {durable / mine:.2f})")
    print("ratio: the commands' time over the program's (above 1: the program is faster)")
    os.unlink(archive)
    shutil.rmtree(work, ignore_errors=True)


def durability_cost(args, root):
    print("\n== Making an unpacked install agent durable: unzip alone, then with one syncfs of the "
          "file system (sync -f), then with an fsync of every file and directory")
    print(f"{'archive':>12} {'unzip s':>8} {'+ syncfs s':>11} {'+ fsync each s':>15}")
    work = os.path.join(root, "durable")
    each = f"find {work}/d -exec sync {{}} +"
    for name, archive in road_archives(root):
        unzip = f"unzip -qq -o {archive} -d {work}/d"
        results = []
        for command in (unzip, unzip + f" && sync -f {work}/d", unzip + " && " + each):
            times = []
            for _ in range(args.runs):
                shutil.rmtree(work, ignore_errors=True)
                os.makedirs(work)
                os.sync()
                times.append(timed_spawn(["sh", "-c", command], os.environ))
            results.append(median(times))
        print(f"{name:>12} {results[0]:>8.3f} {results[1]:>11.3f} {results[2]:>15.3f}")
        os.unlink(archive)


def debris_after_kills(args, root, nginx):
    print("\n== Debris after SIGKILLs at random moments, each followed by a normal run")
    archive = make_archive(root, "kills.zip", 50 * MIB)
    sandbox = Sandbox(args.build, root, "kills")
    sandbox.set_url(nginx.url(os.path.basename(archive)))
    tmpdir = os.path.join(sandbox.dir, "tmp")
    os.makedirs(tmpdir)
    cache = os.path.join(sandbox.home, ".velmora", "app_installer_cache", "V3107c", "korvex")
    env = dict(sandbox.env(), TMPDIR=tmpdir)

    def size(path):
        return sum(os.lstat(os.path.join(d, f)).st_size for d, _, files in os.walk(path)
                   for f in files) if os.path.exists(path) else 0

    phases, failures, debris = {}, 0, []
    for _ in range(25):
        if os.path.exists(cache):  # out of date: every run downloads and unpacks
            with open(os.path.join(cache, ".validatestring"), "w") as f:
                f.write('"old"')
        process = subprocess.Popen([sandbox.program], env=env, stdin=subprocess.DEVNULL,
                                   stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
        time.sleep(random_delay())
        entries = os.listdir(cache) if os.path.exists(cache) else []
        phase = "download"
        if any(e.startswith("installagent.") for e in entries):
            phase = "unpack"
        elif ".validatestring" in entries and "installagent" in entries:
            phase = "install or hand-over"
        process.kill()
        process.wait()
        phases[phase] = phases.get(phase, 0) + 1
        failures += subprocess.run([sandbox.program], env=env, stdout=subprocess.DEVNULL,
                                   stderr=subprocess.DEVNULL).returncode != 0
        staging = sum(size(os.path.join(cache, e)) for e in os.listdir(cache)
                      if e.startswith("installagent.") or e.startswith(".validatestring."))
        debris.append((size(tmpdir) + staging, len(os.listdir(tmpdir))))
    print(f"kills by phase: {phases}; next runs that failed: {failures}")
    print(f"debris after each next run: at most {max(d[0] for d in debris)} bytes, "
          f"{max(d[1] for d in debris)} entries in TMPDIR")
    os.unlink(archive)


def make_entries_archive(src, archive, changed=(), added=(), signed_by=None):
    """An archive of the 40 files of `src` (512,000 random bytes each, made once) and an install
    agent that exits 0; `changed` files rewritten and `added` ones made first. Zipped with -X, or
    signed with the vendor's script when `signed_by` is (key, public key)."""
    os.makedirs(src, exist_ok=True)
    for i in range(1, 41):
        name = os.path.join(src, f"f{i}.bin")
        if not os.path.exists(name) or f"f{i}.bin" in changed:
            with open(name, "wb") as f:
                f.write(os.urandom(512000))
    for name in added:
        with open(os.path.join(src, name), "wb") as f:
            f.write(os.urandom(400000))
    with open(os.path.join(src, "install"), "w") as f:
        f.write("exit 0\n")
    if os.path.exists(archive):
        os.unlink(archive)
    if signed_by:
        out = archive + ".out"
        shutil.rmtree(out, ignore_errors=True)
        sign = os.path.join(os.path.dirname(__file__), "..", "scripts", "sign-agent.sh")
        subprocess.run([sign, "-s", signed_by[0], src, out, signed_by[1]], check=True,
                       stdout=subprocess.DEVNULL)
        os.rename(os.path.join(out, "InstallAgent.zip"), archive)
        os.rename(os.path.join(out, "InstallAgent.zip.minisig"), archive + ".minisig")
        return os.path.join(out, "installAgentKey.pub")
    subprocess.run(["sh", "-c", f"cd '{src}' && zip -qX '{archive}' *"], check=True)
    return None


def logged_bytes(log, before=0):
    """Body bytes of the log lines after the first `before`, as nginx's figures or bi-endpoint
    log them."""
    total = 0
    for line in open(log).read().splitlines()[before:]:
        field = line.split()[1] if line[0].isdigit() else line.split("body_bytes=")[1]
        total += int(field)
    return total


def broken_and_updated(args, root):
    print("\n== What the next run fetches (body bytes the server sent, in archives of 20 MiB in "
          "40 entries): after a transfer that broke off, and for an update")
    www = os.path.join(root, "ranges-www")
    os.makedirs(www)
    archive = os.path.join(www, "a.zip")
    src = os.path.join(root, "ranges-src")
    make_entries_archive(src, archive)
    size = os.path.getsize(archive)
    endpoint = os.path.join(args.build, "tools", "endpoint", "bi-endpoint")
    rows = []
    for how in ("cut by the server at 60%", "SIGKILL at half", "SIGTERM at half"):
        sandbox = Sandbox(args.build, root, "ranges-" + how.split()[0])
        port = free_port()
        if how.startswith("cut"):
            first = Endpoint(endpoint, root, archive, ("--port", str(port), "--cut-after",
                                                       str(size * 6 // 10)))
            sandbox.set_url(first.url("a.zip"))
            subprocess.run([sandbox.program], env=sandbox.env(), stderr=subprocess.DEVNULL)
        else:
            first = Nginx(root, www, f"nginx-slow-{how[3]}", f"limit_rate {size // 2};", port)
            sandbox.set_url(first.url("a.zip"))
            process = subprocess.Popen([sandbox.program], env=sandbox.env(),
                                       stderr=subprocess.DEVNULL)
            partial = os.path.join(sandbox.home, ".velmora", "app_installer_cache", "V3107c",
                                   "korvex", ".partial")
            while not (os.path.exists(partial) and 2 * os.path.getsize(partial) >= size):
                time.sleep(0.01)
            process.send_signal(signal.SIGKILL if how.startswith("SIGKILL") else signal.SIGTERM)
            process.wait()
        first.stop()
        # At the same URL, as fast as it goes: a partial is only resumed from where it came from.
        second = (Endpoint(endpoint, root, archive, ("--port", str(port))) if how.startswith("cut")
                  else Nginx(root, www, f"nginx-after-{how[3]}", "", port))
        subprocess.run([sandbox.program], env=sandbox.env(), check=True, stderr=subprocess.DEVNULL)
        rows.append((how, logged_bytes(second.log) / size))
        second.stop()
    keys = os.path.join(root, "ranges-key")
    subprocess.run(["minisign", "-G", "-W", "-p", keys + ".pub", "-s", keys + ".key"], check=True,
                   stdout=subprocess.DEVNULL)
    for name, changed, added, signed in (
            ("update, 2 changed and 1 added", ("f3.bin", "f17.bin"), ("new.bin",), False),
            ("the same, signed", ("f5.bin", "f29.bin"), ("newer.bin",), True),
            ("update, every entry changed", tuple(f"f{i}.bin" for i in range(1, 41)), (), False)):
        sandbox = Sandbox(args.build, root, "ranges-" + name.replace(" ", "").replace(",", ""))
        nginx = Nginx(root, www, "nginx-" + name.replace(" ", "").replace(",", ""))
        sandbox.set_url(nginx.url("a.zip"))
        pub = make_entries_archive(src, archive, signed_by=(keys + ".key", keys + ".pub")
                                   if signed else None)
        if pub:
            shutil.copy(pub, os.path.join(sandbox.app, "installAgentKey.pub"))
        subprocess.run([sandbox.program], env=sandbox.env(), check=True, stderr=subprocess.DEVNULL)
        before = len(open(nginx.log).read().splitlines())
        time.sleep(1.1)  # a new mtime: nginx's ETag changes with it
        make_entries_archive(src, archive, changed, added,
                             (keys + ".key", keys + ".pub") if signed else None)
        subprocess.run([sandbox.program], env=sandbox.env(), check=True, stderr=subprocess.DEVNULL)
        rows.append((name, logged_bytes(nginx.log, before) / os.path.getsize(archive)))
        nginx.stop()
    for name, fraction in rows:
        print(f"{name:>32}: {fraction:5.3f} of the archive")
    print("targets: at most 0.45 after a cut at 60%, 0.55 after a kill or a stop at half, 0.10 "
          "for 2 changed and 1 added entries, 1.05 with every entry changed")


def shaped_link(args, root):
    """The update against the curl tool fetching the whole archive, over a 100 Mbit/s link:
    loopback in a network namespace of its own, its MTU 1500, shaped with tbf."""
    print("\n== An update (2 of 40 entries changed, 1 added; 20 MiB) over a 100 Mbit/s link, "
          "medians of alternating runs: the program against curl -s -o FILE of the whole archive")
    www = os.path.join(root, "shaped-www")
    os.makedirs(www)
    archive = os.path.join(www, "a.zip")
    src = os.path.join(root, "shaped-src")
    make_entries_archive(src, archive)
    nginx = Nginx(root, www, "nginx-shaped")
    sandbox = Sandbox(args.build, root, "shaped")
    sandbox.set_url(nginx.url("a.zip"))
    subprocess.run([sandbox.program], env=sandbox.env(), check=True, stderr=subprocess.DEVNULL)
    cache = os.path.join(sandbox.home, ".velmora", "app_installer_cache", "V3107c", "korvex")
    shutil.copytree(cache, cache + ".old", symlinks=True)
    time.sleep(1.1)
    make_entries_archive(src, archive, ("f3.bin", "f17.bin"), ("new.bin",))

    def ours():  # the cache as it stood before the update, each time
        shutil.rmtree(cache)
        shutil.copytree(cache + ".old", cache, symlinks=True)
        return timed_spawn([sandbox.program], sandbox.env())

    def curl():
        return timed_spawn(["curl", "-s", "-o", os.path.join(root, "shaped.zip"),
                            nginx.url("a.zip")], sandbox.env())

    mine, theirs = alternate(ours, curl, max(args.runs, 5))
    print(f"update: program {mine:8.1f} ms   curl, whole archive {theirs:8.1f} ms   "
          f"ratio {mine / theirs:4.2f}")
    nginx.stop()


def random_delay():
    return int.from_bytes(os.urandom(2), "little") / 65535 * 0.6


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--runs", type=int, default=5)
    # A whole road's time swings by a tenth from run to run (unzip's file creation above all):
    # its medians need more runs than the other figures to say which side is ahead.
    parser.add_argument("--road-runs", type=int, default=15)
    parser.add_argument("--sizes", default="16,256,1024", help="archive sizes in MiB")
    parser.add_argument("--build", default=os.path.join(os.path.dirname(__file__), "..",
                                                         "build"))
    parser.add_argument("--only", default="throughput,hits,startup,road,kills,signed,durability,"
                        "handover,fresh,ranges,shaped")
    args = parser.parse_args()
    args.build = os.path.abspath(args.build)
    only = args.only.split(",")
    if "_shaped" in only:  # in the network namespace that it was started in: its link shaped
        for command in ("ip link set lo up", "ip link set lo mtu 1500",
                        "tc qdisc add dev lo root tbf rate 100mbit burst 64kb latency 50ms"):
            subprocess.run(command.split(), check=True)
    root = tempfile.mkdtemp(prefix="bi-bench-")
    xvfb = Xvfb("startup" in only or "handover" in only)
    try:
        os.makedirs(os.path.join(root, "www"))
        nginx = Nginx(root, os.path.join(root, "www"))
        try:
            if "throughput" in only:
                throughput_and_memory(args, root, nginx, [int(s) for s in args.sizes.split(",")])
            if "hits" in only:
                cache_hits(args, root, nginx)
            if "startup" in only:
                start_up(args, root, nginx, xvfb)
            if "road" in only:
                whole_road(args, root, nginx)
            if "kills" in only:
                debris_after_kills(args, root, nginx)
            if "signed" in only:
                signed_road(args, root, nginx)
            if "fresh" in only:
                fresh_hits(args, root)
            if "ranges" in only:
                broken_and_updated(args, root)
            if "_shaped" in only:
                shaped_link(args, root)
        finally:
            nginx.stop()
        if "durability" in only:
            durability_cost(args, root)
        if "handover" in only:
            hand_over(args, root, xvfb)
        if "shaped" in only:  # in a network namespace of its own, where the link is shaped
            sys.stdout.flush()
            subprocess.run(["unshare", "-n", sys.executable, __file__, "--only", "_shaped",
                            "--build", args.build, "--runs", str(args.runs)], check=True)
    finally:
        xvfb.stop()
        shutil.rmtree(root, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
