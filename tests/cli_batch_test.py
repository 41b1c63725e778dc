#!/usr/bin/env python3
"""bmpglow's pipes, many-file forms and options: exit statuses, outputs byte
for byte, status lines and failure reports, the progress bar on a terminal,
Ctrl-C in the middle of a batch, and the manual page against --help.

  cli_batch_test.py PROGRAM SAMPLE TINY MANPAGE posix|windows

SAMPLE and TINY are BMP files the library glows. QBG_EMULATOR, when set, is
the command that runs PROGRAM. The terminal and signal cases need POSIX."""
import faulthandler
import os
import re
import shlex
import shutil
import signal
import subprocess
import sys
import tempfile
import threading
import time

PROGRAM, SAMPLE, TINY, MANPAGE = map(os.path.abspath, sys.argv[1:5])
PLATFORM = sys.argv[5]
POSIX = PLATFORM == "posix"
COMMAND = shlex.split(os.environ.get("QBG_EMULATOR", "")) + [PROGRAM]
GLOWED = "Glow effect applied and saved to output.bmp"
INPUT_FAILED = "Failed to open input file."
failures = []


def check(condition, what):
    if not condition:
        failures.append(what)
        print(f"FAIL {what}", file=sys.stderr)


def run(*args, stdin=None, raw=False, **kwargs):
    """Runs bmpglow; returns (status, stdout bytes, stderr text, without
    the CRs of Windows line ends unless raw)."""
    done = subprocess.run(COMMAND + [str(a) for a in args], input=stdin, capture_output=True,
                          **kwargs)
    err = done.stderr.decode(errors="replace")
    return done.returncode, done.stdout, err if raw else err.replace("\r", "")


def text(data):
    return data.decode(errors="replace").replace("\r", "")


def read(path):
    """The file's bytes, or None if it is missing."""
    try:
        with open(path, "rb") as f:
            return f.read()
    except FileNotFoundError:
        return None


def files_in(directory, names, source):
    os.makedirs(directory, exist_ok=True)
    paths = [os.path.join(directory, name) for name in names]
    for path in paths:
        shutil.copyfile(source, path)
    return paths


def test_standard_streams(work, reference):
    image = read(SAMPLE)
    status, out, err = run("-", "-", stdin=image)
    check(status == 0 and out == reference, "- -: the glowed image on standard output")
    check(err == GLOWED + "\n", "- -: the status line alone on standard error")
    status, out, err = run("-", f"{work}/from-stdin.bmp", stdin=image)
    check(status == 0 and out == b"" and err == GLOWED + "\n", "- OUTPUT: status line on stderr")
    check(read(f"{work}/from-stdin.bmp") == reference, "- OUTPUT: the output's bytes")
    # Through a real pipe into another program, as a shell pipeline does.
    with open(f"{work}/through-pipe.bmp", "wb") as sink:
        reader = subprocess.Popen(["cat"], stdin=subprocess.PIPE, stdout=sink)
        writer = subprocess.run(COMMAND + [SAMPLE, "-"], stdout=reader.stdin,
                                stderr=subprocess.PIPE)
        reader.stdin.close()
        reader.wait()
    check(writer.returncode == 0 and read(f"{work}/through-pipe.bmp") == reference,
          "INPUT -: bytes through a pipe")
    check(text(writer.stderr) == GLOWED + "\n", "INPUT -: status line on stderr")
    status, out, err = run("-", "-", stdin=b"BM not an image")
    check(status == 1 and out == b"" and err == INPUT_FAILED + "\n", "- -: a refused input")
    status, out, err = run("-q", "-", "-", stdin=image)
    check(status == 0 and out == reference and err == "", "-q - -: no status line")


def test_output_dir_with_refused_files(work, reference):
    good = files_in(f"{work}/photos", ["a.bmp", "b.bmp", "c.bmp"], SAMPLE)
    refused = f"{work}/photos/broken.bmp"
    with open(refused, "wb") as f:
        f.write(b"BM too short")
    missing = f"{work}/photos/missing.bmp"
    os.mkdir(f"{work}/glowed")
    status, out, err = run("-j", 2, "-o", f"{work}/glowed", *good, refused, missing)
    check(status == 1, "-o with refused files: status 1")
    check(sorted(os.listdir(f"{work}/glowed")) == ["a.bmp", "b.bmp", "c.bmp"],
          "-o: only good outputs")
    check(all(read(f"{work}/glowed/{n}.bmp") == reference for n in "abc"),
          "-o: outputs byte for byte")
    check(sorted(text(out).splitlines()) == sorted([GLOWED] * 3 + [INPUT_FAILED] * 2),
          "-o: one whole status line per file on stdout")
    for bad in (refused, missing):
        check(f"bmpglow: {bad}: {INPUT_FAILED}\n" in err, f"-o: {bad} named with its reason")
    check(re.search(r"^bmpglow: 3 glowed, 2 failed, 0\.9 MB in [\d.]+ s$", err, re.M),
          "-o: the summary")
    check("\r" not in err, "-o: no progress bar when stderr is not a terminal")


def test_closed_standard_descriptors(work, reference):
    """A closed standard output or error lends its number to none of bmpglow's
    own descriptors (a worker's socket): every good file is still glowed."""
    for closed in (1, 2):
        files = files_in(f"{work}/closed{closed}", ["bad.bmp", "a.bmp", "b.bmp"], SAMPLE)
        with open(files[0], "wb") as f:
            f.write(b"BM")
        out_dir = f"{work}/closed{closed}-out"
        os.mkdir(out_dir)
        status = subprocess.run(COMMAND + ["-j1", "-o", out_dir] + files,
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                                preexec_fn=lambda: os.close(closed)).returncode
        check(status == 1 and sorted(os.listdir(out_dir)) == ["a.bmp", "b.bmp"] and
              all(read(f"{out_dir}/{n}.bmp") == reference for n in "ab"),
              f"descriptor {closed} closed: the good files glowed (status {status})")


def test_in_place_and_option_spellings(work, reference, tiny_reference):
    photos = files_in(f"{work}/in-place", ["x.bmp", "y.bmp", "z.bmp"], SAMPLE)
    status, out, err = run("--in-place", "--jobs=2", *photos)
    check(status == 0 and text(out) == (GLOWED + "\n") * 3, "--in-place: status 0, three lines")
    check(all(read(p) == reference for p in photos), "--in-place: every file glowed into itself")
    check("3 glowed, 0 failed" in err, "--in-place: the summary")
    # Combined short options, a value glued on, options after operands, an
    # abbreviated long option, and -- before a name that starts with '-'.
    os.makedirs(f"{work}/spelled")
    dashed = files_in(f"{work}/spelled", ["-dash.bmp"], TINY)[0]
    out_dir = f"{work}/spelled-out"
    os.mkdir(out_dir)
    status, out, _ = run("-qj2", f"--output-d={out_dir}", "--no-prog", "--", dashed,
                         cwd=f"{work}/spelled")
    check(status == 0 and out == b"", "-qj2 --output-d= -- : quiet, status 0")
    check(read(f"{out_dir}/-dash.bmp") == tiny_reference, "-- : a file named -dash.bmp glowed")
    status, out, _ = run(dashed.replace("-dash", "./-dash"), "-o", out_dir, "-j1")
    check(status == 0 and text(out) == GLOWED + "\n", "options after operands")


def test_usage_errors(work):
    os.makedirs(f"{work}/usage/a")
    os.makedirs(f"{work}/usage/b")
    one, = files_in(f"{work}/usage/a", ["same.bmp"], TINY)
    two, = files_in(f"{work}/usage/b", ["same.bmp"], TINY)
    before = {p: read(p) for p in (one, two)}
    # What each platform decides (directories, names that clash, one file
    # named twice), then the parser, which is the same code everywhere.
    clash = two if POSIX else two.replace("same", "SAME")  # Windows ignores case
    cases = [
        ["-o", f"{work}/no-such-dir", one], ["-o", f"{work}/usage", one, clash],
        ["--in-place", one, one.replace("/a/", "/a/./")], ["-o", f"{work}/usage", "-"],
    ]
    if POSIX:  # wine starts slowly
        cases += [
            ["-o"], ["-o", f"{work}/usage"], ["--in-place", one, one],
            ["-o", f"{work}/usage", "--in-place", one], ["-j", "0", "-o", f"{work}/usage", one],
            ["--jobs=x", "--in-place", one], ["--jobs"], ["--in-place", "-"],
            ["--quiet=yes", "a", "b"], ["--bright", "a", "b"], ["-x", "a", "b"], [one],
            [one, two, one],
        ]
    for args in cases:
        status, out, err = run(*args)
        check(status == 2 and "Usage: bmpglow" in err and out == b"",
              f"usage error, status 2: {' '.join(args)}")
    check(all(read(p) == before[p] for p in before) and
          sorted(os.listdir(f"{work}/usage")) == ["a", "b"], "usage errors glow nothing")


def test_many_files(work, tiny_reference):
    """Thousands of files from xargs; a descriptor kept per file would run out."""
    names = [f"f{i:04}.bmp" for i in range(2000)]
    paths = files_in(f"{work}/many", names, TINY)
    os.mkdir(f"{work}/many-out")
    limit = None
    if POSIX:
        import resource
        limit = lambda: resource.setrlimit(resource.RLIMIT_NOFILE, (64, 64))  # noqa: E731
    # Windows caps a command line at 32767 characters.
    size = [] if POSIX else ["-s", "30000"]
    xargs = subprocess.run(["xargs", "-0"] + size + COMMAND + ["-q", "-o", f"{work}/many-out"],
                           input="\0".join(paths).encode(), capture_output=True, preexec_fn=limit)
    check(xargs.returncode == 0, f"xargs: status {xargs.returncode}: {xargs.stderr[-300:]}")
    outputs = os.listdir(f"{work}/many-out")
    check(len(outputs) == len(names) and all(read(f"{work}/many-out/{n}") == tiny_reference
                                             for n in outputs), "xargs: 2000 outputs glowed")


def pseudo_terminal(columns):
    import fcntl
    import pty
    import struct
    import termios
    primary, secondary = pty.openpty()
    fcntl.ioctl(secondary, termios.TIOCSWINSZ, struct.pack("HHHH", 24, columns, 0, 0))
    return primary, secondary


def read_terminal(primary):
    data = b""
    while True:
        try:
            chunk = os.read(primary, 4096)
        except OSError:  # the other side closed
            return data
        if not chunk:
            return data
        data += chunk


def test_progress_bar(work):
    photos = files_in(f"{work}/bar", ["p.bmp", "q.bmp", "r.bmp"], SAMPLE)
    with open(f"{work}/bar/s.bmp", "wb") as f:
        f.write(b"BM")
    os.mkdir(f"{work}/bar-out")
    for flag, expect_bar in (([], True), (["--no-progress"], False)):
        primary, secondary = pseudo_terminal(60)
        child = subprocess.Popen(COMMAND + flag + ["-q", "-o", f"{work}/bar-out"] + photos +
                                 [f"{work}/bar/s.bmp"], stdout=subprocess.DEVNULL, stderr=secondary)
        os.close(secondary)
        screen = read_terminal(primary).decode(errors="replace")
        os.close(primary)
        check(child.wait() == 1, "progress: status 1 (one refused file)")
        frames = [f for f in re.split(r"[\r\n]+", screen) if f.strip()]
        bar = r"^ +\d/4 +\d+% \[[=> ]+\] +[\d.]+ MB/s +[-:\d]+ left +\d failed$"
        bars = [f for f in frames if re.match(bar, f)]
        if not expect_bar:
            check(not bars and "\r" not in screen.replace("\r\n", ""), "--no-progress: no bar")
            continue
        check(bars and bars[0].startswith(" 0/4   0% ["), "progress: a bar from the start")
        check(all(len(f) <= 59 for f in bars), f"progress: within 60 columns: {bars}")
        # The bar is blanked out before a line is printed and before the summary.
        check(re.search(r"\r +\rbmpglow: [^\r\n]*s\.bmp: " + re.escape(INPUT_FAILED), screen),
              "progress: cleared before a failed file is named")
        check(re.search(r"\r +\rbmpglow: 3 glowed, 1 failed, [^\r\n]*\r?\n$", screen),
              "progress: cleared at the end, the summary last")
    status, _, err = run("--progress", "-o", f"{work}/bar-out", photos[0], raw=True)
    check(status == 0 and err.startswith("\r 0/1   0% ["), "--progress: a bar on any stderr")


def interrupted_batch(work, name):
    """Starts a batch of a.bmp, two FIFOs and 20 more files with -j 2, waits
    until a.bmp is done (both workers then wait on a FIFO, which has a
    writer that has not written) and presses Ctrl-C: SIGINT to the process
    group, as a terminal sends it. Returns the process, the FIFOs' writers,
    the terminal on its standard output and the output directory."""
    first = files_in(f"{work}/{name}", ["a.bmp"], TINY)
    fifos = [f"{work}/{name}/fifo1.bmp", f"{work}/{name}/fifo2.bmp"]
    writers = []
    for fifo in fifos:
        os.mkfifo(fifo)
        writers.append(os.open(fifo, os.O_RDWR))  # a writer, so a read waits for data
    rest = files_in(f"{work}/{name}", [f"b{i}.bmp" for i in range(20)], TINY)
    out_dir = f"{work}/{name}-out"
    os.mkdir(out_dir)
    # Standard output on a terminal, so that each status line arrives at once.
    primary, secondary = pseudo_terminal(80)
    child = subprocess.Popen(COMMAND + ["-j", "2", "-o", out_dir] + first + fifos + rest,
                             stdout=secondary, stderr=subprocess.PIPE, start_new_session=True)
    os.close(secondary)
    seen = b""
    while b"\n" not in seen:
        try:
            seen += os.read(primary, 4096)
        except OSError:
            break
    os.killpg(child.pid, signal.SIGINT)
    return child, writers, primary, out_dir


def finish(child, primary):
    """Standard error and the status, once the process ended (killed after
    120 s). The few status lines wait in the terminal until then."""
    try:
        err = child.communicate(timeout=120)[1]
    except subprocess.TimeoutExpired:
        os.killpg(child.pid, signal.SIGKILL)
        err = child.communicate()[1]
    read_terminal(primary)
    os.close(primary)
    return err.decode(errors="replace"), child.returncode


def test_interrupt(work, reference, tiny_reference):
    """Ctrl-C starts no further file and lets the two calls in flight finish,
    whole; a second Ctrl-C stops calls that would not finish. bmpglow then
    exits with status 130."""
    child, writers, primary, out_dir = interrupted_batch(work, "stop")

    def feed():  # blocks for good if no call reads: a daemon thread
        for writer in writers:
            os.write(writer, read(SAMPLE))
            os.close(writer)
    threading.Thread(target=feed, daemon=True).start()
    err, status = finish(child, primary)
    check(status == 130, f"interrupt: exit status 130 (status {status})")
    outputs = sorted(os.listdir(out_dir))
    check(outputs == ["a.bmp", "fifo1.bmp", "fifo2.bmp"], f"interrupt: no further file: {outputs}")
    check(read(f"{out_dir}/a.bmp") == tiny_reference and
          read(f"{out_dir}/fifo1.bmp") == reference == read(f"{out_dir}/fifo2.bmp"),
          "interrupt: the calls in flight finished, outputs whole")
    check("finishing the 2 files in flight" in err and
          "interrupted: 3 glowed, 0 failed, 20 not started" in err,
          f"interrupt: the summary: {err}")

    child, writers, primary, out_dir = interrupted_batch(work, "stop-twice")
    notice = b""
    while b"in flight" not in notice and child.poll() is None:
        notice += os.read(child.stderr.fileno(), 4096)
    os.killpg(child.pid, signal.SIGINT)
    err, status = finish(child, primary)
    err = notice.decode(errors="replace") + err
    for writer in writers:
        os.close(writer)
    check(status == 130, f"second interrupt: exit status 130 (status {status})")
    outputs = [n for n in os.listdir(out_dir) if not n.startswith(".")]  # temporary files aside
    check(outputs == ["a.bmp"], f"second interrupt: the two calls stopped, no output: {outputs}")
    check("fifo1.bmp: stopped by a second Ctrl-C" in err and
          "interrupted: 1 glowed, 2 failed, 20 not started" in err, f"second interrupt: {err}")


def test_interrupt_while_writing_standard_output(temporaries):
    """Ctrl-C while the image waits on a reader that took a little and then
    stopped reading: bmpglow stops at once, status 130, its temporaries gone."""
    import fcntl
    import termios
    child = subprocess.Popen(COMMAND + [SAMPLE, "-"], stdout=subprocess.PIPE,
                             stderr=subprocess.DEVNULL, start_new_session=True)
    reader = child.stdout.fileno()
    capacity = fcntl.fcntl(reader, 1032)  # F_GETPIPE_SZ

    def wait_until_full():
        queued = bytearray(4)
        for _ in range(3000):
            fcntl.ioctl(reader, termios.FIONREAD, queued)
            if int.from_bytes(queued, sys.byteorder) == capacity or child.poll() is not None:
                return
            time.sleep(0.01)
    wait_until_full()
    os.read(reader, 2 * os.sysconf("SC_PAGE_SIZE"))  # two whole buffers of the pipe freed
    wait_until_full()  # the blocked write has put part of its bytes through
    child.send_signal(signal.SIGINT)
    try:
        status = child.wait(timeout=60)
    except subprocess.TimeoutExpired:
        child.kill()
        status = child.wait()
    child.stdout.close()
    check(status == 130 and os.listdir(temporaries) == [],
          f"INPUT -: one Ctrl-C stops a blocked write (status {status})")


def test_ignored_interrupt(work, reference, temporaries):
    """Started with SIGINT ignored (a script's background job), bmpglow keeps
    ignoring it: SIGINT while it reads standard input ends nothing."""
    child = subprocess.Popen(COMMAND + ["-", f"{work}/ignored.bmp"], stdin=subprocess.PIPE,
                             stderr=subprocess.DEVNULL,
                             preexec_fn=lambda: signal.signal(signal.SIGINT, signal.SIG_IGN))
    for _ in range(3000):  # until it copies standard input into its temporary file
        if child.poll() is not None or any(os.path.exists(f"{temporaries}/{d}/in.bmp")
                                           for d in os.listdir(temporaries)):
            break
        time.sleep(0.01)
    child.send_signal(signal.SIGINT)
    child.stdin.write(read(SAMPLE))
    child.stdin.close()
    status = child.wait(timeout=60)
    check(status == 0 and read(f"{work}/ignored.bmp") == reference,
          f"SIGINT ignored on entry stays ignored (status {status})")


def test_manual_lists_the_options():
    """--help and the manual page describe the same options."""
    _, out, _ = run("--help")
    helped = set(re.findall(r"^ +((?:-\w, )?--[\w-]+)", text(out), re.M))
    with open(MANPAGE) as f:
        manual = f.read()
    described = set()
    for entry in re.findall(r"^\.TP\n(.*)$", manual, re.M):
        names = re.findall(r"\\-(\\-[\w\\-]+|\w)", entry)
        if names:  # not an exit status
            described.add(", ".join("-" + n.replace("\\-", "-") for n in names))
    check(helped and helped == described,
          f"options: --help {sorted(helped)}, manual {sorted(described)}")


faulthandler.dump_traceback_later(540, exit=True)  # a hang fails, showing where
with tempfile.TemporaryDirectory() as work:
    temporaries = f"{work}/tmp"  # where the temporary files of - go
    os.mkdir(temporaries)
    os.environ["TMPDIR"] = temporaries
    run(SAMPLE, f"{work}/reference.bmp")
    run(TINY, f"{work}/tiny-reference.bmp")
    reference, tiny_reference = read(f"{work}/reference.bmp"), read(f"{work}/tiny-reference.bmp")
    test_standard_streams(work, reference)
    if POSIX:
        check(os.listdir(temporaries) == [], "-: no temporary file left")
    test_output_dir_with_refused_files(work, reference)
    test_in_place_and_option_spellings(work, reference, tiny_reference)
    test_usage_errors(work)
    test_many_files(work, tiny_reference)
    if POSIX:
        test_progress_bar(work)
        test_closed_standard_descriptors(work, reference)
        test_interrupt(work, reference, tiny_reference)
        test_interrupt_while_writing_standard_output(temporaries)
        test_ignored_interrupt(work, reference, temporaries)
    test_manual_lists_the_options()

print(f"bmpglow batch: {len(failures)} failed" if failures else "bmpglow batch: all checks passed")
sys.exit(1 if failures else 0)
